// The local list assembled from what reading the stores found: entry rows newest first above the plain rows,
// whichever order they came in, and the addresses an index gives to plain rows.
#include "cache/EntryMovieRows.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using cache::EntryMovieRow;
using cache::LocalMovieRow;

EntryMovieRow Entry(const std::string& path, std::int64_t written)
{
    return {{"m.swf", "3", path, "http://a.example" + path}, written};
}

TEST(EntryMovieRows, NewestFirstEqualTimesByPathAboveThePlainRowsWithTheirAddresses)
{
    const std::vector<EntryMovieRow> entries{Entry("/c/b", 5), Entry("/c/a", 5), Entry("/c/z", 9), Entry("/c/y", 1)};
    const std::vector<LocalMovieRow> plain{
        {"p.swf", "1", "/p/one/p.swf", ""},
        {"p.swf", "1", "/p/two/p.swf", ""},
        {"q.swf", "2", "/p/q.swf", "http://kept.example/q.swf"},
    };
    const std::vector<cache::PlainFileAddress> addresses{
        {"/p/two/p.swf", "http://ie.example/two/p.swf"},
        {"/p/two/p.swf", "http://ie.example/later.swf"},   // a plain row keeps the first
        {"/p/q.swf", "http://ie.example/q.swf"},           // and an address it has already
        {"/p/absent.swf", "http://ie.example/absent.swf"}, // no row has this path
    };
    std::vector<std::string> order;
    auto shuffled = entries;
    do {
        const auto rows = cache::LocalListRows(shuffled, plain, addresses);
        std::vector<std::string> paths, tips;
        for (const auto& row : rows) {
            paths.push_back(row.path);
            tips.push_back(row.address);
        }
        EXPECT_EQ(
            paths,
            (std::vector<std::string>{"/c/z", "/c/a", "/c/b", "/c/y", "/p/one/p.swf", "/p/two/p.swf", "/p/q.swf"}));
        EXPECT_EQ(std::vector<std::string>(tips.begin() + 4, tips.end()),
                  (std::vector<std::string>{"", "http://ie.example/two/p.swf", "http://kept.example/q.swf"}));
        // Shown as found: each row inserted where EntryRowIndex says gives the same order.
        std::vector<EntryMovieRow> shown;
        for (const auto& row : shuffled)
            shown.insert(shown.begin() + static_cast<std::ptrdiff_t>(cache::EntryRowIndex(shown, row)), row);
        for (std::size_t i = 0; i < shown.size(); ++i)
            EXPECT_EQ(shown[i].row.path, paths[i]);
    } while (std::next_permutation(shuffled.begin(), shuffled.end(),
                                   [](const auto& a, const auto& b) { return a.row.path < b.row.path; }));
}

} // namespace
