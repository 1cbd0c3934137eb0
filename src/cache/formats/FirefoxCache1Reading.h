#pragma once
// Inside the first-cache reader: the open folder, and the steps from a record's bytes to an entry with its body
// placed, shared by the map's listing, the search of a dirty cache and the opening of one row.
#include "cache/formats/FirefoxCache1.h"
#include "cache/formats/FirefoxCache1Files.h"
#include "cache/formats/FirefoxCache1Layout.h"

#include <array>
#include <variant>
#include <vector>

namespace cache {

struct FirefoxCache1::State {
    std::string folder; // ends in "/"
    std::unique_ptr<cache1::CacheFiles> files;
    std::array<std::shared_ptr<const EntryBytes>, cache1::kBlockFiles> blockFiles; // null where absent
    std::uint32_t mapVersion = 0;                                                  // as the map's header gives it
    std::optional<cache1::Layout> layout; // from the map, or from the records when there is none
    bool mapTrusted = false;
    // A trusted map: the records it lists. Otherwise the records of the map that could be read, as hints.
    std::vector<cache1::MapRecord> mapRecords;
    std::array<std::string, cache1::kBlockFiles> bitmaps; // read for a trusted map only
    std::optional<Refusal> refusal;

    const std::shared_ptr<const EntryBytes>& BlockFile(int file) const { return blockFiles[file - 1]; }
};

namespace cache1 {

inline constexpr std::size_t kMaxSeparateRecord = 4u << 20; // keys are URLs, elements a few KiB

// A separate file found below the folder.
struct SeparateFileAt {
    std::string path;
    SeparateFile name;
};

// The separate files of the folder by hash: all of them (Walk), or those of a key's hashes (Of).
class SeparateFiles {
public:
    static SeparateFiles Walk(const CacheFiles& files);
    static SeparateFiles Of(const CacheFiles& files, const Layout& layout, const Layout::KeyHashes& hashes);

    std::vector<const SeparateFileAt*> DataFiles(std::uint32_t hash) const;
    // Whether the file at `path`, named by `hash`, is there.
    bool Holds(std::uint32_t hash, const std::string& path) const;
    const std::vector<SeparateFileAt>& All() const { return m_files; }

private:
    std::vector<SeparateFileAt> m_files; // sorted by hash
};

// The entry a record gives, its body not placed yet: key, address, head, times, and Damaged when the key names
// no address. `hashes`: those of the record's key.
FirefoxCache1Entry EntryOfRecord(const Record& record, const Layout::KeyHashes& hashes, std::string container,
                                 std::uint32_t block);

// Refuses the entry for `reason` unless an earlier step already did.
void Refuse(FirefoxCache1Entry& entry, Refusal reason);
// The last step for every entry: NoResponseHead for one that is otherwise readable but has no head.
FirefoxCache1Entry Finished(FirefoxCache1Entry entry);

// A trusted map's record, read and checked as the browser reads it: the record must be where the map says,
// hash to the map's hash and lie in allocated blocks, and so must its body. `readers` holds one reader per
// block file (null where it is absent), used front to back.
FirefoxCache1Entry EntryOfMapRecord(const FirefoxCache1::State& state, const MapRecord& record,
                                    std::array<std::unique_ptr<WindowReader>, kBlockFiles>& readers);

// The block count a record or body of `size` bytes takes in `file`.
std::uint32_t BlocksFor(std::uint64_t size, int file);

// Where a map record's data location puts a body of `length` bytes, or why it cannot be there. With
// `checkBitmap`, the blocks must also be allocated, as the browser itself checks before reading them. A separate
// file is opened and its length checked; with `listed`, it is only looked for there, and opened later
// (OpenSeparateBody).
std::variant<Cache1Body, Refusal> BodyOfMapRecord(const FirefoxCache1::State& state, const MapRecord& record,
                                                  std::uint32_t length, bool checkBitmap, const SeparateFiles* listed);

// Opens the separate file of a body placed without opening it, refusing the entry when it is gone or too short.
void OpenSeparateBody(const FirefoxCache1::State& state, FirefoxCache1Entry& entry);

// The data file of `length` bytes that one of `hashes` names (of `generation`, when the record's own file gave
// one); nothing when there is none, or several that could be it.
std::optional<Cache1Body> BodyByHash(const CacheFiles& files, const SeparateFiles& separate,
                                     const Layout::KeyHashes& hashes, std::uint32_t length,
                                     std::optional<std::uint8_t> generation);

// The record at `block` of block file `file`, read through `reader`: checked as a record of `layout` that
// starts there (its size fits the blocks it takes, in the file it would be written to, and its key is text).
// Nothing otherwise. The views into the record are good until the reader's next read.
std::optional<Record> RecordInBlocks(WindowReader& reader, const Layout& layout, int file, std::uint32_t block);

// The bytes of the separate metadata file at `path` (a record's worth at most); nothing when it is missing or
// too large to be one.
std::optional<std::string> ReadSeparateRecord(const CacheFiles& files, const std::string& path);

// Where the record a map record points at lies, as a row names it.
struct RecordPlace {
    std::string container;
    std::uint32_t block = 0;
    int file = 0; // 1 to 3; 0 for a separate file
};
std::optional<RecordPlace> PlaceOfMapRecord(const FirefoxCache1::State& state, const MapRecord& record);

// What a search that reads every block anyway keeps of each: whether it starts with what looks like a record of
// the cache's version, and its first bytes, which are a body's first bytes when a body starts there.
struct RecordMarks {
    static constexpr std::size_t kStartLength = 8; // a movie check looks at three; eight stay in a short string
    std::array<std::vector<bool>, kBlockFiles> records;
    std::array<std::string, kBlockFiles> starts; // kStartLength bytes a block, zeros past a file's end

    // The first bytes of the body, at most kStartLength; empty when its first block was not searched.
    std::string StartOf(const Cache1Body& body) const;
};
bool LooksLikeRecord(const Layout& layout, std::string_view start);

// The body of an entry read outside a trusted map: where a map record of the same record says, if its data is
// still there (its first block holds no record now: read, or taken from `marks`); else by the key's hash.
// `hashes`: those of the entry's key; `generation`: that of the record's own separate file, if it has one.
void PlaceUntrustedBody(const FirefoxCache1::State& state, const SeparateFiles& separate, const RecordPlace& place,
                        const Layout::KeyHashes& hashes, std::optional<std::uint8_t> generation,
                        FirefoxCache1Entry& entry, const RecordMarks* marks = nullptr);

// Every entry of a cache whose map is not trusted: each record in the block files and separate metadata files,
// later copies of a key winning over earlier ones.
void SearchEntries(const FirefoxCache1::State& state, const std::function<void(FirefoxCache1Entry&&)>& visit,
                   const std::atomic<bool>* stop);

// The version of the first record found in the block files, for a folder without a readable map; nothing when
// there is none.
std::optional<Layout> LayoutOfRecords(const FirefoxCache1::State& state);

} // namespace cache1

} // namespace cache
