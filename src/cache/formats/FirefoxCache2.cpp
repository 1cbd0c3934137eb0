// Firefox's cache2 (netwerk/cache2: CacheFileMetadata, CacheFileUtils, CacheHashUtils): one file per entry in
// "cache2/entries", named by the SHA-1 of its key. A file holds the stored data (the body, then any alternative
// data), the metadata (its hash, chunk hashes, header, key, elements), and the metadata's offset at its end.
#include "cache/formats/FileNames.h"
#include "cache/formats/JenkinsHash.h"
#include "cache/formats/PrefetchedTail.h"
#include "cache/formats/StoredFormat.h"

#include <charconv>

namespace cache {

namespace {

constexpr std::uint64_t kChunkSize = std::uint64_t{256} * 1024; // one 16-bit hash per started chunk of data
constexpr std::size_t kTailRead = 4096;                         // the metadata of most entries fits in the last page
// Version 4 ends with [version][offset | encrypted flag]; versions 1 to 3 with the bare offset.
constexpr std::uint32_t kTrailerVersion = 4;
constexpr std::uint32_t kEncryptedFlag = 0x80000000u;
constexpr std::uint64_t kMaxKeyAndElements = 4u << 20; // Firefox caps the elements at 64 KiB; keys are URLs
constexpr std::size_t kBodyStartLength = 16;

// ---- Which bytes: where the data and the metadata lie, from the file's last words ----

struct Layout {
    std::uint64_t dataLength = 0;     // the stored data runs from the file's start to here ...
    std::uint64_t metadataLength = 0; // ... and the metadata follows it, up to the trailer
    bool twoWordTrailer = false;
};

Refusable<Layout> FindLayout(const PrefetchedTail& tail)
{
    if (tail.FileSize() < 8)
        return Refusal::CutShort;
    // Version 4 entries repeat their version before the offset; older ones end their elements, and so the word
    // before the offset, with a NUL byte, which 4 cannot be.
    const std::string_view end = tail.Last(8);
    const std::uint32_t offsetWord = BigEndian32(end, 4);
    Layout layout;
    layout.twoWordTrailer = BigEndian32(end, 0) == kTrailerVersion;
    if (layout.twoWordTrailer && (offsetWord & kEncryptedFlag) != 0)
        return Refusal::Encrypted;
    layout.dataLength = offsetWord;
    const std::uint64_t metadataEnd = tail.FileSize() - (layout.twoWordTrailer ? 8 : 4);
    if (layout.dataLength >= metadataEnd)
        return Refusal::Damaged;
    layout.metadataLength = metadataEnd - layout.dataLength;
    const std::uint64_t hashCount = (layout.dataLength + kChunkSize - 1) / kChunkSize;
    if (layout.metadataLength > 4 + 2 * hashCount + 32 + kMaxKeyAndElements)
        return Refusal::Damaged;
    return layout;
}

// ---- What the bytes mean ----

struct Metadata {
    std::vector<std::uint16_t> chunkHashes;
    std::string_view key;
    std::string_view elements;
};

// Hash, chunk hashes, header, key and NUL, elements.
Refusable<Metadata> ReadMetadata(std::string_view metadata, const Layout& layout)
{
    const std::uint64_t hashCount = (layout.dataLength + kChunkSize - 1) / kChunkSize;
    const std::size_t headerAt = static_cast<std::size_t>(4 + 2 * hashCount);
    if (headerAt + 28 > metadata.size())
        return Refusal::Damaged;
    if (JenkinsHash(metadata.substr(4)) != BigEndian32(metadata, 0) && kChecksumsCount)
        return Refusal::Damaged;
    const std::uint32_t version = BigEndian32(metadata, headerAt);
    if (layout.twoWordTrailer ? version != kTrailerVersion : (version < 1 || version > 3))
        return Refusal::UnknownVersion;
    const std::size_t keyAt = headerAt + (version == 1 ? 28 : 32); // version 1 had no flags word
    const std::uint64_t keyLength = BigEndian32(metadata, headerAt + 24);
    if (keyAt > metadata.size() || keyLength >= metadata.size() - keyAt || metadata[keyAt + keyLength] != '\0')
        return Refusal::Damaged;
    Metadata read;
    for (std::size_t at = 4; at < headerAt; at += 2)
        read.chunkHashes.push_back(BigEndian16(metadata, at));
    read.key = metadata.substr(keyAt, static_cast<std::size_t>(keyLength));
    read.elements = metadata.substr(keyAt + static_cast<std::size_t>(keyLength) + 1);
    return read;
}

// The key is a list of tags in ascending order, each ending in ","; ":" is the last one and the address
// follows it. Tag values escape "," as ",,".
std::optional<std::string> AddressOfKey(std::string_view key)
{
    char lastTag = 0;
    std::size_t at = 0;
    while (at < key.size()) {
        const char tag = key[at++];
        if (static_cast<unsigned char>(tag) < ' ' || static_cast<unsigned char>(tag) > 0x7f)
            return std::nullopt;
        if (tag == ':')
            return at < key.size() ? std::optional<std::string>(key.substr(at)) : std::nullopt;
        if (tag <= lastTag)
            return std::nullopt;
        lastTag = tag;
        if (tag != 'a' && tag != 'p' && tag != 'b') {
            if (at == key.size())
                return std::nullopt;
            while (at < key.size()) {
                if (key[at] != ',')
                    ++at;
                else if (at + 1 < key.size() && key[at + 1] == ',')
                    at += 2;
                else
                    break;
            }
        }
        if (at == key.size() || key[at] != ',')
            return std::nullopt;
        ++at;
    }
    return std::nullopt;
}

// "1;<offset>,<type>": alternative data (compiled scripts) stored after the response body.
std::optional<std::uint64_t> AlternativeDataOffset(std::string_view info)
{
    if (!info.starts_with("1;"))
        return std::nullopt;
    info.remove_prefix(2);
    std::uint64_t offset = 0;
    const auto [end, error] = std::from_chars(info.data(), info.data() + info.size(), offset);
    if (error != std::errc() || end == info.data() || end == info.data() + info.size() || *end != ',')
        return std::nullopt;
    return offset;
}

struct Elements {
    std::optional<ResponseHead> head;
    std::optional<std::uint64_t> alternativeDataAt;
};

// NUL-terminated name and value, pair after pair.
Refusable<Elements> ReadElements(std::string_view elements)
{
    Elements read;
    bool hasHead = false;
    while (!elements.empty()) {
        const std::size_t nameEnd = elements.find('\0');
        const std::size_t valueEnd = nameEnd == std::string_view::npos ? nameEnd : elements.find('\0', nameEnd + 1);
        if (valueEnd == std::string_view::npos)
            return Refusal::Damaged;
        const std::string_view name = elements.substr(0, nameEnd);
        const std::string_view value = elements.substr(nameEnd + 1, valueEnd - nameEnd - 1);
        if (name == "response-head") {
            hasHead = true;
            read.head = ParseResponseHead(value);
        } else if (name == "alt-data") {
            read.alternativeDataAt = AlternativeDataOffset(value);
            if (!read.alternativeDataAt)
                return Refusal::Damaged;
        }
        elements.remove_prefix(valueEnd + 1);
    }
    if (!hasHead)
        return Refusal::NotAResponse; // the predictor's notes, for one, keep no response
    if (!read.head)
        return Refusal::Damaged;
    return read;
}

// The body is the stored data up to any alternative data; the chunk hashes cover all of the stored data.
class Cache2Body final : public ExtentBody {
public:
    Cache2Body(const EntryBytes& file, std::uint64_t bodyLength, std::uint64_t dataLength,
               std::vector<std::uint16_t> chunkHashes, std::string start)
        : ExtentBody(file, 0, bodyLength, std::move(start))
        , m_file(file)
        , m_dataLength(dataLength)
        , m_chunkHashes(std::move(chunkHashes))
    {}

    BodyResult Verify(const std::atomic<bool>* stop) const override
    {
        std::string chunk;
        for (std::size_t index = 0; index < m_chunkHashes.size(); ++index) {
            if (Stopping(stop))
                return BodyResult::Stopped;
            const std::uint64_t start = index * kChunkSize;
            const auto length = static_cast<std::size_t>(std::min(kChunkSize, m_dataLength - start));
            if (!m_file.ReadAt(start, length, chunk))
                return BodyResult::Unreadable;
            if ((JenkinsHash(chunk) & 0xffff) != m_chunkHashes[index] && kChecksumsCount)
                return BodyResult::Damaged;
        }
        return BodyResult::Done;
    }

private:
    const EntryBytes& m_file;
    std::uint64_t m_dataLength;
    std::vector<std::uint16_t> m_chunkHashes; // one per started chunk of the data, as the layout promised
};

class FirefoxCache2Format final : public EntryFilesFormat {
public:
    std::string_view Name() const override { return "Firefox cache2"; }

    // Told by its folder's names: "entries" inside "cache2".
    std::uint32_t FileMark(std::string_view) const override { return 0; }
    FolderVerdict Recognise(const FolderFacts& folder) const override
    {
        if (folder.name == "entries" && LastComponent(folder.parentPath) == "cache2")
            return {FolderVerdict::Kind::Read, {}};
        return {};
    }

    // Entry files are named by the SHA-1 of their key: 40 upper-case hexadecimal digits.
    bool IsEntryName(std::string_view name) const override { return name.size() == 40 && IsHexDigits(name, true); }

    bool IsEntryPath(std::string_view path) const override
    {
        const auto [folder, name] = SplitLastComponent(path);
        if (!IsEntryName(name) || folder.empty())
            return false;
        const auto [parent, folderName] = SplitLastComponent(folder.substr(0, folder.size() - 1));
        return folderName == "entries" && LastComponent(parent) == "cache2";
    }

    Refusable<StoredResponse> ReadEntry(const EntryBytes& file) const override
    {
        thread_local std::string tailBytes; // one buffer for every entry a thread reads: no allocation per entry
        PrefetchedTail tail(file, tailBytes);
        if (!tail.Read(kTailRead))
            return Refusal::Unreadable;
        const auto layout = FindLayout(tail);
        if (!layout)
            return layout.Why();
        std::string spare;
        std::string_view metadataBytes;
        if (!tail.Range(layout->dataLength, static_cast<std::size_t>(layout->metadataLength), spare, metadataBytes))
            return Refusal::Unreadable;

        auto metadata = ReadMetadata(metadataBytes, *layout);
        if (!metadata)
            return metadata.Why();
        auto elements = ReadElements(metadata->elements);
        if (!elements)
            return elements.Why();
        auto address = AddressOfKey(metadata->key);
        if (!address)
            return Refusal::Damaged;
        const std::uint64_t bodyLength = elements->alternativeDataAt.value_or(layout->dataLength);
        if (bodyLength > layout->dataLength)
            return Refusal::Damaged;

        StoredResponse response;
        response.address = std::move(*address);
        response.head = std::move(*elements->head);
        const std::string_view start =
            tail.HeldAt(0, static_cast<std::size_t>(std::min<std::uint64_t>(bodyLength, kBodyStartLength)));
        response.body = std::make_unique<Cache2Body>(file, bodyLength, layout->dataLength,
                                                     std::move(metadata->chunkHashes), std::string(start));
        return response;
    }
};

} // namespace

const EntryFilesFormat& FirefoxCache2()
{
    static const FirefoxCache2Format format;
    return format;
}

} // namespace cache
