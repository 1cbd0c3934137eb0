#include "support/RealChromiumCaches.h"

#include "support/BrowserRun.h"
#include "support/Loopback.h"

#include <cstdio>
#include <filesystem>
#include <memory>
#include <stdexcept>

namespace test {

namespace fs = std::filesystem;

namespace {

// The folder below `root` that holds a file named `name`.
std::string FolderHolding(const std::string& root, const std::string& name)
{
    std::error_code error;
    for (auto it = fs::recursive_directory_iterator(root, error); it != fs::recursive_directory_iterator();
         it.increment(error)) {
        if (it->is_regular_file() && it->path().filename() == name)
            return it->path().parent_path().string() + "/";
    }
    return {};
}

} // namespace

RealChromiumCaches::RealChromiumCaches()
{
    const std::string home = m_scratch / "home";
    fs::create_directories(home);
    ClearProxyEnvironment();
    MoviePage page(true);
    m_movies = page.Movies();
    m_missingAddress = page.MissingAddress();
    m_emptyAddress = page.EmptyAddress();
    const struct {
        const char* backend;
        const char* marker; // a file only this backend writes
    } backends[] = {{"blockfile", "data_1"}, {"sql", "sqldb0"}};
    for (const auto& backend : backends) {
        const std::string name = backend.backend;
        const std::string cache = m_scratch / ("cache-" + name);
        const std::string log = m_scratch / (name + ".log");
        page.Rearm();
        const double seconds = RunBrowser(ChromiumCommand(m_scratch / ("profile-" + name), cache, page.Url(),
                                                          "DiskCacheBackendExperiment:backend/" + name),
                                          BrowserEnvironment(home), log);
        const std::string folder = FolderHolding(cache, backend.marker);
        if (folder.empty())
            throw std::runtime_error("chromium wrote no " + name + " cache (no " + backend.marker + "); its output:\n"
                                     + LogTail(log));
        m_runs.push_back({name, seconds, folder});
    }
}

const RealChromiumCaches& SharedChromiumCaches()
{
    static std::string failure;
    static std::unique_ptr<RealChromiumCaches> caches;
    if (!caches && failure.empty()) {
        try {
            caches = std::make_unique<RealChromiumCaches>();
            for (const BackendRun& run : caches->Runs())
                std::printf("[   INFO   ] chromium wrote its %s cache in %.2f s\n", run.backend.c_str(), run.seconds);
        } catch (const std::exception& error) {
            failure = error.what();
        }
    }
    if (!caches)
        throw std::runtime_error(failure);
    return *caches;
}

} // namespace test
