// A mounted old disk: the caches Debian's firefox-esr and chromium wrote at test time, copied into the profile
// layouts of Windows XP to 11, an old Linux and macOS, with a Firefox first cache written as the browser wrote
// it, among files that are no cache at all.
#include "cache/LocalListing.h"
#include "cache/RowPath.h"
#include "support/Files.h"
#include "support/FirefoxCache1Writer.h"
#include "support/RealBrowserCaches.h"
#include "support/TestMovie.h"

#include "platform/FileDescriptor.h"

#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <set>

namespace {

namespace fs = std::filesystem;
using test::TempFolder;

// One profile's cache folder on the disk, for the browser that wrote the copied cache.
struct Placement {
    const char* browser;
    const char* folder; // below the disk, ending in "/"
};
constexpr Placement kPlacements[] = {
    {"firefox-esr", "Users/alice/AppData/Local/Mozilla/Firefox/Profiles/k2j4x9qa.default-release/cache2/entries/"},
    {"firefox-esr", "home/dave/.cache/mozilla/firefox/r7t1m0zz.default/cache2/entries/"},
    {"chromium", "Users/bob/AppData/Local/Google/Chrome/User Data/Default/Cache/Cache_Data/"},
    {"chromium", "Documents and Settings/erin/Local Settings/Application Data/Google/Chrome/User Data/Default/Cache/"},
    {"chromium", "Users/grace/Library/Caches/Google/Chrome/Default/Cache/"},
};
constexpr const char* kFirstCache =
    "Documents and Settings/erin/Local Settings/Application Data/Mozilla/Firefox/Profiles/q1w2e3r4.default/Cache/";
constexpr const char* kNewerFirstCache = "home/dave/.mozilla/firefox/r7t1m0zz.default/Cache/";
constexpr const char* kIndexlessCache = "Users/bob/AppData/Local/Microsoft/Windows/INetCache/IE/";
constexpr const char* kMovieAddress = "http://games.example/flash/xp-racer.swf";

// Files of the disk that are no cache file: the walk may look at their names, never at their bytes.
const std::vector<std::string> kOtherFiles = {
    "pagefile.sys",
    "Windows/System32/kernel32.dll",
    "Users/alice/Documents/notes.txt",
    "Users/alice/AppData/Roaming/Mozilla/Firefox/Profiles/k2j4x9qa.default-release/prefs.js",
    "home/dave/.mozilla/firefox/profiles.ini",
    "Users/grace/Library/Preferences/com.apple.Safari.plist",
};
// Plain movies outside any cache: listed from their names and sizes.
const std::vector<std::string> kPlainMovies = {
    "Users/alice/Documents/Games/tetris.swf",
    "Users/bob/AppData/Local/Microsoft/Windows/INetCache/IE/Q7W1Z0PB/racer[1].swf",
    "home/dave/Downloads/intro.SWF",
};

struct Disk {
    TempFolder root;
    std::string movie = test::MakeMovie(test::MovieRecipe{});
    std::vector<std::string> entryFolders; // the copied browser caches, full paths

    std::string operator/(std::string_view relative) const { return root / relative; }
};

void WriteFirstCache(const std::string& folder, const std::string& movie)
{
    fs::create_directories(folder);
    auto writer = test::FirefoxCache1Writer::Create(folder, 0x00010013);
    const std::string head = "HTTP/1.1 200 OK\r\nDate: Tue, 01 Jul 2008 10:00:00 GMT\r\nContent-Length: "
        + std::to_string(movie.size()) + "\r\nContent-Type: application/x-shockwave-flash\r\n";
    writer.Add(std::string("HTTP:") + kMovieAddress, {{"request-method", "GET"}, {"response-head", head}}, movie);
    writer.Write(true, false);
}

std::unique_ptr<Disk> MakeDisk(const test::RealBrowserCaches& caches)
{
    auto disk = std::make_unique<Disk>();
    for (const Placement& placement : kPlacements) {
        const auto run = std::find_if(caches.Runs().begin(), caches.Runs().end(),
                                      [&](const test::BrowserRun& r) { return r.browser == placement.browser; });
        if (run == caches.Runs().end())
            throw std::runtime_error(std::string("no cache of ") + placement.browser);
        const std::string target = *disk / placement.folder;
        fs::create_directories(fs::path(target).parent_path());
        test::CopyTree(run->cacheFolder, target);
        disk->entryFolders.push_back(target);
    }
    WriteFirstCache(*disk / kFirstCache, disk->movie);
    // The same cache under a map of version 2.19, which no Firefox wrote.
    WriteFirstCache(*disk / kNewerFirstCache, disk->movie);
    const std::string map = *disk / (std::string(kNewerFirstCache) + "_CACHE_MAP_");
    std::string bytes = test::ReadFile(map);
    bytes[1] = '\2';
    test::WriteFile(map, bytes);
    for (const std::string& file : kOtherFiles)
        disk->root.Write(file, "not a cache file\n");
    for (const std::string& file : kPlainMovies)
        disk->root.Write(file, disk->movie);
    return disk;
}

std::vector<std::string> Sorted(std::vector<std::string> values)
{
    std::sort(values.begin(), values.end());
    return values;
}

// The files opened below `root` while `run` runs, seen through inotify (which sees opens whatever flags they
// take, O_NOATIME included).
std::set<std::string> FilesOpenedWhile(const std::string& root, const std::function<void()>& run)
{
    const platform::FileDescriptor watcher(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
    if (!watcher.IsOpen())
        throw std::runtime_error("no inotify");
    std::map<int, std::string> folderOf;
    const auto watch = [&](const std::string& folder) {
        const int wd = ::inotify_add_watch(watcher.Get(), folder.c_str(), IN_OPEN | IN_ONLYDIR);
        if (wd < 0)
            throw std::runtime_error("cannot watch " + folder);
        folderOf[wd] = folder;
    };
    watch(root);
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (entry.is_directory() && !entry.is_symlink())
            watch(entry.path().string() + "/");
    }
    run();
    std::set<std::string> opened;
    alignas(inotify_event) char buffer[64 * 1024];
    for (ssize_t filled; (filled = ::read(watcher.Get(), buffer, sizeof buffer)) > 0;) {
        for (ssize_t at = 0; at < filled;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            if ((event->mask & IN_Q_OVERFLOW) != 0)
                throw std::runtime_error("inotify lost events");
            if (event->len > 0 && (event->mask & IN_ISDIR) == 0)
                opened.insert(folderOf.at(event->wd) + event->name);
        }
    }
    return opened;
}

// Every profile's cache below the folder, wherever the profile's layout puts it, in the list's order: the
// entries of the real browsers' caches newest first, then the first cache's older entry, then the plain
// movies; the caches that are there but not read are named, each once.
TEST(MountedDisk, ListsEveryProfilesCachesBelowTheFolder)
{
    const auto& caches = test::SharedBrowserCaches();
    const auto disk = MakeDisk(caches);
    const auto expectedEntries = test::ExpectedEntryRows(caches, disk->entryFolders);

    const auto source = cache::LocalListSourceFor(disk->root.Path());
    ASSERT_TRUE(source);
    const cache::LocalList list = cache::ListLocalMovies(*source);
    ASSERT_EQ(list.rows.size(), expectedEntries.size() + 1 + kPlainMovies.size());
    const auto firstPlain = list.rows.begin() + static_cast<std::ptrdiff_t>(expectedEntries.size() + 1);
    EXPECT_EQ(std::vector(list.rows.begin(), firstPlain - 1), expectedEntries);

    const cache::LocalMovieRow& old = *(firstPlain - 1);
    EXPECT_EQ(old.name, "xp-racer.swf");
    EXPECT_EQ(old.size, std::to_string(disk->movie.size()));
    EXPECT_EQ(old.address, kMovieAddress);
    EXPECT_TRUE(old.path.starts_with(*disk / kFirstCache)) << old.path;
    EXPECT_EQ(cache::ReadRowMovie(cache::ResolveRowPath(old.path)), disk->movie);

    std::vector<std::string> plainPaths, expectedPlain;
    for (auto row = firstPlain; row != list.rows.end(); ++row) {
        plainPaths.push_back(row->path);
        EXPECT_EQ(row->size, std::to_string(disk->movie.size())) << row->path;
        EXPECT_EQ(row->address, "") << row->path;
    }
    for (const std::string& movie : kPlainMovies)
        expectedPlain.push_back(*disk / movie);
    EXPECT_EQ(Sorted(plainPaths), Sorted(expectedPlain));

    ASSERT_EQ(list.unread.size(), 2u);
    std::map<std::string, cache::UnreadStore> unread;
    for (const auto& store : list.unread)
        unread[store.path] = store;
    ASSERT_TRUE(unread.contains(*disk / kNewerFirstCache));
    EXPECT_EQ(unread[*disk / kNewerFirstCache].format, "Firefox first cache");
    EXPECT_EQ(unread[*disk / kNewerFirstCache].reason, "a map of version 2.19");
    ASSERT_TRUE(unread.contains(*disk / kIndexlessCache));
    EXPECT_EQ(unread[*disk / kIndexlessCache].format, "Internet Explorer index");
    EXPECT_TRUE(unread[*disk / kIndexlessCache].reason.starts_with("no index.dat"))
        << unread[*disk / kIndexlessCache].reason;
}

// The walk tells caches by their names: documents, system files, profile settings and plain movies are never
// opened; the files opened are those of the caches.
TEST(MountedDisk, OpensNoFileThatIsNotACacheFile)
{
    const auto& caches = test::SharedBrowserCaches();
    const auto disk = MakeDisk(caches);
    const auto source = cache::LocalListSourceFor(disk->root.Path());
    ASSERT_TRUE(source);
    cache::LocalList list;
    const auto opened = FilesOpenedWhile(disk->root.Path(), [&] { list = cache::ListLocalMovies(*source); });
    EXPECT_FALSE(list.rows.empty());

    std::vector<std::string> cacheFolders = disk->entryFolders;
    cacheFolders.push_back(*disk / kFirstCache);
    cacheFolders.push_back(*disk / kNewerFirstCache);
    for (const std::string& file : opened) {
        const bool inCache = std::any_of(cacheFolders.begin(), cacheFolders.end(),
                                         [&](const std::string& folder) { return file.starts_with(folder); });
        EXPECT_TRUE(inCache) << file << " was opened";
    }
    EXPECT_TRUE(opened.contains(*disk / (std::string(kFirstCache) + "_CACHE_MAP_")));
    for (const std::string& folder : disk->entryFolders) {
        for (const auto& movie : caches.Movies())
            EXPECT_TRUE(opened.contains(test::RealBrowserCaches::EntryFileOf(folder, movie.address))) << movie.address;
    }
}

} // namespace
