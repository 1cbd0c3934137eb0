#pragma once
// Web archives written at test time by real writers: Debian's wget crawling a loopback site of movies, and
// npm's warcio (pinned in package-lock.json) writing WARC/1.1 records and revisits. The expected movies come
// from what the site served, and the digests from coreutils.
#include "support/Loopback.h"
#include "support/TempFolder.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace test {

struct SiteMovie {
    std::string address; // where a crawl finds it, after redirects
    std::string movie;   // its bytes as a player reads them
};

// A site with a movie served each way crawlers meet them: plain, gzip-encoded, chunked, chunked and
// deflate-encoded, behind a redirect, large (3 MiB), and plain bytes labelled gzip (as recorders that keep
// decoded bodies store them); and what is no movie: a 404 whose body starts "FWS", a page, a picture.
class MovieSite {
public:
    MovieSite();

    // Every address of the site, in the order a crawl list gives them.
    std::vector<std::string> Addresses() const;
    // The movies a crawl of Addresses() keeps, in crawl order.
    const std::vector<SiteMovie>& Movies() const { return m_movies; }
    // The address of the site's `path` ("/large.swf").
    std::string Url(const std::string& path) const { return m_server.Url(path); }
    // The bytes served as the movie at `address`.
    const std::string& MovieAt(const std::string& address) const;

private:
    std::vector<SiteMovie> m_movies;
    LoopbackServer m_server;
};

struct WgetArchive {
    std::string warc; // the WARC file wget wrote
    std::string cdx;  // the CDX index it wrote beside it
};

// Runs wget --warc-file over `addresses` in `folder`, writing NAME.warc.gz (or NAME.warc) and NAME.cdx. With
// `dedup`, payloads already in that CDX are written as revisit records, as wget --warc-dedup does.
WgetArchive RunWget(const std::vector<std::string>& addresses, const std::string& folder, const std::string& name,
                    bool compressed, const std::string& dedup = {});

// The site crawled by wget twice: into a .warc.gz and into a plain .warc, each with its CDX index.
struct CrawledSite {
    MovieSite site;
    TempFolder folder;
    WgetArchive gzip;
    WgetArchive plain;
    CrawledSite();
    // Where wget's index puts the response record of the site's `path` in `archive`.
    std::uint64_t Offset(const WgetArchive& archive, const std::string& path) const;
};

// A row of a CDX index that wget wrote: " CDX a b a m s k r M V g u".
struct CdxRow {
    std::string address, date, status, digest;
    std::uint64_t offset = 0;
    std::string recordId;
};
std::vector<CdxRow> ReadWgetCdx(const std::string& path);

// One record for warcio to write. A revisit repeats record `revisitOf` (an index into the same list) and
// names it by each of `refer`: "id" (WARC-Refers-To), "capture" (its target address and date), "digest".
struct WarcioRecord {
    std::string type; // "response", "resource", "revisit"
    std::string url;
    std::string date; // ISO 8601
    int status = 200;
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;
    int revisitOf = -1;
    std::vector<std::string> refer;
    std::vector<std::pair<std::string, std::string>> warcHeaders; // further fields of the record's header
};
// Writes `records` into `file` with warcio, each a gzip member with `gzip`, in `version` ("WARC/1.1").
void RunWarcio(const std::string& file, const std::string& version, bool gzip,
               const std::vector<WarcioRecord>& records);

// `bytes` through zlib's deflate, `windowBits` as deflateInit2 takes them: 15 for zlib, 15 + 16 for gzip.
std::string Deflated(const std::string& bytes, int windowBits, int level = 6);
// `bytes` gzip-encoded, as a server sends a body with Content-Encoding: gzip.
std::string GzipEncoded(const std::string& bytes);

// SHA-256 in hexadecimal and SHA-1 in base 32, as sha256sum, and sha1sum through base32, give them.
struct ToolDigests {
    std::string sha256, sha1;
};
ToolDigests DigestsByTools(const std::string& bytes);

} // namespace test
