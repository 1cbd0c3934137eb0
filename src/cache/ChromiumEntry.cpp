// Reads the "_0" files of Chromium's Simple Cache (net/disk_cache/simple: simple_entry_format.h,
// simple_synchronous_entry.cc).
#include "cache/CacheEntry.h"
#include "cache/ChromiumResponseInfo.h"

#include <zlib.h>

namespace cache {

namespace {

constexpr std::uint64_t kInitialMagic = 0xfcfb6d1ba7725c30ull;
constexpr std::uint64_t kFinalMagic = 0xf4fa6f45970d41d8ull;
constexpr std::uint32_t kEntryVersion = 5;
constexpr std::size_t kHeaderSize = 24;    // magic, version, key length, key hash, padding
constexpr std::size_t kEndRecordSize = 24; // magic, flags, CRC-32, stream size, padding
constexpr std::uint32_t kHasCrc32 = 1u << 0;
constexpr std::uint32_t kHasKeySha256 = 1u << 1;
constexpr std::size_t kKeySha256Size = 32;
constexpr std::size_t kTailRead = 4096;
constexpr std::uint64_t kMaxStream0 = 1u << 20; // headers and certificates: a few KiB in practice
constexpr std::uint64_t kMaxKey = 1u << 20;

struct EndRecord {
    std::uint32_t flags = 0;
    std::uint32_t crc32 = 0;
    std::uint32_t streamSize = 0;
};

std::optional<EndRecord> ReadEndRecord(std::string_view bytes, std::size_t at)
{
    if (LittleEndian64(bytes, at) != kFinalMagic)
        return std::nullopt;
    return EndRecord{LittleEndian32(bytes, at + 8), LittleEndian32(bytes, at + 12), LittleEndian32(bytes, at + 16)};
}

std::uint32_t Crc32(std::string_view data)
{
    uLong crc = ::crc32(0L, Z_NULL, 0);
    crc = ::crc32_z(crc, reinterpret_cast<const Bytef*>(data.data()), data.size());
    return static_cast<std::uint32_t>(crc);
}

} // namespace

std::optional<CacheEntry> ReadChromiumEntry(const EntryBytes& entry)
{
    const std::uint64_t size = entry.Size();
    if (size < kHeaderSize + 2 * kEndRecordSize)
        return std::nullopt;
    const std::size_t tailLength = static_cast<std::size_t>(std::min<std::uint64_t>(size, kTailRead));
    const std::uint64_t tailStart = size - tailLength;
    thread_local std::string tail; // one buffer for every entry a thread reads: no allocation per entry
    if (!entry.ReadAt(tailStart, tailLength, tail))
        return std::nullopt;

    // The last record says how long stream 0 is; stream 1 fills the space between the key and stream 0's record.
    const auto last = ReadEndRecord(tail, tail.size() - kEndRecordSize);
    if (!last || last->streamSize > kMaxStream0)
        return std::nullopt;
    const std::uint64_t shaSize = (last->flags & kHasKeySha256) ? kKeySha256Size : 0;
    const std::uint64_t afterStream1 = kEndRecordSize + last->streamSize + shaSize + kEndRecordSize;
    if (afterStream1 + kHeaderSize > size)
        return std::nullopt;
    const std::uint64_t stream1End = size - afterStream1; // where stream 1's end record starts

    // Stream 0 and the record before it, from the tail read when it reaches that far.
    std::string bytes;
    std::string_view around; // stream 1's end record followed by stream 0
    const std::size_t aroundLength = static_cast<std::size_t>(kEndRecordSize + last->streamSize);
    if (stream1End >= tailStart) {
        around = std::string_view(tail).substr(static_cast<std::size_t>(stream1End - tailStart), aroundLength);
    } else {
        if (!entry.ReadAt(stream1End, aroundLength, bytes))
            return std::nullopt;
        around = bytes;
    }
    const auto stream1Record = ReadEndRecord(around, 0);
    if (!stream1Record)
        return std::nullopt;
    const std::string_view stream0 = around.substr(kEndRecordSize);
    if ((last->flags & kHasCrc32) && Crc32(stream0) != last->crc32 && kChecksumsCount)
        return std::nullopt;

    auto info = ReadChromiumResponseInfo(stream0);
    if (!info)
        return std::nullopt;
    CacheEntry result;
    result.head = std::move(info->head);
    result.cutShort = info->cutShort;

    // The header and key: the tail read has them when the file is small; else most keys fit in one more read.
    std::string headBytes;
    std::string_view head;
    if (tailStart == 0) {
        head = std::string_view(tail).substr(0, static_cast<std::size_t>(stream1End));
    } else {
        const auto length = static_cast<std::size_t>(std::min<std::uint64_t>(stream1End, kHeaderSize + 512));
        if (!entry.ReadAt(0, length, headBytes))
            return std::nullopt;
        head = headBytes;
    }
    if (head.size() < kHeaderSize)
        return std::nullopt;
    if (LittleEndian64(head, 0) != kInitialMagic || LittleEndian32(head, 8) != kEntryVersion)
        return std::nullopt;
    const std::uint64_t keyLength = LittleEndian32(head, 12);
    if (keyLength == 0 || keyLength > kMaxKey || keyLength > stream1End - kHeaderSize)
        return std::nullopt;
    if (head.size() < kHeaderSize + keyLength) {
        if (!entry.ReadAt(0, static_cast<std::size_t>(kHeaderSize + keyLength), headBytes))
            return std::nullopt;
        head = headBytes;
    }
    const std::string_view key = head.substr(kHeaderSize, static_cast<std::size_t>(keyLength));
    if (ChromiumPersistentHash(key) != LittleEndian32(head, 16) && kChecksumsCount)
        return std::nullopt;

    result.address = AddressOfChromiumKey(key);
    if (result.address.empty())
        return std::nullopt;
    result.bodyOffset = kHeaderSize + keyLength;
    result.bodyLength = stream1End - result.bodyOffset;
    if (stream1Record->flags & kHasCrc32)
        result.bodyCrc32 = stream1Record->crc32;
    if (head.size() > result.bodyOffset)
        result.bodyStart = head.substr(static_cast<std::size_t>(result.bodyOffset), kBodyStartLength);
    return result;
}

} // namespace cache
