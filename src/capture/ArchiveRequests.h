#pragma once
// Requests to the archive, made politely: its CDX server is asked one query page at a time, each CDX
// request of the run after a pause of CdxInterval() since the one before ended (the Wayback Machine
// refuses clients that ask more than about 24 times a minute), every page on the run's kept connection,
// and at most kMostCdxPages pages for one query. Whatever the archive does not give is told in one line that names it.
#include "wayback/CdxAnswer.h"
#include "wayback/CdxQuery.h"

#include <atomic>
#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace capture {

inline constexpr std::size_t kMostCdxPages = 25;
// Captures asked for in one page; fewer when a page's text would not fit the fetcher's buffer.
inline constexpr int kCdxPageSize = 1000;

std::chrono::milliseconds CdxInterval();
// Tests make it short.
void SetCdxInterval(std::chrono::milliseconds interval);

struct CdxSearch {
    std::vector<wayback::CdxCapture> captures; // in the order of the answers
    std::size_t pages = 0;                     // answers read
    bool cut = false;                          // the archive had more than `mostPages` pages
    std::string problem;                       // why the rest could not be read; empty when nothing went wrong
    bool abandoned = false;                    // the abort flag turned true
};

// Every page of `query` (its limit is the page size), following the resume keys.
CdxSearch SearchCdx(const std::string& archive, wayback::CdxQuery query, const std::atomic<bool>* abort = nullptr,
                    std::size_t mostPages = kMostCdxPages);

// The latest capture of `url` with status 200; nothing when there is none or `problem` says why not.
std::optional<wayback::CdxCapture> LatestCapture(const std::string& archive, const std::string& url,
                                                 std::string& problem, const std::atomic<bool>* abort = nullptr);
// The capture of `url` with status 200 nearest in time to `timestamp`.
std::optional<wayback::CdxCapture> NearestCapture(const std::string& archive, const std::string& url,
                                                  const std::string& timestamp, std::string& problem,
                                                  const std::atomic<bool>* abort = nullptr);

// The raw capture `address` into `text` (its first CUrlFetcher::kPageBufferSize - 1 bytes). False, with
// `problem` naming the archive, unless it answered with status 200.
bool FetchRawCapture(const std::string& archive, const std::string& address, std::string& text, std::string& problem,
                     const std::atomic<bool>* abort = nullptr);

// The line for an answer of `archive` with an error `status`; the CDX server's reason, when `body` gives one.
std::string ArchiveStatusProblem(const std::string& archive, long status, std::string_view body);

} // namespace capture
