#pragma once
// What the "File Path" of a local row names, told from the path alone (rows carry nothing else): a plain movie
// file, an entry file of a stored-response format, or a record inside a container file. The longest leading
// part of the path that is a regular file decides: the whole path for files, "<container>/<locator>" for
// records, which no real file can have since a regular file has no children.
#include "cache/EntryMovie.h"
#include "cache/formats/Formats.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace cache {

struct RowTarget {
    enum class Kind {
        Missing,   // nothing to read there any more (gone since the walk), or a path no format knows
        PlainFile, // a regular file that is no entry: copied byte for byte, previewed as it is
        EntryFile, // an entry file of `format`
        Record,    // the record `locator` of the container `file`, of `format`
    } kind = Kind::Missing;
    Format format;
    std::string file; // the regular file: the path itself, or the container
    std::string locator;
};

// Looks at the file system: one stat for files and missing paths, one more per component of a locator.
RowTarget ResolveRowPath(const std::string& path);

// The row path of the record `locator` in the container whose anchor file is at `anchor`.
std::string RecordRowPath(std::string_view anchor, std::string_view locator);

// The response of an entry or record row, with what it reads from kept open. A plain file is NotAResponse, a
// missing one Unreadable.
Refusable<OpenedResponse> OpenRowResponse(const RowTarget& target);

// The movie of an entry or record row, opened and checked as for a copy (the format's check of the stored body
// included), with what it reads from kept open.
struct OpenedMovie {
    std::shared_ptr<const void> source;
    EntryMovie movie;
    std::vector<FileIdentity> files; // the files it reads from
};
// A plain file is NotAResponse, a missing one Unreadable.
Refusable<OpenedMovie> OpenRowMovie(const RowTarget& target, const std::atomic<bool>* stop = nullptr);

// The preview plays movies from memory; one longer than this is not read.
inline constexpr std::uint64_t kPreviewMovieLimit = 64u << 20;

// The decoded movie of an entry or record row, for the preview. Nothing when it holds no movie any more, the
// movie is longer than `limit`, or `stop` was set.
std::optional<std::string> ReadRowMovie(const RowTarget& target, std::uint64_t limit = kPreviewMovieLimit,
                                        const std::atomic<bool>* stop = nullptr);

} // namespace cache
