#include "support/RealBrowserCaches.h"

#include "support/Files.h"
#include "support/Loopback.h"
#include "support/TestMovie.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace test {

namespace fs = std::filesystem;

namespace {

constexpr auto kBrowserTimeout = std::chrono::seconds(60);

// The movie in a zlib stream of the given window: 15 + 16 gives gzip, 15 a zlib-wrapped deflate stream.
std::string Compressed(const std::string& bytes, int windowBits)
{
    z_stream stream{};
    if (::deflateInit2(&stream, 9, Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        throw std::runtime_error("deflateInit2 failed");
    std::string out(::deflateBound(&stream, static_cast<uLong>(bytes.size())) + 32, '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
    stream.avail_in = static_cast<uInt>(bytes.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    const int status = ::deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    ::deflateEnd(&stream);
    if (status != Z_STREAM_END)
        throw std::runtime_error("deflate failed");
    return out;
}

MovieRecipe Recipe(std::uint8_t red, std::uint8_t green, std::uint8_t blue)
{
    MovieRecipe recipe;
    recipe.background = {red, green, blue};
    recipe.fill = {static_cast<std::uint8_t>(255 - red), static_cast<std::uint8_t>(255 - green), blue};
    return recipe;
}

std::string Movie(std::uint8_t red, std::uint8_t green, std::uint8_t blue)
{
    return MakeMovie(Recipe(red, green, blue));
}

struct Route {
    std::string path; // as the server matches it
    std::string query;
    std::string saveName;
    MovieRecipe recipe;
    std::string coding;
    std::string extraHeader, extraValue;
    std::string movie = MakeMovie(recipe);
};

std::string FindProgram(const char* name)
{
    for (const char* folder : {"/usr/bin/", "/usr/local/bin/", "/bin/"}) {
        const std::string path = std::string(folder) + name;
        if (::access(path.c_str(), X_OK) == 0)
            return path;
    }
    throw std::runtime_error(std::string(name)
                             + " is not installed: the caches of the real browser are needed "
                               "(scripts/setup.sh and scripts/test.sh install it)");
}

std::string Tail(const std::string& path)
{
    const std::string text = test::ReadFile(path);
    return text.size() > 3000 ? text.substr(text.size() - 3000) : text;
}

// Runs a browser in a process group of its own, with only `environment`, and waits for it; on the timeout the
// group is killed. Returns the seconds it took.
double RunBrowser(const std::vector<std::string>& args, const std::vector<std::string>& environment,
                  const std::string& log)
{
    std::vector<char*> argv, envp;
    std::vector<std::string> argStrings = args, envStrings = environment;
    for (auto& arg : argStrings)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    for (auto& variable : envStrings)
        envp.push_back(variable.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, argv[0], &actions, &attributes, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (spawned != 0)
        throw std::runtime_error("cannot start " + args[0]);

    int status = 0;
    bool timedOut = false;
    for (;;) {
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid)
            break;
        if (done < 0 && errno != EINTR)
            throw std::runtime_error("waitpid failed");
        if (std::chrono::steady_clock::now() - start > kBrowserTimeout) {
            ::kill(-pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            timedOut = true;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    // Helper processes the browser left behind belong to its group.
    ::kill(-pid, SIGKILL);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (timedOut)
        throw std::runtime_error(args[0] + " did not finish within 60 s; its output:\n" + Tail(log));
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw std::runtime_error(args[0] + " failed (status " + std::to_string(status) + "); its output:\n"
                                 + Tail(log));
    return seconds;
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

// Lets the browser's load event wait until the page's script has read every movie: the page holds an image
// that is answered only once the script has asked for /done (or after 20 s).
void WaitFor(const std::atomic<bool>& done)
{
    for (int i = 0; i < 2000 && !done; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
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
    const std::string chromium = FindProgram("chromium");

    const std::vector<Route> routes = {
        {"/games/plain.swf", "", "plain.swf", Recipe(200, 30, 30), "", "", ""},
        {"/games/packed.swf", "", "packed.swf", Recipe(30, 200, 30), "gzip", "", ""},
        {"/games/deflated.swf", "", "deflated.swf", Recipe(30, 30, 200), "deflate", "", ""},
        {"/get.php", "id=7", "get.php.swf", Recipe(200, 200, 30), "", "", ""},
        {"/download", "file=3", "Sch\xc3\xb6n Film.swf", Recipe(30, 200, 200), "", "Content-Disposition",
         "attachment; filename=\"fallback.swf\"; filename*=UTF-8''Sch%C3%B6n%20Film.swf"},
    };
    std::string fetches;
    for (const Route& route : routes)
        fetches += "\"" + route.path.substr(1) + (route.query.empty() ? "" : "?" + route.query) + "\", ";
    const std::string page = "<!DOCTYPE html><html><head><title>movies</title></head><body><script>\n"
                             "Promise.all(["
        + fetches
        + "\"missing.swf\", \"games/empty.swf\"]\n"
          "  .map(u => fetch(u).then(r => r.arrayBuffer())))\n"
          "  .finally(() => fetch(\"done\"));\n"
          "</script><img src=\"gate\" alt=\"\"></body></html>\n";

    std::atomic<bool> scriptDone{false};
    LoopbackServer server([&](httplib::Server& s) {
        s.Get("/", [&](const httplib::Request&, httplib::Response& res) { res.set_content(page, "text/html"); });
        s.Get("/done", [&](const httplib::Request&, httplib::Response& res) {
            scriptDone = true;
            res.set_header("Cache-Control", "no-store");
            res.set_content("done", "text/plain");
        });
        s.Get("/gate", [&](const httplib::Request&, httplib::Response& res) {
            WaitFor(scriptDone);
            res.set_header("Cache-Control", "no-store");
            res.set_content(std::string("GIF89a\x01\x00\x01\x00\x00\x00\x00;", 14), "image/gif");
        });
        s.Get("/games/empty.swf", [](const httplib::Request&, httplib::Response& res) {
            res.set_header("Cache-Control", "max-age=3600");
            res.set_content("", "application/x-shockwave-flash");
        });
        s.Get("/missing.swf", [](const httplib::Request&, httplib::Response& res) {
            res.status = 404;
            res.set_header("Cache-Control", "max-age=3600");
            res.set_content("<html><body>Not found</body></html>", "text/html");
        });
        for (const Route& route : routes) {
            s.Get(route.path, [&route](const httplib::Request&, httplib::Response& res) {
                std::string body = route.movie;
                if (route.coding == "gzip")
                    body = Compressed(body, 15 + 16);
                else if (route.coding == "deflate")
                    body = Compressed(body, 15);
                if (!route.coding.empty())
                    res.set_header("Content-Encoding", route.coding);
                if (!route.extraHeader.empty())
                    res.set_header(route.extraHeader, route.extraValue);
                res.set_header("Cache-Control", "max-age=3600");
                res.set_content(body, "application/x-shockwave-flash");
            });
        }
    });
    for (const Route& route : routes) {
        const std::string address = server.Url(route.path + (route.query.empty() ? "" : "?" + route.query));
        m_movies.push_back({address, route.saveName, route.movie, route.coding, route.recipe});
    }
    m_missingAddress = server.Url("/missing.swf");
    m_emptyAddress = server.Url("/games/empty.swf");
    const std::string url = server.Url("/");

    const std::vector<std::string> environment{"HOME=" + home, "XDG_CONFIG_HOME=" + home + "/.config",
                                               "XDG_CACHE_HOME=" + home + "/.cache", "PATH=/usr/bin:/bin",
                                               "LANG=C.UTF-8"};

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

    scriptDone = false;
    const double chromiumSeconds =
        RunBrowser({chromium, "--headless=new", "--no-sandbox", "--user-data-dir=" + (m_scratch / "chromium-profile"),
                    "--disk-cache-dir=" + m_cacheFolder + "chromium", "--virtual-time-budget=3000",
                    "--disable-background-networking", "--disable-component-update", "--disable-sync", "--no-first-run",
                    "--disable-gpu", "--disable-quic", "--dump-dom", url},
                   environment, m_scratch / "chromium.log");
    m_runs.push_back({"chromium", chromiumSeconds, FolderStoring(m_cacheFolder + "chromium", m_movies[0].address)});

    for (const BrowserRun& run : m_runs) {
        for (const ServedMovie& movie : m_movies) {
            const std::string log = m_scratch / (run.browser == "chromium" ? "chromium.log" : "firefox.log");
            if (run.cacheFolder.empty() || EntryFileOf(run.cacheFolder, movie.address).empty())
                throw std::runtime_error(run.browser + " stored no entry for " + movie.address + "; its output:\n"
                                         + Tail(log));
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
