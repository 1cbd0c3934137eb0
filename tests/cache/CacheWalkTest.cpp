#include "cache/CacheWalk.h"
#include "cache/MovieRowList.h"
#include "support/Files.h"
#include "support/TempFolder.h"

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <set>

namespace {

using cache::FolderListing;
using cache::LocalMovieRow;
using cache::MovieFile;
using test::TempFolder;
using test::WriteFile;

// ---- The walk's order, over folders whose enumeration order the test chooses ----

using FakeTree = std::map<std::string, FolderListing>; // folder path (ending in "/") -> its listing

class FakeFolder final : public cache::Folder {
public:
    FakeFolder(const FakeTree& tree, std::string path) : m_tree(tree), m_path(std::move(path)) {}
    const FolderListing& Listing() const override { return m_tree.at(m_path); }
    std::unique_ptr<cache::Folder> OpenSubfolder(const std::string& name) const override
    {
        const std::string path = m_path + name + "/";
        if (!m_tree.contains(path))
            return nullptr; // listed but unreadable
        return std::make_unique<FakeFolder>(m_tree, path);
    }

private:
    const FakeTree& m_tree;
    std::string m_path;
};

std::vector<MovieFile> Movies(std::initializer_list<const char*> names)
{
    std::vector<MovieFile> movies;
    for (const char* name : names)
        movies.push_back({name, 7});
    return movies;
}

std::vector<std::string> PathsOf(const std::vector<LocalMovieRow>& rows)
{
    std::vector<std::string> paths;
    for (const auto& row : rows)
        paths.push_back(row.path);
    return paths;
}

struct OrderCase {
    const char* title;
    FakeTree tree;
    std::vector<std::string> expected;
};

TEST(CacheWalkOrder, FollowsEnumerationOrderAndInsertsEachFolderAtTheTop)
{
    const OrderCase cases[] = {
        {"the reverse-scan example",
         {{"C/", {{"A", "B"}, {}}},
          {"C/A/", {{"A1"}, Movies({"a1.swf", "a2.swf"})}},
          {"C/A/A1/", {{}, Movies({"c1.swf"})}},
          {"C/B/", {{}, Movies({"b1.swf"})}}},
         {"C/B/b1.swf", "C/A/A1/c1.swf", "C/A/a1.swf", "C/A/a2.swf"}},
        {"enumeration order, neither sorted nor scan order",
         {{"C/", {{"M", "Z", "A"}, {}}},
          {"C/M/", {{}, Movies({"m.swf"})}},
          {"C/Z/", {{}, Movies({"z.swf"})}},
          {"C/A/", {{}, Movies({"a.swf"})}}},
         {"C/A/a.swf", "C/Z/z.swf", "C/M/m.swf"}},
        {"depth-first pre-order",
         {{"C/", {{"P", "Q"}, {}}},
          {"C/P/", {{"P1", "P2"}, Movies({"p.swf"})}},
          {"C/P/P1/", {{"P1a"}, Movies({"p1.swf"})}},
          {"C/P/P1/P1a/", {{}, Movies({"p1a.swf"})}},
          {"C/P/P2/", {{}, Movies({"p2.swf"})}},
          {"C/Q/", {{}, Movies({"q.swf"})}}},
         {"C/Q/q.swf", "C/P/P2/p2.swf", "C/P/P1/P1a/p1a.swf", "C/P/P1/p1.swf", "C/P/p.swf"}},
        {"movies lying in the cache folder itself are left out",
         {{"C/", {{"S"}, Movies({"top.swf"})}}, {"C/S/", {{}, Movies({"top.swf"})}}},
         {"C/S/top.swf"}},
        {"an unreadable folder gives nothing and the walk goes on",
         {{"C/", {{"gone", "S"}, {}}}, {"C/S/", {{}, Movies({"s.swf"})}}},
         {"C/S/s.swf"}},
        {"folders without movies keep their place in the scan",
         {{"C/", {{"E", "F"}, {}}},
          {"C/E/", {{"E1"}, {}}},
          {"C/E/E1/", {{}, Movies({"e1.swf", "e2.swf", "e3.swf"})}},
          {"C/F/", {{}, {}}}},
         {"C/E/E1/e1.swf", "C/E/E1/e2.swf", "C/E/E1/e3.swf"}},
        {"no subfolders", {{"C/", {{}, Movies({"a.swf"})}}}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.title);
        cache::MovieRowList list;
        cache::WalkFolders(FakeFolder(c.tree, "C/"), "C/", list);
        EXPECT_EQ(PathsOf(list.TakeRows()), c.expected);
    }
}

TEST(CacheWalkOrder, RowTextsAreNameDecimalSizeAndFullPath)
{
    const FakeTree tree{{"C/", {{"x y"}, {}}},
                        {"C/x y/", {{}, {{"Big.SWF", 5'000'000'000ULL}, {"one.swf", 1}, {"n\xff.swf", 1234567}}}}};
    const std::vector<LocalMovieRow> expected{
        {"Big.SWF", "5000000000", "C/x y/Big.SWF"},
        {"one.swf", "1", "C/x y/one.swf"},
        {"n\xff.swf", "1234567", "C/x y/n\xff.swf"},
    };
    cache::MovieRowList list;
    cache::WalkFolders(FakeFolder(tree, "C/"), "C/", list);
    EXPECT_EQ(list.TakeRows(), expected);
}

TEST(CacheWalkOrder, MovieNamePattern)
{
    const std::pair<const char*, bool> cases[] = {
        {"clip.swf", true},
        {"CLIP.SWF", true},
        {"Clip.sWf", true},
        {".swf", true},
        {"a.b.swf", true},
        {"clip.swfx", false},
        {"clip.sw", false},
        {"clipswf", false},
        {"swf", false},
        {"clip.swf.bak", false},
        {"clip.s\xd7"
         "f",
         false},
        {"", false},
    };
    for (const auto& [name, matches] : cases)
        EXPECT_EQ(cache::IsMovieName(name), matches) << name;
}

// ---- The walk on disk, checked against the algorithm run naively on readdir's own order ----

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};
using UniqueDir = std::unique_ptr<DIR, DirCloser>;

bool OracleNameMatches(std::string name)
{
    std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
    return name.size() >= 4 && name.compare(name.size() - 4, 4, ".swf") == 0;
}

// Two enumerations per folder, every row inserted at its index into a plain vector.
void OracleAddFolderMovies(const std::string& folder, std::vector<LocalMovieRow>& list)
{
    UniqueDir dir(::opendir(folder.c_str()));
    if (!dir)
        return;
    std::size_t row = 0;
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string name = entry->d_name;
        struct stat info {};
        if (!OracleNameMatches(name) || ::stat((folder + name).c_str(), &info) != 0)
            continue;
        if (!S_ISREG(info.st_mode) || info.st_size == 0)
            continue;
        list.insert(list.begin() + static_cast<std::ptrdiff_t>(row++),
                    {name, std::to_string(info.st_size), folder + name});
    }
}

void OracleWalkFolders(const std::string& folder, std::vector<LocalMovieRow>& list)
{
    UniqueDir dir(::opendir(folder.c_str()));
    if (!dir)
        return;
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string name = entry->d_name;
        struct stat info {};
        if (name == "." || name == ".." || ::lstat((folder + name).c_str(), &info) != 0 || !S_ISDIR(info.st_mode))
            continue;
        OracleAddFolderMovies(folder + name + "/", list);
        OracleWalkFolders(folder + name + "/", list);
    }
}

// "relative/path:size" of every row, sorted, for comparing what is listed regardless of order.
std::vector<std::string> Listed(const std::vector<LocalMovieRow>& rows, const std::string& root)
{
    std::vector<std::string> listed;
    for (const auto& row : rows) {
        EXPECT_EQ(row.path.rfind(root, 0), 0u) << row.path;
        EXPECT_EQ(row.path.substr(row.path.size() - row.name.size()), row.name);
        listed.push_back(row.path.substr(root.size()) + ":" + row.size);
    }
    std::sort(listed.begin(), listed.end());
    return listed;
}

void Link(const std::string& target, const std::string& path)
{
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::filesystem::create_symlink(target, path);
}

struct DiskCase {
    const char* title;
    std::function<void(const std::string& root)> build;
    std::vector<std::string> expected; // sorted "relative/path:size"
};

TEST(CacheWalkOnDisk, ListsExactlyTheNonEmptyMoviesBelowTheCacheFolder)
{
    const DiskCase cases[] = {
        {"an empty movie is not listed",
         [](const std::string& r) {
             WriteFile(r + "s/empty.swf", "");
             WriteFile(r + "s/full.swf", "12345");
         },
         {"s/full.swf:5"}},
        {"a folder named like a movie is descended, not listed",
         [](const std::string& r) { WriteFile(r + "s/x.swf/inner.swf", "abc"); },
         {"s/x.swf/inner.swf:3"}},
        {"letter case of the extension does not matter; other names are ignored",
         [](const std::string& r) {
             WriteFile(r + "s/CLIP.SWF", "1");
             WriteFile(r + "s/Mixed.Swf", "22");
             WriteFile(r + "s/clip.swfx", "333");
             WriteFile(r + "s/clip.swf.part", "333");
             WriteFile(r + "s/swf", "333");
         },
         {"s/CLIP.SWF:1", "s/Mixed.Swf:2"}},
        {"movies directly in the cache folder are not listed",
         [](const std::string& r) {
             WriteFile(r + "top.swf", "top");
             WriteFile(r + "s/top.swf", "down");
         },
         {"s/top.swf:4"}},
        {"equal names in two folders give two rows",
         [](const std::string& r) {
             WriteFile(r + "one/m.swf", "1");
             WriteFile(r + "two/m.swf", "22");
         },
         {"one/m.swf:1", "two/m.swf:2"}},
        {"hidden folders and files are included",
         [](const std::string& r) {
             WriteFile(r + ".hidden/h.swf", "h");
             WriteFile(r + "s/.dot.swf", "dd");
         },
         {".hidden/h.swf:1", "s/.dot.swf:2"}},
        {"a link to a folder is not descended",
         [](const std::string& r) {
             WriteFile(r + "real/m.swf", "m");
             Link("real", r + "alias");
             Link("../real", r + "s/deeper");
         },
         {"real/m.swf:1"}},
        {"a link loop ends",
         [](const std::string& r) {
             WriteFile(r + "loop/m.swf", "m");
             Link(".", r + "loop/self");
             Link("..", r + "loop/up");
             Link("a", r + "loop/b");
             Link("b", r + "loop/a");
         },
         {"loop/m.swf:1"}},
        {"a link to a non-empty movie file is listed under its own name",
         [](const std::string& r) {
             WriteFile(r + "store/blob.bin", "0123456789");
             WriteFile(r + "store/void.bin", "");
             std::filesystem::create_directories(r + "store/dir.swf");
             Link("../store/blob.bin", r + "s/alias.swf");
             Link("../store/void.bin", r + "s/empty.swf");
             Link("../store/dir.swf", r + "s/folder.swf");
             Link("../store/missing.bin", r + "s/dangling.swf");
         },
         {"s/alias.swf:10"}},
        {"a pipe named like a movie is not listed and does not block",
         [](const std::string& r) {
             std::filesystem::create_directories(r + "s");
             ASSERT_EQ(::mkfifo((r + "s/pipe.swf").c_str(), 0600), 0);
             WriteFile(r + "s/m.swf", "m");
         },
         {"s/m.swf:1"}},
        {"names that are not UTF-8 keep their bytes",
         [](const std::string& r) { WriteFile(r + "f\xe9/n\xff\xfe.swf", "abc"); },
         {"f\xe9/n\xff\xfe.swf:3"}},
        {"a cache folder without subfolders gives nothing",
         [](const std::string& r) { WriteFile(r + "only.swf", "x"); },
         {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.title);
        TempFolder temp;
        const std::string root = temp.Path() + "/";
        c.build(root);
        const auto rows = cache::ListFolderMovies(root);
        EXPECT_EQ(Listed(rows, root), c.expected);
        std::vector<LocalMovieRow> oracle;
        OracleWalkFolders(root, oracle);
        EXPECT_EQ(rows, oracle);
    }
}

// The walk notes the folders the format table tells by their names, and keeps its rows as they are.
TEST(CacheWalkOnDisk, NotesTheStoresTheFormatTableRecognises)
{
    TempFolder temp;
    const std::string root = temp.Path() + "/";
    const std::string firefox = "0123456789ABCDEF0123456789ABCDEF01234567";
    const std::string chromium = "0123456789abcdef_0";
    std::filesystem::create_directories(root + "ff/cache2/entries");
    WriteFile(root + "cr/Default/Cache/Cache_Data/" + chromium, "any bytes: the name tells");
    WriteFile(root + "cr/Default/Cache/Cache_Data/index", "");
    WriteFile(root + "other/entries/" + firefox, "an entries folder outside cache2");
    std::filesystem::create_directories(root + "other/dir/" + chromium); // a folder named like an entry
    WriteFile(root + "other/upper/0123456789ABCDEF_0", "upper-case digits");
    WriteFile(root + "other/longer/0123456789abcdef0_0", "one digit too many");
    WriteFile(root + "m/movie.swf", "FWS");

    std::vector<cache::FoundStore> stores;
    cache::MovieRowList rows;
    cache::WalkFolders(root, rows, stores);
    std::set<std::pair<std::string, std::string>> noted;
    for (const auto& store : stores) {
        EXPECT_EQ(store.notRead, "");
        noted.emplace(store.path.substr(root.size()), cache::FormatName(store.format));
    }
    const std::set<std::pair<std::string, std::string>> expected{
        {"ff/cache2/entries/", "Firefox cache2"}, {"cr/Default/Cache/Cache_Data/", "Chromium Simple Cache"}};
    EXPECT_EQ(noted, expected);
    EXPECT_EQ(PathsOf(rows.TakeRows()), std::vector<std::string>{root + "m/movie.swf"});

    // The folder walked may be a store itself.
    stores.clear();
    cache::WalkFolders(root + "ff/cache2/entries/", rows, stores);
    ASSERT_EQ(stores.size(), 1u);
    EXPECT_EQ(stores[0].path, root + "ff/cache2/entries/");
}

TEST(CacheWalkOnDisk, MissingCacheFolderGivesNothing)
{
    TempFolder temp;
    EXPECT_TRUE(cache::ListFolderMovies(temp / "absent/").empty());
    WriteFile(temp / "file", "x");
    EXPECT_TRUE(cache::ListFolderMovies(temp / "file/").empty());
}

TEST(CacheWalkOnDisk, FoldersDeeperThanTheDescriptorLimitAreStillWalked)
{
    // A tree twice as deep as the descriptors the process may hold: every level keeps its folder open
    // while the walk is below it, until there are none left.
    constexpr int kDepth = 200;
    rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &old), 0);
    TempFolder temp;
    std::string folder = temp.Path() + "/";
    const std::string root = folder;
    std::vector<std::string> expected;
    for (int level = 0; level < kDepth; ++level) {
        folder += "d/";
        if (level % 50 == 49) {
            WriteFile(folder + "m.swf", "movie");
            expected.push_back(folder.substr(root.size()) + "m.swf:5");
        }
    }
    rlimit low = old;
    low.rlim_cur = kDepth / 2;
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &low), 0);
    const auto rows = cache::ListFolderMovies(root);
    ::setrlimit(RLIMIT_NOFILE, &old);
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(Listed(rows, root), expected);
}

TEST(CacheWalkOnDisk, RandomTreesMatchTheNaiveAlgorithmRowForRow)
{
    std::mt19937 random(20261207);
    const char* names[] = {"a.swf", "B.SWF", "c.txt", ".h.swf", "d.Swf", "e", "f.swf.tmp", "g.swf"};
    for (int round = 0; round < 4; ++round) {
        TempFolder temp;
        const std::string root = temp.Path() + "/";
        std::vector<std::string> folders{root};
        for (int i = 0; i < 120; ++i) {
            const std::string parent = folders[random() % folders.size()];
            const std::string folder = parent + (random() % 5 == 0 ? "." : "") + "d" + std::to_string(i)
                + (random() % 9 == 0 ? ".swf" : "") + "/";
            std::filesystem::create_directories(folder);
            folders.push_back(folder);
        }
        for (const auto& folder : folders) {
            for (const char* name : names) {
                if (random() % 3 == 0)
                    WriteFile(folder + name, std::string(random() % 4, 'x')); // some empty
            }
        }
        const auto rows = cache::ListFolderMovies(root);
        std::vector<LocalMovieRow> oracle;
        OracleWalkFolders(root, oracle);
        ASSERT_GT(oracle.size(), 50u);
        EXPECT_EQ(rows, oracle) << "round " << round;
    }
}

TEST(CacheWalkOnDisk, SizeAbove4GiBIsShownWhole)
{
    TempFolder temp;
    std::filesystem::create_directories(temp / "s");
    const std::uint64_t size = (5ULL << 30) + 3; // sparse: takes no disk space
    {
        const int fd = ::open((temp / "s/big.swf").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        ASSERT_GE(fd, 0);
        const int truncated = ::ftruncate(fd, static_cast<off_t>(size));
        ::close(fd);
        ASSERT_EQ(truncated, 0);
    }
    const auto rows = cache::ListFolderMovies(temp.Path() + "/");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].size, "5368709123");
}

} // namespace
