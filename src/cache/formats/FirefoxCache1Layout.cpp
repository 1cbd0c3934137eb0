#include "cache/formats/FirefoxCache1Layout.h"

#include "cache/formats/EntryBytes.h"
#include "platform/Bytes.h"

namespace cache::cache1 {

namespace {

constexpr std::uint32_t kMajorVersion = 1;
constexpr std::uint32_t kNewestMinor = 19; // 1.19 was current from Firefox 4 until the first cache went, in 32

// 1.11 caches on disk have their bitmaps big-endian, 1.8 ones in the writer's order (little-endian on a PC),
// as the early nsDiskCacheBlockFile wrote them unswapped. Before 1.11 either order is taken: a PowerPC Mac
// wrote big-endian, and the versions between are not at hand.
constexpr std::uint32_t kFirstBigEndianBitmap = 11;
// Separate files lay flat in the cache folder in the sources of 1.11 and before, in "X/XX/" subfolders in 1.19.
constexpr std::uint32_t kLastFlatFolder = 11;
constexpr std::uint32_t kFirstSubfolders = 19;

bool BitSet(std::uint32_t word, std::uint32_t bit, std::uint32_t count)
{
    const std::uint32_t mask = ((std::uint32_t{1} << count) - 1) << bit;
    return (word & mask) == mask;
}

// A URL scheme and its colon: letters, digits, "+", "-" and "." after a first letter.
bool StartsWithScheme(std::string_view text)
{
    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos || colon == 0)
        return false;
    for (std::size_t i = 0; i < colon; ++i) {
        const char c = text[i];
        const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        if (!letter && (i == 0 || !((c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.')))
            return false;
    }
    return true;
}

bool IsUpperHex(std::string_view text)
{
    for (const char c : text) {
        if (platform::HexDigitValue(c) < 0 || (c >= 'a' && c <= 'f'))
            return false;
    }
    return !text.empty();
}

std::uint32_t HexValue(std::string_view text)
{
    std::uint32_t value = 0;
    for (const char c : text)
        value = (value << 4) | static_cast<std::uint32_t>(platform::HexDigitValue(c));
    return value;
}

// `digits` upper-case hexadecimal digits of `value`, as the browser's "%X" with a width wrote them.
void AppendHex(std::string& out, std::uint32_t value, int digits)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4)
        out += kHex[(value >> shift) & 0xFu];
}

} // namespace

Location Location::Blocks(int file, std::uint32_t start, std::uint32_t count)
{
    return Location{0x80000000u | (static_cast<std::uint32_t>(file) << 28) | ((count - 1) << 24)
                    | (start & 0x00FFFFFFu)};
}

std::uint8_t MapRecord::Generation() const
{
    if (data.Initialized() && data.File() == 0)
        return data.Generation();
    if (meta.Initialized() && meta.File() == 0)
        return meta.Generation();
    return 0;
}

std::optional<MapHeader> ReadMapHeader(std::string_view bytes)
{
    if (bytes.size() < kMapHeaderSize)
        return std::nullopt;
    MapHeader header;
    header.version = BigEndian32(bytes, 0);
    header.entryCount = static_cast<std::int32_t>(BigEndian32(bytes, 8));
    header.dirty = BigEndian32(bytes, 12) != 0;
    header.recordCount = static_cast<std::int32_t>(BigEndian32(bytes, 16));
    for (std::uint32_t bucket = 0; bucket < kBuckets; ++bucket)
        header.bucketUsage[bucket] = BigEndian32(bytes, 20 + 4 * kBuckets + 4 * bucket);
    return header;
}

MapRecord ReadMapRecord(std::string_view bytes, std::size_t at)
{
    return MapRecord{BigEndian32(bytes, at), Location{BigEndian32(bytes, at + 8)},
                     Location{BigEndian32(bytes, at + 12)}};
}

std::optional<Layout> Layout::Of(std::uint32_t version)
{
    if ((version >> 16) != kMajorVersion || (version & 0xFFFFu) == 0 || (version & 0xFFFFu) > kNewestMinor)
        return std::nullopt;
    return Layout(version);
}

bool Layout::HoldsBlocks(int file, std::uint32_t start, std::uint32_t count) const
{
    return file >= 1 && file <= kBlockFiles && count >= 1 && count <= kMaxBlocksPerRecord && start < BlockCapacity(file)
        && count <= BlockCapacity(file) - start && (start % 32) + count <= 32;
}

bool Layout::Allocated(std::string_view bitmap, std::uint32_t start, std::uint32_t count) const
{
    const std::size_t at = std::size_t{start / 32} * 4;
    if (at + 4 > bitmap.size())
        return false;
    const std::uint32_t bit = start % 32;
    if (BitSet(BigEndian32(bitmap, at), bit, count))
        return true;
    return Minor() < kFirstBigEndianBitmap && BitSet(LittleEndian32(bitmap, at), bit, count);
}

Layout::KeyHashes Layout::HashesOf(std::string_view key) const
{
    if (!MayUseJenkinsHash())
        return KeyHashes{RotatingHash(key), std::nullopt};
    if (!MayUseRotatingHash())
        return KeyHashes{JenkinsHash(key), std::nullopt};
    return KeyHashes{JenkinsHash(key), RotatingHash(key)};
}

std::uint32_t RotatingHash(std::string_view key)
{
    std::uint32_t hash = 0;
    for (const char c : key)
        hash = (hash >> 28) ^ (hash << 4) ^ static_cast<unsigned char>(c);
    return hash == 0 ? 0xFFFFFFFFu : hash;
}

int Layout::SmallestFileFor(std::uint64_t size) const
{
    for (int file = 1; file <= kBlockFiles; ++file) {
        // From 1.19 a fourth small block wastes as much as one of the next size, which is taken instead.
        const std::uint64_t blocks = Minor() < kFirstSubfolders || file == kBlockFiles ? kMaxBlocksPerRecord : 3;
        if (size <= blocks * BlockSize(file))
            return file;
    }
    return 0;
}

std::optional<RecordHeader> ReadRecordHeader(std::string_view bytes)
{
    if (bytes.size() < kRecordHeaderSize)
        return std::nullopt;
    RecordHeader header;
    header.version = BigEndian32(bytes, 0);
    header.metaLocation = Location{BigEndian32(bytes, 4)};
    header.fetchCount = BigEndian32(bytes, 8);
    header.lastFetched = BigEndian32(bytes, 12);
    header.lastModified = BigEndian32(bytes, 16);
    header.dataSize = BigEndian32(bytes, 24);
    header.keySize = BigEndian32(bytes, 28);
    header.metaDataSize = BigEndian32(bytes, 32);
    return header;
}

std::optional<Record> ReadRecord(std::string_view bytes)
{
    const auto header = ReadRecordHeader(bytes);
    if (!header || header->keySize < 2 || header->Size() > bytes.size())
        return std::nullopt;
    const std::string_view key = bytes.substr(kRecordHeaderSize, header->keySize - 1);
    if (bytes[kRecordHeaderSize + header->keySize - 1] != '\0' || key.find('\0') != std::string_view::npos)
        return std::nullopt;
    const std::string_view elements = bytes.substr(kRecordHeaderSize + header->keySize, header->metaDataSize);
    if (!elements.empty() && elements.back() != '\0')
        return std::nullopt;
    return Record{*header, key, elements};
}

std::optional<std::string_view> ElementValue(std::string_view elements, std::string_view name)
{
    while (!elements.empty()) {
        const std::size_t nameEnd = elements.find('\0');
        const std::size_t valueEnd =
            nameEnd == std::string_view::npos ? std::string_view::npos : elements.find('\0', nameEnd + 1);
        if (valueEnd == std::string_view::npos)
            return std::nullopt;
        if (elements.substr(0, nameEnd) == name)
            return elements.substr(nameEnd + 1, valueEnd - nameEnd - 1);
        elements.remove_prefix(valueEnd + 1);
    }
    return std::nullopt;
}

std::optional<std::string> AddressOfKey(std::string_view key)
{
    const std::size_t colon = key.find(':');
    if (colon == 0 || colon == std::string_view::npos || colon + 1 == key.size())
        return std::nullopt;
    std::string_view rest = key.substr(colon + 1);
    // nsHttpChannel::GenerateCacheKey: "anon&", "id=<post id>&" and the like, then "uri=" and the address.
    if (!StartsWithScheme(rest)) {
        for (std::string_view parts = rest; !parts.empty();) {
            if (parts.starts_with("uri=")) {
                rest = parts.substr(4);
                break;
            }
            const std::size_t end = parts.find_first_of("&:/");
            if (end == std::string_view::npos || parts[end] != '&')
                break;
            parts.remove_prefix(end + 1);
        }
    }
    if (rest.empty())
        return std::nullopt;
    return std::string(rest);
}

std::string SubfolderFileName(std::uint32_t hash, bool metadata, std::uint8_t generation)
{
    // "%X/%02X/%05X%c%02X": the listing of a crashed cache names thousands, so no printf.
    std::string name;
    name.reserve(13);
    AppendHex(name, hash >> 28, 1);
    name += '/';
    AppendHex(name, (hash >> 20) & 0xFFu, 2);
    name += '/';
    AppendHex(name, hash & 0xFFFFFu, 5);
    name += metadata ? 'm' : 'd';
    AppendHex(name, generation, 2);
    return name;
}

std::string FlatFileName(std::uint32_t hash, bool metadata, std::uint8_t generation)
{
    std::string name; // "%08X%c%02X"
    name.reserve(11);
    AppendHex(name, hash, 8);
    name += metadata ? 'm' : 'd';
    AppendHex(name, generation, 2);
    return name;
}

std::optional<SeparateFile> ParseSeparateFileName(std::string_view path)
{
    std::string hash;
    std::string_view rest;
    if (path.size() == 13 && path[1] == '/' && path[4] == '/') {
        // "X/XX/XXXXXmGG": 1, 2 and 5 hexadecimal digits of the hash, the kind, 2 of the generation
        hash = std::string(path.substr(0, 1)) + std::string(path.substr(2, 2)) + std::string(path.substr(5, 5));
        rest = path.substr(10);
    } else if (path.size() == 11) {
        hash = std::string(path.substr(0, 8));
        rest = path.substr(8);
    } else {
        return std::nullopt;
    }
    const std::string_view generation = rest.substr(1);
    if (!IsUpperHex(hash) || !IsUpperHex(generation) || (rest[0] != 'm' && rest[0] != 'd'))
        return std::nullopt;
    return SeparateFile{HexValue(hash), rest[0] == 'm', static_cast<std::uint8_t>(HexValue(generation))};
}

bool Layout::SeparateFileLayoutOpen() const { return Minor() > kLastFlatFolder && Minor() < kFirstSubfolders; }

std::string Layout::SeparateFileName(std::uint32_t hash, bool metadata, std::uint8_t generation) const
{
    return Minor() > kLastFlatFolder ? SubfolderFileName(hash, metadata, generation)
                                     : FlatFileName(hash, metadata, generation);
}

std::vector<std::string> Layout::SeparateFileNames(std::uint32_t hash, bool metadata, std::uint8_t generation) const
{
    std::vector<std::string> names;
    if (Minor() > kLastFlatFolder)
        names.push_back(SubfolderFileName(hash, metadata, generation));
    if (Minor() < kFirstSubfolders)
        names.push_back(FlatFileName(hash, metadata, generation));
    return names;
}

namespace {
constexpr std::array<std::string_view, kBlockFiles> kBlockFileNames{"_CACHE_001_", "_CACHE_002_", "_CACHE_003_"};
} // namespace

std::string BlockFileName(int file) { return std::string(kBlockFileNames[static_cast<std::size_t>(file - 1)]); }

int BlockFileOfName(std::string_view name)
{
    for (int file = 1; file <= kBlockFiles; ++file) {
        if (name == kBlockFileNames[static_cast<std::size_t>(file - 1)])
            return file;
    }
    return 0;
}

} // namespace cache::cache1
