#include "support/RealBrowserCaches.h"

#include "support/BrowserRun.h"
#include "support/Files.h"
#include "support/Loopback.h"
#include "support/MoviePage.h"
#include "support/TestMovie.h"

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <stdexcept>

namespace test {

namespace fs = std::filesystem;

namespace {

std::string Movie(std::uint8_t red, std::uint8_t green, std::uint8_t blue)
{
    MovieRecipe recipe;
    recipe.background = {red, green, blue};
    recipe.fill = {static_cast<std::uint8_t>(255 - red), static_cast<std::uint8_t>(255 - green), blue};
    return MakeMovie(recipe);
}

// The folder below `root` holding the file that stores `address`.
std::string FolderStoring(const std::string& root, const std::string& address)
{
    std::error_code error;
    for (auto it = fs::recursive_directory_iterator(root, error); it != fs::recursive_directory_iterator();
         it.increment(error)) {
        if (it->is_directory() && !RealBrowserCaches::EntryFileOf(it->path().string() + "/", address).empty())
            return it->path().string() + "/";
    }
    return {};
}

} // namespace

std::string RealBrowserCaches::EntryFileOf(const std::string& folder, const std::string& address)
{
    std::string found;
    std::error_code error;
    for (const auto& file : fs::directory_iterator(folder, error)) {
        if (!file.is_regular_file() || file.is_symlink())
            continue;
        const std::string bytes = test::ReadFile(file.path().string());
        if (bytes.find(address) == std::string::npos)
            continue;
        if (!found.empty())
            throw std::runtime_error("two entry files store " + address);
        found = file.path().string();
    }
    return found;
}

RealBrowserCaches::RealBrowserCaches()
{
    m_cacheFolder = m_scratch / "cache/";
    const std::string home = m_scratch / "home";
    fs::create_directories(m_cacheFolder);
    fs::create_directories(home);
    ClearProxyEnvironment();
    const std::string firefox = FindProgram("firefox-esr");
    MoviePage page;
    m_movies = page.Movies();
    m_missingAddress = page.MissingAddress();
    m_emptyAddress = page.EmptyAddress();
    const std::string url = page.Url();
    const std::vector<std::string> environment = BrowserEnvironment(home);

    // Firefox keeps its cache where its cache directory preference says; the rest of the profile stays apart.
    const std::string profile = m_scratch / "firefox-profile";
    const std::string firefoxCache = m_cacheFolder + "mozilla/firefox/test.default";
    test::WriteFile(profile + "/user.js",
                    "user_pref(\"browser.cache.disk.parent_directory\", \"" + firefoxCache
                        + "\");\n"
                          "user_pref(\"browser.cache.disk.enable\", true);\n"
                          "user_pref(\"browser.shell.checkDefaultBrowser\", false);\n"
                          "user_pref(\"app.update.enabled\", false);\n"
                          "user_pref(\"app.normandy.enabled\", false);\n"
                          "user_pref(\"browser.safebrowsing.malware.enabled\", false);\n"
                          "user_pref(\"browser.safebrowsing.phishing.enabled\", false);\n"
                          "user_pref(\"browser.safebrowsing.update.enabled\", false);\n"
                          "user_pref(\"datareporting.policy.dataSubmissionEnabled\", false);\n"
                          "user_pref(\"datareporting.healthreport.uploadEnabled\", false);\n"
                          "user_pref(\"toolkit.telemetry.enabled\", false);\n"
                          "user_pref(\"extensions.update.enabled\", false);\n"
                          "user_pref(\"network.captive-portal-service.enabled\", false);\n"
                          "user_pref(\"network.connectivity-service.enabled\", false);\n"
                          "user_pref(\"network.dns.disablePrefetch\", true);\n"
                          "user_pref(\"network.prefetch-next\", false);\n"
                          "user_pref(\"services.settings.server\", \"http://127.0.0.1:1/\");\n");
    const double firefoxSeconds = RunBrowser(
        {firefox, "--headless", "--no-remote", "-profile", profile, "--screenshot", m_scratch / "firefox.png", url},
        environment, m_scratch / "firefox.log");
    m_runs.push_back({"firefox-esr", firefoxSeconds, firefoxCache + "/cache2/entries/"});

    page.Rearm();
    const double chromiumSeconds =
        RunBrowser(ChromiumCommand(m_scratch / "chromium-profile", m_cacheFolder + "chromium", url), environment,
                   m_scratch / "chromium.log");
    m_runs.push_back({"chromium", chromiumSeconds, FolderStoring(m_cacheFolder + "chromium", m_movies[0].address)});

    for (const BrowserRun& run : m_runs) {
        for (const ServedMovie& movie : m_movies) {
            const std::string log = m_scratch / (run.browser == "chromium" ? "chromium.log" : "firefox.log");
            if (run.cacheFolder.empty() || EntryFileOf(run.cacheFolder, movie.address).empty())
                throw std::runtime_error(run.browser + " stored no entry for " + movie.address + "; its output:\n"
                                         + LogTail(log));
        }
    }

    // Plain movies beside the browsers' caches, as an old browser left them.
    const std::string old = m_cacheFolder + "old/Temporary Internet Files/";
    const std::string outro = Movie(90, 90, 90), intro = Movie(120, 60, 0);
    test::WriteFile(old + "outro.swf", outro);
    test::WriteFile(old + "Content.IE5/K3J9/intro[1].swf", intro);
    m_plainRows = {{"intro[1].swf", std::to_string(intro.size()), old + "Content.IE5/K3J9/intro[1].swf", ""},
                   {"outro.swf", std::to_string(outro.size()), old + "outro.swf", ""}};
}

const RealBrowserCaches& SharedBrowserCaches()
{
    static std::string failure;
    static std::unique_ptr<RealBrowserCaches> caches;
    if (!caches && failure.empty()) {
        try {
            caches = std::make_unique<RealBrowserCaches>();
            for (const BrowserRun& run : caches->Runs())
                std::printf("[   INFO   ] %s wrote its cache in %.2f s\n", run.browser.c_str(), run.seconds);
        } catch (const std::exception& error) {
            failure = error.what();
        }
    }
    if (!caches)
        throw std::runtime_error(failure);
    return *caches;
}

std::vector<cache::LocalMovieRow> ExpectedEntryRows(const RealBrowserCaches& caches,
                                                    const std::vector<std::string>& folders)
{
    std::vector<std::pair<std::int64_t, cache::LocalMovieRow>> entries;
    for (const std::string& folder : folders) {
        for (const ServedMovie& movie : caches.Movies()) {
            const std::string path = RealBrowserCaches::EntryFileOf(folder, movie.address);
            struct stat info {};
            if (::stat(path.c_str(), &info) != 0)
                throw std::runtime_error("no entry for " + movie.address + " in " + folder);
            entries.push_back({std::int64_t{info.st_mtim.tv_sec} * 1'000'000'000 + info.st_mtim.tv_nsec,
                               {movie.saveName, std::to_string(movie.movie.size()), path, movie.address}});
        }
    }
    std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) {
        return a.first != b.first ? a.first > b.first : a.second.path < b.second.path;
    });
    std::vector<cache::LocalMovieRow> rows;
    for (auto& entry : entries)
        rows.push_back(std::move(entry.second));
    return rows;
}

std::vector<cache::LocalMovieRow> ExpectedListRows(const RealBrowserCaches& caches)
{
    std::vector<std::string> folders;
    for (const BrowserRun& run : caches.Runs())
        folders.push_back(run.cacheFolder);
    std::vector<cache::LocalMovieRow> rows = ExpectedEntryRows(caches, folders);
    rows.insert(rows.end(), caches.PlainRows().begin(), caches.PlainRows().end());
    return rows;
}

void CopyTree(const std::string& from, const std::string& to)
{
    fs::copy(from, to, fs::copy_options::recursive);
    for (const auto& file : fs::recursive_directory_iterator(from)) {
        const fs::path target = fs::path(to) / fs::relative(file.path(), from);
        fs::last_write_time(target, fs::last_write_time(file.path()));
    }
}

} // namespace test
