// Reads the "_0" files of Chromium's Simple Cache (net/disk_cache/simple: simple_entry_format.h,
// simple_synchronous_entry.cc) and the response info pickled into their stream 0 (net/http/http_response_info.cc,
// base/pickle.h).
#include "cache/CacheEntry.h"

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

// Response info flags (HttpResponseInfo).
constexpr std::uint32_t kInfoVersionMask = 0xff;
constexpr std::uint32_t kInfoVersion = 3;
constexpr std::uint32_t kInfoTruncated = 1u << 12;
constexpr std::uint32_t kInfoHasExtraFlags = 1u << 31;
constexpr std::uint32_t kExtraHasOriginalResponseTime = 1u << 2;

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

// Paul Hsieh's SuperFastHash, which Chromium keeps as base::PersistentHash; it checks the key. The last odd
// bytes count as signed, as a char is on the platforms Chromium is built for here.
std::uint32_t KeyHash(std::string_view data)
{
    if (data.empty())
        return 0;
    auto pair = [&](std::size_t at) {
        return std::uint32_t{static_cast<unsigned char>(data[at])}
        | (std::uint32_t{static_cast<unsigned char>(data[at + 1])} << 8);
    };
    auto signedByte = [&](std::size_t at) {
        return static_cast<std::uint32_t>(static_cast<std::int32_t>(static_cast<signed char>(data[at])));
    };
    std::uint32_t hash = static_cast<std::uint32_t>(data.size());
    std::size_t at = 0;
    for (std::size_t blocks = data.size() / 4; blocks > 0; --blocks, at += 4) {
        hash += pair(at);
        const std::uint32_t tmp = (pair(at + 2) << 11) ^ hash;
        hash = (hash << 16) ^ tmp;
        hash += hash >> 11;
    }
    switch (data.size() % 4) {
    case 3:
        hash += pair(at);
        hash ^= hash << 16;
        hash ^= signedByte(at + 2) << 18;
        hash += hash >> 11;
        break;
    case 2:
        hash += pair(at);
        hash ^= hash << 11;
        hash += hash >> 17;
        break;
    case 1:
        hash += signedByte(at);
        hash ^= hash << 10;
        hash += hash >> 1;
        break;
    }
    hash ^= hash << 3;
    hash += hash >> 5;
    hash ^= hash << 4;
    hash += hash >> 17;
    hash ^= hash << 25;
    hash += hash >> 6;
    return hash;
}

// Reads a base::Pickle payload: 32-bit fields, everything padded to 4 bytes.
class PickleReader {
public:
    explicit PickleReader(std::string_view payload) : m_payload(payload) {}

    std::optional<std::uint32_t> Int()
    {
        if (m_payload.size() - m_at < 4)
            return std::nullopt;
        const std::uint32_t value = LittleEndian32(m_payload, m_at);
        m_at += 4;
        return value;
    }
    bool SkipInt64() { return Skip(8); }
    std::optional<std::string_view> String()
    {
        const auto length = Int();
        if (!length || *length > m_payload.size() - m_at)
            return std::nullopt;
        const std::string_view text = m_payload.substr(m_at, *length);
        if (!Skip((*length + 3) & ~std::size_t{3}))
            return std::nullopt;
        return text;
    }

private:
    bool Skip(std::size_t count)
    {
        if (count > m_payload.size() - m_at)
            return false;
        m_at += count;
        return true;
    }

    std::string_view m_payload;
    std::size_t m_at = 0;
};

// Stream 0: the pickled HttpResponseInfo, of which only the flags and the headers matter here.
bool ReadResponseInfo(std::string_view stream0, CacheEntry& result)
{
    if (stream0.size() < 4)
        return false;
    const std::uint32_t payloadSize = LittleEndian32(stream0, 0);
    if (payloadSize > stream0.size() - 4 || (stream0.size() - payloadSize) % 4 != 0)
        return false;
    PickleReader pickle(stream0.substr(stream0.size() - payloadSize));
    const auto flags = pickle.Int();
    if (!flags || (*flags & kInfoVersionMask) != kInfoVersion)
        return false;
    std::uint32_t extraFlags = 0;
    if (*flags & kInfoHasExtraFlags) {
        const auto extra = pickle.Int();
        if (!extra)
            return false;
        extraFlags = *extra;
    }
    if (!pickle.SkipInt64() || !pickle.SkipInt64()) // request and response time
        return false;
    if ((extraFlags & kExtraHasOriginalResponseTime) && !pickle.SkipInt64())
        return false;
    const auto headers = pickle.String();
    if (!headers)
        return false;
    auto head = ParseResponseHead(*headers);
    if (!head)
        return false;
    result.head = std::move(*head);
    result.cutShort = (*flags & kInfoTruncated) != 0;
    return true;
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

    CacheEntry result;
    if (!ReadResponseInfo(stream0, result))
        return std::nullopt;

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
    if (KeyHash(key) != LittleEndian32(head, 16) && kChecksumsCount)
        return std::nullopt;

    // "1/0/_dk_<site> <site> <address>": the address is the last field.
    const std::size_t space = key.rfind(' ');
    result.address = key.substr(space == std::string_view::npos ? 0 : space + 1);
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
