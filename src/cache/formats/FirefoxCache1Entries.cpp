// From a first-cache record to an entry with its body placed (netwerk/cache: nsDiskCacheMap::ReadDiskCacheEntry,
// ReadDataCacheBlocks, GetFileForDiskCacheRecord; nsDiskCacheStreamIO for where bodies are written).
#include "cache/formats/FirefoxCache1Reading.h"

#include "cache/formats/EntryBytes.h"
#include "platform/Bytes.h"

#include <algorithm>

namespace cache {

namespace cache1 {

namespace {

// URLs in keys are escaped ASCII; a "key" with control bytes is some other data that happens to fit.
bool PlausibleKey(std::string_view key)
{
    return std::none_of(key.begin(), key.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte < 0x20 || byte == 0x7F;
    });
}

// Whether a body's first block now holds a record of this cache: then the map's record of the body is older
// than the blocks, which were given to another entry since.
bool BlocksHoldRecord(const FirefoxCache1::State& state, const Cache1Body& body, const RecordMarks* marks)
{
    if (marks != nullptr) {
        const std::vector<bool>& marked = marks->records[body.blockFile - 1];
        return body.startBlock < marked.size() && marked[body.startBlock];
    }
    const auto& file = state.BlockFile(body.blockFile);
    std::string start;
    return file->ReadAt(state.layout->BlockOffset(body.blockFile, body.startBlock), kRecordHeaderSize, start)
        && LooksLikeRecord(*state.layout, start);
}

bool SamePlace(const RecordPlace& a, const RecordPlace& b) { return a.container == b.container && a.block == b.block; }

} // namespace

std::string RecordMarks::StartOf(const Cache1Body& body) const
{
    const std::string& all = starts[body.blockFile - 1];
    const std::size_t at = std::size_t{body.startBlock} * kStartLength;
    if (body.place != Cache1Body::Place::Blocks || at + kStartLength > all.size())
        return {};
    return all.substr(at, static_cast<std::size_t>(std::min<std::uint64_t>(body.length, kStartLength)));
}

bool LooksLikeRecord(const Layout& layout, std::string_view start)
{
    // Most blocks hold body bytes: the version word alone tells them.
    if (start.size() < kRecordHeaderSize || BigEndian32(start, 0) != layout.Version())
        return false;
    const auto header = ReadRecordHeader(start);
    return header && header->version == layout.Version() && header->keySize >= 2 && header->Size() <= kMaxBlockData;
}

void Refuse(FirefoxCache1Entry& entry, Refusal reason)
{
    if (!entry.refusal)
        entry.refusal = reason;
}

FirefoxCache1Entry Finished(FirefoxCache1Entry entry)
{
    if (!entry.head)
        Refuse(entry, Refusal::NotAResponse);
    return entry;
}

std::uint32_t BlocksFor(std::uint64_t size, int file)
{
    const std::uint64_t blockSize = Layout::BlockSize(file);
    return static_cast<std::uint32_t>(std::min<std::uint64_t>((size + blockSize - 1) / blockSize, 0xFFFFFFFFu));
}

FirefoxCache1Entry EntryOfRecord(const Record& record, const Layout::KeyHashes& hashes, std::string container,
                                 std::uint32_t block)
{
    FirefoxCache1Entry entry;
    entry.container = std::move(container);
    entry.block = block;
    entry.key = std::string(record.key);
    entry.hash = hashes.first;
    entry.fetchCount = record.header.fetchCount;
    entry.lastFetched = record.header.lastFetched;
    entry.lastModified = record.header.lastModified;
    entry.body.length = record.header.dataSize;
    if (auto address = AddressOfKey(record.key))
        entry.address = std::move(*address);
    else
        Refuse(entry, Refusal::Damaged);
    if (const auto head = ElementValue(record.elements, "response-head"))
        entry.head = ParseResponseHead(*head);
    return entry;
}

std::string ExistingSeparateFile(const FirefoxCache1::State& state, std::uint32_t hash, bool metadata,
                                 std::uint8_t generation)
{
    // The versions whose sources settle the layout have one name for it; only those between are looked for.
    if (!state.layout->SeparateFileLayoutOpen())
        return state.layout->SeparateFileName(hash, metadata, generation);
    const std::vector<std::string> names = state.layout->SeparateFileNames(hash, metadata, generation);
    if (names.size() > 1) {
        for (const std::string& name : names) {
            if (state.files->SizeOf(name))
                return name;
        }
    }
    return names.front();
}

std::optional<RecordPlace> PlaceOfMapRecord(const FirefoxCache1::State& state, const MapRecord& record)
{
    if (!record.meta.Initialized() || !record.meta.ReservedClear())
        return std::nullopt;
    if (record.meta.File() == 0)
        return RecordPlace{ExistingSeparateFile(state, record.hash, true, record.Generation()), 0, 0};
    return RecordPlace{BlockFileName(record.meta.File()), record.meta.StartBlock(), record.meta.File()};
}

std::variant<Cache1Body, Refusal> BodyOfMapRecord(const FirefoxCache1::State& state, const MapRecord& record,
                                                  std::uint32_t length, bool checkBitmap, const SeparateFiles* listed)
{
    Cache1Body body;
    body.length = length;
    if (length == 0)
        return body;
    if (!record.data.Initialized() || !record.data.ReservedClear())
        return Refusal::Damaged;
    if (record.data.File() == 0) {
        body.place = Cache1Body::Place::SeparateFile;
        body.separateFile = ExistingSeparateFile(state, record.hash, false, record.Generation());
        if (listed != nullptr)
            return listed->Holds(record.hash, body.separateFile) ? std::variant<Cache1Body, Refusal>(std::move(body))
                                                                 : Refusal::MissingFile;
        auto file = state.files->Open(body.separateFile);
        if (!file)
            return Refusal::MissingFile;
        if (file->Size() < length)
            return Refusal::CutShort;
        body.file = std::move(file);
        return body;
    }
    const Layout& layout = *state.layout;
    const int fileIndex = record.data.File();
    const int smallest = layout.SmallestFileFor(length);
    body.place = Cache1Body::Place::Blocks;
    body.blockFile = fileIndex;
    body.startBlock = record.data.StartBlock();
    body.blockCount = record.data.BlockCount();
    if (smallest == 0 || fileIndex < smallest || body.blockCount != BlocksFor(length, fileIndex)
        || !layout.HoldsBlocks(fileIndex, body.startBlock, body.blockCount))
        return Refusal::Damaged;
    const auto& file = state.BlockFile(fileIndex);
    if (!file)
        return Refusal::MissingFile;
    if (file->Size() < layout.BlockOffset(fileIndex, body.startBlock) + length)
        return Refusal::CutShort;
    if (checkBitmap && !layout.Allocated(state.bitmaps[fileIndex - 1], body.startBlock, body.blockCount))
        return Refusal::Damaged;
    return body;
}

FirefoxCache1Entry EntryOfMapRecord(const FirefoxCache1::State& state, const MapRecord& record,
                                    std::array<std::unique_ptr<WindowReader>, kBlockFiles>& readers)
{
    const Layout& layout = *state.layout;
    const auto place = PlaceOfMapRecord(state, record);
    FirefoxCache1Entry refused;
    refused.container = place ? place->container : std::string();
    refused.block = place ? place->block : 0;
    refused.hash = record.hash;
    refused.inMap = true;
    const auto refuse = [&](Refusal reason) {
        refused.refusal = reason;
        return refused;
    };
    if (!place)
        return refuse(Refusal::Damaged);

    std::string separate;
    std::string_view bytes;
    std::uint32_t count = 0;
    if (place->file == 0) {
        if (!state.files->SizeOf(place->container))
            return refuse(Refusal::MissingFile);
        auto read = ReadSeparateRecord(*state.files, place->container);
        if (!read)
            return refuse(Refusal::Damaged);
        separate = std::move(*read);
        bytes = separate;
    } else {
        auto& reader = readers[place->file - 1];
        count = record.meta.BlockCount();
        if (!reader)
            return refuse(Refusal::MissingFile);
        if (!layout.HoldsBlocks(place->file, place->block, count))
            return refuse(Refusal::Damaged);
        const auto read = reader->Read(layout.BlockOffset(place->file, place->block),
                                       std::size_t{count} * Layout::BlockSize(place->file));
        if (!read)
            return refuse(Refusal::CutShort);
        bytes = *read;
    }
    const auto parsed = ReadRecord(bytes);
    if (!parsed) {
        // Cut short: the file ends before a record that would fit where the map puts it.
        const auto header = ReadRecordHeader(bytes);
        const bool fits =
            header && (place->file == 0 || header->Size() <= std::size_t{count} * Layout::BlockSize(place->file));
        return refuse(fits && header->Size() > bytes.size() ? Refusal::CutShort : Refusal::Damaged);
    }
    const Layout::KeyHashes hashes = layout.HashesOf(parsed->key);
    FirefoxCache1Entry entry = EntryOfRecord(*parsed, hashes, place->container, place->block);
    entry.hash = record.hash;
    entry.inMap = true;
    if (parsed->header.version != layout.Version() || !hashes.Contain(record.hash)
        || (place->file != 0
            && (BlocksFor(parsed->header.Size(), place->file) != count
                || !layout.Allocated(state.bitmaps[place->file - 1], place->block, count))))
        Refuse(entry, Refusal::Damaged);
    auto body = BodyOfMapRecord(state, record, parsed->header.dataSize, true, nullptr);
    if (auto* placed = std::get_if<Cache1Body>(&body))
        entry.body = std::move(*placed);
    else
        Refuse(entry, std::get<Refusal>(body));
    return Finished(std::move(entry));
}

namespace {

// By hash, then path. The search of a crashed cache lists thousands of files: their places are sorted, and each
// file moved once.
void SortByHash(std::vector<SeparateFileAt>& files)
{
    std::vector<std::uint32_t> order(files.size());
    for (std::uint32_t at = 0; at < order.size(); ++at)
        order[at] = at;
    std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
        const SeparateFileAt& x = files[a];
        const SeparateFileAt& y = files[b];
        return x.name.hash != y.name.hash ? x.name.hash < y.name.hash : x.path < y.path;
    });
    std::vector<SeparateFileAt> sorted;
    sorted.reserve(files.size());
    for (const std::uint32_t at : order)
        sorted.push_back(std::move(files[at]));
    files = std::move(sorted);
}

void AddIfSeparate(std::vector<SeparateFileAt>& found, std::string path, const std::optional<std::uint32_t>& hash = {})
{
    const auto parsed = ParseSeparateFileName(path);
    if (parsed && (!hash || parsed->hash == *hash))
        found.push_back(SeparateFileAt{std::move(path), *parsed});
}

} // namespace

SeparateFiles SeparateFiles::Walk(const CacheFiles& files)
{
    SeparateFiles found;
    for (const std::string& top : files.List("")) {
        if (top.size() != 1 || platform::HexDigitValue(top[0]) < 0) {
            AddIfSeparate(found.m_files, top); // the flat folder of versions before 1.19
            continue;
        }
        for (const std::string& middle : files.List(top)) {
            if (middle.size() != 2)
                continue;
            std::string folder = top;
            folder.append("/").append(middle).append("/");
            for (const std::string& name : files.List(folder))
                AddIfSeparate(found.m_files, folder + name);
        }
    }
    SortByHash(found.m_files);
    return found;
}

SeparateFiles SeparateFiles::Of(const CacheFiles& files, const Layout& layout, const Layout::KeyHashes& hashes)
{
    SeparateFiles found;
    for (const std::optional<std::uint32_t> hash : {std::optional(hashes.first), hashes.second}) {
        if (!hash)
            continue;
        for (const std::string& name : layout.SeparateFileNames(*hash, false, 0)) {
            const std::size_t slash = name.rfind('/');
            const std::string folder = slash == std::string::npos ? std::string() : name.substr(0, slash);
            for (const std::string& inFolder : files.List(folder))
                AddIfSeparate(found.m_files,
                              folder.empty() ? inFolder : std::string(folder).append("/").append(inFolder), hash);
        }
    }
    SortByHash(found.m_files);
    return found;
}

bool SeparateFiles::Holds(std::uint32_t hash, const std::string& path) const
{
    const auto first = std::lower_bound(m_files.begin(), m_files.end(), hash,
                                        [](const SeparateFileAt& file, std::uint32_t h) { return file.name.hash < h; });
    for (auto at = first; at != m_files.end() && at->name.hash == hash; ++at) {
        if (at->path == path)
            return true;
    }
    return false;
}

std::vector<const SeparateFileAt*> SeparateFiles::DataFiles(std::uint32_t hash) const
{
    std::vector<const SeparateFileAt*> data;
    const auto first = std::lower_bound(m_files.begin(), m_files.end(), hash,
                                        [](const SeparateFileAt& file, std::uint32_t h) { return file.name.hash < h; });
    for (auto at = first; at != m_files.end() && at->name.hash == hash; ++at) {
        if (!at->name.metadata)
            data.push_back(&*at);
    }
    return data;
}

std::optional<Cache1Body> BodyByHash(const CacheFiles& files, const SeparateFiles& separate,
                                     const Layout::KeyHashes& hashes, std::uint32_t length,
                                     std::optional<std::uint8_t> generation)
{
    std::vector<std::string> exact, longer;
    for (const std::optional<std::uint32_t> hash : {std::optional(hashes.first), hashes.second}) {
        if (!hash)
            continue;
        for (const SeparateFileAt* data : separate.DataFiles(*hash)) {
            if (generation && data->name.generation != *generation)
                continue;
            const auto size = files.SizeOf(data->path);
            if (size && *size == length)
                exact.push_back(data->path);
            else if (size && *size > length)
                longer.push_back(data->path);
        }
    }
    std::vector<std::string>& chosen = exact.empty() ? longer : exact;
    if (chosen.size() != 1)
        return std::nullopt; // none, or several files the hash could mean
    Cache1Body body;
    body.place = Cache1Body::Place::SeparateFile;
    body.separateFile = std::move(chosen.front());
    body.length = length;
    return body;
}

std::optional<Record> RecordInBlocks(WindowReader& reader, const Layout& layout, int file, std::uint32_t block)
{
    const std::uint64_t offset = layout.BlockOffset(file, block);
    const auto start = reader.Read(offset, kRecordHeaderSize);
    const auto header = start ? ReadRecordHeader(*start) : std::nullopt;
    if (!header || header->version != layout.Version())
        return std::nullopt;
    const std::uint64_t size = header->Size();
    const int smallest = layout.SmallestFileFor(size);
    const std::uint32_t count = BlocksFor(size, file);
    if (smallest == 0 || file < smallest || !layout.HoldsBlocks(file, block, count))
        return std::nullopt;
    const auto bytes = reader.Read(offset, std::size_t{count} * Layout::BlockSize(file));
    auto record = bytes ? ReadRecord(*bytes) : std::nullopt;
    if (!record || !PlausibleKey(record->key))
        return std::nullopt;
    return record;
}

void OpenSeparateBody(const FirefoxCache1::State& state, FirefoxCache1Entry& entry)
{
    Cache1Body& body = entry.body;
    if (entry.refusal || body.place != Cache1Body::Place::SeparateFile || body.file)
        return;
    body.file = state.files->Open(body.separateFile);
    if (!body.file)
        Refuse(entry, Refusal::MissingFile);
    else if (body.file->Size() < body.length)
        Refuse(entry, Refusal::CutShort);
}

std::optional<std::string> ReadSeparateRecord(const CacheFiles& files, const std::string& path)
{
    const auto file = files.Open(path);
    if (!file || file->Size() > kMaxSeparateRecord)
        return std::nullopt;
    std::string bytes;
    if (!file->ReadAt(0, static_cast<std::size_t>(file->Size()), bytes))
        return std::nullopt;
    return bytes;
}

void PlaceUntrustedBody(const FirefoxCache1::State& state, const SeparateFiles& separate, const RecordPlace& place,
                        const Layout::KeyHashes& hashes, std::optional<std::uint8_t> generation,
                        FirefoxCache1Entry& entry, const RecordMarks* marks)
{
    const auto length = static_cast<std::uint32_t>(entry.body.length);
    for (const std::optional<std::uint32_t> hash : {std::optional(hashes.first), hashes.second}) {
        if (!hash)
            continue;
        const auto first = std::lower_bound(state.mapRecords.begin(), state.mapRecords.end(), *hash,
                                            [](const MapRecord& r, std::uint32_t h) { return r.hash < h; });
        for (auto at = first; at != state.mapRecords.end() && at->hash == *hash; ++at) {
            const auto mapped = PlaceOfMapRecord(state, *at);
            if (!mapped || !SamePlace(*mapped, place))
                continue;
            // A search opens no body file yet: it holds every entry before it hands one out.
            auto body = BodyOfMapRecord(state, *at, length, false, marks != nullptr ? &separate : nullptr);
            auto* placed = std::get_if<Cache1Body>(&body);
            if (placed && (placed->place != Cache1Body::Place::Blocks || !BlocksHoldRecord(state, *placed, marks))) {
                entry.body = std::move(*placed);
                if (marks != nullptr)
                    entry.body.start = marks->StartOf(entry.body);
                entry.hash = *hash;
                entry.inMap = true;
                return;
            }
        }
    }
    if (length == 0)
        return;
    if (auto body = BodyByHash(*state.files, separate, hashes, length, generation)) {
        entry.hash = ParseSeparateFileName(body->separateFile)->hash;
        entry.body = std::move(*body);
        return;
    }
    // Bodies too large for the block files are always written to a separate file: that one is gone.
    Refuse(entry, length > kMaxBlockData ? Refusal::MissingFile : Refusal::BodyNotFound);
}

} // namespace cache1

} // namespace cache
