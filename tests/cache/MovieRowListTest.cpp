#include "cache/MovieRowList.h"

#include <gtest/gtest.h>

#include <random>

namespace {

using cache::LocalMovieRow;

LocalMovieRow Row(int n)
{
    return {"m" + std::to_string(n) + ".swf", std::to_string(n), "/c/m" + std::to_string(n) + ".swf"};
}

// Replays insertions into the list and into a plain vector that shifts rows the obvious way.
void ExpectSameAsPlainVector(const std::vector<std::size_t>& indices)
{
    cache::MovieRowList list;
    std::vector<LocalMovieRow> plain;
    int n = 0;
    for (std::size_t index : indices) {
        list.InsertRow(index, Row(n));
        plain.insert(plain.begin() + static_cast<std::ptrdiff_t>(std::min(index, plain.size())), Row(n));
        ++n;
    }
    EXPECT_EQ(list.size(), plain.size());
    EXPECT_EQ(list.TakeRows(), plain);
    EXPECT_TRUE(list.empty());
    EXPECT_TRUE(list.TakeRows().empty());
}

TEST(MovieRowList, KeepsListViewInsertionSemantics)
{
    const struct {
        const char* title;
        std::vector<std::size_t> indices;
    } cases[] = {
        {"nothing", {}},
        {"folder batches from row 0", {0, 1, 2, 0, 0, 1, 0, 1, 2, 3}},
        {"every row at the top", {0, 0, 0, 0}},
        {"appending at the bottom", {0, 1, 2, 3, 4}},
        {"appending below several batches", {0, 1, 0, 1, 4, 5}},
        {"index past the end appends", {0, 0, 9, 42}},
        {"into the middle of an older batch", {0, 1, 2, 0, 1, 3, 0, 4}},
        {"batches after a rearrangement", {0, 0, 1, 0, 1, 2, 0, 1}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.title);
        ExpectSameAsPlainVector(c.indices);
    }
}

TEST(MovieRowList, RandomInsertionsMatchAPlainVector)
{
    std::mt19937 random(8);
    for (int round = 0; round < 200; ++round) {
        std::vector<std::size_t> indices;
        std::size_t batch = 0;
        for (std::size_t size = 0; size < 60; ++size) {
            const auto pick = random() % 10;
            if (pick < 4)
                batch = 0; // a new folder
            const std::size_t index = pick == 9 ? random() % (size + 2) : batch++;
            indices.push_back(index);
        }
        ExpectSameAsPlainVector(indices);
        if (HasFailure())
            return;
    }
}

} // namespace
