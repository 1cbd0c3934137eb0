#pragma once
// One response stored inside a cache container file (a Chromium block file, a Chromium SQLite cache): where
// it lies, what it is, or why it cannot be used; and whether its body is a movie.
#include "cache/CacheEntry.h"
#include "cache/EntryMovie.h"

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace cache {

enum class EntryRefusal : std::uint8_t {
    None,
    CutShort,       // a stream is shorter than the browser recorded, or the browser marked the response broken off
    Damaged,        // a checksum or a structure does not hold
    MissingFile,    // the body lay in a file that is gone or short (caches are often copied without their largest)
    NotHttp,        // no HTTP response: other data the browser keeps in the same cache, or a piece of a sparse entry
    Doomed,         // the browser had dropped the entry and not yet reused its space
    NoAddress,      // the address it came from is known nowhere (an application cache response its index lost)
    UnknownVersion, // the entry is of a version this reader does not know
};

// A short text for each reason, for messages.
std::string_view RefusalText(EntryRefusal refusal);

struct StoredEntry {
    std::string container;     // the file holding the entry's record, relative to its cache folder: "data_1", "sqldb0"
    std::string locator;       // the entry inside it: "@0xa0010002" (its block address), "@17" (its row)
    CacheEntry entry;          // the address; the head unless it was lost; the stored body's place in its body file
    std::string bodyFile;      // the file of the folder the body is read from ("data_2", "f_00001a"); empty: elsewhere
    bool headLost = false;     // stream 0 lay in a file that is gone: only the body's own bytes tell what it is
    std::uint32_t keyHash = 0; // Chromium's hash of the entry's key, which the SQLite cache's checksums include
    std::int64_t written = 0;  // when the browser stored or last used it, nanoseconds since 1970; 0 when unknown
    EntryRefusal refusal = EntryRefusal::None;
};

// "<container>/<locator>": what follows the cache folder in a row's path.
std::string EntryPathTail(const StoredEntry& stored);

// A row's path taken apart: "<folder>/<container>/<locator>", the container a file of the folder, the locator
// starting with "@" (no real file can lie below a regular file, so such a path names no file).
struct EntryPath {
    std::string folder; // ends in "/"
    std::string container;
    std::string locator;
};
std::optional<EntryPath> SplitEntryPath(std::string_view path);

// The movie of a usable entry, `body` being what its body bytes are read from. With the head: as for any cache
// entry (status 200, not cut short, Content-Length, codings). With a lost head: when the body starts like a
// movie, or is a gzip stream that decodes to one.
std::optional<EntryMovie> FindStoredMovie(const EntryBytes& body, const StoredEntry& stored,
                                          const std::atomic<bool>* stop = nullptr);

} // namespace cache
