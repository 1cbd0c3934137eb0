#pragma once
// Whether a browser cache entry holds a Flash movie, and the movie's bytes: the body as the server sent it
// with its Content-Encoding undone.
#include "cache/BrowserCacheFolders.h"
#include "cache/CacheEntry.h"
#include "cache/ContentDecoding.h"

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace cache {

// A movie longer than this cannot be one: the signature's length field has 32 bits.
inline constexpr std::uint64_t kMaxMovieSize = std::uint64_t{1} << 32;

struct EntryMovie {
    CacheEntry entry;
    std::vector<ContentCoding> codings; // as the server applied them
    std::uint64_t size = 0;             // the movie's length, decoded
};

// Reads the entry in the given format.
std::optional<CacheEntry> ReadCacheEntry(const EntryBytes& bytes, EntryFormat format);

// The entry's movie, when its status is 200, the browser did not mark it cut short, the stored body is as long
// as its Content-Length (where it has one), its codings can be undone and the decoded body starts with "FWS",
// "CWS" or "ZWS". Identity bodies cost a read of three bytes at most; encoded ones are decoded to the end to
// learn their length. With `checkBody`, a CRC-32 the browser stored for the body is checked as well (a full
// read). Decoding looks at `stop` (when given) between pieces and gives nothing once it is set.
std::optional<EntryMovie> FindEntryMovie(const EntryBytes& bytes, CacheEntry entry,
                                         const std::atomic<bool>* stop = nullptr, bool checkBody = false);

// The movie of a stored body whose codings are known already (from its headers, or from its first bytes when
// the headers were lost): the body with `codings` undone starts with "FWS", "CWS" or "ZWS". No HTTP checks.
std::optional<EntryMovie> FindBodyMovie(const EntryBytes& bytes, CacheEntry entry, std::vector<ContentCoding> codings,
                                        const std::atomic<bool>* stop = nullptr);

enum class MovieStreamResult {
    Done,       // every byte handed over, exactly `movie.size` of them
    Unreadable, // a read failed or came back short: the file changed or went away
    Damaged,    // the encoded data no longer decodes, or decodes to another length
    Stopped,    // the sink or the stop flag ended it
};

// Hands the movie's decoded bytes to `sink` in pieces of at most kDecodedPieceSize bytes.
MovieStreamResult StreamEntryMovie(const EntryBytes& bytes, const EntryMovie& movie, const DecodedSink& sink,
                                   const std::atomic<bool>* stop = nullptr);

// The entry file at `path` (its format told by its name, EntryFileFormat) with its movie, checked as for a copy.
struct OpenedEntryMovie {
    EntryFile file;
    EntryMovie movie;
};
std::optional<OpenedEntryMovie> OpenEntryMovie(const std::string& path);

// The preview plays movies from memory; one longer than this is not read.
inline constexpr std::uint64_t kPreviewMovieLimit = 64u << 20;

// The decoded movie of the entry file at `path`, for the preview. Nothing when the file is no entry holding a
// movie any more, or the movie is longer than `limit`.
std::optional<std::string> ReadEntryMovie(const std::string& path, std::uint64_t limit = kPreviewMovieLimit);

} // namespace cache
