// Producing the 10,000 rows of a large cache listing in list order: the walk's insertion pattern
// (each folder's movies from row 0) into the batching list, against a plain vector that shifts
// its rows on every insertion as a list widget would. Both end with the same rows in the same order.
#include "cache/CacheWalk.h"
#include "cache/MovieRowList.h"

#include <benchmark/benchmark.h>

#include <map>

namespace {

using cache::FolderListing;
using cache::LocalMovieRow;

constexpr int kFolders = 2000;
constexpr int kMoviesPerFolder = 5; // 10,000 rows

// A flat cache of kFolders folders read from memory, so that only the row handling is timed.
class MemoryFolder final : public cache::Folder {
public:
    explicit MemoryFolder(const std::map<std::string, FolderListing>* tree, std::string key = "")
        : m_tree(tree)
        , m_key(std::move(key))
    {}
    const FolderListing& Listing() const override { return m_tree->at(m_key); }
    std::unique_ptr<cache::Folder> OpenSubfolder(const std::string& name) const override
    {
        return std::make_unique<MemoryFolder>(m_tree, name);
    }

private:
    const std::map<std::string, FolderListing>* m_tree;
    std::string m_key;
};

const std::map<std::string, FolderListing>& Tree()
{
    static const auto tree = [] {
        std::map<std::string, FolderListing> folders;
        FolderListing& root = folders[""];
        for (int f = 0; f < kFolders; ++f) {
            const std::string name = "F" + std::to_string(f);
            root.subfolders.push_back(name);
            for (int m = 0; m < kMoviesPerFolder; ++m)
                folders[name].movies.push_back(
                    {"movie" + std::to_string(m) + ".swf", 1000u + static_cast<unsigned>(m)});
        }
        return folders;
    }();
    return tree;
}

class ShiftingVector final : public cache::MovieRowSink {
public:
    void InsertRow(std::size_t index, LocalMovieRow row) override
    {
        rows.insert(rows.begin() + static_cast<std::ptrdiff_t>(std::min(index, rows.size())), std::move(row));
    }
    std::vector<LocalMovieRow> rows;
};

void BM_RowsBatchingList(benchmark::State& state)
{
    const MemoryFolder root(&Tree());
    for (auto _ : state) {
        cache::MovieRowList list;
        cache::WalkFolders(root, "/home/user/.cache/", list);
        auto rows = list.TakeRows();
        benchmark::DoNotOptimize(rows.data());
    }
    state.SetItemsProcessed(state.iterations() * kFolders * kMoviesPerFolder);
}
BENCHMARK(BM_RowsBatchingList)->Unit(benchmark::kMillisecond);

void BM_RowsShiftingVector(benchmark::State& state)
{
    const MemoryFolder root(&Tree());
    for (auto _ : state) {
        ShiftingVector list;
        cache::WalkFolders(root, "/home/user/.cache/", list);
        benchmark::DoNotOptimize(list.rows.data());
    }
    state.SetItemsProcessed(state.iterations() * kFolders * kMoviesPerFolder);
}
BENCHMARK(BM_RowsShiftingVector)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
