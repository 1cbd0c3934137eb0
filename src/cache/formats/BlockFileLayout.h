#pragma once
// The records of Chromium's block-file cache as its source lays them out (net/disk_cache/blockfile:
// disk_format.h, disk_format_base.h, addr.h), little-endian on every platform Chrome shipped on.
#include "cache/formats/EntryBytes.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace cache::blockfile {

inline constexpr std::uint32_t kIndexMagic = 0xC103CAC3;
inline constexpr std::uint32_t kBlockMagic = 0xC104CAC3;
inline constexpr std::size_t kIndexHeaderSize = 368;
inline constexpr std::size_t kBlockHeaderSize = 8192;
inline constexpr std::size_t kEntrySize = 256;      // one EntryStore block
inline constexpr std::size_t kMaxEntryBlocks = 4;   // an entry with a long inline key takes up to four
inline constexpr std::size_t kInlineKeyOffset = 96; // EntryStore::key
inline constexpr std::size_t kSelfHashOffset = 92;  // EntryStore::self_hash, hashing the bytes before it
inline constexpr std::int32_t kMaxInlineKey = 4 * 256 - 96 - 1;
inline constexpr std::int32_t kMaxBlockData = 4096 * 4; // larger streams and keys have files of their own
inline constexpr int kStreams = 4;
inline constexpr int kFirstAdditionalFile = 4; // data_1 full: data_4, data_5 ... hold the next 256-byte blocks
inline constexpr int kMaxBlockFile = 255;

// Index versions this reader knows: 2.0, 2.1 and 3.0 share the header it reads (magic, version).
bool IsKnownIndexVersion(std::uint32_t version);
// Block-file versions: 2.0 from the first Chrome on; 3.0 only changed the index.
bool IsKnownBlockFileVersion(std::uint32_t version);

enum class FileType : std::uint8_t { External = 0, Rankings = 1, Block256 = 2, Block1K = 3, Block4K = 4 };

// A CacheAddr: initialized bit, file type, and a file number (separate file) or a block run (block file).
class Address {
public:
    explicit Address(std::uint32_t value) : m_value(value) {}
    // The address of `blocks` 256-byte blocks from `start` in data_`file`.
    static Address ForEntry(std::uint32_t file, std::uint32_t start, std::uint32_t blocks);

    std::uint32_t Value() const { return m_value; }
    bool Initialized() const { return (m_value & 0x80000000u) != 0; }
    std::uint32_t Type() const { return (m_value >> 28) & 7u; }
    bool IsSeparateFile() const { return Type() == 0; }
    // The file: f_<number> for a separate file, data_<number> for a block file.
    std::uint32_t FileNumber() const { return IsSeparateFile() ? m_value & 0x0FFFFFFFu : (m_value >> 16) & 0xFFu; }
    std::uint32_t StartBlock() const { return m_value & 0xFFFFu; }
    std::uint32_t Blocks() const { return ((m_value >> 24) & 3u) + 1; }
    std::uint32_t BlockSize() const; // 0 for a separate file or an unknown type
    std::string FileName() const;    // "f_00001a", "data_2"

    // As Addr::SanityCheck: unset means zero; a known type of data; no reserved bits in a block address.
    bool Sane() const;
    bool SaneForEntry() const { return Sane() && Initialized() && static_cast<FileType>(Type()) == FileType::Block256; }
    bool SaneForRankings() const
    {
        return Sane() && Initialized() && static_cast<FileType>(Type()) == FileType::Rankings && Blocks() == 1;
    }
    // Where its bytes start in its file, and how many the address holds at most.
    std::uint64_t FileOffset() const;
    std::uint64_t Capacity() const;

private:
    std::uint32_t m_value;
};

// "@0xa0010002": an entry's address as its row's locator.
std::string EntryLocator(Address address);
std::optional<Address> ParseEntryLocator(std::string_view locator);
// "data_4" -> 4; nothing for any other name.
std::optional<int> BlockFileNumber(std::string_view name);

// The fields of an EntryStore (its first 256-byte block) that the reader needs.
struct EntryRecord {
    std::uint32_t hash = 0;
    Address next{0};
    Address rankings{0};
    std::int32_t reuseCount = 0;
    std::int32_t refetchCount = 0;
    std::int32_t state = 0;         // 0 normal, 1 evicted, 2 doomed
    std::uint64_t creationTime = 0; // microseconds since 1601
    std::int32_t keyLength = 0;
    Address longKey{0};
    std::array<std::int32_t, kStreams> dataSize{};
    std::array<Address, kStreams> dataAddress{Address(0), Address(0), Address(0), Address(0)};
    std::uint32_t flags = 0;
    std::uint32_t selfHash = 0;
};
inline constexpr std::uint32_t kChildEntry = 1u << 1; // a piece of a sparse entry's data

// `block` holds at least kEntrySize bytes.
EntryRecord ParseEntryRecord(std::string_view block);

// The checks Chromium makes of an entry's first block before it trusts it (EntryImpl::SanityCheck), the hash
// aside; and of its streams (EntryImpl::DataSanityCheck), the key aside.
bool RecordLooksSane(const EntryRecord& record);
bool StreamsLookSane(const EntryRecord& record);

// The blocks an entry with a key of `keyLength` bytes takes (EntryImpl::NumBlocksForEntry).
std::uint32_t BlocksForKey(std::int32_t keyLength);

// Microseconds since 1601 (base::Time's internal value) as nanoseconds since 1970; 0 when out of range.
std::int64_t UnixNanoseconds(std::uint64_t windowsMicroseconds);

struct BlockFileHeader {
    std::uint32_t version = 0;
    std::int16_t thisFile = 0;
    std::int16_t nextFile = 0;
    std::int32_t entrySize = 0;
    std::int32_t maxEntries = 0;
};
// The header of a block file, or nothing when `bytes` (its first bytes) do not start one.
std::optional<BlockFileHeader> ParseBlockFileHeader(std::string_view bytes);

} // namespace cache::blockfile
