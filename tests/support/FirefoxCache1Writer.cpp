#include "support/FirefoxCache1Writer.h"

#include "support/Files.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <stdexcept>

namespace test {

namespace {

constexpr std::uint32_t kSeparateFile = 0;
constexpr std::uint32_t kMaxBufferSize = 16 * 1024; // nsDiskCacheStreams.h: larger bodies go to a file of their own
constexpr std::uint32_t kLocationInitialized = 0x80000000u;
constexpr std::uint32_t kDefaultTime = 1337000000; // 2012-05-14

void Put32(std::string& bytes, std::size_t at, std::uint32_t value)
{
    if (bytes.size() < at + 4)
        bytes.resize(at + 4, '\0');
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = static_cast<char>((value >> (24 - 8 * i)) & 0xFF);
}

std::uint32_t Get32(const std::string& bytes, std::size_t at)
{
    std::uint32_t value = 0;
    for (int i = 0; i < 4; ++i)
        value = (value << 8) | (at + i < bytes.size() ? static_cast<unsigned char>(bytes[at + i]) : 0u);
    return value;
}

// nsDiskCache::Hash before the Jenkins hash came: rotate by four, add the byte.
std::uint32_t RotateHash(std::string_view key)
{
    std::uint32_t h = 0;
    for (const char c : key)
        h = (h >> (32 - 4)) ^ (h << 4) ^ static_cast<std::uint8_t>(c);
    return h == 0 ? 0xFFFFFFFFu : h;
}

void hashmix(std::uint32_t& a, std::uint32_t& b, std::uint32_t& c)
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

// nsDiskCache::Hash(key, initval) from 1.19 on: Bob Jenkins' evahash, as the browser's source writes it.
std::uint32_t JenkinsHash(std::string_view key, std::uint32_t initval)
{
    const auto* k = reinterpret_cast<const std::uint8_t*>(key.data());
    std::uint32_t a = 0x9e3779b9, b = 0x9e3779b9, c = initval;
    const auto length = static_cast<std::uint32_t>(key.size());
    std::uint32_t len = length;
    while (len >= 12) {
        a += k[0] + (std::uint32_t(k[1]) << 8) + (std::uint32_t(k[2]) << 16) + (std::uint32_t(k[3]) << 24);
        b += k[4] + (std::uint32_t(k[5]) << 8) + (std::uint32_t(k[6]) << 16) + (std::uint32_t(k[7]) << 24);
        c += k[8] + (std::uint32_t(k[9]) << 8) + (std::uint32_t(k[10]) << 16) + (std::uint32_t(k[11]) << 24);
        hashmix(a, b, c);
        k += 12;
        len -= 12;
    }
    c += length;
    switch (len) {
    case 11:
        c += (std::uint32_t(k[10]) << 24);
        [[fallthrough]];
    case 10:
        c += (std::uint32_t(k[9]) << 16);
        [[fallthrough]];
    case 9:
        c += (std::uint32_t(k[8]) << 8);
        [[fallthrough]];
    case 8:
        b += (std::uint32_t(k[7]) << 24);
        [[fallthrough]];
    case 7:
        b += (std::uint32_t(k[6]) << 16);
        [[fallthrough]];
    case 6:
        b += (std::uint32_t(k[5]) << 8);
        [[fallthrough]];
    case 5:
        b += k[4];
        [[fallthrough]];
    case 4:
        a += (std::uint32_t(k[3]) << 24);
        [[fallthrough]];
    case 3:
        a += (std::uint32_t(k[2]) << 16);
        [[fallthrough]];
    case 2:
        a += (std::uint32_t(k[1]) << 8);
        [[fallthrough]];
    case 1:
        a += k[0];
        break;
    default:
        break;
    }
    hashmix(a, b, c);
    return c;
}

std::string BlockFileName(int file) { return "_CACHE_00" + std::to_string(file) + "_"; }

// nsDiskCacheMap::GetFileForDiskCacheRecord: in "X/XX/" subfolders in 1.19, flat in the folder before.
std::string SeparateName(std::uint32_t version, std::uint32_t hash, char kind, std::uint32_t generation)
{
    char name[32];
    if ((version & 0xFFFF) >= 19)
        std::snprintf(name, sizeof name, "%X/%02X/%05X%c%02X", hash >> 28, (hash >> 20) & 0xFF, hash & 0xFFFFF, kind,
                      generation);
    else
        std::snprintf(name, sizeof name, "%08X%c%02X", hash, kind, generation);
    return name;
}

bool Exists(const std::string& path) { return std::filesystem::exists(path); }

} // namespace

FirefoxCache1Writer::FirefoxCache1Writer(std::string folder, std::uint32_t version)
    : m_folder(std::move(folder))
    , m_version(version)
{
    if (m_folder.empty() || m_folder.back() != '/')
        m_folder += '/';
    const std::uint32_t minor = version & 0xFFFF;
    if ((version >> 16) != 1 || (minor > 11 && minor != 19))
        throw std::invalid_argument("the writer knows versions 1.x up to 1.11, and 1.19");
}

std::uint32_t FirefoxCache1Writer::BitmapBytes(int file) const
{
    return (m_version & 0xFFFF) >= 19 ? 16384u >> (2 * (file - 1)) : 4096u;
}

FirefoxCache1Writer FirefoxCache1Writer::Create(const std::string& folder, std::uint32_t version)
{
    FirefoxCache1Writer writer(folder, version);
    std::filesystem::create_directories(writer.m_folder);
    for (int index = 0; index < 16 && (version & 0xFFFF) >= 19; ++index) {
        char name[4];
        std::snprintf(name, sizeof name, "%X", index);
        std::filesystem::create_directories(writer.m_folder + name);
    }
    writer.m_records.assign(static_cast<std::size_t>(writer.m_recordCount), MapRecord{});
    for (int file = 1; file <= 3; ++file) {
        writer.m_blocks[file - 1].bytes.assign(writer.BitmapBytes(file), '\0');
        writer.m_blocks[file - 1].words.assign(writer.BitmapBytes(file) / 4, 0);
    }
    writer.m_mapOnDisk = true;
    return writer;
}

FirefoxCache1Writer FirefoxCache1Writer::Open(const std::string& folder, std::uint32_t version)
{
    const std::string mapPath = folder + "/_CACHE_MAP_";
    const std::string map = Exists(mapPath) ? ReadFile(mapPath) : std::string();
    FirefoxCache1Writer writer(folder, map.size() >= 276 ? Get32(map, 0) : version);
    bool stale = true;
    if (map.size() >= 276) {
        writer.LoadMap(map);
        stale = Get32(map, 12) != 0;
    } else {
        writer.m_records.assign(static_cast<std::size_t>(writer.m_recordCount), MapRecord{});
    }
    const bool littleEndianBitmap = (writer.m_version & 0xFFFF) <= 8;
    for (int file = 1; file <= 3; ++file) {
        BlockFile& blocks = writer.m_blocks[file - 1];
        const std::string path = writer.m_folder + BlockFileName(file);
        blocks.bytes = Exists(path) ? ReadFile(path) : std::string();
        if (blocks.bytes.size() < writer.BitmapBytes(file))
            blocks.bytes.resize(writer.BitmapBytes(file), '\0');
        blocks.words.assign(writer.BitmapBytes(file) / 4, 0);
        for (std::size_t i = 0; i < blocks.words.size(); ++i) {
            std::uint32_t word = Get32(blocks.bytes, i * 4);
            if (littleEndianBitmap)
                word = ((word & 0xFF) << 24) | ((word & 0xFF00) << 8) | ((word >> 8) & 0xFF00) | (word >> 24);
            blocks.words[i] = word;
        }
        if (!stale)
            continue;
        const std::size_t size = BlockSize(file);
        for (std::size_t block = 0; writer.BitmapBytes(file) + block * size < blocks.bytes.size(); ++block) {
            const std::size_t at = writer.BitmapBytes(file) + block * size;
            const std::size_t end = std::min(blocks.bytes.size(), at + size);
            if (std::any_of(blocks.bytes.begin() + static_cast<std::ptrdiff_t>(at),
                            blocks.bytes.begin() + static_cast<std::ptrdiff_t>(end), [](char c) { return c != 0; }))
                blocks.words[block / 32] |= 1u << (block % 32);
        }
    }
    writer.m_mapOnDisk = !map.empty();
    return writer;
}

void FirefoxCache1Writer::LoadMap(const std::string& bytes)
{
    m_dataSizeK = Get32(bytes, 4);
    m_entryCount = static_cast<std::int32_t>(Get32(bytes, 8));
    m_recordCount = static_cast<std::int32_t>(Get32(bytes, 16));
    for (int bucket = 0; bucket < 32; ++bucket) {
        m_evictionRank[bucket] = Get32(bytes, 20 + 4 * bucket);
        m_bucketUsage[bucket] = Get32(bytes, 148 + 4 * bucket);
    }
    m_records.assign(static_cast<std::size_t>(m_recordCount), MapRecord{});
    for (std::size_t i = 0; i < m_records.size() && 276 + i * 16 + 16 <= bytes.size(); ++i) {
        const std::size_t at = 276 + i * 16;
        m_records[i] = MapRecord{Get32(bytes, at), Get32(bytes, at + 4), Get32(bytes, at + 8), Get32(bytes, at + 12)};
    }
}

std::uint32_t FirefoxCache1Writer::Hash(std::string_view key) const
{
    return (m_version & 0xFFFF) >= 19 ? JenkinsHash(key, 0) : RotateHash(key);
}

int FirefoxCache1Writer::CalculateFileIndex(std::uint32_t size) const
{
    // nsDiskCacheMap::CalculateFileIndex. From 1.19 the larger block is taken where it wastes no more.
    const std::uint32_t smallBlocks = (m_version & 0xFFFF) >= 19 ? 3 : 4;
    if (size <= smallBlocks * BlockSize(1))
        return 1;
    if (size <= smallBlocks * BlockSize(2))
        return 2;
    if (size <= 4 * BlockSize(3))
        return 3;
    return 0;
}

int FirefoxCache1Writer::AllocateBlocks(int file, std::uint32_t numBlocks)
{
    // nsDiskCacheBlockFile::AllocateBlocks as the browser has it: in each word only the first free bit is
    // tried as the start of the run.
    std::vector<std::uint32_t>& bitmap = m_blocks[file - 1].words;
    const int maxPos = 32 - static_cast<int>(numBlocks);
    const std::uint32_t mask = (1u << numBlocks) - 1;
    for (std::size_t i = 0; i < bitmap.size(); ++i) {
        std::uint32_t mapWord = ~bitmap[i];
        if (mapWord == 0)
            continue;
        int bit = 0;
        if ((mapWord & 0x0FFFF) == 0) {
            bit |= 16;
            mapWord >>= 16;
        }
        if ((mapWord & 0x000FF) == 0) {
            bit |= 8;
            mapWord >>= 8;
        }
        if ((mapWord & 0x0000F) == 0) {
            bit |= 4;
            mapWord >>= 4;
        }
        if ((mapWord & 0x00003) == 0) {
            bit |= 2;
            mapWord >>= 2;
        }
        if ((mapWord & 0x00001) == 0) {
            bit |= 1;
            mapWord >>= 1;
        }
        for (; bit <= maxPos; ++bit) {
            if ((mask & mapWord) == mask) {
                bitmap[i] |= mask << bit;
                return static_cast<int>(i) * 32 + bit;
            }
        }
    }
    return -1;
}

void FirefoxCache1Writer::DeallocateBlocks(int file, std::uint32_t start, std::uint32_t count)
{
    m_blocks[file - 1].words[start / 32] &= ~(((1u << count) - 1) << (start % 32));
}

std::optional<std::pair<int, std::uint32_t>> FirefoxCache1Writer::WriteBlocks(std::string_view data, int fromFile)
{
    const auto size = static_cast<std::uint32_t>(data.size());
    for (int file = fromFile; file <= 3; ++file) {
        const std::uint32_t blocks = ((size - 1) / BlockSize(file)) + 1;
        const int start = AllocateBlocks(file, blocks);
        if (start < 0)
            continue;
        std::string& bytes = m_blocks[file - 1].bytes;
        const std::size_t at = BitmapBytes(file) + static_cast<std::size_t>(start) * BlockSize(file);
        if (bytes.size() < at + data.size())
            bytes.resize(at + data.size(), '\0');
        std::copy(data.begin(), data.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at));
        m_dataSizeK += ((blocks * BlockSize(file)) + 0x03FF) >> 10;
        return std::pair{file, static_cast<std::uint32_t>(start)};
    }
    return std::nullopt; // the block files are full: the browser writes a file of its own then
}

std::uint32_t FirefoxCache1Writer::FreeGeneration(std::uint32_t hash) const
{
    // nsDiskCacheBindery::AddBinding: 1, or the next generation no file of the hash has yet.
    std::uint32_t generation = 1;
    while (Exists(m_folder + SeparateName(m_version, hash, 'd', generation))
           || Exists(m_folder + SeparateName(m_version, hash, 'm', generation)))
        ++generation;
    return generation;
}

void FirefoxCache1Writer::GrowRecords()
{
    const std::int32_t newCount = m_recordCount << 1;
    const std::uint32_t oldPerBucket = static_cast<std::uint32_t>(m_recordCount) / 32;
    const std::uint32_t newPerBucket = static_cast<std::uint32_t>(newCount) / 32;
    std::vector<MapRecord> grown(static_cast<std::size_t>(newCount));
    for (int bucket = 31; bucket >= 0; --bucket) {
        for (std::uint32_t i = 0; i < m_bucketUsage[bucket]; ++i)
            grown[bucket * newPerBucket + i] = m_records[bucket * oldPerBucket + i];
    }
    m_records = std::move(grown);
    m_recordCount = newCount;
}

void FirefoxCache1Writer::AddRecord(const MapRecord& record)
{
    const std::uint32_t bucket = record.hash & 31;
    if (m_bucketUsage[bucket] == static_cast<std::uint32_t>(m_recordCount) / 32)
        GrowRecords();
    const std::uint32_t perBucket = static_cast<std::uint32_t>(m_recordCount) / 32;
    m_records[bucket * perBucket + m_bucketUsage[bucket]] = record;
    ++m_entryCount;
    ++m_bucketUsage[bucket];
    m_evictionRank[bucket] = std::max(m_evictionRank[bucket], record.evictionRank);
}

FirefoxCache1Writer::Placed FirefoxCache1Writer::Add(const std::string& key, const Cache1Elements& elements,
                                                     std::string_view body, const Options& options)
{
    Placed placed;
    placed.hash = Hash(key);
    MapRecord record;
    record.hash = placed.hash;
    const std::uint32_t now = options.fetched != 0 ? options.fetched : kDefaultTime;
    record.evictionRank = 0xFFFFFFFFu - now;

    // nsDiskCacheStreamIO::Flush: the body first, to block files when it fits a buffer and they have room, else
    // to a file of its own.
    std::optional<std::pair<int, std::uint32_t>> dataBlocks;
    if (!body.empty() && body.size() <= kMaxBufferSize)
        dataBlocks = WriteBlocks(body, CalculateFileIndex(static_cast<std::uint32_t>(body.size())));
    if (dataBlocks) {
        const auto [file, start] = *dataBlocks;
        const std::uint32_t blocks = ((static_cast<std::uint32_t>(body.size()) - 1) / BlockSize(file)) + 1;
        record.dataLocation =
            kLocationInitialized | (static_cast<std::uint32_t>(file) << 28) | ((blocks - 1) << 24) | start;
        placed.dataFile = file;
        placed.dataBlock = start;
    } else if (!body.empty()) {
        placed.generation = FreeGeneration(placed.hash);
        placed.separateFile = SeparateName(m_version, placed.hash, 'd', placed.generation);
        WriteFile(m_folder + placed.separateFile, std::string(body));
        const std::uint32_t sizeK =
            std::min<std::uint32_t>((static_cast<std::uint32_t>(body.size()) + 0x03FF) >> 10, 0xFFFF);
        record.dataLocation = kLocationInitialized | (sizeK << 8) | placed.generation;
        m_dataSizeK += sizeK;
    }

    // nsDiskCacheMap::CreateDiskCacheEntry and WriteDiskCacheEntry: the record, with the metadata location
    // the binding had before this write (none for a new entry).
    std::string flat;
    for (const auto& [name, value] : elements) {
        flat += name;
        flat += '\0';
        flat += value;
        flat += '\0';
    }
    std::string entry;
    Put32(entry, 0, m_version);
    Put32(entry, 4, 0);
    Put32(entry, 8, options.fetchCount);
    Put32(entry, 12, now);
    Put32(entry, 16, now);
    Put32(entry, 20, 0);
    Put32(entry, 24, static_cast<std::uint32_t>(body.size()));
    Put32(entry, 28, static_cast<std::uint32_t>(key.size() + 1));
    Put32(entry, 32, static_cast<std::uint32_t>(flat.size()));
    entry += key;
    entry += '\0';
    entry += flat;
    const int fileIndex = CalculateFileIndex(static_cast<std::uint32_t>(entry.size()));
    const auto metaBlocks = fileIndex != 0 ? WriteBlocks(entry, fileIndex) : std::nullopt;
    if (metaBlocks) {
        const auto [file, start] = *metaBlocks;
        const std::uint32_t blocks = ((static_cast<std::uint32_t>(entry.size()) - 1) / BlockSize(file)) + 1;
        record.metaLocation =
            kLocationInitialized | (static_cast<std::uint32_t>(file) << 28) | ((blocks - 1) << 24) | start;
        placed.metaFile = file;
        placed.metaBlock = start;
    } else {
        // A record of its own file shares the generation of the body's file, if there is one.
        if (placed.separateFile.empty())
            placed.generation = FreeGeneration(placed.hash);
        placed.metaFile = 0;
        placed.separateRecord = SeparateName(m_version, placed.hash, 'm', placed.generation);
        WriteFile(m_folder + placed.separateRecord, entry);
        const std::uint32_t sizeK =
            std::min<std::uint32_t>((static_cast<std::uint32_t>(entry.size()) + 0x03FF) >> 10, 0xFFFF);
        record.metaLocation = kLocationInitialized | (sizeK << 8) | placed.generation;
        m_dataSizeK += sizeK;
    }
    if (options.inMap)
        AddRecord(record);
    return placed;
}

void FirefoxCache1Writer::Evict(const Placed& placed)
{
    const std::uint32_t bucket = placed.hash & 31;
    const std::uint32_t perBucket = static_cast<std::uint32_t>(m_recordCount) / 32;
    MapRecord* records = &m_records[std::size_t{bucket} * perBucket];
    for (std::uint32_t i = 0; i < m_bucketUsage[bucket]; ++i) {
        if (records[i].hash != placed.hash)
            continue;
        for (const std::uint32_t location : {records[i].dataLocation, records[i].metaLocation}) {
            const int file = static_cast<int>((location >> 28) & 3);
            if ((location & kLocationInitialized) != 0 && file != kSeparateFile)
                DeallocateBlocks(file, location & 0x00FFFFFF, ((location >> 24) & 3) + 1);
        }
        for (const std::string& own : {placed.separateFile, placed.separateRecord}) {
            if (!own.empty())
                std::filesystem::remove(m_folder + own);
        }
        const std::uint32_t last = m_bucketUsage[bucket] - 1;
        records[i] = records[last];
        records[last] = MapRecord{};
        m_bucketUsage[bucket] = last;
        --m_entryCount;
        return;
    }
    throw std::invalid_argument("no such entry in the map");
}

void FirefoxCache1Writer::Write(bool map, bool dirty)
{
    const bool littleEndianBitmap = (m_version & 0xFFFF) <= 8;
    for (int file = 1; file <= 3; ++file) {
        BlockFile& blocks = m_blocks[file - 1];
        if (map) {
            // FlushBitMap, at a clean close only.
            for (std::size_t i = 0; i < blocks.words.size(); ++i) {
                std::uint32_t word = blocks.words[i];
                if (littleEndianBitmap)
                    word = ((word & 0xFF) << 24) | ((word & 0xFF00) << 8) | ((word >> 8) & 0xFF00) | (word >> 24);
                Put32(blocks.bytes, i * 4, word);
            }
        }
        WriteFile(m_folder + BlockFileName(file), blocks.bytes);
    }
    if (!map)
        return;
    std::string bytes;
    Put32(bytes, 0, m_version);
    Put32(bytes, 4, m_dataSizeK);
    Put32(bytes, 8, static_cast<std::uint32_t>(m_entryCount));
    Put32(bytes, 12, dirty ? 1 : 0);
    Put32(bytes, 16, static_cast<std::uint32_t>(m_recordCount));
    for (int bucket = 0; bucket < 32; ++bucket) {
        Put32(bytes, 20 + 4 * bucket, m_evictionRank[bucket]);
        Put32(bytes, 148 + 4 * bucket, m_bucketUsage[bucket]);
    }
    for (std::size_t i = 0; i < m_records.size(); ++i) {
        const MapRecord& record = m_records[i];
        const std::size_t at = 276 + i * 16;
        Put32(bytes, at, record.hash);
        Put32(bytes, at + 4, record.evictionRank);
        Put32(bytes, at + 8, record.dataLocation);
        Put32(bytes, at + 12, record.metaLocation);
    }
    WriteFile(m_folder + "_CACHE_MAP_", bytes);
    m_mapOnDisk = true;
}

std::optional<FirefoxCache1Writer::Record> FirefoxCache1Writer::RecordAt(int file, std::uint32_t block) const
{
    const std::string& bytes = m_blocks[file - 1].bytes;
    const std::size_t at = BitmapBytes(file) + std::size_t{block} * BlockSize(file);
    if (at + 36 > bytes.size() || Get32(bytes, at) != m_version)
        return std::nullopt;
    const std::uint32_t keySize = Get32(bytes, at + 28), metaSize = Get32(bytes, at + 32);
    if (keySize < 2 || at + 36 + std::size_t{keySize} + metaSize > bytes.size())
        return std::nullopt;
    Record record;
    record.dataSize = Get32(bytes, at + 24);
    record.key = bytes.substr(at + 36, keySize - 1);
    const std::string flat = bytes.substr(at + 36 + keySize, metaSize);
    for (std::size_t pos = 0; pos < flat.size();) {
        const std::size_t nameEnd = flat.find('\0', pos);
        const std::size_t valueEnd = nameEnd == std::string::npos ? nameEnd : flat.find('\0', nameEnd + 1);
        if (valueEnd == std::string::npos)
            return std::nullopt;
        record.elements.emplace_back(flat.substr(pos, nameEnd - pos), flat.substr(nameEnd + 1, valueEnd - nameEnd - 1));
        pos = valueEnd + 1;
    }
    return record;
}

} // namespace test
