#pragma once
// Walks a movie's tags, and the tags of its sprites to a fixed depth, and hands on the code and the
// addresses they hold: actions of frames, initialisers, buttons and placed clips; ABC code; the
// addresses of imports; and the data of DefineBinaryData that may be a movie of its own.
#include "swf/ActionScan.h"
#include "swf/MovieNames.h"

#include <cstdint>
#include <functional>
#include <string_view>

namespace swf {

// Sprites nested deeper are not read (Flash itself never nests them).
inline constexpr int kDeepestSprite = 16;

struct TagFindings {
    bool actionScript3 = false; // FileAttributes marks the movie as ActionScript 3
    bool hasAbc = false;        // a DoABC tag is there
    bool cutShort = false;      // a tag's length ran past the end of the movie
};

struct TagVisitor {
    std::uint8_t version = 0;                              // the movie's version (clip event width)
    ActionScan* actions = nullptr;                         // reads ActionScript 1/2 for its names
    NameCollector* abc = nullptr;                          // names from ActionScript 3
    NameCollector* imports = nullptr;                      // ImportAssets addresses
    std::function<void(std::string_view data)> binaryData; // each DefineBinaryData's data
};

// Walks the tags of `tags` (a movie's body after its frame header).
TagFindings WalkTags(std::string_view tags, const TagVisitor& visitor);

} // namespace swf
