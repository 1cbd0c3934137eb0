// The search of a first cache whose map is dirty, cut short or gone: a browser that crashed wrote its map last
// when it started, so the records in the block files and the separate files are what tells the entries.
#include "cache/formats/FirefoxCache1Reading.h"

#include <algorithm>
#include <deque>
#include <tuple>
#include <utility>

namespace cache {

namespace cache1 {

namespace {

constexpr std::uint32_t kStopLookEvery = 4096;         // blocks between looks at the stop flag
constexpr std::uint64_t kFirstRecordSearch = 4u << 20; // how far into a block file the first record is looked for

bool Stopping(const std::atomic<bool>* stop) { return stop != nullptr && stop->load(std::memory_order_relaxed); }

// The number of blocks a block file can hold records in: its capacity, or fewer where the file ends first.
std::uint32_t BlocksIn(const Layout& layout, int file, std::uint64_t size)
{
    if (size <= layout.BitmapBytes(file))
        return 0;
    const std::uint64_t blocks =
        (size - layout.BitmapBytes(file) + Layout::BlockSize(file) - 1) / Layout::BlockSize(file);
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(blocks, layout.BlockCapacity(file)));
}

// An entry found by the search, its body placed once every block file has been read. They are kept in a deque:
// thousands of them, never moved as more are found.
struct Found {
    FirefoxCache1Entry entry;
    RecordPlace place;
    Layout::KeyHashes hashes; // of the entry's key, worked out once
    std::optional<std::uint8_t> generation;
};

void SearchBlockFile(const FirefoxCache1::State& state, int file, std::deque<Found>& found, RecordMarks& marks,
                     const std::atomic<bool>* stop)
{
    const Layout& layout = *state.layout;
    WindowReader reader(state.BlockFile(file));
    const std::uint32_t blocks = BlocksIn(layout, file, reader.Size());
    std::vector<bool>& marked = marks.records[file - 1];
    marked.assign(blocks, false);
    std::string& starts = marks.starts[file - 1];
    starts.assign(std::size_t{blocks} * RecordMarks::kStartLength, '\0');
    for (std::uint32_t block = 0, next = 0; block < blocks; ++block) {
        if (block % kStopLookEvery == 0 && Stopping(stop))
            return;
        const auto start = reader.Read(layout.BlockOffset(file, block), kRecordHeaderSize);
        if (start)
            starts.replace(std::size_t{block} * RecordMarks::kStartLength,
                           std::min(start->size(), RecordMarks::kStartLength), *start, 0, RecordMarks::kStartLength);
        marked[block] = start && LooksLikeRecord(layout, *start);
        if (block < next || !marked[block])
            continue; // inside a record found already, or no record's start
        const auto record = RecordInBlocks(reader, layout, file, block);
        if (!record)
            continue;
        const RecordPlace place{BlockFileName(file), block, file};
        const Layout::KeyHashes hashes = layout.HashesOf(record->key);
        found.push_back(Found{EntryOfRecord(*record, hashes, place.container, block), place, hashes, std::nullopt});
        next = block + BlocksFor(record->header.Size(), file);
    }
}

void SearchSeparateRecords(const FirefoxCache1::State& state, const SeparateFiles& separate, std::deque<Found>& found,
                           const std::atomic<bool>* stop)
{
    const Layout& layout = *state.layout;
    for (const SeparateFileAt& file : separate.All()) {
        if (!file.name.metadata)
            continue;
        if (Stopping(stop))
            return;
        const auto bytes = ReadSeparateRecord(*state.files, file.path);
        const auto record = bytes ? ReadRecord(*bytes) : std::nullopt;
        const RecordPlace place{file.path, 0, 0};
        if (!record || record->header.version != layout.Version()) {
            FirefoxCache1Entry refused;
            refused.container = file.path;
            refused.hash = file.name.hash;
            refused.refusal = bytes && bytes->size() < kRecordHeaderSize ? Refusal::CutShort : Refusal::Damaged;
            found.push_back(Found{std::move(refused), place, {}, std::nullopt});
            continue;
        }
        const Layout::KeyHashes hashes = layout.HashesOf(record->key);
        FirefoxCache1Entry entry = EntryOfRecord(*record, hashes, file.path, 0);
        if (!hashes.Contain(file.name.hash))
            Refuse(entry, Refusal::Damaged);
        found.push_back(Found{std::move(entry), place, hashes, file.name.generation});
    }
}

// Of two records of one key, the one the browser wrote later: the one a map record still points at, then the
// one fetched last, then the one fetched more often.
bool WrittenLater(const FirefoxCache1Entry& a, const FirefoxCache1Entry& b)
{
    return std::tuple(a.inMap, a.lastFetched, a.fetchCount, a.lastModified)
        > std::tuple(b.inMap, b.lastFetched, b.fetchCount, b.lastModified);
}

void MarkSuperseded(std::deque<Found>& found)
{
    // Records of one key share its hash: sorted by hash, each run of equal hashes is compared key by key, in the
    // order the records were found.
    std::vector<std::pair<std::uint32_t, std::size_t>> byHash;
    byHash.reserve(found.size());
    for (std::size_t at = 0; at < found.size(); ++at) {
        if (!found[at].entry.key.empty())
            byHash.emplace_back(found[at].hashes.first, at);
    }
    std::sort(byHash.begin(), byHash.end());
    std::vector<std::size_t> latest; // of each key of the run, the record that wins so far
    for (std::size_t run = 0; run < byHash.size();) {
        std::size_t end = run + 1;
        while (end < byHash.size() && byHash[end].first == byHash[run].first)
            ++end;
        latest.clear();
        for (std::size_t i = run; i < end; ++i) {
            const std::size_t at = byHash[i].second;
            const auto known = std::find_if(latest.begin(), latest.end(), [&](std::size_t other) {
                return found[other].entry.key == found[at].entry.key;
            });
            if (known == latest.end()) {
                latest.push_back(at);
                continue;
            }
            std::size_t loser = at;
            if (WrittenLater(found[at].entry, found[*known].entry))
                loser = std::exchange(*known, at);
            Refuse(found[loser].entry, Refusal::Superseded);
        }
        run = end;
    }
}

} // namespace

void SearchEntries(const FirefoxCache1::State& state, const std::function<void(FirefoxCache1Entry&&)>& visit,
                   const std::atomic<bool>* stop)
{
    const SeparateFiles separate = SeparateFiles::Walk(*state.files);
    std::deque<Found> found;
    RecordMarks marks;
    for (int file = 1; file <= kBlockFiles; ++file) {
        if (state.BlockFile(file))
            SearchBlockFile(state, file, found, marks, stop);
    }
    SearchSeparateRecords(state, separate, found, stop);
    if (Stopping(stop))
        return;
    for (Found& one : found) {
        if (!one.entry.key.empty())
            PlaceUntrustedBody(state, separate, one.place, one.hashes, one.generation, one.entry, &marks);
        one.entry = Finished(std::move(one.entry));
    }
    MarkSuperseded(found);
    for (Found& one : found) {
        if (Stopping(stop))
            return;
        OpenSeparateBody(state, one.entry); // one file open at a time, however many entries there are
        visit(std::move(one.entry));
    }
}

std::optional<Layout> LayoutOfRecords(const FirefoxCache1::State& state)
{
    // Block files of every version start their blocks at a multiple of 1 KiB, and records at a multiple of 256.
    for (int file = 1; file <= kBlockFiles; ++file) {
        if (!state.BlockFile(file))
            continue;
        WindowReader reader(state.BlockFile(file));
        const std::uint64_t end = std::min(reader.Size(), kFirstRecordSearch);
        for (std::uint64_t offset = 1024; offset + kRecordHeaderSize <= end; offset += 256) {
            const auto start = reader.Read(offset, kRecordHeaderSize);
            const auto header = start ? ReadRecordHeader(*start) : std::nullopt;
            const auto layout = header ? Layout::Of(header->version) : std::nullopt;
            if (!layout || offset < layout->BitmapBytes(file)
                || (offset - layout->BitmapBytes(file)) % Layout::BlockSize(file) != 0)
                continue;
            const auto block =
                static_cast<std::uint32_t>((offset - layout->BitmapBytes(file)) / Layout::BlockSize(file));
            if (RecordInBlocks(reader, *layout, file, block))
                return layout;
        }
    }
    return std::nullopt;
}

} // namespace cache1

} // namespace cache
