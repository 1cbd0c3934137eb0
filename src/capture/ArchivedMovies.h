#pragma once
// The movies the archive holds under a site or an address prefix, from its CDX index: the captures with
// status 200 whose type is Flash Player's or whose address path ends in ".swf" (two queries, as the CDX
// server ANDs its filters), each collapsed by digest on the server and once more here, so that every
// distinct movie comes once: its first capture in the index's order (address key, then time).
#include "capture/ArchiveRequests.h"

#include <atomic>
#include <string>
#include <string_view>
#include <vector>

namespace capture {

struct ArchivedMoviesQuery {
    // "example.com" (the host and its subdomains) or "example.com/games/" (every address below it), with or
    // without a scheme.
    std::string site;
    std::string from, to; // years (or any 1 to 14 digits of a time); empty for none
};

// The CDX query that `site` stands for: the host and its subdomains for a bare host (with or without a
// trailing "/"), the addresses under it otherwise.
wayback::CdxQuery SiteQuery(std::string_view site);

struct ArchivedMovies {
    std::vector<wayback::CdxCapture> movies;
    std::size_t pages = 0;
    bool cut = false;    // a query had more than kMostCdxPages pages: movies may be missing
    std::string problem; // what the archive did not give; the movies found before are kept
};

ArchivedMovies FindArchivedMovies(const std::string& archive, const ArchivedMoviesQuery& query,
                                  const std::atomic<bool>* abort = nullptr);

} // namespace capture
