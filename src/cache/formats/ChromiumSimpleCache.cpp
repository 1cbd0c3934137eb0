// Chromium's Simple Cache (net/disk_cache/simple: simple_entry_format.h, simple_synchronous_entry.cc): one "_0"
// file per entry holds its header and key, stream 1 (the body) and its end record, stream 0 (the response info
// pickled as net/http/http_response_info.cc and base/pickle.h write it), maybe the key's SHA-256, and the last
// end record.
#include "cache/formats/FileNames.h"
#include "cache/formats/PrefetchedTail.h"
#include "cache/formats/StoredFormat.h"

#include <zlib.h>

namespace cache {

namespace {

constexpr std::uint64_t kInitialMagic = 0xfcfb6d1ba7725c30ull;
constexpr std::uint64_t kFinalMagic = 0xf4fa6f45970d41d8ull;
constexpr std::uint32_t kEntryVersion = 5;
constexpr std::size_t kHeaderSize = 24;         // magic, version, key length, key hash, padding
constexpr std::size_t kEndRecordSize = 24;      // magic, flags, CRC-32, stream size, padding
constexpr std::size_t kUnpaddedRecordSize = 20; // the same without padding, as 32-bit builds wrote them
constexpr std::uint32_t kHasCrc32 = 1u << 0;
constexpr std::uint32_t kHasKeySha256 = 1u << 1;
constexpr std::size_t kKeySha256Size = 32;
constexpr std::size_t kTailRead = 4096;
constexpr std::uint64_t kMaxStream0 = 1u << 20; // headers and certificates: a few KiB in practice
constexpr std::uint64_t kMaxKey = 1u << 20;
constexpr std::size_t kKeyRead = 512; // most keys fit in one read after the header
constexpr std::size_t kBodyStartLength = 16;

// Response info flags (HttpResponseInfo).
constexpr std::uint32_t kInfoVersionMask = 0xff;
constexpr std::uint32_t kInfoVersion = 3;
constexpr std::uint32_t kInfoTruncated = 1u << 12;
constexpr std::uint32_t kInfoHasExtraFlags = 1u << 31;
constexpr std::uint32_t kExtraHasOriginalResponseTime = 1u << 2;

// The file name of the entry holding streams 0 and 1: a 64-bit hash in 16 lower-case hexadecimal digits, "_0".
bool IsStreamFileName(std::string_view name)
{
    return name.size() == 18 && name.ends_with("_0") && IsHexDigits(name.substr(0, 16), false);
}

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

// ---- Which bytes: the streams' places, from the end records back to the key ----

std::uint32_t KeyHash(std::string_view data);

// 32-bit builds wrote the header and the end records without padding (20 bytes each, the key at 20): a form
// this reader does not take. Told by the last record's magic and the key's hash, which a file of the padded
// form cut short cannot both show.
bool IsUnpaddedEntry(const PrefetchedTail& tail, std::string& spare)
{
    std::string_view head;
    if (LittleEndian64(tail.Last(kUnpaddedRecordSize), 0) != kFinalMagic
        || !tail.Range(0, kUnpaddedRecordSize, spare, head) || LittleEndian64(head, 0) != kInitialMagic)
        return false;
    const std::uint64_t keyLength = LittleEndian32(head, 12);
    const std::uint32_t keyHash = LittleEndian32(head, 16);
    if (keyLength == 0 || keyLength > kMaxKey
        || !tail.Range(0, static_cast<std::size_t>(kUnpaddedRecordSize + keyLength), spare, head))
        return false;
    return KeyHash(head.substr(kUnpaddedRecordSize)) == keyHash;
}

struct Layout {
    EndRecord stream0Record;      // the file's last record
    EndRecord stream1Record;      // the record after stream 1
    std::uint64_t stream1End = 0; // where stream 1's record starts, and so where the body ends
    std::string_view stream0;     // stream 0's bytes, from the tail or the spare buffer
    std::string_view head;        // the header and the key, likewise
};

Refusable<Layout> FindLayout(const PrefetchedTail& tail, std::string& spareStreams, std::string& spareHead)
{
    const std::uint64_t size = tail.FileSize();
    if (size < kHeaderSize + 2 * kEndRecordSize)
        return Refusal::CutShort;
    // The last record says how long stream 0 is; stream 1 fills the space between the key and stream 0's record.
    Layout layout;
    const auto last = ReadEndRecord(tail.Last(kEndRecordSize), 0);
    if (!last && IsUnpaddedEntry(tail, spareHead))
        return Refusal::UnknownVersion;
    if (!last || last->streamSize > kMaxStream0)
        return Refusal::Damaged;
    layout.stream0Record = *last;
    const std::uint64_t shaSize = (last->flags & kHasKeySha256) ? kKeySha256Size : 0;
    const std::uint64_t afterStream1 = kEndRecordSize + last->streamSize + shaSize + kEndRecordSize;
    if (afterStream1 + kHeaderSize > size)
        return Refusal::Damaged;
    layout.stream1End = size - afterStream1;

    std::string_view around; // stream 1's record, then stream 0
    if (!tail.Range(layout.stream1End, static_cast<std::size_t>(kEndRecordSize + last->streamSize), spareStreams,
                    around))
        return Refusal::Unreadable;
    const auto stream1Record = ReadEndRecord(around, 0);
    if (!stream1Record)
        return Refusal::Damaged;
    layout.stream1Record = *stream1Record;
    layout.stream0 = around.substr(kEndRecordSize);

    // The header and the key: the tail has them when the file is small; else most keys fit in one more read.
    const auto headLength =
        static_cast<std::size_t>(std::min<std::uint64_t>(layout.stream1End, kHeaderSize + kKeyRead));
    if (!tail.Range(0, tail.Start() == 0 ? static_cast<std::size_t>(layout.stream1End) : headLength, spareHead,
                    layout.head))
        return Refusal::Unreadable;
    if (LittleEndian64(layout.head, 0) != kInitialMagic)
        return Refusal::Damaged;
    if (LittleEndian32(layout.head, 8) != kEntryVersion)
        return Refusal::UnknownVersion;
    const std::uint64_t keyLength = LittleEndian32(layout.head, 12);
    if (keyLength == 0 || keyLength > kMaxKey || keyLength > layout.stream1End - kHeaderSize)
        return Refusal::Damaged;
    if (layout.head.size() < kHeaderSize + keyLength
        && !tail.Range(0, static_cast<std::size_t>(kHeaderSize + keyLength), spareHead, layout.head))
        return Refusal::Unreadable;
    return layout;
}

// ---- What the bytes mean ----

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

struct ResponseInfo {
    ResponseHead head;
    bool truncated = false;
};

// Stream 0: the pickled HttpResponseInfo, of which only the flags and the headers matter here. Entries that
// keep something else there (compiled code, a service worker's records) hold no HTTP response.
Refusable<ResponseInfo> ReadResponseInfo(std::string_view stream0)
{
    if (stream0.size() < 4)
        return Refusal::NotAResponse;
    const std::uint32_t payloadSize = LittleEndian32(stream0, 0);
    if (payloadSize > stream0.size() - 4 || (stream0.size() - payloadSize) % 4 != 0)
        return Refusal::NotAResponse;
    PickleReader pickle(stream0.substr(stream0.size() - payloadSize));
    const auto flags = pickle.Int();
    if (!flags || (*flags & kInfoVersionMask) != kInfoVersion)
        return Refusal::NotAResponse;
    std::uint32_t extraFlags = 0;
    if (*flags & kInfoHasExtraFlags) {
        const auto extra = pickle.Int();
        if (!extra)
            return Refusal::Damaged;
        extraFlags = *extra;
    }
    if (!pickle.SkipInt64() || !pickle.SkipInt64()) // request and response time
        return Refusal::Damaged;
    if ((extraFlags & kExtraHasOriginalResponseTime) && !pickle.SkipInt64())
        return Refusal::Damaged;
    const auto headers = pickle.String();
    if (!headers)
        return Refusal::Damaged;
    auto head = ParseResponseHead(*headers);
    if (!head)
        return Refusal::NotAResponse;
    return ResponseInfo{std::move(*head), (*flags & kInfoTruncated) != 0};
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

// "1/0/_dk_<site> <site> <address>" or the bare address: the address is the last field.
std::string_view AddressOfKey(std::string_view key)
{
    const std::size_t space = key.rfind(' ');
    return key.substr(space == std::string_view::npos ? 0 : space + 1);
}

// Stream 1, with the CRC-32 its record keeps when the browser wrote the stream in one go.
class Stream1Body final : public ExtentBody {
public:
    Stream1Body(const EntryBytes& file, std::uint64_t offset, std::uint64_t length, std::optional<std::uint32_t> crc,
                std::string start)
        : ExtentBody(file, offset, length, std::move(start))
        , m_crc(crc)
    {}

    BodyResult Verify(const std::atomic<bool>* stop) const override
    {
        if (!m_crc)
            return BodyResult::Done;
        uLong crc = ::crc32(0L, Z_NULL, 0);
        const BodyResult read = Read(
            [&](std::string_view piece) {
                crc = ::crc32_z(crc, reinterpret_cast<const Bytef*>(piece.data()), piece.size());
                return true;
            },
            stop);
        if (read != BodyResult::Done)
            return read;
        return static_cast<std::uint32_t>(crc) == *m_crc || !kChecksumsCount ? BodyResult::Done : BodyResult::Damaged;
    }

private:
    std::optional<std::uint32_t> m_crc;
};

constexpr std::uint32_t kStreamFileMark = 1;

class ChromiumSimpleCacheFormat final : public EntryFilesFormat {
public:
    std::string_view Name() const override { return "Chromium Simple Cache"; }

    // A folder holding a file named like an entry is a Simple Cache folder, whatever it is called.
    std::uint32_t FileMark(std::string_view name) const override
    {
        return IsStreamFileName(name) ? kStreamFileMark : 0;
    }
    FolderVerdict Recognise(const FolderFacts& folder) const override
    {
        if (folder.marks & kStreamFileMark)
            return {FolderVerdict::Kind::Read, {}};
        return {};
    }

    bool IsEntryName(std::string_view name) const override { return IsStreamFileName(name); }
    bool IsEntryPath(std::string_view path) const override { return IsStreamFileName(LastComponent(path)); }

    Refusable<StoredResponse> ReadEntry(const EntryBytes& file) const override
    {
        thread_local std::string tailBytes; // one buffer for every entry a thread reads: no allocation per entry
        PrefetchedTail tail(file, tailBytes);
        if (!tail.Read(kTailRead))
            return Refusal::Unreadable;
        std::string spareStreams, spareHead;
        const auto layout = FindLayout(tail, spareStreams, spareHead);
        if (!layout)
            return layout.Why();

        if ((layout->stream0Record.flags & kHasCrc32) && Crc32(layout->stream0) != layout->stream0Record.crc32
            && kChecksumsCount)
            return Refusal::Damaged;
        const std::uint64_t keyLength = LittleEndian32(layout->head, 12);
        const std::string_view key = layout->head.substr(kHeaderSize, static_cast<std::size_t>(keyLength));
        if (KeyHash(key) != LittleEndian32(layout->head, 16) && kChecksumsCount)
            return Refusal::Damaged;
        auto info = ReadResponseInfo(layout->stream0);
        if (!info)
            return info.Why();
        const std::string_view address = AddressOfKey(key);
        if (address.empty())
            return Refusal::Damaged;

        StoredResponse response;
        response.address = std::string(address);
        response.head = std::move(info->head);
        response.cutShort = info->truncated;
        const std::uint64_t bodyAt = kHeaderSize + keyLength;
        std::optional<std::uint32_t> crc;
        if (layout->stream1Record.flags & kHasCrc32)
            crc = layout->stream1Record.crc32;
        // The head read ends where the body does at the latest, so its bytes past the key are the body's start.
        const std::string_view start = layout->head.size() > bodyAt
            ? layout->head.substr(static_cast<std::size_t>(bodyAt), kBodyStartLength)
            : std::string_view();
        response.body =
            std::make_unique<Stream1Body>(file, bodyAt, layout->stream1End - bodyAt, crc, std::string(start));
        return response;
    }
};

} // namespace

const EntryFilesFormat& ChromiumSimpleCache()
{
    static const ChromiumSimpleCacheFormat format;
    return format;
}

} // namespace cache
