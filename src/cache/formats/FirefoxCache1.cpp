// Opening a first-cache folder and reading its map as nsDiskCacheMap::Open does (netwerk/cache/nsDiskCacheMap.cpp):
// a map that is not dirty, holds every record its header counts and agrees with its own entry count is trusted.
#include "cache/formats/FirefoxCache1.h"

#include "cache/formats/FirefoxCache1Reading.h"

#include <algorithm>
#include <charconv>
#include <tuple>

namespace cache {

using namespace cache1;

namespace {

constexpr std::string_view kMapName = "_CACHE_MAP_";
constexpr std::int32_t kMaxRecordCount = (std::int32_t{32} << 20) / kMapRecordSize; // the browser's own limit
constexpr std::size_t kReadPiece = std::size_t{64} * 1024;

void ReadMap(FirefoxCache1::State& state, const EntryBytes& map, const MapHeader& header)
{
    const Layout& layout = *state.layout;
    const std::uint64_t available = (map.Size() - kMapHeaderSize) / kMapRecordSize;
    const bool countValid = header.recordCount > 0 && header.recordCount % static_cast<std::int32_t>(kBuckets) == 0
        && header.recordCount <= kMaxRecordCount;
    const std::uint64_t wanted = countValid ? static_cast<std::uint64_t>(header.recordCount) : kMaxRecordCount;
    const auto count = static_cast<std::size_t>(std::min(available, wanted));
    std::string records;
    if (!layout.MapReadable() || count == 0 || !map.ReadAt(kMapHeaderSize, count * kMapRecordSize, records))
        return;

    const std::uint32_t perBucket = countValid ? static_cast<std::uint32_t>(header.recordCount) / kBuckets : 0;
    std::int64_t used = 0, nonzero = 0;
    bool usageFits = countValid && count == wanted;
    for (const std::uint32_t usage : header.bucketUsage) {
        used += usage;
        usageFits = usageFits && usage <= perBucket;
    }
    for (std::size_t at = 0; at < count; ++at)
        nonzero += ReadMapRecord(records, at * kMapRecordSize).hash != 0 ? 1 : 0;
    state.mapTrusted = !header.dirty && usageFits && used == header.entryCount && nonzero == header.entryCount;

    if (state.mapTrusted) {
        for (std::uint32_t bucket = 0; bucket < kBuckets; ++bucket) {
            for (std::uint32_t i = 0; i < header.bucketUsage[bucket]; ++i)
                state.mapRecords.push_back(ReadMapRecord(records, (bucket * perBucket + i) * kMapRecordSize));
        }
        for (int file = 1; file <= kBlockFiles; ++file) {
            const auto& blocks = state.BlockFile(file);
            if (blocks)
                blocks->ReadAt(
                    0, static_cast<std::size_t>(std::min<std::uint64_t>(blocks->Size(), layout.BitmapBytes(file))),
                    state.bitmaps[file - 1]);
        }
    } else {
        for (std::size_t at = 0; at < count; ++at) {
            const MapRecord record = ReadMapRecord(records, at * kMapRecordSize);
            if (record.hash != 0)
                state.mapRecords.push_back(record);
        }
    }
    std::stable_sort(state.mapRecords.begin(), state.mapRecords.end(),
                     [](const MapRecord& a, const MapRecord& b) { return a.hash < b.hash; });
}

std::string WithSlash(std::string folder)
{
    if (folder.empty() || folder.back() != '/')
        folder += '/';
    return folder;
}

} // namespace

namespace {

// A stored body lying in one range of a file (a block file, a separate file), which it keeps open.
class RangeBody final : public StoredBody {
public:
    RangeBody(std::shared_ptr<const EntryBytes> file, std::uint64_t offset, std::uint64_t length, std::string start)
        : m_file(std::move(file))
        , m_offset(offset)
        , m_length(length)
        , m_start(std::move(start))
    {}

    std::optional<std::uint64_t> Length() const override { return m_length; }
    bool ReadStart(std::size_t count, std::string& out) const override
    {
        const auto wanted = static_cast<std::size_t>(std::min<std::uint64_t>(count, m_length));
        if (m_start.size() >= wanted) {
            out.assign(m_start, 0, wanted);
            return true;
        }
        return m_file->ReadAt(m_offset, wanted, out);
    }
    BodyResult Read(const BodySink& sink, const std::atomic<bool>* stop) const override
    {
        return ReadRange(*m_file, m_offset, m_length, sink, stop);
    }

private:
    std::shared_ptr<const EntryBytes> m_file;
    std::uint64_t m_offset;
    std::uint64_t m_length;
    std::string m_start;
};

// Where a body's bytes lie; nothing when it has none to read.
struct BodyRange {
    std::shared_ptr<const EntryBytes> file;
    std::uint64_t offset = 0;
};

std::optional<BodyRange> RangeOf(const FirefoxCache1::State& state, const Cache1Body& body)
{
    switch (body.place) {
    case Cache1Body::Place::None: {
        if (body.length != 0)
            return std::nullopt;
        static const auto empty = std::make_shared<const MemoryEntryBytes>(std::string_view());
        return BodyRange{empty, 0};
    }
    case Cache1Body::Place::Blocks: {
        if (!state.layout || body.blockFile < 1 || body.blockFile > kBlockFiles)
            return std::nullopt;
        const auto& file = state.BlockFile(body.blockFile);
        const std::uint64_t offset = state.layout->BlockOffset(body.blockFile, body.startBlock);
        if (!file || !file->Holds(offset, body.length))
            return std::nullopt;
        return BodyRange{file, offset};
    }
    case Cache1Body::Place::SeparateFile: {
        auto file = body.file ? body.file : state.files->Open(body.separateFile);
        if (!file || file->Size() < body.length)
            return std::nullopt;
        return BodyRange{std::move(file), 0};
    }
    }
    return std::nullopt;
}

} // namespace

FirefoxCache1::FirefoxCache1(std::unique_ptr<State> state) : m_state(std::move(state)) {}
FirefoxCache1::FirefoxCache1(FirefoxCache1&&) noexcept = default;
FirefoxCache1& FirefoxCache1::operator=(FirefoxCache1&&) noexcept = default;
FirefoxCache1::~FirefoxCache1() = default;

std::optional<FirefoxCache1> FirefoxCache1::Open(const std::string& folder)
{
    auto files = OpenCacheFolder(folder);
    if (!files)
        return std::nullopt;
    return Open(std::move(files), folder);
}

std::optional<FirefoxCache1> FirefoxCache1::Open(std::unique_ptr<cache1::CacheFiles> files, std::string folder)
{
    auto state = std::make_unique<State>();
    state->folder = WithSlash(std::move(folder));
    state->files = std::move(files);
    const auto map = state->files->Open(std::string(kMapName));
    bool anyBlockFile = false;
    for (int file = 1; file <= kBlockFiles; ++file) {
        state->blockFiles[file - 1] = state->files->Open(BlockFileName(file));
        anyBlockFile = anyBlockFile || state->blockFiles[file - 1] != nullptr;
    }
    if (!map && !anyBlockFile)
        return std::nullopt;

    std::string start;
    const auto header = map && map->ReadAt(0, std::min<std::size_t>(kMapHeaderSize, map->Size()), start)
        ? ReadMapHeader(start)
        : std::nullopt;
    if (header) {
        state->mapVersion = header->version;
        state->layout = Layout::Of(header->version);
        if (!state->layout) {
            state->refusal = Refusal::UnknownVersion;
            return FirefoxCache1(std::move(state));
        }
        ReadMap(*state, *map, *header);
    } else {
        state->layout = LayoutOfRecords(*state);
        // A map too short for its header, with nothing to read without it; a folder without a map is only empty.
        if (!state->layout && map)
            state->refusal = Refusal::Damaged;
    }
    return FirefoxCache1(std::move(state));
}

std::optional<Refusal> FirefoxCache1::FolderRefusal() const { return m_state->refusal; }

std::uint32_t FirefoxCache1::MapVersion() const { return m_state->mapVersion; }

std::uint32_t FirefoxCache1::Version() const { return m_state->layout ? m_state->layout->Version() : 0; }

bool FirefoxCache1::MapTrusted() const { return m_state->mapTrusted; }

void FirefoxCache1::Enumerate(const std::function<void(FirefoxCache1Entry&&)>& visit,
                              const std::atomic<bool>* stop) const
{
    const State& state = *m_state;
    if (state.refusal || !state.layout)
        return;
    if (!state.mapTrusted) {
        SearchEntries(state, visit, stop);
        return;
    }
    // Records in the order they lie in their files, so that each block file is read front to back.
    std::vector<const MapRecord*> ordered;
    ordered.reserve(state.mapRecords.size());
    for (const MapRecord& record : state.mapRecords)
        ordered.push_back(&record);
    std::sort(ordered.begin(), ordered.end(), [](const MapRecord* a, const MapRecord* b) {
        return std::tuple(a->meta.File() == 0, a->meta.File(), a->meta.StartBlock(), a->hash)
            < std::tuple(b->meta.File() == 0, b->meta.File(), b->meta.StartBlock(), b->hash);
    });
    std::array<std::unique_ptr<WindowReader>, kBlockFiles> readers;
    for (int file = 1; file <= kBlockFiles; ++file) {
        if (state.BlockFile(file))
            readers[file - 1] = std::make_unique<WindowReader>(state.BlockFile(file));
    }
    for (const MapRecord* record : ordered) {
        if (stop != nullptr && stop->load(std::memory_order_relaxed))
            return;
        // A record that points nowhere names no entry anyone could open.
        if (record->meta.Initialized() && record->meta.ReservedClear())
            visit(EntryOfMapRecord(state, *record, readers));
    }
}

std::optional<FirefoxCache1Entry> FirefoxCache1::EntryAt(std::string_view container, std::uint32_t block) const
{
    const State& state = *m_state;
    if (state.refusal || !state.layout)
        return std::nullopt;
    const Layout& layout = *state.layout;
    const int file = BlockFileOfName(container);
    const auto separateName = file == 0 ? ParseSeparateFileName(container) : std::nullopt;
    if (file == 0 && (!separateName || !separateName->metadata || block != 0))
        return std::nullopt;
    const RecordPlace place{std::string(container), block, file};

    if (state.mapTrusted) {
        // Only what the map lists: a record in free blocks belongs to an entry the browser let go. Of two map
        // records of one place, the one that reads without refusal.
        std::optional<FirefoxCache1Entry> found;
        for (const MapRecord& record : state.mapRecords) {
            const auto mapped = PlaceOfMapRecord(state, record);
            if (!mapped || mapped->container != place.container || mapped->block != block)
                continue;
            std::array<std::unique_ptr<WindowReader>, kBlockFiles> readers;
            if (file != 0 && state.BlockFile(file))
                readers[file - 1] = std::make_unique<WindowReader>(state.BlockFile(file));
            FirefoxCache1Entry entry = EntryOfMapRecord(state, record, readers);
            if (!entry.refusal)
                return entry;
            if (!found)
                found = std::move(entry);
        }
        return found;
    }

    std::string separate;
    std::optional<Record> record;
    std::optional<WindowReader> reader;
    if (file != 0) {
        if (!state.BlockFile(file))
            return std::nullopt;
        reader.emplace(state.BlockFile(file));
        record = RecordInBlocks(*reader, layout, file, block);
    } else if (auto bytes = ReadSeparateRecord(*state.files, place.container)) {
        separate = std::move(*bytes);
        record = ReadRecord(separate);
    }
    if (!record || record->header.version != layout.Version())
        return std::nullopt;
    const Layout::KeyHashes hashes = layout.HashesOf(record->key);
    FirefoxCache1Entry entry = EntryOfRecord(*record, hashes, place.container, block);
    if (separateName && !hashes.Contain(separateName->hash))
        Refuse(entry, Refusal::Damaged);
    const SeparateFiles named = SeparateFiles::Of(*state.files, layout, hashes);
    PlaceUntrustedBody(state, named, place, hashes,
                       separateName ? std::optional(separateName->generation) : std::nullopt, entry);
    return Finished(std::move(entry));
}

std::shared_ptr<const EntryBytes> FirefoxCache1::BodyBytes(const FirefoxCache1Entry& entry) const
{
    auto range = RangeOf(*m_state, entry.body);
    if (!range)
        return nullptr;
    return std::make_shared<const SliceBytes>(std::move(range->file), range->offset, entry.body.length);
}

std::optional<StoredResponse> FirefoxCache1::ResponseOf(FirefoxCache1Entry entry) const
{
    auto range = RangeOf(*m_state, entry.body);
    if (!range)
        return std::nullopt;
    StoredResponse response;
    response.address = std::move(entry.address);
    if (entry.head)
        response.head = std::move(*entry.head);
    response.body = std::make_unique<RangeBody>(std::move(range->file), range->offset, entry.body.length,
                                                std::move(entry.body.start));
    return response;
}

std::vector<FileIdentity> FirefoxCache1::BodyFiles(const FirefoxCache1Entry& entry) const
{
    const auto bytes = BodyBytes(entry);
    const auto file = bytes ? bytes->FileOf() : std::nullopt;
    return file ? std::vector<FileIdentity>{*file} : std::vector<FileIdentity>{};
}

DecodeResult FirefoxCache1::StreamBody(const FirefoxCache1Entry& entry, const DecodedSink& sink) const
{
    const auto bytes = BodyBytes(entry);
    std::optional<std::vector<ContentCoding>> codings(std::in_place);
    if (entry.head) {
        if (const auto encoding = entry.head->Value("Content-Encoding"))
            codings = ParseContentCodings(*encoding);
    }
    if (!bytes || !codings)
        return DecodeResult::Damaged;
    BodyDecoder decoder(*codings);
    std::string piece;
    for (std::uint64_t at = 0; at < bytes->Size(); at += piece.size()) {
        const auto length = static_cast<std::size_t>(std::min<std::uint64_t>(kReadPiece, bytes->Size() - at));
        if (!bytes->ReadAt(at, length, piece))
            return DecodeResult::Damaged;
        if (const DecodeResult fed = decoder.Feed(piece, sink); fed != DecodeResult::Ok)
            return fed;
    }
    return decoder.Finish(sink);
}

std::string FirefoxCache1::RowPath(const FirefoxCache1Entry& entry) const
{
    return m_state->folder + entry.container + "/" + entry.Locator();
}

bool FirefoxCache1::IsCacheFileName(std::string_view name) { return name == kMapName || BlockFileOfName(name) != 0; }

std::optional<Cache1RowPath> ParseCache1RowPath(std::string_view path)
{
    const std::size_t slash = path.rfind('/');
    if (slash == std::string_view::npos || slash + 2 > path.size() || path[slash + 1] != '@')
        return std::nullopt;
    const std::string_view digits = path.substr(slash + 2);
    std::uint32_t block = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), block);
    if (error != std::errc() || end != digits.data() + digits.size() || std::to_string(block) != digits)
        return std::nullopt;
    const std::string_view container = path.substr(0, slash);
    const std::size_t nameAt = container.rfind('/') + 1; // npos + 1 is 0: a container with no folder part
    if (BlockFileOfName(container.substr(nameAt)) != 0)
        return Cache1RowPath{std::string(container.substr(0, nameAt)), std::string(container.substr(nameAt)), block};
    // A separate metadata file: "X/XX/XXXXXmGG" below the folder, or "XXXXXXXXmGG" in it.
    for (const std::size_t length : {std::size_t{13}, std::size_t{11}}) {
        if (container.size() < length)
            continue;
        const std::size_t at = container.size() - length;
        const auto separate = ParseSeparateFileName(container.substr(at));
        if (separate && separate->metadata && block == 0 && (at == 0 || container[at - 1] == '/'))
            return Cache1RowPath{std::string(container.substr(0, at)), std::string(container.substr(at)), 0};
    }
    return std::nullopt;
}

Refusable<OpenedCache1Entry> OpenCache1Row(std::string_view path)
{
    const auto row = ParseCache1RowPath(path);
    if (!row)
        return Refusal::Unreadable;
    auto cache = FirefoxCache1::Open(row->folder.empty() ? std::string("./") : row->folder);
    if (!cache)
        return Refusal::Unreadable;
    if (const auto whole = cache->FolderRefusal())
        return *whole;
    auto entry = cache->EntryAt(row->container, row->block);
    if (!entry)
        return Refusal::Unreadable;
    if (entry->refusal)
        return *entry->refusal;
    return OpenedCache1Entry{std::move(*cache), std::move(*entry)};
}

} // namespace cache
