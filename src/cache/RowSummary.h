#pragma once
// What kind of movie a Local Files row holds, read from the first few KiB of the movie alone: for the rows'
// tooltips, which must never wait for a whole movie to be read or decoded.
#include "swf/MovieReading.h"

#include <atomic>
#include <optional>
#include <string>

namespace cache {

// The movie's first bytes taken for its summary: the header, the frame header and the first tag, even for a
// compressed movie whose dictionary takes a few hundred bytes.
inline constexpr std::size_t kSummaryStart = 4096;

// The header of the movie of the row whose path is `path` (a plain file, an entry or a record), from its first
// kSummaryStart bytes as the server sent them, its Content-Encoding undone. Nothing when the row holds no
// movie any more or `stop` turned true.
std::optional<swf::MovieSummary> ReadRowSummary(const std::string& path, const std::atomic<bool>* stop = nullptr);

} // namespace cache
