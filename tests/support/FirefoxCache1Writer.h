#pragma once
// Writes entries into a Firefox first cache the way the browser did, for tests and benchmarks: no browser on
// Debian writes this cache any more. Written from Firefox's own source (netwerk/cache: nsDiskCache::Hash,
// nsDiskCacheMap::AddRecord, GrowRecords, CalculateFileIndex, WriteDiskCacheEntry, nsDiskCacheBlockFile::
// AllocateBlocks, nsDiskCacheStreamIO::Flush), and on purpose sharing no code with the reader it checks.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace test {

using Cache1Elements = std::vector<std::pair<std::string, std::string>>;

class FirefoxCache1Writer {
public:
    // A new cache of `version` (0x00010013 for 1.19) in `folder`, as the browser starts one: a map of 512
    // empty records, three block files with empty bitmaps, the 16 top subfolders.
    static FirefoxCache1Writer Create(const std::string& folder, std::uint32_t version);
    // The cache in `folder` (a copy of a real one), of the version its map says or, with no map, `version`.
    // A dirty or missing map comes with bitmaps the browser never wrote back: there, blocks holding any byte
    // count as taken, so that nothing already in the copy is overwritten.
    static FirefoxCache1Writer Open(const std::string& folder, std::uint32_t version = 0);

    // A record already in the cache, to copy: its key, its elements and its body's length.
    struct Record {
        std::string key;
        Cache1Elements elements;
        std::uint32_t dataSize = 0;
    };
    std::optional<Record> RecordAt(int file, std::uint32_t block) const;

    struct Placed {
        std::uint32_t hash = 0;
        int metaFile = 0; // 0: a separate file; 1 to 3: a block file
        std::uint32_t metaBlock = 0;
        int dataFile = 0; // 0: a separate file (or no body); 1 to 3: a block file
        std::uint32_t dataBlock = 0;
        std::uint32_t generation = 0; // of the separate files
        std::string separateFile;     // the body's, "X/XX/XXXXXd01" below the folder (flat before 1.19)
        std::string separateRecord;   // the record's, when the block files had no room
    };
    struct Options {
        bool inMap = true;         // false: the record and body are written, the map never learns of them
        std::uint32_t fetched = 0; // seconds since 1970; 0 for a fixed time in 2012
        std::uint32_t fetchCount = 1;
    };
    // Writes one entry: its record to the block file its size asks for, its body to block files (up to 16 KiB)
    // or a separate file, and its map record. Where the block files are full, a file of its own, as the
    // browser does.
    Placed Add(const std::string& key, const Cache1Elements& elements, std::string_view body, const Options& options);
    Placed Add(const std::string& key, const Cache1Elements& elements, std::string_view body)
    {
        return Add(key, elements, body, Options{});
    }
    // Lets an entry go as the browser evicts one: its blocks freed, its map record deleted (in memory).
    void Evict(const Placed& placed);

    // Writes the block files and the bitmaps, and with `map` the map, its dirty flag set to `dirty`. Without
    // `map`, the file on disk keeps the records it had: the state a crash leaves.
    void Write(bool map, bool dirty);

    std::uint32_t Hash(std::string_view key) const;
    std::uint32_t Version() const { return m_version; }
    const std::string& Folder() const { return m_folder; }

private:
    struct MapRecord {
        std::uint32_t hash = 0, evictionRank = 0, dataLocation = 0, metaLocation = 0;
    };
    struct BlockFile {
        std::string bytes;                // bitmap, then blocks
        std::vector<std::uint32_t> words; // the bitmap, as the browser holds it in memory
    };

    FirefoxCache1Writer(std::string folder, std::uint32_t version);
    std::uint32_t BitmapBytes(int file) const;
    static std::uint32_t BlockSize(int file) { return 256u << (2 * (file - 1)); }
    int CalculateFileIndex(std::uint32_t size) const;
    int AllocateBlocks(int file, std::uint32_t count);
    void DeallocateBlocks(int file, std::uint32_t start, std::uint32_t count);
    std::optional<std::pair<int, std::uint32_t>> WriteBlocks(std::string_view data, int fromFile);
    std::uint32_t FreeGeneration(std::uint32_t hash) const;
    void AddRecord(const MapRecord& record);
    void GrowRecords();
    void LoadMap(const std::string& bytes);

    std::string m_folder;
    std::uint32_t m_version = 0;
    std::uint32_t m_dataSizeK = 0;
    std::int32_t m_entryCount = 0;
    std::int32_t m_recordCount = 512;
    std::uint32_t m_evictionRank[32] = {};
    std::uint32_t m_bucketUsage[32] = {};
    std::vector<MapRecord> m_records;
    bool m_mapOnDisk = false;
    BlockFile m_blocks[3];
};

} // namespace test
