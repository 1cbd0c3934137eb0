// The browser-cache readers against caches that Debian's firefox-esr and chromium wrote at test time.
#include "cache/CacheWalk.h"
#include "cache/EntryMovie.h"
#include "cache/EntryMovieRows.h"
#include "cache/ListedMovieCopy.h"
#include "cache/MovieRowList.h"
#include "cache/RealBrowserCaches.h"
#include "support/Files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::TempFolder;

struct Listing {
    std::vector<cache::LocalMovieRow> rows;
    std::vector<cache::BrowserCacheFolder> browserCaches;
};

// What the Local Files list shows for `folder`: the start-up walk, then the entries of the caches it noted.
Listing ListLocalFiles(const std::string& folder)
{
    Listing listing;
    cache::MovieRowList plain;
    cache::WalkFolders(folder, plain, listing.browserCaches);
    std::vector<cache::EntryMovieRow> entries;
    const std::atomic<bool> stop{false};
    cache::ReadEntryMovies(listing.browserCaches, stop, [&](cache::EntryMovieRow row) { entries.push_back(row); });
    listing.rows = cache::LocalListRows(std::move(entries), plain.TakeRows());
    return listing;
}

bool Exists(const std::string& path)
{
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

TEST(RealBrowserCache, ListsEveryServedMovieOfBothBrowsersAboveThePlainMoviesInTheirOrder)
{
    const auto& caches = test::SharedBrowserCaches();
    const Listing listing = ListLocalFiles(caches.CacheFolder());
    EXPECT_EQ(listing.rows, test::ExpectedListRows(caches));

    std::vector<std::string> noted;
    for (const auto& folder : listing.browserCaches)
        noted.push_back(folder.path);
    std::vector<std::string> written;
    for (const auto& run : caches.Runs())
        written.push_back(run.cacheFolder);
    std::sort(noted.begin(), noted.end());
    std::sort(written.begin(), written.end());
    EXPECT_EQ(noted, written);
}

TEST(RealBrowserCache, RowsShownAsTheyAreFoundEndInTheListOrderAndAStopEndsTheReading)
{
    const auto& caches = test::SharedBrowserCaches();
    std::vector<cache::BrowserCacheFolder> folders;
    cache::MovieRowList plain;
    cache::WalkFolders(caches.CacheFolder(), plain, folders);

    std::vector<cache::EntryMovieRow> shown;
    std::atomic<bool> stop{false};
    cache::ReadEntryMovies(folders, stop, [&](cache::EntryMovieRow row) {
        const std::size_t index = cache::EntryRowIndex(shown, row);
        shown.insert(shown.begin() + static_cast<std::ptrdiff_t>(index), row);
    });
    std::vector<cache::LocalMovieRow> rows;
    for (const auto& row : shown)
        rows.push_back(row.row);
    rows.insert(rows.end(), caches.PlainRows().begin(), caches.PlainRows().end());
    EXPECT_EQ(rows, test::ExpectedListRows(caches));

    std::size_t found = 0;
    cache::ReadEntryMovies(folders, stop, [&](cache::EntryMovieRow) { stop = ++found == 2; });
    EXPECT_EQ(found, 2u);
    found = 0;
    cache::ReadEntryMovies(folders, stop, [&](cache::EntryMovieRow) { ++found; });
    EXPECT_EQ(found, 0u);
}

TEST(RealBrowserCache, SaveAndPreviewGiveTheServedMovieBytes)
{
    const auto& caches = test::SharedBrowserCaches();
    TempFolder out;
    for (const auto& run : caches.Runs()) {
        for (const auto& movie : caches.Movies()) {
            SCOPED_TRACE(run.browser + " " + movie.address + " " + movie.coding);
            const std::string entry = test::RealBrowserCaches::EntryFileOf(run.cacheFolder, movie.address);
            const std::string before = ReadFile(entry);
            ASSERT_EQ(cache::CopyListedMovie(entry, out / "saved.swf"), cache::CopyOutcome::Copied);
            EXPECT_EQ(ReadFile(out / "saved.swf"), movie.movie);
            EXPECT_EQ(cache::ReadEntryMovie(entry), movie.movie);
            EXPECT_EQ(cache::ReadEntryMovie(entry, movie.movie.size() - 1), std::nullopt) << "over the limit";
            EXPECT_EQ(ReadFile(entry), before);
        }
    }
}

TEST(RealBrowserCache, MovieAddressesThatGaveNoMovieAreStoredButNotListed)
{
    const auto& caches = test::SharedBrowserCaches();
    TempFolder out;
    const struct {
        const char* title;
        std::string address;
        int status;
    } cases[] = {
        {"404 with an HTML page", caches.MissingAddress(), 404},
        {"200 with an empty body (an empty stream 1 in Chromium)", caches.EmptyAddress(), 200},
    };
    for (const auto& run : caches.Runs()) {
        for (const auto& c : cases) {
            SCOPED_TRACE(run.browser + ": " + c.title);
            const std::string entry = test::RealBrowserCaches::EntryFileOf(run.cacheFolder, c.address);
            ASSERT_FALSE(entry.empty()) << "the browser kept no entry, so this case proves nothing";
            const auto file = cache::EntryFile::Open(entry);
            ASSERT_TRUE(file);
            const auto stored = cache::ReadCacheEntry(*file, *cache::EntryFileFormat(entry));
            ASSERT_TRUE(stored);
            EXPECT_EQ(stored->head.status, c.status);
            EXPECT_EQ(stored->address, c.address);
            EXPECT_EQ(cache::ReadEntryMovieRow(entry), std::nullopt);
            EXPECT_EQ(cache::CopyListedMovie(entry, out / "none.swf"), cache::CopyOutcome::SourceCannotOpen);
            EXPECT_FALSE(Exists(out / "none.swf"));
        }
    }
}

// Copies of one real entry, cut at every length or with one byte changed, each under a name of its own in a
// cache folder: none may crash the reader, and none may be listed as anything but the untouched movie.
TEST(RealBrowserCache, EntriesCutShortOrDamagedAreLeftOut)
{
    const auto& caches = test::SharedBrowserCaches();
    const auto& plain = caches.Movies().front();
    for (const auto& run : caches.Runs()) {
        SCOPED_TRACE(run.browser);
        const std::string original = ReadFile(test::RealBrowserCaches::EntryFileOf(run.cacheFolder, plain.address));
        const bool firefox = run.browser != "chromium";
        TempFolder temp;
        const std::string folder = firefox ? temp / "cache2/entries/" : temp / "Cache_Data/";
        fs::create_directories(folder);
        const auto name = [&](std::size_t n) {
            char hex[17];
            std::snprintf(hex, sizeof hex, firefox ? "%016zX" : "%016zx", n);
            return firefox ? std::string(24, 'A') + hex : std::string(hex) + "_0";
        };
        for (std::size_t length = 0; length < original.size(); ++length)
            test::WriteFile(folder + name(length), original.substr(0, length));
        std::size_t flipped = 0;
        for (std::size_t at = 0; at < original.size(); ++at) {
            std::string damaged = original;
            damaged[at] = static_cast<char>(damaged[at] ^ 0x20);
            test::WriteFile(folder + name(original.size() + at), damaged);
            ++flipped;
        }
        test::WriteFile(folder + name(2 * original.size()), original);

        std::vector<cache::EntryMovieRow> rows;
        const std::atomic<bool> stop{false};
        cache::ReadEntryMovies({{folder, firefox ? cache::EntryFormat::Firefox : cache::EntryFormat::Chromium}}, stop,
                               [&](cache::EntryMovieRow row) { rows.push_back(row); });
        ASSERT_FALSE(rows.empty()) << "the untouched copy must be listed";
        std::size_t listedDamaged = 0;
        for (const auto& row : rows) {
            EXPECT_EQ(row.row.name, plain.saveName);
            EXPECT_EQ(row.row.size, std::to_string(plain.movie.size()));
            EXPECT_EQ(row.row.address, plain.address);
            const std::string copy = ReadFile(row.row.path);
            EXPECT_EQ(copy.size(), original.size()) << "a cut copy was listed: " << row.row.path;
            if (copy == original)
                continue;
            ++listedDamaged;
            // A change the listing cannot see (in the body, or in a field no check covers) must not reach a
            // saved file: the copy checks the stored body as the browser does.
            const std::size_t at = std::mismatch(copy.begin(), copy.end(), original.begin()).first - copy.begin();
            TempFolder out;
            const auto outcome = cache::CopyListedMovie(row.row.path, out / "m.swf");
            if (outcome == cache::CopyOutcome::Copied) {
                EXPECT_EQ(ReadFile(out / "m.swf"), plain.movie) << "byte " << at << " changed and was saved";
            }
        }
        std::printf("[   INFO   ] %s: %zu cut and %zu damaged copies, %zu damaged ones still listed\n",
                    run.browser.c_str(), original.size(), flipped, listedDamaged);
    }
}

TEST(RealBrowserCache, SavingOntoTheEntryItselfFailsAndLeavesItAlone)
{
    const auto& caches = test::SharedBrowserCaches();
    for (const auto& run : caches.Runs()) {
        SCOPED_TRACE(run.browser);
        TempFolder temp;
        const std::string folder = run.browser == "chromium" ? temp.Path() + "/" : temp / "cache2/entries/";
        fs::create_directories(folder);
        const std::string source = test::RealBrowserCaches::EntryFileOf(run.cacheFolder, caches.Movies()[1].address);
        const std::string entry = folder + fs::path(source).filename().string();
        fs::copy_file(source, entry);
        fs::create_hard_link(entry, temp / "hard.swf");
        fs::create_symlink(entry, temp / "soft.swf");
        const std::string bytes = ReadFile(entry);
        for (const std::string& destination : {entry, folder + "./" + fs::path(entry).filename().string(),
                                               temp / "hard.swf", temp / "soft.swf"}) {
            SCOPED_TRACE(destination);
            EXPECT_EQ(cache::CopyListedMovie(entry, destination), cache::CopyOutcome::DestinationCannotCreate);
            EXPECT_EQ(ReadFile(entry), bytes);
        }
    }
}

} // namespace
