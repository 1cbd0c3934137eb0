// The typed-address key served from generated Firefox and Chromium-family profiles in a temporary HOME.
#include "platform/Registry.h"
#include "support/BrowserProfiles.h"
#include "support/Files.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <optional>

namespace {

namespace fs = std::filesystem;
using test::AddFirefoxProfile;
using test::Day;
using test::TempHome;
using test::Visit;

// url1, url2, ... until the first missing value.
std::vector<std::string> Values(const platform::RegistryKey& key)
{
    std::vector<std::string> values;
    while (auto value = key.QueryValue("url" + std::to_string(values.size() + 1)))
        values.push_back(*value);
    return values;
}

const std::vector<Visit> kOneTyped = {{"https://found.example/", Day(1)}};

struct LocationCase {
    const char* name;
    std::function<void(const fs::path& home)> make;
};

TEST(TypedUrlsKey, FindsProfilesInEveryKnownPlace)
{
    const auto chromium = [](const char* relative) {
        return [relative](const fs::path& home) { test::WriteChromiumHistory(home / relative / "History", kOneTyped); };
    };
    const auto firefox = [](const char* root) {
        return [root](const fs::path& home) { AddFirefoxProfile(home / root, "ab12cd.default-release", kOneTyped); };
    };
    const LocationCase cases[] = {
        {"firefox", firefox(".mozilla/firefox")},
        {"firefox in .config", firefox(".config/mozilla/firefox")},
        {"firefox snap", firefox("snap/firefox/common/.mozilla/firefox")},
        {"firefox flatpak", firefox(".var/app/org.mozilla.firefox/.mozilla/firefox")},
        {"firefox absolute Path",
         [](const fs::path& home) {
             test::WriteProfilesIni(home / ".mozilla/firefox", {{(home / "elsewhere/p").string(), false}});
             test::WriteFirefoxPlaces(home / "elsewhere/p/places.sqlite", kOneTyped);
         }},
        {"firefox Path without IsRelative",
         [](const fs::path& home) {
             test::WriteProfilesIni(home / ".mozilla/firefox", {{"Profiles/x.default", std::nullopt}});
             test::WriteFirefoxPlaces(home / ".mozilla/firefox/Profiles/x.default/places.sqlite", kOneTyped);
         }},
        {"firefox second profile of the list",
         [](const fs::path& home) {
             test::WriteProfilesIni(home / ".mozilla/firefox", {{"gone.default", true}, {"b.default", true}});
             test::WriteFirefoxPlaces(home / ".mozilla/firefox/b.default/places.sqlite", kOneTyped);
         }},
        {"firefox folder name with URI characters",
         [](const fs::path& home) { AddFirefoxProfile(home / ".mozilla/firefox", "odd %41?x#y", kOneTyped); }},
        {"chromium", chromium(".config/chromium/Default")},
        {"google chrome, numbered profile", chromium(".config/google-chrome/Profile 2")},
        {"brave", chromium(".config/BraveSoftware/Brave-Browser/Default")},
        {"edge", chromium(".config/microsoft-edge/Profile 1")},
        {"vivaldi", chromium(".config/vivaldi/Default")},
        {"chromium snap", chromium("snap/chromium/common/chromium/Default")},
        {"brave snap", chromium("snap/brave/current/.config/BraveSoftware/Brave-Browser/Default")},
        {"chrome flatpak", chromium(".var/app/com.google.Chrome/config/google-chrome/Default")},
        {"edge flatpak", chromium(".var/app/com.microsoft.Edge/config/microsoft-edge/Default")},
        {"XDG_CONFIG_HOME",
         [](const fs::path& home) {
             setenv("XDG_CONFIG_HOME", (home / "cfg").c_str(), 1);
             test::WriteChromiumHistory(home / "cfg/chromium/Default/History", kOneTyped);
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const TempHome home;
        c.make(home.Path());
        const auto key = platform::OpenCurrentUserKey(platform::kTypedUrlsKey);
        ASSERT_NE(key, nullptr);
        EXPECT_EQ(Values(*key), std::vector<std::string>{"https://found.example/"});
    }
}

TEST(TypedUrlsKey, DoesNotOpenWithoutAProfile)
{
    const LocationCase cases[] = {
        {"empty home", [](const fs::path&) {}},
        {"HOME unset",
         [](const fs::path& home) {
             test::WriteChromiumHistory(home / ".config/chromium/Default/History", kOneTyped);
             unsetenv("HOME");
         }},
        {"profiles.ini naming a folder without places.sqlite",
         [](const fs::path& home) {
             test::WriteProfilesIni(home / ".mozilla/firefox", {{"empty.default", true}});
             fs::create_directories(home / ".mozilla/firefox/empty.default");
         }},
        {"places.sqlite not listed in profiles.ini",
         [](const fs::path& home) {
             test::WriteFirefoxPlaces(home / ".mozilla/firefox/x.default/places.sqlite", kOneTyped);
         }},
        {"only guest and system profiles",
         [](const fs::path& home) {
             test::WriteChromiumHistory(home / ".config/chromium/Guest Profile/History", kOneTyped);
             test::WriteChromiumHistory(home / ".config/chromium/System Profile/History", kOneTyped);
             test::WriteChromiumHistory(home / ".config/chromium/Profile/History", kOneTyped);
         }},
        {"History outside a profile folder",
         [](const fs::path& home) { test::WriteChromiumHistory(home / ".config/chromium/History", kOneTyped); }},
        {"History is a folder",
         [](const fs::path& home) { fs::create_directories(home / ".config/chromium/Default/History"); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const TempHome home;
        c.make(home.Path());
        EXPECT_EQ(platform::OpenCurrentUserKey(platform::kTypedUrlsKey), nullptr);
    }
}

TEST(TypedUrlsKey, MergesBrowsersNewestFirstAndKeepsTheNewestOfDuplicates)
{
    const TempHome home;
    const fs::path& h = home.Path();
    test::WriteProfilesIni(h / ".mozilla/firefox", {{"a.default", true}, {"b.default", true}});
    test::WriteFirefoxPlaces(h / ".mozilla/firefox/a.default/places.sqlite",
                             {{"https://ff-newest.example/", Day(10)},
                              {"https://shared.example/", Day(2)},
                              {"https://ff-untyped.example/", Day(20), false},
                              {"https://ff-old.example/", Day(1)}});
    test::Execute(test::OpenForWriting(h / ".mozilla/firefox/a.default/places.sqlite"),
                  "INSERT INTO moz_places (url, typed, guid) VALUES ('https://never-visited.example/', 1, 'g')");
    test::WriteFirefoxPlaces(h / ".mozilla/firefox/b.default/places.sqlite",
                             {{"https://ff-b.example/", Day(7)}, {"https://shared.example/", Day(4)}});
    test::WriteChromiumHistory(h / ".config/google-chrome/Default/History",
                               {{"https://shared.example/", Day(8)},
                                {"https://chrome.example/", Day(9)},
                                {"https://chrome-untyped.example/", Day(30), false}});
    test::WriteChromiumHistory(h / ".config/BraveSoftware/Brave-Browser/Profile 1/History",
                               {{"https://brave.example/", Day(5)},
                                {"not an address at all", Day(3)},
                                {"https://ff-newest.example/", Day(0)}});

    const auto key = platform::OpenCurrentUserKey("software\\microsoft\\internet explorer\\typedurls");
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(
        Values(*key),
        (std::vector<std::string>{"https://ff-newest.example/", "https://chrome.example/", "https://shared.example/",
                                  "https://ff-b.example/", "https://brave.example/", "not an address at all",
                                  "https://ff-old.example/", "https://never-visited.example/"}));
}

TEST(TypedUrlsKey, ValueNamesAndTheLengthOfTheList)
{
    const TempHome home;
    std::vector<Visit> visits;
    for (int i = 1; i <= 30; ++i)
        visits.push_back({"https://site" + std::to_string(i) + ".example/", Day(i)}); // site30 newest
    for (int i = 1; i <= 30; ++i)
        visits.push_back({"https://site30.example/", Day(30 + i)}); // the same address visited again and again
    test::WriteChromiumHistory(home / ".config/chromium/Default/History", visits);
    const auto key = platform::OpenCurrentUserKey(platform::kTypedUrlsKey);
    ASSERT_NE(key, nullptr);

    const std::pair<const char*, std::optional<std::string>> cases[] = {
        {"url1", "https://site30.example/"},
        {"URL2", "https://site29.example/"},
        {"Url25", "https://site6.example/"},
        {"url26", std::nullopt},
        {"url0", std::nullopt},
        {"url01", std::nullopt},
        {"url", std::nullopt},
        {"url+1", std::nullopt},
        {"url1x", std::nullopt},
        {"xurl1", std::nullopt},
        {"url18446744073709551617", std::nullopt},
    };
    for (const auto& [name, expected] : cases) {
        SCOPED_TRACE(name);
        EXPECT_EQ(key->QueryValue(name), expected);
    }
}

// A browser that is running holds its database: open in WAL mode with a write under way, or
// locked exclusively as Firefox and Chromium do. The key must still read what has been committed
// and must leave the profile exactly as it was: no new -wal, -shm or -journal file, no changed byte.
struct HeldCase {
    const char* name;
    std::function<std::optional<platform::SqliteDatabase>(const fs::path& home)> hold;
    std::vector<std::string> expected;
    const char* logFile; // a side file that must exist while the writer holds the database, or null
};

TEST(TypedUrlsKey, ReadsDatabasesThatARunningBrowserHolds)
{
    const char* kFirefox = ".mozilla/firefox";
    const auto firefoxWith = [&](const fs::path& home, std::vector<Visit> visits) {
        return AddFirefoxProfile(home / kFirefox, "p.default", visits);
    };
    const auto chromiumWith = [](const fs::path& home, std::vector<Visit> visits) {
        const fs::path file = home / ".config/chromium/Default/History";
        test::WriteChromiumHistory(file, visits);
        return file;
    };
    const std::vector<Visit> ab = {{"https://a.example/", Day(1)}, {"https://b.example/", Day(2)}};
    const std::vector<Visit> uncommitted = {{"https://uncommitted.example/", Day(9)}};

    const HeldCase cases[] = {
        {"firefox closed, log files removed",
         [&](const fs::path& home) {
             firefoxWith(home, ab);
             return std::nullopt;
         },
         {"https://b.example/", "https://a.example/"},
         nullptr},
        {"firefox running: committed frames in the log and a write transaction open",
         [&](const fs::path& home) {
             auto writer = test::OpenForWriting(firefoxWith(home, ab));
             test::AddFirefoxPlaces(writer, {{"https://in-log.example/", Day(3)}});
             test::Execute(writer, "BEGIN IMMEDIATE");
             test::AddFirefoxPlaces(writer, uncommitted);
             return std::optional(std::move(writer));
         },
         {"https://in-log.example/", "https://b.example/", "https://a.example/"},
         ".mozilla/firefox/p.default/places.sqlite-shm"},
        {"firefox running with an exclusive lock and no shared index",
         [&](const fs::path& home) {
             auto writer = test::OpenForWriting(firefoxWith(home, ab));
             test::Execute(writer, "PRAGMA locking_mode = EXCLUSIVE; BEGIN IMMEDIATE");
             test::AddFirefoxPlaces(writer, uncommitted);
             return std::optional(std::move(writer));
         },
         {"https://b.example/", "https://a.example/"},
         ".mozilla/firefox/p.default/places.sqlite-wal"},
        {"firefox running with an exclusive lock taken after the shared index",
         [&](const fs::path& home) {
             auto writer = test::OpenForWriting(firefoxWith(home, ab));
             test::Execute(writer, "SELECT count(*) FROM moz_places");
             test::Execute(writer, "PRAGMA locking_mode = EXCLUSIVE; BEGIN IMMEDIATE");
             test::AddFirefoxPlaces(writer, uncommitted);
             return std::optional(std::move(writer));
         },
         {"https://b.example/", "https://a.example/"},
         ".mozilla/firefox/p.default/places.sqlite-shm"},
        {"chromium closed",
         [&](const fs::path& home) {
             chromiumWith(home, ab);
             return std::nullopt;
         },
         {"https://b.example/", "https://a.example/"},
         nullptr},
        {"chromium running: a write pending",
         [&](const fs::path& home) {
             auto writer = test::OpenForWriting(chromiumWith(home, ab));
             test::Execute(writer, "BEGIN IMMEDIATE");
             test::AddChromiumUrls(writer, uncommitted);
             return std::optional(std::move(writer));
         },
         {"https://b.example/", "https://a.example/"},
         nullptr},
        {"chromium running with an exclusive lock",
         [&](const fs::path& home) {
             auto writer = test::OpenForWriting(chromiumWith(home, ab));
             test::Execute(writer, "PRAGMA locking_mode = EXCLUSIVE");
             test::AddChromiumUrls(writer, {{"https://committed.example/", Day(3)}});
             test::Execute(writer, "BEGIN IMMEDIATE");
             test::AddChromiumUrls(writer, uncommitted);
             return std::optional(std::move(writer));
         },
         {"https://committed.example/", "https://b.example/", "https://a.example/"},
         ".config/chromium/Default/History-journal"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const TempHome home;
        const auto writer = c.hold(home.Path());
        if (c.logFile != nullptr) {
            ASSERT_TRUE(fs::exists(home / c.logFile));
        }
        const auto before = test::FolderSnapshot(home.Path());

        const auto key = platform::OpenCurrentUserKey(platform::kTypedUrlsKey);
        ASSERT_NE(key, nullptr);
        EXPECT_EQ(Values(*key), c.expected);
        EXPECT_EQ(test::FolderSnapshot(home.Path()), before);
    }
}

TEST(TypedUrlsKey, SkipsDatabasesItCannotRead)
{
    const TempHome home;
    const fs::path& h = home.Path();
    AddFirefoxProfile(h / ".mozilla/firefox", "good.default", kOneTyped);
    const auto writeFile = [](const fs::path& file, const std::string& bytes) { test::WriteFile(file, bytes); };
    writeFile(h / ".config/chromium/Default/History", "this is not a database, just text that is long enough");
    writeFile(h / ".config/chromium/Profile 1/History", "");
    const auto other = test::OpenForWriting(h / ".config/vivaldi/Default/History");
    test::Execute(other, "CREATE TABLE something_else (x)");
    const auto before = test::FolderSnapshot(h);

    const auto key = platform::OpenCurrentUserKey(platform::kTypedUrlsKey);
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(Values(*key), std::vector<std::string>{"https://found.example/"});
    EXPECT_EQ(test::FolderSnapshot(h), before);
}

} // namespace
