// The browser-cache readers against caches that Debian's firefox-esr and chromium wrote at test time.
#include "cache/CacheWalk.h"
#include "cache/ListedMovieCopy.h"
#include "cache/MovieRowList.h"
#include "cache/RowPath.h"
#include "cache/StoreReading.h"
#include "support/Files.h"
#include "support/RealBrowserCaches.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <map>

namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::TempFolder;

bool Exists(const std::string& path)
{
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

// The rows reading `stores` gives, in the order found; the stores found not read go to `unread`, and nothing
// else may be found.
std::vector<cache::EntryMovieRow> RowsOf(const std::vector<cache::FoundStore>& stores, const std::atomic<bool>& stop,
                                         const std::function<void(const cache::EntryMovieRow&)>& each = {},
                                         std::vector<cache::UnreadStore>* unread = nullptr)
{
    std::vector<cache::EntryMovieRow> rows;
    cache::ReadStores(stores, stop, [&](cache::StoreFinding finding) {
        if (auto* store = std::get_if<cache::UnreadStore>(&finding); store && unread) {
            unread->push_back(std::move(*store));
            return;
        }
        ASSERT_TRUE(std::holds_alternative<cache::EntryMovieRow>(finding)) << "browser caches give rows only";
        rows.push_back(std::get<cache::EntryMovieRow>(finding));
        if (each)
            each(rows.back());
    });
    return rows;
}

// Why the entry file at `path` gives no movie, when read as a copy reads it; nothing when it gives one.
std::optional<cache::Refusal> RefusalOf(const std::string& path)
{
    const auto opened = cache::OpenRowMovie(cache::ResolveRowPath(path));
    return opened ? std::nullopt : std::optional(opened.Why());
}

// The start-up walk notes the caches; their rows come in the list order whether the list takes them all at
// the end or each where it belongs as it is found; a stop ends the reading.
TEST(RealBrowserCache, ListsEveryServedMovieOfBothBrowsersAboveThePlainMoviesInTheirOrder)
{
    const auto& caches = test::SharedBrowserCaches();
    std::vector<cache::FoundStore> folders;
    cache::MovieRowList plain;
    cache::WalkFolders(caches.CacheFolder(), plain, folders);
    std::vector<std::string> noted, written;
    // The plain movies' Content.IE5 folder has no index.dat: told, and said to be not read.
    const std::string indexless = caches.CacheFolder() + "old/Temporary Internet Files/Content.IE5/";
    for (const auto& folder : folders) {
        if (folder.path == indexless) {
            EXPECT_TRUE(folder.notRead.starts_with("no index.dat")) << folder.notRead;
            continue;
        }
        noted.push_back(folder.path);
        EXPECT_EQ(folder.notRead, "");
    }
    for (const auto& run : caches.Runs())
        written.push_back(run.cacheFolder);
    std::sort(noted.begin(), noted.end());
    std::sort(written.begin(), written.end());
    EXPECT_EQ(noted, written);
    EXPECT_EQ(folders.size(), written.size() + 1);

    std::vector<cache::EntryMovieRow> shown;
    std::atomic<bool> stop{false};
    std::vector<cache::UnreadStore> unread;
    const auto found = RowsOf(
        folders, stop,
        [&](const cache::EntryMovieRow& row) {
            shown.insert(shown.begin() + static_cast<std::ptrdiff_t>(cache::EntryRowIndex(shown, row)), row);
        },
        &unread);
    ASSERT_EQ(unread.size(), 1u);
    EXPECT_EQ(unread[0].path, indexless);
    const auto expected = test::ExpectedListRows(caches);
    EXPECT_EQ(cache::LocalListRows(found, plain.TakeRows()), expected);
    std::vector<cache::LocalMovieRow> asShown;
    for (const auto& row : shown)
        asShown.push_back(row.row);
    asShown.insert(asShown.end(), caches.PlainRows().begin(), caches.PlainRows().end());
    EXPECT_EQ(asShown, expected);

    std::size_t rows = 0;
    RowsOf(folders, stop, [&](const cache::EntryMovieRow&) { stop = ++rows == 2; });
    EXPECT_EQ(rows, 2u);
    RowsOf(folders, stop, [&](const cache::EntryMovieRow&) { ++rows; });
    EXPECT_EQ(rows, 2u);
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
            const cache::RowTarget target = cache::ResolveRowPath(entry);
            EXPECT_EQ(target.kind, cache::RowTarget::Kind::EntryFile);
            EXPECT_EQ(cache::ReadRowMovie(target), movie.movie);
            EXPECT_EQ(cache::ReadRowMovie(target, movie.movie.size() - 1), std::nullopt) << "over the limit";
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
            const cache::EntryFilesFormat* format = cache::EntryFilesFormatOf(entry);
            ASSERT_NE(format, nullptr);
            const auto stored = format->ReadEntry(*file);
            ASSERT_TRUE(stored) << cache::RefusalText(stored.Why());
            EXPECT_EQ(stored->head.status, c.status);
            EXPECT_EQ(stored->address, c.address);
            EXPECT_EQ(RefusalOf(entry), cache::Refusal::NotAMovie);
            EXPECT_EQ(cache::CopyListedMovie(entry, out / "none.swf"), cache::CopyOutcome::SourceCannotOpen);
            EXPECT_FALSE(Exists(out / "none.swf"));
        }
    }
}

// Copies of one real entry, cut at every length or with one byte changed, each under a name of its own in a
// cache folder: none may crash the reader or send it outside the file, none may be listed as anything but the
// untouched movie, and a cut copy never gets past the reader.
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
        const cache::EntryFilesFormat* format = cache::EntryFilesFormatOf(folder + name(0));
        ASSERT_NE(format, nullptr);
        for (std::size_t length = 0; length < original.size(); ++length) {
            test::WriteFile(folder + name(length), original.substr(0, length));
            const cache::MemoryEntryBytes cut(std::string_view(original).substr(0, length));
            const auto read = format->ReadEntry(cut);
            ASSERT_FALSE(read) << "cut at " << length << " and read";
            EXPECT_TRUE(read.Why() == cache::Refusal::CutShort || read.Why() == cache::Refusal::Damaged)
                << "cut at " << length << ": " << cache::RefusalText(read.Why());
        }
        std::size_t flipped = 0;
        std::map<cache::Refusal, std::size_t> reasons;
        for (std::size_t at = 0; at < original.size(); ++at) {
            std::string damaged = original;
            damaged[at] = static_cast<char>(damaged[at] ^ 0x20);
            test::WriteFile(folder + name(original.size() + at), damaged);
            ++flipped;
            const cache::MemoryEntryBytes bytes(damaged);
            if (const auto read = format->ReadEntry(bytes); !read)
                ++reasons[read.Why()];
        }
        test::WriteFile(folder + name(2 * original.size()), original);
        // In memory a read never fails, so an unreadable entry would be a reader reaching outside the file.
        EXPECT_EQ(reasons.count(cache::Refusal::Unreadable), 0u);
        EXPECT_EQ(reasons.count(cache::Refusal::Stopped), 0u);
        EXPECT_GT(reasons[cache::Refusal::Damaged], 0u);

        const std::atomic<bool> stop{false};
        std::vector<cache::UnreadStore> unread;
        const auto rows = RowsOf({{folder, format, {}}}, stop, {}, &unread);
        // Copies whose version field a flip changed are counted, and the folder said to hold them.
        if (const std::size_t unknown = reasons[cache::Refusal::UnknownVersion]; unknown > 0) {
            ASSERT_EQ(unread.size(), 1u);
            EXPECT_EQ(unread[0].reason,
                      std::to_string(unknown) + " of its " + std::to_string(2 * original.size() + 1)
                          + " entries are of an unknown version");
        } else {
            EXPECT_TRUE(unread.empty()) << unread.front().reason;
        }
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
            } else {
                EXPECT_EQ(RefusalOf(row.row.path), cache::Refusal::Damaged) << "byte " << at;
            }
        }
        std::printf("[   INFO   ] %s: %zu cut and %zu damaged copies, %zu damaged ones still listed\n",
                    run.browser.c_str(), original.size(), flipped, listedDamaged);
    }
}

} // namespace
