// plumeroc-grab cache and copy over caches that firefox-esr and chromium wrote at test time.
#include "support/Files.h"
#include "support/RealBrowserCaches.h"
#include "support/RunGrab.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::TempFolder;
using test::WriteFile;

std::string Line(const cache::LocalMovieRow& row)
{
    return row.name + "\t" + row.size + "\t" + row.path + "\t" + row.address;
}

std::string Lines(const std::vector<cache::LocalMovieRow>& rows, char end)
{
    std::string text;
    for (const auto& row : rows)
        text += Line(row) + end;
    return text;
}

std::vector<std::string> Environment(const std::string& home, const std::string& cacheHome)
{
    return {"PATH=/usr/bin:/bin", "HOME=" + home, "XDG_CACHE_HOME=" + cacheHome};
}

TEST(CacheEntriesCommand, ListsEntryMoviesFirstWithTheirAddressThenThePlainMovies)
{
    const auto& caches = test::SharedBrowserCaches();
    TempFolder scratch, home;
    const std::string expected = Lines(test::ExpectedListRows(caches), '\0');

    const auto chosen = test::RunGrab({"cache", "-0", "--folder", caches.CacheFolder()}, scratch.Path(), {},
                                      Environment(home.Path(), "/nonexistent"));
    EXPECT_EQ(chosen.status, 0) << chosen.err;
    EXPECT_EQ(chosen.out, expected);

    // The cache folder itself, by the same lookup as the window: the same rows.
    std::string cacheHome = caches.CacheFolder();
    cacheHome.pop_back();
    const auto looked = test::RunGrab({"cache", "-0"}, scratch.Path(), {}, Environment(home.Path(), cacheHome));
    EXPECT_EQ(looked.status, 0) << looked.err;
    EXPECT_EQ(looked.out, expected);
}

TEST(CacheEntriesCommand, SnapAndFlatpakCachesCountUnlessAFolderIsChosen)
{
    const auto& caches = test::SharedBrowserCaches();
    TempFolder scratch, home;
    const auto& runs = caches.Runs();
    const std::string firefoxRun = runs[0].browser == "chromium" ? runs[1].cacheFolder : runs[0].cacheFolder;
    const std::string chromiumRun = runs[0].browser == "chromium" ? runs[0].cacheFolder : runs[1].cacheFolder;
    const std::string snap = home / "snap/chromium/common/.cache/chromium/Default/Cache/Cache_Data/";
    const std::string flatpak = home / ".var/app/org.mozilla.firefox/cache/mozilla/firefox/x.default/cache2/entries/";
    fs::create_directories(fs::path(snap).parent_path().parent_path());
    fs::create_directories(fs::path(flatpak).parent_path().parent_path());
    test::CopyTree(chromiumRun, snap);
    test::CopyTree(firefoxRun, flatpak);
    // Movies lying in those homes are no rows: only their browser caches are looked at.
    WriteFile(home / "snap/chromium/common/.cache/stray/loose.swf", "FWS-loose");

    std::string cacheHome = caches.CacheFolder();
    cacheHome.pop_back();
    auto expected = test::ExpectedEntryRows(caches, {firefoxRun, chromiumRun, snap, flatpak});
    expected.insert(expected.end(), caches.PlainRows().begin(), caches.PlainRows().end());
    const auto all = test::RunGrab({"cache"}, scratch.Path(), {}, Environment(home.Path(), cacheHome));
    EXPECT_EQ(all.status, 0) << all.err;
    EXPECT_EQ(all.out, Lines(expected, '\n'));

    const auto chosen =
        test::RunGrab({"cache", "--folder", cacheHome}, scratch.Path(), {}, Environment(home.Path(), "/x"));
    EXPECT_EQ(chosen.status, 0) << chosen.err;
    EXPECT_EQ(chosen.out, Lines(test::ExpectedListRows(caches), '\n'));
}

TEST(CacheEntriesCommand, CopySavesWhatTheRowShowsOrSaysWhyNot)
{
    const auto& caches = test::SharedBrowserCaches();
    TempFolder scratch, temp;
    const auto& plainRow = caches.PlainRows().front();
    WriteFile(temp / "regular", "a file, not a folder");
    const std::string entryCopy = temp / "cb97d9f3a4532126_0";
    const std::string packed = caches.Movies()[1].address;
    fs::copy_file(test::RealBrowserCaches::EntryFileOf(caches.Runs()[1].cacheFolder, packed), entryCopy);
    const std::string entryBytes = ReadFile(entryCopy);
    fs::create_hard_link(entryCopy, temp / "hard.swf");
    fs::create_symlink(entryCopy, temp / "soft.swf");

    struct Case {
        std::string title, source, destination;
        int status;
        std::string message; // on standard error
        std::string saved;   // what the destination holds afterwards, when status is 0
    };
    std::vector<Case> cases;
    for (const auto& run : caches.Runs())
        for (const auto& movie : caches.Movies())
            cases.push_back({run.browser + " " + movie.address,
                             test::RealBrowserCaches::EntryFileOf(run.cacheFolder, movie.address), temp / "out.swf", 0,
                             "", movie.movie});
    cases.push_back({"plain file", plainRow.path, temp / "plain.swf", 0, "", ReadFile(plainRow.path)});
    cases.push_back({"missing source", temp / "gone/a.swf", temp / "x1.swf", 2, "read file can not open !", ""});
    cases.push_back({"an entry that is no movie",
                     test::RealBrowserCaches::EntryFileOf(caches.Runs()[0].cacheFolder, caches.MissingAddress()),
                     temp / "x2.swf", 2, "read file can not open !", ""});
    cases.push_back({"missing folder", entryCopy, temp / "absent/out.swf", 2, "create write file failure!", ""});
    cases.push_back({"a file as folder", entryCopy, temp / "regular/out.swf", 2, "create write file failure!", ""});
    for (const std::string& same : {entryCopy, temp / "hard.swf", temp / "soft.swf"})
        cases.push_back({"onto the entry: " + same, entryCopy, same, 2, "create write file failure!", ""});
    for (const auto& c : cases) {
        SCOPED_TRACE(c.title);
        const auto run = test::RunGrab({"copy", c.source, c.destination}, scratch.Path());
        EXPECT_EQ(run.status, c.status);
        EXPECT_EQ(run.out, "");
        if (c.status == 0) {
            EXPECT_EQ(run.err, "");
            EXPECT_EQ(ReadFile(c.destination), c.saved);
        } else {
            EXPECT_EQ(run.err, "plumeroc-grab: " + c.message + "\n");
        }
    }
    EXPECT_EQ(ReadFile(entryCopy), entryBytes);
    EXPECT_FALSE(fs::exists(temp / "x1.swf")) << "a source that cannot be read creates nothing";
    EXPECT_FALSE(fs::exists(temp / "x2.swf"));
    EXPECT_EQ(test::RunGrab({"copy", entryCopy}, scratch.Path()).status, 1);
}

} // namespace
