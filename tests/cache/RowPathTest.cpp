// What a row's path names, told from the file system and the format table, and what a copy does with a path
// that runs through a regular file.
#include "cache/RowPath.h"
#include "cache/ListedMovieCopy.h"
#include "support/Files.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <set>

namespace {

using cache::RowTarget;
using test::TempFolder;
using test::WriteFile;

constexpr const char* kFirefoxName = "0123456789ABCDEF0123456789ABCDEF01234567";
constexpr const char* kChromiumName = "0123456789abcdef_0";

std::string FormatOf(const RowTarget& target)
{
    return cache::HoldsFormat(target.format) ? std::string(cache::FormatName(target.format)) : "";
}

TEST(RowPath, EachKindOfPathIsToldFromTheFileSystem)
{
    TempFolder temp;
    const std::string root = temp.Path() + "/";
    WriteFile(root + "plain/movie.swf", "FWS");
    WriteFile(root + "plain/notes.txt", "text");
    WriteFile(root + "ff/cache2/entries/" + kFirefoxName, "entry");
    WriteFile(root + "ff/elsewhere/" + kFirefoxName, "a file named like an entry, outside an entries folder");
    WriteFile(root + "cr/Cache_Data/" + kChromiumName, "entry");
    std::filesystem::create_directories(root + "folder.swf");
    std::filesystem::create_directories(root + "cr/dir/" + kChromiumName);
    std::filesystem::create_symlink(root + "plain/movie.swf", root + "plain/link.swf");

    const struct {
        std::string path;
        RowTarget::Kind kind;
        std::string format;
        std::string file;
    } cases[] = {
        {root + "plain/movie.swf", RowTarget::Kind::PlainFile, "", root + "plain/movie.swf"},
        {root + "plain/notes.txt", RowTarget::Kind::PlainFile, "", root + "plain/notes.txt"},
        {root + "plain/link.swf", RowTarget::Kind::PlainFile, "", root + "plain/link.swf"},
        {root + "ff/cache2/entries/" + kFirefoxName, RowTarget::Kind::EntryFile, "Firefox cache2",
         root + "ff/cache2/entries/" + kFirefoxName},
        {root + "ff/elsewhere/" + kFirefoxName, RowTarget::Kind::PlainFile, "", root + "ff/elsewhere/" + kFirefoxName},
        {root + "cr/Cache_Data/" + kChromiumName, RowTarget::Kind::EntryFile, "Chromium Simple Cache",
         root + "cr/Cache_Data/" + kChromiumName},
        // Gone since the walk, never there, or no file at all.
        {root + "plain/gone.swf", RowTarget::Kind::Missing, "", ""},
        {root + "absent/folder/gone.swf", RowTarget::Kind::Missing, "", ""},
        {root + "folder.swf", RowTarget::Kind::Missing, "", ""},
        {root + "cr/dir/" + kChromiumName, RowTarget::Kind::Missing, "", ""},
        // Through a regular file that no container format claims: nothing is there.
        {root + "plain/movie.swf/@123", RowTarget::Kind::Missing, "", ""},
        {root + "plain/movie.swf/a/b", RowTarget::Kind::Missing, "", ""},
        {root + "cr/Cache_Data/" + kChromiumName + "/1", RowTarget::Kind::Missing, "", ""},
        {root + "plain/movie.swf/", RowTarget::Kind::Missing, "", ""},
        {"", RowTarget::Kind::Missing, "", ""},
        {"relative/path.swf", RowTarget::Kind::Missing, "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        const RowTarget target = cache::ResolveRowPath(c.path);
        EXPECT_EQ(target.kind, c.kind);
        EXPECT_EQ(FormatOf(target), c.format);
        EXPECT_EQ(target.file, c.file);
        EXPECT_EQ(target.locator, "");
    }
}

TEST(RowPath, ARecordPathIsTheContainerFileAndItsLocator)
{
    EXPECT_EQ(cache::RecordRowPath("/d/crawl.warc.gz", "@123456"), "/d/crawl.warc.gz/@123456");
    EXPECT_EQ(cache::RecordRowPath("/d/Cache/", "data_1/@0xa0010002"), "/d/Cache/data_1/@0xa0010002");
}

TEST(RowPath, APathThroughARegularFileCopiesNothingAndCreatesNothing)
{
    TempFolder temp;
    WriteFile(temp / "movie.swf", "FWS movie");
    for (const std::string& source : {temp / "movie.swf/@0", temp / "movie.swf/x/y", temp / "absent/m.swf"}) {
        SCOPED_TRACE(source);
        EXPECT_EQ(cache::CopyListedMovie(source, temp / "out.swf"), cache::CopyOutcome::SourceCannotOpen);
        EXPECT_FALSE(std::filesystem::exists(temp / "out.swf"));
        const auto opened = cache::OpenRowMovie(cache::ResolveRowPath(source));
        ASSERT_FALSE(opened);
        EXPECT_EQ(opened.Why(), cache::Refusal::Unreadable);
    }
    EXPECT_EQ(test::ReadFile(temp / "movie.swf"), "FWS movie");
    // A plain file is copied as it is, and holds no stored response.
    EXPECT_EQ(cache::CopyListedMovie(temp / "movie.swf", temp / "out.swf"), cache::CopyOutcome::Copied);
    EXPECT_EQ(cache::OpenRowMovie(cache::ResolveRowPath(temp / "movie.swf")).Why(), cache::Refusal::NotAResponse);
}

// What someone adding a row must keep: every row named once and found by its name, and each file a row's path
// may go through claimed by one format alone (two claiming it would take each other's rows).
TEST(FormatTable, EveryRowHasANameOfItsOwnAndEachRecordFileOneFormat)
{
    std::set<std::string> names;
    for (const cache::Format& format : cache::StoredFormats()) {
        ASSERT_TRUE(cache::HoldsFormat(format));
        const std::string name(cache::FormatName(format));
        EXPECT_FALSE(name.empty());
        EXPECT_TRUE(names.insert(name).second) << name << " twice";
        EXPECT_EQ(cache::FormatNamed(name), &cache::Describe(format));
    }
    EXPECT_EQ(cache::FormatNamed("no such format"), nullptr);
    EXPECT_EQ(cache::FolderFormats().size() + cache::ContainerFileFormats().size(), cache::StoredFormats().size());

    const std::pair<std::string, std::string> files[] = {
        {"/d/Cache/_CACHE_001_", "Firefox first cache"},
        {"/d/Cache/_CACHE_003_", "Firefox first cache"},
        {"/d/Cache/9/36/DD708m01", "Firefox first cache"}, // a record of its own, in 1.19's subfolders
        {"/d/Cache/0936DD70m02", "Firefox first cache"},   // the same before 1.19
        {"/d/Cache/_CACHE_MAP_", ""},                      // the map holds no record
        {"/d/Cache/9/36/DD708d01", ""},                    // a body
        {"/d/cache2/entries/" + std::string(kFirefoxName), ""},
        {"/d/Cache_Data/" + std::string(kChromiumName), ""},
        {"/d/Content.IE5/index.dat", ""},
    };
    for (const auto& [path, claimedBy] : files) {
        const cache::Format format = cache::ContainerFormatOf(path);
        EXPECT_EQ(cache::HoldsFormat(format) ? std::string(cache::FormatName(format)) : "", claimedBy) << path;
    }
}

} // namespace
