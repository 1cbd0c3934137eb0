// Chromium's Simple Cache (net/disk_cache/simple: simple_entry_format.h, simple_synchronous_entry.cc): one "_0"
// file per entry holds its header and key, stream 1 (the body) and its end record, stream 0 (the response info,
// read as every Chromium backend stores it: ChromiumResponseInfo.h), maybe the key's SHA-256, and the last end
// record.
#include "cache/formats/ChromiumResponseInfo.h"
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
    return ChromiumPersistentHash(head.substr(kUnpaddedRecordSize)) == keyHash;
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
        if (ChromiumPersistentHash(key) != LittleEndian32(layout->head, 16) && kChecksumsCount)
            return Refusal::Damaged;
        auto info = ReadChromiumResponseInfo(layout->stream0);
        if (!info)
            return info.Why();
        const std::string_view address = AddressOfChromiumKey(key);
        if (address.empty())
            return Refusal::Damaged;

        StoredResponse response;
        response.address = std::string(address);
        response.head = std::move(info->head);
        response.cutShort = info->cutShort;
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
