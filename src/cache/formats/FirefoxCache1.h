#pragma once
// Firefox's first disk cache (Firefox 1 to 31, Mozilla and KompoZer too): a folder "Cache" holding the map
// "_CACHE_MAP_", the block files "_CACHE_001_" to "_CACHE_003_" and, for large entries, separate files in
// "X/XX/" subfolders. Entries are read from their own records. A map the browser closed cleanly says where each
// body lies; a dirty one (the browser crashed, or the disk was copied while it ran) lists a fraction of the
// entries, so then every block is searched for records and the bodies are found by the key's hash, with the
// map's records used only where they still agree with what they point at.
#include "cache/formats/ContentDecoding.h"
#include "cache/formats/Refusal.h"
#include "cache/formats/ResponseHead.h"
#include "cache/formats/StoredResponse.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace cache {

namespace cache1 {
class CacheFiles;
}

// Where an entry's stored body lies.
struct Cache1Body {
    enum class Place { None, Blocks, SeparateFile }; // None: an empty body, or one that was not found
    Place place = Place::None;
    int blockFile = 0; // 1 to 3
    std::uint32_t startBlock = 0;
    std::uint32_t blockCount = 0;
    std::string separateFile; // "X/XX/XXXXXdGG", below the cache folder
    std::uint64_t length = 0; // as the browser stored it, before its Content-Encoding is undone
    std::string start;        // its first bytes, when the reading had them at hand (a crashed cache's search)
    std::shared_ptr<const EntryBytes> file; // the separate file, when the reading opened it already
};

struct FirefoxCache1Entry {
    // The file holding the entry's record, below the cache folder ("_CACHE_001_", or "X/XX/XXXXXmGG" for a
    // large one), and the record's first block in it (0 in a separate file).
    std::string container;
    std::uint32_t block = 0;

    std::string key;     // as the browser stored it: "HTTP:http://..."
    std::string address; // the URL the response came from
    std::uint32_t hash = 0;
    std::optional<ResponseHead> head;
    Cache1Body body;
    std::uint32_t fetchCount = 0;
    std::uint32_t lastFetched = 0;  // seconds since 1970
    std::uint32_t lastModified = 0; // seconds since 1970
    bool inMap = false;             // the map's record of it was used
    std::optional<Refusal> refusal;

    // The last component of a row's path: "@<block>".
    std::string Locator() const { return "@" + std::to_string(block); }
};

class FirefoxCache1 {
public:
    // The cache in `folder`. Nothing when the folder cannot be opened or holds neither a map nor a block file.
    static std::optional<FirefoxCache1> Open(const std::string& folder);
    // The same over files from elsewhere (the fuzz target's memory); `folder` only names them in RowPath.
    static std::optional<FirefoxCache1> Open(std::unique_ptr<cache1::CacheFiles> files, std::string folder);

    FirefoxCache1(FirefoxCache1&&) noexcept;
    FirefoxCache1& operator=(FirefoxCache1&&) noexcept;
    ~FirefoxCache1();

    // Why the folder as a whole cannot be read: then no entry is listed. UnknownVersion for a map of a version
    // this reader does not know; Damaged for a map whose header cannot be read when no block file holds a record
    // of a known version either.
    std::optional<Refusal> FolderRefusal() const;
    // The version the map's header gives, known or not; 0 when there is no readable header.
    std::uint32_t MapVersion() const;
    // The format version, 0x0001000B for 1.11; 0 when neither the map nor any record told it.
    std::uint32_t Version() const;
    // Whether the map was closed cleanly and agrees with itself, so that it alone lists the entries.
    bool MapTrusted() const;

    // Hands every entry found to `visit`, refused ones too, records of a block file in their order in it.
    // Looks at `stop` (when given) between entries and ends early once it is set.
    void Enumerate(const std::function<void(FirefoxCache1Entry&&)>& visit,
                   const std::atomic<bool>* stop = nullptr) const;

    // The entry whose record lies at `block` of `container`; nothing when no record of this cache starts there.
    std::optional<FirefoxCache1Entry> EntryAt(std::string_view container, std::uint32_t block) const;

    // The stored body's bytes; nothing when the entry has no body to read.
    std::shared_ptr<const EntryBytes> BodyBytes(const FirefoxCache1Entry& entry) const;
    // The entry as the movie check of EntryMovie.h takes it: address, head and a body that keeps its bytes
    // open. Nothing when the entry has no body to read. An entry handed over is taken apart, not copied.
    std::optional<StoredResponse> ResponseOf(FirefoxCache1Entry entry) const;
    // The files the entry's body is read from (its block file or its data file): what a copy never writes over.
    std::vector<FileIdentity> BodyFiles(const FirefoxCache1Entry& entry) const;
    // The body with its Content-Encoding undone, in pieces. Damaged also for a coding that cannot be undone,
    // and for an entry with no body to read.
    DecodeResult StreamBody(const FirefoxCache1Entry& entry, const DecodedSink& sink) const;

    // "<folder>/<container>/@<block>": the path of the entry's row. A regular file has no children, so this
    // names no real file.
    std::string RowPath(const FirefoxCache1Entry& entry) const;

    // Whether a file of this name belongs to a first cache: "_CACHE_MAP_" or a block file.
    static bool IsCacheFileName(std::string_view name);

    struct State;

private:
    explicit FirefoxCache1(std::unique_ptr<State> state);
    std::unique_ptr<State> m_state;
};

// A row's path taken apart: the cache folder (ending in "/"), the container below it, the record's block.
struct Cache1RowPath {
    std::string folder;
    std::string container;
    std::uint32_t block = 0;
};
std::optional<Cache1RowPath> ParseCache1RowPath(std::string_view path);

// The cache and entry a row's path names, for a copy or a preview. Refused with the entry's own reason, the
// cache's when it is not read as a whole, and Unreadable when no record of the cache starts there (any more).
struct OpenedCache1Entry {
    FirefoxCache1 cache;
    FirefoxCache1Entry entry;
};
Refusable<OpenedCache1Entry> OpenCache1Row(std::string_view path);

} // namespace cache
