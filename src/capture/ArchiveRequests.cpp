#include "capture/ArchiveRequests.h"

#include "capture/UrlFetcher.h"
#include "platform/Bytes.h"
#include "platform/Exceptions.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <thread>

namespace capture {

namespace {

using Clock = std::chrono::steady_clock;

std::atomic<std::chrono::milliseconds::rep> g_intervalMs{2500};
std::mutex g_turnMutex;
bool g_turnTaken = false;    // a CDX request of the run is under way
Clock::time_point g_lastEnd; // when the last one ended

// The run's turn to send a CDX request, from the end of the one before plus the interval until this one
// ends: one at a time, with a pause between them.
class CdxTurn {
public:
    // Waits for the turn; Taken() is false when `abort` turned true meanwhile.
    explicit CdxTurn(const std::atomic<bool>* abort)
    {
        for (;;) {
            Clock::duration wait = std::chrono::milliseconds(50);
            {
                const std::lock_guard lock(g_turnMutex);
                const Clock::time_point next = g_lastEnd + CdxInterval();
                const Clock::time_point now = Clock::now();
                if (!g_turnTaken && now >= next) {
                    g_turnTaken = m_taken = true;
                    return;
                }
                if (!g_turnTaken)
                    wait = std::min(wait, next - now);
            }
            if (abort != nullptr && abort->load())
                return;
            std::this_thread::sleep_for(wait);
        }
    }
    ~CdxTurn()
    {
        if (!m_taken)
            return;
        const std::lock_guard lock(g_turnMutex);
        g_turnTaken = false;
        g_lastEnd = Clock::now();
    }
    CdxTurn(const CdxTurn&) = delete;
    CdxTurn& operator=(const CdxTurn&) = delete;

    bool Taken() const { return m_taken; }

private:
    bool m_taken = false;
};

std::string Naming(const std::string& archive) { return "the archive at " + archive; }

// The fetcher's message without the address it names, which the line names already.
std::string Reason(const std::string& message, const std::string& address)
{
    const std::string named = address + ": ";
    const std::size_t at = message.find(named);
    return at == std::string::npos ? message : message.substr(at + named.size());
}

// One GET of the archive: its body in `text`, `cut` when the body filled the page buffer. False, with
// `problem` set, unless the answer had status 200.
bool Ask(const std::string& archive, const std::string& address, std::string& text, bool& cut, std::string& problem,
         const std::atomic<bool>* abort)
{
    CUrlFetcher fetcher;
    fetcher.SetAbortFlag(abort);
    fetcher.SetAcceptCompressed(true); // the CDX server compresses what it sends unless told not to
    try {
        if (!fetcher.FetchPage(address)) {
            problem = Naming(archive) + " did not answer: " + Reason(fetcher.LastError(), address);
            return false;
        }
    } catch (const CException& failure) {
        problem = Naming(archive) + " stopped answering: " + Reason(failure.what(), address);
        return false;
    }
    const std::string_view body(fetcher.m_pPageBuffer.get());
    if (fetcher.LastStatus() != 200) {
        problem = ArchiveStatusProblem(archive, fetcher.LastStatus(), body);
        return false;
    }
    text = body;
    cut = body.size() == CUrlFetcher::kPageBufferSize - 1;
    return true;
}

std::optional<wayback::CdxCapture> FirstWithStatus200(CdxSearch search, std::string& problem)
{
    problem = std::move(search.problem);
    const auto found = std::ranges::find(search.captures, "200", &wayback::CdxCapture::statuscode);
    if (found == search.captures.end())
        return std::nullopt;
    return std::move(*found);
}

} // namespace

std::string ArchiveStatusProblem(const std::string& archive, long status, std::string_view body)
{
    if (status == 429)
        return Naming(archive) + " refuses requests for now (HTTP 429 Too Many Requests); try again later";
    if (status == 503)
        return Naming(archive) + " is not available for now (HTTP 503 Service Unavailable); try again later";
    std::string problem = Naming(archive) + " refused the request (HTTP " + std::to_string(status);
    // The CDX server says why in the first line of its answer (a blocked site, a query it cannot run).
    const std::string_view line = platform::Trimmed(body.substr(0, body.find('\n')));
    if (!line.empty() && line.size() <= 200 && line.find('<') == std::string_view::npos)
        problem += std::string(": ") + std::string(line);
    return problem + ")";
}

std::chrono::milliseconds CdxInterval() { return std::chrono::milliseconds(g_intervalMs.load()); }

void SetCdxInterval(std::chrono::milliseconds interval) { g_intervalMs = interval.count(); }

CdxSearch SearchCdx(const std::string& archive, wayback::CdxQuery query, const std::atomic<bool>* abort,
                    std::size_t mostPages)
{
    CdxSearch search;
    int limit = query.limit != 0 ? query.limit : kCdxPageSize;
    for (;;) {
        if (search.pages == mostPages) {
            search.cut = true;
            break;
        }
        const CdxTurn turn(abort);
        if (!turn.Taken()) {
            search.abandoned = true;
            break;
        }
        query.limit = limit;
        std::string text;
        bool cut = false;
        if (!Ask(archive, wayback::CdxQueryAddress(archive, query), text, cut, search.problem, abort)) {
            search.abandoned = abort != nullptr && abort->load();
            break;
        }
        if (cut) {
            // Lines this long are rare: the same page again, asking for fewer of them.
            if (limit <= 1) {
                search.problem = Naming(archive) + " gave a CDX line longer than the fetcher keeps";
                break;
            }
            limit = std::max(1, limit / 4);
            continue;
        }
        ++search.pages;
        wayback::CdxPage page = wayback::ReadCdxPage(text);
        std::ranges::move(page.captures, std::back_inserter(search.captures));
        if (page.resumeKey.empty() || limit < 0)
            break;
        query.resumeKey = std::move(page.resumeKey);
    }
    return search;
}

std::optional<wayback::CdxCapture> LatestCapture(const std::string& archive, const std::string& url,
                                                 std::string& problem, const std::atomic<bool>* abort)
{
    wayback::CdxQuery query{.url = url, .filters = {"statuscode:200"}, .limit = -1};
    CdxSearch search = SearchCdx(archive, std::move(query), abort, 1);
    // The answer holds the latest only; should a server give more, the latest still wins.
    std::ranges::stable_sort(search.captures, std::ranges::greater{}, &wayback::CdxCapture::timestamp);
    return FirstWithStatus200(std::move(search), problem);
}

std::optional<wayback::CdxCapture> NearestCapture(const std::string& archive, const std::string& url,
                                                  const std::string& timestamp, std::string& problem,
                                                  const std::atomic<bool>* abort)
{
    wayback::CdxQuery query{.url = url, .filters = {"statuscode:200"}, .limit = 1, .closest = timestamp};
    return FirstWithStatus200(SearchCdx(archive, std::move(query), abort, 1), problem);
}

bool FetchRawCapture(const std::string& archive, const std::string& address, std::string& text, std::string& problem,
                     const std::atomic<bool>* abort)
{
    bool cut = false;
    return Ask(archive, address, text, cut, problem, abort);
}

} // namespace capture
