// The block-file and SQLite caches Debian's chromium writes at test time, as rows of the Local Files list and of
// plumeroc-grab cache and copy: found by the walk, listed above the plain movies with the served names, sizes
// and addresses, saved and previewed as the movies' bytes; a cache of a version not read said on standard error.
#include "cache/ListedMovieCopy.h"
#include "cache/RowPath.h"
#include "support/Files.h"
#include "support/RealChromiumCaches.h"
#include "support/RunGrab.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <sstream>

namespace {

namespace fs = std::filesystem;
using test::TempFolder;

struct Row {
    std::string name, size, path, address;
};

std::vector<Row> Rows(const std::string& out)
{
    std::vector<Row> rows;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        std::vector<std::string> fields;
        std::istringstream row(line);
        for (std::string field; std::getline(row, field, '\t');)
            fields.push_back(field);
        fields.resize(4);
        rows.push_back({fields[0], fields[1], fields[2], fields[3]});
    }
    return rows;
}

// A cache folder holding a copy of each backend's cache and a plain movie in a folder of its own.
struct CacheTree {
    TempFolder temp;
    std::string root = temp / "cache/";
    std::string blockFiles = root + "blockfile/Cache_Data/";
    std::string sql = root + "sql/Cache_Data/";
    std::string plain = root + "games/plain-file.swf";

    CacheTree()
    {
        const auto& caches = test::SharedChromiumCaches();
        for (const auto& [from, to] : {std::pair{caches.BlockFileFolder(), blockFiles}, {caches.SqlFolder(), sql}}) {
            fs::create_directories(to);
            fs::copy(from, to, fs::copy_options::recursive);
        }
        test::WriteFile(plain, caches.Movies().front().movie);
    }
};

const test::ServedMovie* ServedAt(const std::string& address)
{
    for (const auto& movie : test::SharedChromiumCaches().Movies()) {
        if (movie.address == address)
            return &movie;
    }
    return nullptr;
}

// Each backend's served movies are rows, the later run's (SQLite) above the earlier's, all above the plain
// file; each row's path leads the copy and the preview to the movie's bytes.
TEST(ChromiumRows, BothBackendsMoviesAreRowsThatSaveAndPreviewAsTheMovies)
{
    const auto& caches = test::SharedChromiumCaches();
    const CacheTree tree;
    const auto run = test::RunGrab({"cache", "--folder", tree.root}, tree.temp.Path());
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    const auto rows = Rows(run.out);
    ASSERT_EQ(rows.size(), 2 * caches.Movies().size() + 1);
    EXPECT_EQ(rows.back().path, tree.plain);
    EXPECT_EQ(rows.back().address, "");

    std::set<std::string> seen[2];
    for (std::size_t i = 0; i + 1 < rows.size(); ++i) {
        const Row& row = rows[i];
        SCOPED_TRACE(row.path);
        const bool fromSql = row.path.starts_with(tree.sql + "index/sqldb");
        const bool fromBlockFiles = row.path.starts_with(tree.blockFiles + "data_1/@0x");
        ASSERT_TRUE(fromSql || fromBlockFiles);
        EXPECT_EQ(fromSql, i < caches.Movies().size()) << "the SQLite cache was written later";
        const test::ServedMovie* served = ServedAt(row.address);
        ASSERT_NE(served, nullptr);
        EXPECT_TRUE(seen[fromSql].insert(row.address).second) << "listed twice";
        EXPECT_EQ(row.name, served->saveName);
        EXPECT_EQ(row.size, std::to_string(served->movie.size()));

        const cache::RowTarget target = cache::ResolveRowPath(row.path);
        ASSERT_EQ(target.kind, cache::RowTarget::Kind::Record);
        EXPECT_EQ(cache::FormatName(target.format), fromSql ? "Chromium SQLite cache" : "Chromium block-file cache");
        EXPECT_EQ(cache::ReadRowMovie(target), served->movie);
        const std::string saved = tree.temp / "saved.swf";
        const auto copy = test::RunGrab({"copy", row.path, saved}, tree.temp.Path());
        EXPECT_EQ(copy.status, 0) << copy.err;
        EXPECT_EQ(test::ReadFile(saved), served->movie);
    }
}

// A copy's destination that is one of the files the movie is read from is refused before anything is written;
// a path inside the cache that names no entry gives the copy's message.
TEST(ChromiumRows, ACopyNeverWritesOverTheCacheItReads)
{
    const CacheTree tree;
    const auto run = test::RunGrab({"cache", "--folder", tree.root}, tree.temp.Path());
    const auto rows = Rows(run.out);
    ASSERT_GT(rows.size(), 1u);
    for (const Row& row : rows) {
        if (row.address.empty())
            continue;
        SCOPED_TRACE(row.path);
        const std::string folder = row.path.substr(0, row.path.find("/Cache_Data/") + 12);
        const std::string record = row.path.substr(0, row.path.rfind('/'));
        for (const std::string& file : test::FilesBelow(folder)) {
            const std::string before = test::ReadFile(file);
            const auto outcome = cache::CopyListedMovie(row.path, file);
            if (outcome == cache::CopyOutcome::Copied) {
                EXPECT_NE(file, record) << "wrote over the file the row's path goes through";
                test::WriteFile(file, before); // a file the movie is not read from: put back for the next row
            } else {
                EXPECT_EQ(outcome, cache::CopyOutcome::DestinationCannotCreate);
                EXPECT_EQ(test::ReadFile(file), before);
            }
        }
        EXPECT_EQ(cache::CopyListedMovie(record + "/@0xa00100ff", tree.temp / "none.swf"),
                  cache::CopyOutcome::SourceCannotOpen);
    }
}

// A cache in a version Plumeroc does not read is said on standard error, one line a folder, and the other
// caches are listed as before.
TEST(ChromiumRows, CachesOfAVersionNotReadAreSaidOnceEach)
{
    const auto& caches = test::SharedChromiumCaches();
    const CacheTree tree;
    std::string index = test::ReadFile(tree.blockFiles + "index");
    index.replace(4, 4, std::string("\x00\x00\x09\x00", 4)); // version 9.0, little-endian
    test::WriteFile(tree.blockFiles + "index", index);
    const auto run = test::RunGrab({"cache", "--folder", tree.root}, tree.temp.Path());
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err,
              "plumeroc-grab: " + tree.blockFiles + ": Chromium block-file cache not read: an index of version 9.0\n");
    const auto rows = Rows(run.out);
    ASSERT_EQ(rows.size(), caches.Movies().size() + 1);
    for (std::size_t i = 0; i + 1 < rows.size(); ++i)
        EXPECT_TRUE(rows[i].path.starts_with(tree.sql)) << rows[i].path;
}

} // namespace
