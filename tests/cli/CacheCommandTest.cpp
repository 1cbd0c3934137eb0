// Runs the built plumeroc-grab binary's cache command on scratch cache folders.
#include "support/Files.h"
#include "support/FirefoxCache1Writer.h"
#include "support/RunGrab.h"
#include "support/TempFolder.h"
#include "support/TestMovie.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace {

using test::ReadFile;
using test::TempFolder;
using test::WriteFile;

using Outcome = test::GrabRun;

// Runs `plumeroc-grab cache ARGS` with only the given HOME and XDG_CACHE_HOME in its environment.
Outcome RunCache(const TempFolder& scratch, std::vector<std::string> args, std::optional<std::string> home,
                 std::optional<std::string> xdg)
{
    std::vector<std::string> env{"PATH=/usr/bin:/bin"};
    if (home)
        env.push_back("HOME=" + *home);
    if (xdg)
        env.push_back("XDG_CACHE_HOME=" + *xdg);
    args.insert(args.begin(), "cache");
    return test::RunGrab(args, scratch.Path(), {}, env);
}

std::vector<std::string> Split(const std::string& text, char terminator)
{
    std::vector<std::string> rows;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find(terminator, start)) != std::string::npos; start = end + 1)
        rows.push_back(text.substr(start, end - start));
    EXPECT_EQ(start, text.size()) << "last row not terminated";
    return rows;
}

TEST(CacheCommand, PrintsThePageRowsInOrder)
{
    // One movie a folder, in one chain: each folder's movies go in at the top, deepest first.
    TempFolder scratch, cacheHome;
    const std::string root = cacheHome.Path() + "/";
    WriteFile(root + "top.swf", "not listed");
    WriteFile(root + "A/a1.swf", "1");
    WriteFile(root + "A/empty.swf", "");
    WriteFile(root + "A/A1/c1.swf", "22");
    WriteFile(root + "A/A1/B/b1.SWF", "333");
    WriteFile(root + "A/A1/B/C/line\nbreak.swf", "4444");
    const std::vector<std::string> expected = {
        "line\nbreak.swf\t4\t" + root + "A/A1/B/C/line\nbreak.swf\t",
        "b1.SWF\t3\t" + root + "A/A1/B/b1.SWF\t",
        "c1.swf\t2\t" + root + "A/A1/c1.swf\t",
        "a1.swf\t1\t" + root + "A/a1.swf\t",
    };

    const Outcome nul = RunCache(scratch, {"-0"}, "/nonexistent", cacheHome.Path());
    EXPECT_EQ(nul.status, 0) << nul.err;
    EXPECT_EQ(Split(nul.out, '\0'), expected);

    const Outcome lines = RunCache(scratch, {}, "/nonexistent", cacheHome.Path());
    EXPECT_EQ(lines.status, 0) << lines.err;
    std::string joined;
    for (const auto& row : expected)
        joined += row + "\n";
    EXPECT_EQ(lines.out, joined);
}

TEST(CacheCommand, FallsBackToHomeCache)
{
    TempFolder scratch, home;
    WriteFile(home / ".cache/browser/m.swf", "12345");
    const Outcome outcome = RunCache(scratch, {}, home.Path(), std::nullopt);
    EXPECT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_EQ(outcome.out, "m.swf\t5\t" + home.Path() + "/.cache/browser/m.swf\t\n");
}

TEST(CacheCommand, ExitStatuses)
{
    TempFolder scratch, empty;
    const struct {
        const char* title;
        std::vector<std::string> args;
        std::optional<std::string> home, xdg;
        int status;
        bool message;
    } cases[] = {
        {"empty cache folder", {}, std::nullopt, empty.Path(), 0, false},
        {"cache folder missing", {"-0"}, std::nullopt, empty / "absent", 0, false},
        {"no cache folder setting", {}, std::nullopt, std::nullopt, 2, true},
        {"empty HOME, no XDG_CACHE_HOME", {}, "", std::nullopt, 2, true},
        {"unknown argument", {"-x"}, std::nullopt, empty.Path(), 1, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.title);
        const Outcome outcome = RunCache(scratch, c.args, c.home, c.xdg);
        EXPECT_EQ(outcome.status, c.status);
        EXPECT_EQ(outcome.out, "");
        EXPECT_EQ(!outcome.err.empty(), c.message) << outcome.err;
    }
}

// Reading the disk loads no HTTP client: libcurl and the libraries it brings cost more to load than a listing
// of a small folder takes. The dynamic loader's own report of what it loads tells.
TEST(CacheCommand, LoadsNoHttpClient)
{
    TempFolder scratch, empty;
    const Outcome outcome = test::RunGrab({"cache", "--folder", empty.Path()}, scratch.Path(), {},
                                          std::vector<std::string>{"PATH=/usr/bin:/bin", "LD_DEBUG=libs"});
    EXPECT_EQ(outcome.status, 0);
    ASSERT_NE(outcome.err.find("libsqlite3.so"), std::string::npos) << "no report of the libraries loaded";
    EXPECT_EQ(outcome.err.find("libcurl"), std::string::npos);
}

// A first cache as Firefox 3 to 31 wrote it, with one movie; `mapVersion` replaces its map's version.
void WriteFirstCache(const std::string& folder, const std::string& address, const std::string& movie,
                     std::uint32_t mapVersion = 0)
{
    std::filesystem::create_directories(folder);
    auto writer = test::FirefoxCache1Writer::Create(folder, 0x00010013);
    const std::string head = "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(movie.size())
        + "\r\nContent-Type: application/x-shockwave-flash\r\n";
    writer.Add("HTTP:" + address, {{"request-method", "GET"}, {"response-head", head}}, movie);
    writer.Write(true, false);
    if (mapVersion != 0) {
        std::string map = ReadFile(folder + "_CACHE_MAP_");
        for (int i = 0; i < 4; ++i)
            map[static_cast<std::size_t>(i)] = static_cast<char>(mapVersion >> (24 - 8 * i));
        WriteFile(folder + "_CACHE_MAP_", map);
    }
}

// On an old disk, each cache folder of a version or form that is not read is one line on standard error, and the
// movies of every other folder are listed as ever.
TEST(CacheCommand, SaysOnceForEachCacheFolderThatItIsNotRead)
{
    TempFolder scratch, disk;
    const std::string movie = test::MakeMovie(test::MovieRecipe{});
    const std::string newer = disk / "Users/ann/AppData/Local/Mozilla/Firefox/Profiles/a1.default/Cache/";
    const std::string read = disk
        / "Documents and Settings/ben/Local Settings/Application Data/Mozilla/Firefox/"
          "Profiles/b2.default/Cache/";
    const std::string indexless = disk / "Users/ann/AppData/Local/Microsoft/Windows/INetCache/IE/";
    const std::string damaged =
        disk / "Documents and Settings/ben/Local Settings/Temporary Internet Files/Content.IE5/";
    WriteFirstCache(newer, "http://games.example/newer.swf", movie, 0x00020003);
    WriteFirstCache(read, "http://games.example/read.swf", movie);
    WriteFile(indexless + "K3J9AB01/intro[1].swf", movie);
    WriteFile(damaged + "index.dat", "Client UrlCache MMF Ver 5.2" + std::string(40, '\xff'));
    WriteFile(damaged + "Q7W1Z0PB/outro[1].swf", movie);

    const Outcome outcome = RunCache(scratch, {"--folder", disk.Path()}, "/nonexistent", std::nullopt);
    EXPECT_EQ(outcome.status, 0) << outcome.err;
    std::vector<std::string> said = Split(outcome.err, '\n');
    std::sort(said.begin(), said.end());
    std::vector<std::string> expected = {
        "plumeroc-grab: " + damaged + ": Internet Explorer index not read: a damaged index.dat",
        "plumeroc-grab: " + newer + ": Firefox first cache not read: a map of version 2.3",
        "plumeroc-grab: " + indexless
            + ": Internet Explorer index not read: no index.dat (Windows 8 and later keep the addresses in "
              "WebCacheV01.dat, which is not read)",
    };
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(said, expected);

    const std::vector<std::string> rows = Split(outcome.out, '\n');
    ASSERT_EQ(rows.size(), 3u) << outcome.out;
    EXPECT_TRUE(rows[0].starts_with("read.swf\t" + std::to_string(movie.size()) + "\t" + read)) << rows[0];
    EXPECT_TRUE(rows[0].ends_with("\thttp://games.example/read.swf")) << rows[0];
    std::vector<std::string> plain(rows.begin() + 1, rows.end());
    std::sort(plain.begin(), plain.end());
    EXPECT_EQ(plain,
              (std::vector<std::string>{
                  "intro[1].swf\t" + std::to_string(movie.size()) + "\t" + indexless + "K3J9AB01/intro[1].swf\t",
                  "outro[1].swf\t" + std::to_string(movie.size()) + "\t" + damaged + "Q7W1Z0PB/outro[1].swf\t",
              }));
}

} // namespace
