#pragma once
// Tiny uncompressed Flash movies for preview tests: a 400x300 stage, a background colour, one
// filled rectangle, and optionally a request to load another movie into level 1.
#include <cstdint>
#include <string>

namespace test {

struct Rgb {
    std::uint8_t r = 0, g = 0, b = 0;
};

struct MovieRecipe {
    bool hasBackground = true;
    Rgb background;
    Rgb fill;
    int left = 100, top = 75, right = 300, bottom = 225; // rectangle in stage pixels
    std::string loadIntoLevel1;                          // address a first-frame action loads
    std::size_t padding = 0; // bytes of binary data carried along (not compressible), for a larger movie
};

// The movie's bytes ("FWS", version 8, 12 frames a second, one frame).
std::string MakeMovie(const MovieRecipe& recipe);

} // namespace test
