#pragma once
// Reading a Flash movie: what kind of movie it is, and what it names. The movie's own bytes are all
// it needs; addresses are resolved elsewhere (they depend on the page that embeds it).
#include "swf/MovieNames.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace swf {

// Movies embedded in DefineBinaryData are read to this depth (the outermost movie is depth 0).
inline constexpr int kDeepestEmbedding = 8;

struct MovieSummary {
    std::string signature; // "FWS", "CWS" or "ZWS"
    std::uint8_t version = 0;
    std::uint32_t declaredLength = 0; // the file's length uncompressed, as its header says
    std::int64_t widthTwips = 0;      // the frame's size in twips (1/20 pixel)
    std::int64_t heightTwips = 0;
    std::uint16_t frameRate = 0; // frames a second in 8.8 fixed point
    std::uint16_t frameCount = 0;
    bool actionScript3 = false; // FileAttributes marks it as ActionScript 3
};

// The header, frame size, rate and count and the FileAttributes flag, decoding only the first few
// hundred bytes. Null when `file` is not a movie (or too short to hold its frame header).
std::optional<MovieSummary> ReadMovieSummary(std::string_view file);

struct MovieReading {
    MovieSummary summary;
    std::uint64_t decodedLength = 0; // header and body as far as they could be had
    bool truncated = false;          // the stream or a tag ended before its declared end
    bool hasAbc = false;             // a DoABC tag is there
    std::vector<MovieName> names;    // in the order found, each text and kind once

    // "3" when FileAttributes says so or ABC code is there, otherwise "1/2".
    std::string ActionScriptVersion() const { return summary.actionScript3 || hasAbc ? "3" : "1/2"; }
};

// Reads the whole movie: every tag, the tags of its sprites and of the movies embedded in it, at
// most kMostDecodedBytes decoded in all. Null when `file` is not a movie.
std::optional<MovieReading> ReadMovie(std::string_view file);

// The frame rate of `summary` and the frame size in pixels, written exactly ("24", "29.97", "550").
std::string FrameRateText(std::uint16_t frameRate);
std::string PixelsText(std::int64_t twips);

} // namespace swf
