#pragma once
// The on-disk structures of Firefox's first disk cache (Firefox 1 to 31), as netwerk/cache writes them:
// nsDiskCacheMap (the map and its records), nsDiskCacheBlockFile (the three block files), nsDiskCacheEntry
// (the record of one entry: header, key, metadata elements) and nsDiskCache::Hash (the key's hash). Numbers
// are big-endian, except for the block files' allocation bitmaps up to map version 1.8, which were written in
// the writing machine's byte order. Every reader here checks what is left before it reads.
#include "cache/formats/JenkinsHash.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace cache::cache1 {

inline constexpr std::size_t kMapHeaderSize = 276; // version, data size, entries, dirty, records, ranks, usage
inline constexpr std::size_t kMapRecordSize = 16;  // hash, eviction rank, data location, metadata location
inline constexpr std::uint32_t kBuckets = 32;
inline constexpr std::size_t kRecordHeaderSize = 36; // nine words before the key
inline constexpr std::uint32_t kMaxBlocksPerRecord = 4;
inline constexpr std::uint32_t kMaxBlockData = 16 * 1024; // larger bodies go to separate files
inline constexpr int kBlockFiles = 3;

// A map record's location word: where the body or the record lies.
struct Location {
    std::uint32_t word = 0;

    bool Initialized() const { return (word & 0x80000000u) != 0; }
    bool ReservedClear() const { return (word & 0x4C000000u) == 0; }
    int File() const { return static_cast<int>((word >> 28) & 3u); } // 0: a separate file; 1 to 3: _CACHE_00N_
    std::uint32_t StartBlock() const { return word & 0x00FFFFFFu; }
    std::uint32_t BlockCount() const { return ((word >> 24) & 3u) + 1; }
    std::uint8_t Generation() const { return static_cast<std::uint8_t>(word & 0xFFu); }

    static Location Blocks(int file, std::uint32_t start, std::uint32_t count);
};

struct MapRecord {
    std::uint32_t hash = 0;
    Location data;
    Location meta;

    // The generation that names the record's separate files (nsDiskCacheRecord::Generation).
    std::uint8_t Generation() const;
};

struct MapHeader {
    std::uint32_t version = 0;
    std::int32_t entryCount = 0;
    bool dirty = true;
    std::int32_t recordCount = 0;
    std::array<std::uint32_t, kBuckets> bucketUsage{};
};

std::optional<MapHeader> ReadMapHeader(std::string_view bytes);
MapRecord ReadMapRecord(std::string_view bytes, std::size_t at);

// What a version of the format means for its files. Nothing for a version this reader does not know.
class Layout {
public:
    static std::optional<Layout> Of(std::uint32_t version);

    std::uint32_t Version() const { return m_version; }
    std::uint32_t Minor() const { return m_version & 0xFFFFu; }
    // Whether the map has the 276-byte header with a record count (checked for 1.8 and later).
    bool MapReadable() const { return Minor() >= 8; }
    static std::uint32_t BlockSize(int file) { return 256u << (2 * (file - 1)); }
    // The allocation bitmap at the start of each block file: 4 KiB each until 1.19 resized the files.
    std::uint32_t BitmapBytes(int file) const { return Minor() >= 19 ? 16384u >> (2 * (file - 1)) : 4096u; }
    std::uint32_t BlockCapacity(int file) const { return BitmapBytes(file) * 8; }
    std::uint64_t BlockOffset(int file, std::uint32_t block) const
    {
        return BitmapBytes(file) + std::uint64_t{block} * BlockSize(file);
    }
    // Whether `count` blocks from `start` can be one allocation: inside the file, within one bitmap word.
    bool HoldsBlocks(int file, std::uint32_t start, std::uint32_t count) const;
    // Whether the bitmap says the blocks are in use; `bitmap` is the file's first BitmapBytes(file) bytes.
    bool Allocated(std::string_view bitmap, std::uint32_t start, std::uint32_t count) const;

    // The key hashes the version may have used: Bob Jenkins' lookup2 since the 1.1x rewrite, the 4-bit
    // rotate-and-xor hash before it; for 1.12 to 1.14 the sources leave it open, so both are tried.
    bool MayUseRotatingHash() const { return Minor() <= 14; }
    bool MayUseJenkinsHash() const { return Minor() >= 12; }
    struct KeyHashes {
        std::uint32_t first = 0;
        std::optional<std::uint32_t> second;
        bool Contain(std::uint32_t hash) const { return hash == first || hash == second; }
    };
    KeyHashes HashesOf(std::string_view key) const;

    // The smallest block file a record or body of `size` bytes goes to (nsDiskCacheMap::CalculateFileIndex);
    // 0 when it is too large for any. Until 1.19 a file took up to four of its blocks before the next was
    // used; 1.19 moves to the next file rather than take a fourth small block.
    int SmallestFileFor(std::uint64_t size) const;

    // Where a separate file of the hash lies: in "X/XX/" subfolders since 1.19, in the folder itself before;
    // both are looked for in the versions between, whose sources are not at hand.
    std::vector<std::string> SeparateFileNames(std::uint32_t hash, bool metadata, std::uint8_t generation) const;
    // Whether the version is one of those between, with both names; otherwise SeparateFileName is the one.
    bool SeparateFileLayoutOpen() const;
    std::string SeparateFileName(std::uint32_t hash, bool metadata, std::uint8_t generation) const;

private:
    explicit Layout(std::uint32_t version) : m_version(version) {}
    std::uint32_t m_version;
};

std::uint32_t RotatingHash(std::string_view key);
using cache::JenkinsHash;

// The header of an entry's record, checked against its own sizes.
struct RecordHeader {
    std::uint32_t version = 0;
    Location metaLocation; // where the record says it lies; 0 in records of some versions
    std::uint32_t fetchCount = 0;
    std::uint32_t lastFetched = 0;  // seconds since 1970
    std::uint32_t lastModified = 0; // seconds since 1970
    std::uint32_t dataSize = 0;     // the stored body's length
    std::uint32_t keySize = 0;      // with its NUL
    std::uint32_t metaDataSize = 0; // the elements, with their NULs

    std::uint64_t Size() const { return kRecordHeaderSize + std::uint64_t{keySize} + metaDataSize; }
};

// The record at the start of `bytes`: its header, its key and its elements. Nothing when the sizes do not fit
// in `bytes`, the key is not one NUL-ended string, or the elements do not end in NUL.
struct Record {
    RecordHeader header;
    std::string_view key;      // without its NUL
    std::string_view elements; // name NUL value NUL, pair after pair
};
std::optional<RecordHeader> ReadRecordHeader(std::string_view bytes);
std::optional<Record> ReadRecord(std::string_view bytes);

// The value of the element `name`; nothing when it is absent or the elements are not whole pairs.
std::optional<std::string_view> ElementValue(std::string_view elements, std::string_view name);

// The address a key stands for: "HTTP:" (the client) and the request's "anon&", "id=<n>&" ... "uri=" parts
// taken off. Nothing for a key with no client part or nothing after it.
std::optional<std::string> AddressOfKey(std::string_view key);

// The hash, kind and generation a separate file's path below the cache folder names: "X/XX/XXXXXmGG" (1.19)
// or "XXXXXXXXmGG" (the flat folder of earlier versions), "m" for a record, "d" for a body. Nothing for other
// paths.
struct SeparateFile {
    std::uint32_t hash = 0;
    bool metadata = false;
    std::uint8_t generation = 0;
};
std::optional<SeparateFile> ParseSeparateFileName(std::string_view relativePath);
std::string SubfolderFileName(std::uint32_t hash, bool metadata, std::uint8_t generation);
std::string FlatFileName(std::uint32_t hash, bool metadata, std::uint8_t generation);

// "_CACHE_001_" to "_CACHE_003_".
std::string BlockFileName(int file);
// 1 to 3 for the block files' names, 0 for any other name.
int BlockFileOfName(std::string_view name);

} // namespace cache::cache1
