#pragma once
// Ways of repacking real movies for tests: as "ZWS" through liblzma's encoder, uncompressed, cut
// short, and wrapped in sprites or DefineBinaryData to a chosen depth. The content always comes from
// a real movie; only the containers are written here.
#include <cstdint>
#include <string>
#include <string_view>

namespace test {

// The movie's bytes after its 8-byte header, inflated with zlib for a "CWS" movie.
std::string MovieBody(std::string_view movie);

// The movie as "FWS" (uncompressed), "CWS" (zlib) or "ZWS" (LZMA by liblzma's encoder).
std::string AsUncompressed(std::string_view movie);
std::string AsZlib(std::string_view movie, int level = 9);
std::string AsLzma(std::string_view movie);

// A movie of `version` with the frame header and tags of `body`, its declared length set to `declared`
// (the real length when 0).
std::string UncompressedMovie(std::uint8_t version, std::string_view body, std::uint32_t declared = 0);

// One tag: its code and body behind a long tag header.
std::string Tag(unsigned code, std::string_view body);

// The tags of `movie` (after its frame header) inside `depth` nested DefineSprite tags, as a movie.
std::string InSprites(std::string_view movie, int depth);

// The tags of `movie` (all but its End) `times` over, as one movie.
std::string RepeatedTags(std::string_view movie, int times);

// `movie` inside `depth` nested movies, each holding the one inside as DefineBinaryData.
std::string InBinaryData(std::string_view movie, int depth);

} // namespace test
