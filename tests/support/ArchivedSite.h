#pragma once
// A site of movies that wget crawled into a WARC file at test time and that has since gone: every request
// it gets now is answered with 404. The Wayback server holds the crawl (indexed by warcio), so a test sees
// the site as the archive keeps it and as the live web no longer gives it.
#include "support/ArchiveWriters.h"
#include "support/Loopback.h"
#include "support/TempFolder.h"
#include "support/WaybackServer.h"

#include <atomic>
#include <string>
#include <vector>

namespace test {

struct ArchivedMovie {
    std::string path;  // "/games/a.swf"
    std::string movie; // its bytes as a player reads them
};

class ArchivedSite {
public:
    // Crawls the site (twice, `crawls` > 1 giving later captures of the same bytes) into the archive.
    explicit ArchivedSite(WaybackServer& archive, int crawls = 1);

    std::string Url(const std::string& path) const { return m_server.Url(path); }
    // "127.0.0.1:PORT", the site as plumeroc-grab archived takes it.
    std::string Host() const { return Url("").substr(7); }
    // The page that embeds the movies, and the movie it names that no crawl fetched.
    static constexpr const char* kPage = "/games/index.html";
    static constexpr const char* kNeverCrawled = "/games/never.swf";
    // The movies the crawl kept, by path: a.swf (also at /copy/a.swf), b.swf served as
    // application/octet-stream, packed.swf gzip-encoded, and /player?movie=c served as a movie.
    const std::vector<ArchivedMovie>& Movies() const { return m_movies; }
    const std::string& MovieAt(const std::string& path) const;
    // What the crawls wrote: each WARC file with wget's CDX index of it.
    const std::vector<WgetArchive>& Crawls() const { return m_crawls; }

private:
    std::vector<ArchivedMovie> m_movies;
    std::atomic<bool> m_gone{false};
    LoopbackServer m_server;
    TempFolder m_folder;
    std::vector<WgetArchive> m_crawls;
};

} // namespace test
