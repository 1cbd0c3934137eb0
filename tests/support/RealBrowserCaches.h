#pragma once
// Caches written by real browsers: a loopback page whose script fetch()es movies, loaded by Debian's
// firefox-esr and chromium, run headless, which leave their caches in a scratch cache folder.
#include "cache/LocalMovieRow.h"
#include "support/MoviePage.h"
#include "support/TempFolder.h"

#include <string>
#include <vector>

namespace test {

struct BrowserRun {
    std::string browser;
    double seconds = 0;
    std::string cacheFolder; // the folder holding its entry files, ending in "/"
};

class RealBrowserCaches {
public:
    // Serves the page, runs both browsers on it one after the other and stops the server. A browser that is
    // missing, fails or leaves no cache fails the test that asked for the caches.
    RealBrowserCaches();

    // Ends in "/". The browsers' caches and two plain movies lie below it:
    // "old/Temporary Internet Files/outro.swf" and ".../Content.IE5/K3J9/intro[1].swf".
    const std::string& CacheFolder() const { return m_cacheFolder; }
    const std::vector<BrowserRun>& Runs() const { return m_runs; }
    const std::vector<ServedMovie>& Movies() const { return m_movies; }
    // A ".swf" address that answered 404 with an HTML page.
    const std::string& MissingAddress() const { return m_missingAddress; }
    // A ".swf" address that answered 200 with an empty body.
    const std::string& EmptyAddress() const { return m_emptyAddress; }
    // The plain movies' rows in the order the cache walk lists them.
    const std::vector<cache::LocalMovieRow>& PlainRows() const { return m_plainRows; }

    // The entry file in `folder` that stores `address`, found by looking for the address in the files' bytes;
    // empty when there is none.
    static std::string EntryFileOf(const std::string& folder, const std::string& address);

private:
    test::TempFolder m_scratch;
    std::string m_cacheFolder;
    std::vector<BrowserRun> m_runs;
    std::vector<ServedMovie> m_movies;
    std::string m_missingAddress;
    std::string m_emptyAddress;
    std::vector<cache::LocalMovieRow> m_plainRows;
};

// The caches for the whole test program: the browsers run once.
const RealBrowserCaches& SharedBrowserCaches();

// The rows the served movies must give in `folders` (each holding one browser's entry files), from what was
// served and the entry files' modification times: most recently written first.
std::vector<cache::LocalMovieRow> ExpectedEntryRows(const RealBrowserCaches& caches,
                                                    const std::vector<std::string>& folders);
// The rows the Local Files list must show for the caches: the entry rows of both browsers, then the plain rows.
std::vector<cache::LocalMovieRow> ExpectedListRows(const RealBrowserCaches& caches);

// Copies the folder at `from` with everything in it to `to`, keeping modification times.
void CopyTree(const std::string& from, const std::string& to);

} // namespace test
