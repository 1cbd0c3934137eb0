// Reads Firefox's cache2 entry files (netwerk/cache2: CacheFileMetadata, CacheFileUtils, CacheHashUtils).
#include "cache/CacheEntry.h"

#include <charconv>

namespace cache {

namespace {

constexpr std::uint64_t kChunkSize = std::uint64_t{256} * 1024; // one 16-bit hash per started chunk of body
constexpr std::size_t kTailRead = 4096;                         // the metadata of most entries fits in the last page
// Version 4 ends with [version][offset | encrypted flag]; versions 1 to 3 with the bare offset.
constexpr std::uint32_t kTrailerVersion = 4;
constexpr std::uint32_t kEncryptedFlag = 0x80000000u;
constexpr std::uint64_t kMaxKeyAndElements = 4u << 20; // Firefox caps the elements at 64 KiB; keys are URLs

// Bob Jenkins' hash as Firefox checks its metadata with (CacheHash::Hash, initial value 0).
void Mix(std::uint32_t& a, std::uint32_t& b, std::uint32_t& c)
{
    a -= b, a -= c, a ^= (c >> 13);
    b -= c, b -= a, b ^= (a << 8);
    c -= a, c -= b, c ^= (b >> 13);
    a -= b, a -= c, a ^= (c >> 12);
    b -= c, b -= a, b ^= (a << 16);
    c -= a, c -= b, c ^= (b >> 5);
    a -= b, a -= c, a ^= (c >> 3);
    b -= c, b -= a, b ^= (a << 10);
    c -= a, c -= b, c ^= (b >> 15);
}

std::uint32_t MetadataHash(std::string_view data)
{
    std::uint32_t a = 0x9e3779b9u, b = 0x9e3779b9u, c = 0;
    std::size_t at = 0;
    for (; data.size() - at >= 12; at += 12) {
        a += LittleEndian32(data, at);
        b += LittleEndian32(data, at + 4);
        c += LittleEndian32(data, at + 8);
        Mix(a, b, c);
    }
    c += static_cast<std::uint32_t>(data.size());
    // The last 0..11 bytes; the lowest byte of c is taken by the length.
    const std::size_t left = data.size() - at;
    for (std::size_t i = 0; i < left; ++i) {
        const std::uint32_t byte = static_cast<unsigned char>(data[at + i]);
        if (i < 4)
            a += byte << (8 * i);
        else if (i < 8)
            b += byte << (8 * (i - 4));
        else
            c += byte << (8 * (i - 7));
    }
    Mix(a, b, c);
    return c;
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

} // namespace

std::optional<CacheEntry> ReadFirefoxEntry(const EntryBytes& entry)
{
    const std::uint64_t size = entry.Size();
    if (size < 8)
        return std::nullopt;
    const std::size_t tailLength = static_cast<std::size_t>(std::min<std::uint64_t>(size, kTailRead));
    const std::uint64_t tailStart = size - tailLength;
    thread_local std::string tail; // one buffer for every entry a thread reads: no allocation per entry
    if (!entry.ReadAt(tailStart, tailLength, tail))
        return std::nullopt;

    // Version 4 entries repeat their version before the offset; older ones end their elements, and so the word
    // before the offset, with a NUL byte, which 4 cannot be.
    const std::uint32_t offsetWord = BigEndian32(tail, tail.size() - 4);
    const bool twoWordTrailer = tail.size() >= 8 && BigEndian32(tail, tail.size() - 8) == kTrailerVersion;
    if (twoWordTrailer && (offsetWord & kEncryptedFlag) != 0)
        return std::nullopt; // encrypted with a key only that browser session had
    const std::uint64_t bodyLength = offsetWord;
    const std::uint64_t metadataEnd = size - (twoWordTrailer ? 8 : 4);
    if (bodyLength >= metadataEnd)
        return std::nullopt;
    const std::uint64_t hashCount = (bodyLength + kChunkSize - 1) / kChunkSize;
    const std::uint64_t metadataLength = metadataEnd - bodyLength;
    if (metadataLength > 4 + 2 * hashCount + 32 + kMaxKeyAndElements)
        return std::nullopt;

    std::string bytes;
    std::string_view metadata;
    if (bodyLength >= tailStart) {
        metadata = std::string_view(tail).substr(static_cast<std::size_t>(bodyLength - tailStart),
                                                 static_cast<std::size_t>(metadataLength));
    } else {
        if (!entry.ReadAt(bodyLength, static_cast<std::size_t>(metadataLength), bytes))
            return std::nullopt;
        metadata = bytes;
    }

    // hash, chunk hashes, header, key and NUL, elements
    const std::size_t headerAt = static_cast<std::size_t>(4 + 2 * hashCount);
    if (headerAt + 28 > metadata.size())
        return std::nullopt;
    if (MetadataHash(metadata.substr(4)) != BigEndian32(metadata, 0) && kChecksumsCount)
        return std::nullopt;
    const std::uint32_t version = BigEndian32(metadata, headerAt);
    if (twoWordTrailer ? version != kTrailerVersion : (version < 1 || version > 3))
        return std::nullopt;
    const std::size_t keyAt = headerAt + (version == 1 ? 28 : 32); // version 1 had no flags word
    const std::uint64_t keyLength = BigEndian32(metadata, headerAt + 24);
    if (keyAt > metadata.size() || keyLength >= metadata.size() - keyAt || metadata[keyAt + keyLength] != '\0')
        return std::nullopt;
    const std::string_view key = metadata.substr(keyAt, static_cast<std::size_t>(keyLength));
    std::string_view elements = metadata.substr(keyAt + static_cast<std::size_t>(keyLength) + 1);

    auto address = AddressOfKey(key);
    if (!address)
        return std::nullopt;
    CacheEntry result;
    result.address = std::move(*address);
    result.bodyLength = bodyLength;
    result.hashedLength = bodyLength;
    for (std::size_t at = 4; at < headerAt; at += 2)
        result.chunkHashes.push_back(BigEndian16(metadata, at));

    // NUL-terminated name and value, pair after pair.
    std::optional<ResponseHead> head;
    while (!elements.empty()) {
        const std::size_t nameEnd = elements.find('\0');
        const std::size_t valueEnd = nameEnd == std::string_view::npos ? nameEnd : elements.find('\0', nameEnd + 1);
        if (valueEnd == std::string_view::npos)
            return std::nullopt;
        const std::string_view name = elements.substr(0, nameEnd);
        const std::string_view value = elements.substr(nameEnd + 1, valueEnd - nameEnd - 1);
        if (name == "response-head") {
            head = ParseResponseHead(value);
        } else if (name == "alt-data") {
            const auto offset = AlternativeDataOffset(value);
            if (!offset || *offset > bodyLength)
                return std::nullopt;
            result.bodyLength = *offset;
        }
        elements.remove_prefix(valueEnd + 1);
    }
    if (!head)
        return std::nullopt;
    result.head = std::move(*head);
    if (tailStart == 0)
        result.bodyStart =
            tail.substr(0, static_cast<std::size_t>(std::min<std::uint64_t>(result.bodyLength, kBodyStartLength)));
    return result;
}

bool FirefoxChunksMatch(const EntryBytes& entry, const CacheEntry& read)
{
    if (read.chunkHashes.size() != (read.hashedLength + kChunkSize - 1) / kChunkSize)
        return false;
    std::string chunk;
    for (std::size_t index = 0; index < read.chunkHashes.size(); ++index) {
        const std::uint64_t start = index * kChunkSize;
        const auto length = static_cast<std::size_t>(std::min(kChunkSize, read.hashedLength - start));
        if (!entry.ReadAt(start, length, chunk)
            || ((MetadataHash(chunk) & 0xffff) != read.chunkHashes[index] && kChecksumsCount))
            return false;
    }
    return true;
}

} // namespace cache
