#include "platform/BrowserHistory.h"

#include "platform/Bytes.h"
#include "platform/SqliteDatabase.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <iterator>
#include <limits>
#include <set>
#include <string_view>
#include <unordered_set>

namespace platform {

namespace fs = std::filesystem;

namespace {

// Chromium counts time from 1601-01-01 UTC.
constexpr std::int64_t kMicrosecondsFrom1601To1970 = 11644473600LL * 1000000LL;

bool StartsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

// The profile folders that profiles.ini in `root` lists, in the file's order.
std::vector<fs::path> FirefoxProfileFolders(const fs::path& root)
{
    std::ifstream in(root / "profiles.ini", std::ios::binary);
    if (!in)
        return {};
    struct Entry {
        std::string path;
        std::string isRelative;
    };
    std::vector<Entry> profiles;
    bool inProfile = false;
    std::string line;
    while (std::getline(in, line)) {
        const std::string_view text = Trimmed(line);
        if (text.empty() || text.front() == ';' || text.front() == '#')
            continue;
        if (text.front() == '[') {
            // [Profile0], [Profile1], ...; [General] and [Install...] describe no profile of their own.
            inProfile = StartsWith(text, "[Profile");
            if (inProfile)
                profiles.emplace_back();
            continue;
        }
        const auto equals = text.find('=');
        if (!inProfile || equals == std::string_view::npos)
            continue;
        const std::string_view key = Trimmed(text.substr(0, equals));
        const std::string_view value = Trimmed(text.substr(equals + 1));
        if (key == "Path")
            profiles.back().path = value;
        else if (key == "IsRelative")
            profiles.back().isRelative = value;
    }

    std::vector<fs::path> folders;
    for (const auto& profile : profiles) {
        if (profile.path.empty())
            continue;
        const fs::path path(profile.path);
        // Firefox writes IsRelative=0 with an absolute path; a missing flag is judged by the path.
        const bool relative = profile.isRelative == "1" || (profile.isRelative.empty() && path.is_relative());
        folders.push_back(relative ? root / path : path);
    }
    return folders;
}

bool IsChromiumProfileName(const std::string& name)
{
    if (name == "Default")
        return true;
    constexpr std::string_view kPrefix = "Profile ";
    if (!StartsWith(name, kPrefix) || name.size() == kPrefix.size())
        return false;
    return std::all_of(name.begin() + kPrefix.size(), name.end(), [](unsigned char c) { return std::isdigit(c) != 0; });
}

// "Default", "Profile 1", "Profile 2", ... inside a browser's user-data folder, in name order.
std::vector<fs::path> ChromiumProfileFolders(const fs::path& userData)
{
    std::vector<fs::path> folders;
    std::error_code error;
    fs::directory_iterator it(userData, error);
    if (error)
        return folders;
    for (const fs::directory_entry& entry : it) {
        if (IsChromiumProfileName(entry.path().filename().string()))
            folders.push_back(entry.path());
    }
    std::sort(folders.begin(), folders.end());
    return folders;
}

} // namespace

std::vector<HistoryDatabase> FindHistoryDatabases(const fs::path& home, const fs::path& configHome)
{
    const fs::path firefoxRoots[] = {
        home / ".mozilla/firefox",
        configHome / "mozilla/firefox",
        home / "snap/firefox/common/.mozilla/firefox",
        home / ".var/app/org.mozilla.firefox/.mozilla/firefox",
        home / ".var/app/org.mozilla.firefox/config/mozilla/firefox",
    };
    const fs::path chromiumUserData[] = {
        configHome / "chromium",
        configHome / "google-chrome",
        configHome / "BraveSoftware/Brave-Browser",
        configHome / "microsoft-edge",
        configHome / "vivaldi",
        home / "snap/chromium/common/chromium",
        home / "snap/brave/current/.config/BraveSoftware/Brave-Browser",
        home / "snap/vivaldi/current/.config/vivaldi",
        home / ".var/app/org.chromium.Chromium/config/chromium",
        home / ".var/app/com.google.Chrome/config/google-chrome",
        home / ".var/app/com.brave.Browser/config/BraveSoftware/Brave-Browser",
        home / ".var/app/com.microsoft.Edge/config/microsoft-edge",
        home / ".var/app/com.vivaldi.Vivaldi/config/vivaldi",
    };

    std::vector<HistoryDatabase> databases;
    std::set<fs::path> seen; // one folder may be reached twice through a symbolic link
    const auto add = [&](HistoryDatabase::Kind kind, const fs::path& file) {
        if (!IsRegularFile(file))
            return;
        std::error_code error;
        fs::path canonical = fs::weakly_canonical(file, error);
        if (error)
            canonical = file;
        if (seen.insert(canonical).second)
            databases.push_back({kind, file});
    };
    for (const auto& root : firefoxRoots) {
        for (const auto& folder : FirefoxProfileFolders(root))
            add(HistoryDatabase::Kind::Firefox, folder / "places.sqlite");
    }
    for (const auto& userData : chromiumUserData) {
        for (const auto& folder : ChromiumProfileFolders(userData))
            add(HistoryDatabase::Kind::Chromium, folder / "History");
    }
    return databases;
}

std::vector<TypedAddress> ReadTypedAddresses(const HistoryDatabase& database, std::size_t limit)
{
    // Newest first, stopping once `limit` distinct addresses are in: Firefox walks its index on
    // last_visit_date from the top; Chromium sorts its typed rows. Nothing in either schema forbids
    // the same address twice, so duplicates are dropped here.
    static constexpr std::string_view kFirefoxQuery =
        "SELECT url, last_visit_date FROM moz_places WHERE typed = 1 AND url IS NOT NULL "
        "ORDER BY last_visit_date DESC";
    static constexpr std::string_view kChromiumQuery =
        "SELECT url, last_visit_time FROM urls WHERE typed_count > 0 AND url IS NOT NULL "
        "ORDER BY last_visit_time DESC";
    const bool firefox = database.kind == HistoryDatabase::Kind::Firefox;

    return ReadForeignDatabase(database.file, [&](SqliteDatabase& db) {
        std::vector<TypedAddress> addresses;
        std::unordered_set<std::string> seen;
        SqliteStatement statement(db, firefox ? kFirefoxQuery : kChromiumQuery);
        while (addresses.size() < limit && statement.Step()) {
            std::string url = statement.Text(0);
            if (!seen.insert(url).second)
                continue;
            std::int64_t visited = std::numeric_limits<std::int64_t>::min(); // typed, never visited: last
            if (!statement.IsNull(1))
                visited = firefox ? statement.Int64(1) : statement.Int64(1) - kMicrosecondsFrom1601To1970;
            addresses.push_back({std::move(url), visited});
        }
        return addresses;
    });
}

std::vector<std::string> MergeTypedAddresses(const std::vector<HistoryDatabase>& databases, std::size_t limit)
{
    std::vector<TypedAddress> all;
    for (const auto& database : databases) {
        try {
            std::vector<TypedAddress> addresses = ReadTypedAddresses(database, limit);
            all.insert(all.end(), std::make_move_iterator(addresses.begin()), std::make_move_iterator(addresses.end()));
        } catch (const SqliteError&) {
            // Damaged, foreign or unreadable: the other browsers still count.
        }
    }
    // Stable, so equal times keep the order in which the databases were found.
    std::stable_sort(all.begin(), all.end(),
                     [](const TypedAddress& a, const TypedAddress& b) { return a.lastVisit > b.lastVisit; });
    std::vector<std::string> merged;
    std::unordered_set<std::string> seen;
    for (auto& address : all) {
        if (merged.size() >= limit)
            break;
        if (seen.insert(address.url).second)
            merged.push_back(std::move(address.url));
    }
    return merged;
}

} // namespace platform
