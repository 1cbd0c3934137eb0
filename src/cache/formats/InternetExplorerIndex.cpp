// The URL records of an index.dat, as libmsiecf's documentation of the format describes them ("MSIE Cache File
// (index.dat) format"): a header with the cache subfolders, 128-byte blocks from 0x4000 with their allocation
// bitmap at 0x250, a chain of hash tables naming the live records, and the records themselves. Every offset is
// checked against the file and the record it lies in before it is followed.
#include "cache/formats/InternetExplorerIndex.h"

#include "cache/formats/EntryBytes.h"

#include <set>

namespace cache {

namespace {

constexpr std::uint64_t kMaxIndexSize = std::uint64_t{128} << 20; // WinINet's indexes grow to tens of MiB
constexpr std::string_view kSignature = "Client UrlCache MMF Ver ";
constexpr std::size_t kHashTableAt = 32;
constexpr std::size_t kSubfolderCountAt = 72;
constexpr std::size_t kSubfoldersAt = 76;
constexpr std::size_t kSubfolderEntry = 12; // files in it, then 8 characters of name
constexpr std::uint32_t kMaxSubfolders = 32;
constexpr std::size_t kBitmapAt = 0x250;
constexpr std::size_t kFirstBlock = 0x4000;
constexpr std::size_t kBlockSize = 128;
constexpr std::size_t kHashTableEntries = 16; // after "HASH", its block count, the next table's offset, a number
constexpr std::uint32_t kUninitialized[] = {0x0BADF00Du, 0xDEADBEEFu};
constexpr std::uint32_t kHashUnused = 0x01, kHashRedirected = 0x04;

// Where a URL record keeps its location offset, subfolder index and file name offset.
struct UrlLayout {
    std::size_t location, subfolder, fileName;
};
constexpr UrlLayout kUrl52{52, 56, 60};
constexpr UrlLayout kUrl47{56, 60, 64};

// Windows-1252, the code page of western Windows systems, for the bytes 0x80 to 0x9F; those after are Latin-1.
constexpr char16_t kCp1252[32] = {0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                  0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD,
                                  0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                  0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};

// The index stores names and locations in the writing system's code page; file names on a mounted disk are
// UTF-8. Windows-1252 is taken, as for the western systems most old disks come from.
std::string Utf8Of(std::string_view text)
{
    std::string utf8;
    utf8.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        const char16_t code = byte < 0x80 ? byte : (byte < 0xA0 ? kCp1252[byte - 0x80] : byte);
        if (code < 0x80) {
            utf8 += static_cast<char>(code);
        } else if (code < 0x800) {
            utf8 += static_cast<char>(0xC0 | (code >> 6));
            utf8 += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            utf8 += static_cast<char>(0xE0 | (code >> 12));
            utf8 += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            utf8 += static_cast<char>(0x80 | (code & 0x3F));
        }
    }
    return utf8;
}

std::string Lowered(std::string_view text)
{
    std::string lowered(text);
    for (char& c : lowered) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return lowered;
}

std::string KeyOf(std::string_view subfolder, std::string_view name)
{
    std::string key = Lowered(subfolder);
    key += '/';
    key += Lowered(name);
    return key;
}

// A record at a block boundary: its signature, and its length as its block count says, inside the file.
std::optional<std::string_view> RecordAt(std::string_view bytes, std::uint64_t offset)
{
    if (offset < kFirstBlock || offset % kBlockSize != 0 || offset + 8 > bytes.size())
        return std::nullopt;
    const std::uint64_t length =
        std::uint64_t{LittleEndian32(bytes, static_cast<std::size_t>(offset) + 4)} * kBlockSize;
    if (length < 8 || length > bytes.size() - offset)
        return std::nullopt;
    return bytes.substr(static_cast<std::size_t>(offset), static_cast<std::size_t>(length));
}

// The NUL-ended string at the offset the record's word at `field` gives, inside the record.
std::optional<std::string_view> StringIn(std::string_view record, std::size_t field)
{
    if (field + 4 > record.size())
        return std::nullopt;
    const std::uint32_t at = LittleEndian32(record, field);
    if (at == 0 || at >= record.size())
        return std::nullopt;
    const std::size_t end = record.find('\0', at);
    if (end == std::string_view::npos || end == at)
        return std::nullopt;
    return record.substr(at, end - at);
}

class IndexBytes {
public:
    IndexBytes(std::string_view bytes, const UrlLayout& layout) : m_bytes(bytes), m_layout(layout) {}

    // The offsets of the records the hash tables name as live URL records.
    std::set<std::uint64_t> LiveRecords() const
    {
        std::set<std::uint64_t> live;
        std::set<std::uint64_t> tables;
        for (std::uint64_t table = LittleEndian32(m_bytes, kHashTableAt); table != 0;) {
            const auto record = RecordAt(m_bytes, table);
            if (!record || !record->starts_with("HASH") || !tables.insert(table).second)
                break; // not a hash table, or one seen already: a chain must not loop
            for (std::size_t at = kHashTableEntries; at + 8 <= record->size(); at += 8) {
                const std::uint32_t hash = LittleEndian32(*record, at);
                const std::uint32_t offset = LittleEndian32(*record, at + 4);
                if (offset == hash || IsUninitialized(hash) || IsUninitialized(offset)
                    || (hash & (kHashUnused | kHashRedirected)) != 0)
                    continue;
                if (const auto url = RecordAt(m_bytes, offset); url && url->starts_with("URL "))
                    live.insert(offset);
            }
            table = LittleEndian32(*record, 8);
        }
        return live;
    }

    // URL records in blocks the bitmap calls free: released ones no later record has written over, whose
    // blocks overlap no live record.
    std::vector<std::uint64_t> ReleasedRecords(const std::set<std::uint64_t>& live) const
    {
        std::vector<std::uint64_t> released;
        std::uint64_t liveEnd = 0; // the end of the last live record before the offset looked at
        auto nextLive = live.begin();
        for (std::uint64_t offset = kFirstBlock; offset + 8 <= m_bytes.size(); offset += kBlockSize) {
            for (; nextLive != live.end() && *nextLive <= offset; ++nextLive)
                liveEnd = std::max(liveEnd, *nextLive + RecordAt(m_bytes, *nextLive)->size());
            if (offset < liveEnd || m_bytes.compare(static_cast<std::size_t>(offset), 4, "URL ") != 0)
                continue;
            const auto record = RecordAt(m_bytes, offset);
            if (!record || (nextLive != live.end() && *nextLive < offset + record->size())
                || !BlocksFree(offset, record->size()))
                continue;
            released.push_back(offset);
            offset += record->size() - kBlockSize;
        }
        return released;
    }

    // The subfolder index, file name and location of the URL record at `offset`; nothing for a record with no
    // cached file.
    struct Url {
        std::uint8_t subfolder = 0;
        std::string_view fileName, location;
    };
    std::optional<Url> UrlAt(std::uint64_t offset) const
    {
        const auto record = RecordAt(m_bytes, offset);
        if (!record || m_layout.subfolder >= record->size())
            return std::nullopt;
        const auto fileName = StringIn(*record, m_layout.fileName);
        const auto location = StringIn(*record, m_layout.location);
        if (!fileName || !location)
            return std::nullopt;
        return Url{static_cast<std::uint8_t>((*record)[m_layout.subfolder]), *fileName, *location};
    }

private:
    static bool IsUninitialized(std::uint32_t value)
    {
        return value == kUninitialized[0] || value == kUninitialized[1];
    }

    bool BlocksFree(std::uint64_t offset, std::size_t length) const
    {
        for (std::uint64_t block = (offset - kFirstBlock) / kBlockSize;
             block * kBlockSize < offset - kFirstBlock + length; ++block) {
            const std::uint64_t at = kBitmapAt + block / 8;
            if (at >= kFirstBlock || at >= m_bytes.size()
                || (static_cast<unsigned char>(m_bytes[static_cast<std::size_t>(at)]) & (1u << (block % 8))) != 0)
                return false;
        }
        return true;
    }

    std::string_view m_bytes;
    UrlLayout m_layout;
};

} // namespace

// Fills an index from the file's bytes (a friend, so that the index's header shows none of the reading).
class IndexDatReading {
public:
    static Refusable<InternetExplorerIndex> Read(std::string_view bytes)
    {
        if (!bytes.starts_with(kSignature) || bytes.size() < kFirstBlock)
            return Refusal::Damaged;
        const std::string_view version = bytes.substr(kSignature.size(), 3);
        if (version != "5.2" && version != "4.7")
            return Refusal::UnknownVersion;

        InternetExplorerIndex index;
        index.m_version = std::string(version);
        const std::uint32_t subfolders = LittleEndian32(bytes, kSubfolderCountAt);
        if (subfolders > kMaxSubfolders)
            return Refusal::Damaged;
        for (std::uint32_t at = 0; at < subfolders; ++at) {
            const std::string_view name = bytes.substr(kSubfoldersAt + at * kSubfolderEntry + 4, 8);
            index.m_subfolders.emplace_back(name.substr(0, name.find('\0')));
        }
        const IndexBytes records(bytes, version == "5.2" ? kUrl52 : kUrl47);
        const std::set<std::uint64_t> live = records.LiveRecords();
        // Live records first: a released one only names a file no live record names.
        for (const std::uint64_t offset : live)
            Add(index, records, offset);
        for (const std::uint64_t offset : records.ReleasedRecords(live))
            Add(index, records, offset);
        return index;
    }

private:
    static void Add(InternetExplorerIndex& index, const IndexBytes& records, std::uint64_t offset)
    {
        const auto url = records.UrlAt(offset);
        if (!url || url->subfolder >= index.m_subfolders.size() || index.m_subfolders[url->subfolder].empty())
            return;
        index.m_addresses.emplace(KeyOf(index.m_subfolders[url->subfolder], Utf8Of(url->fileName)),
                                  Utf8Of(url->location));
    }
};

Refusable<InternetExplorerIndex> InternetExplorerIndex::ReadFolder(const std::string& folder)
{
    return ReadFile(folder + (folder.ends_with('/') ? "" : "/") + "index.dat");
}

Refusable<InternetExplorerIndex> InternetExplorerIndex::ReadFile(const std::string& path)
{
    const auto file = EntryFile::Open(path);
    if (!file)
        return Refusal::MissingFile;
    if (file->Size() > kMaxIndexSize)
        return Refusal::Damaged;
    std::string bytes;
    if (!file->ReadAt(0, static_cast<std::size_t>(file->Size()), bytes))
        return Refusal::Unreadable;
    return Parse(bytes);
}

Refusable<InternetExplorerIndex> InternetExplorerIndex::Parse(std::string_view bytes)
{
    return IndexDatReading::Read(bytes);
}

std::optional<std::string_view> InternetExplorerIndex::AddressOf(std::string_view subfolder,
                                                                 std::string_view fileName) const
{
    const auto found = m_addresses.find(KeyOf(subfolder, fileName));
    if (found == m_addresses.end())
        return std::nullopt;
    return found->second;
}

} // namespace cache
