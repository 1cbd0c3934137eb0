#pragma once
// Caches written by Debian's chromium with its two other disk cache backends, the block files and SQLite
// (--enable-features=DiskCacheBackendExperiment:backend/...), for the movie page with its movie over 16 KiB.
#include "support/MoviePage.h"
#include "support/TempFolder.h"

#include <string>
#include <vector>

namespace test {

struct BackendRun {
    std::string backend; // "blockfile", "sql"
    double seconds = 0;
    std::string cacheFolder; // the folder holding the backend's files, ending in "/"
};

class RealChromiumCaches {
public:
    // Serves the page and runs chromium once for each backend. A browser that is missing or fails, or a backend
    // that leaves none of its files, fails the test that asked for the caches.
    RealChromiumCaches();

    const std::string& BlockFileFolder() const { return m_runs[0].cacheFolder; }
    const std::string& SqlFolder() const { return m_runs[1].cacheFolder; }
    const std::vector<BackendRun>& Runs() const { return m_runs; }
    const std::vector<ServedMovie>& Movies() const { return m_movies; }
    const std::string& MissingAddress() const { return m_missingAddress; }
    const std::string& EmptyAddress() const { return m_emptyAddress; }

private:
    TempFolder m_scratch;
    std::vector<BackendRun> m_runs;
    std::vector<ServedMovie> m_movies;
    std::string m_missingAddress, m_emptyAddress;
};

// The caches for the whole test program: chromium runs once per backend.
const RealChromiumCaches& SharedChromiumCaches();

} // namespace test
