#include "capture/ArchivedPage.h"

#include "capture/ArchiveRequests.h"
#include "wayback/RawCapture.h"

namespace capture {

namespace {

// The capture of `movie` nearest in time to `timestamp`: of the address itself, or, when the archive holds
// none and the address has no query, of the address with one. Pages name players whose query the finders
// leave out ("xspf_player.swf?playlist_url=..."), and crawls kept the query.
std::optional<wayback::CdxCapture> MovieCapture(const std::string& archive, const std::string& movie,
                                                const std::string& timestamp, std::string& problem,
                                                const std::atomic<bool>* abort)
{
    if (auto found = NearestCapture(archive, movie, timestamp, problem, abort))
        return found;
    if (!problem.empty() || movie.find('?') != std::string::npos)
        return std::nullopt;
    wayback::CdxQuery query{.url = movie, .match = wayback::MatchType::Prefix, .filters = {"statuscode:200"}};
    CdxSearch search = SearchCdx(archive, std::move(query), abort, 1);
    problem = std::move(search.problem);
    std::erase_if(search.captures, [&movie](const wayback::CdxCapture& capture) {
        return capture.statuscode != "200" || !wayback::IsSameAddressBesideQuery(capture.original, movie);
    });
    const wayback::CdxCapture* nearest = wayback::NearestInTime(search.captures, timestamp);
    return nearest == nullptr ? std::nullopt : std::optional(*nearest);
}

} // namespace

std::optional<ArchivedPage> ReadArchivedPage(const std::string& archive, const std::string& address, Finders finders,
                                             std::string& problem, const std::atomic<bool>* abort)
{
    const auto capture = LatestCapture(archive, address, problem, abort);
    if (!capture)
        return std::nullopt;
    std::string text;
    const std::string raw = wayback::RawCaptureAddress(archive, capture->timestamp, capture->original);
    if (!FetchRawCapture(archive, raw, text, problem, abort))
        return std::nullopt;
    ArchivedPage page{capture->timestamp, capture->original, {}, 0};
    const auto unknown = [&] { return !problem.empty() || (abort != nullptr && abort->load()); };
    for (const std::string& movie : FindMovies(capture->original, text, finders)) {
        const auto found = unknown() ? std::nullopt : MovieCapture(archive, movie, capture->timestamp, problem, abort);
        if (found) {
            page.rows.push_back(wayback::RawCaptureAddress(archive, found->timestamp, found->original));
        } else if (unknown()) {
            // Not looked up: asked for the page's time, the archive gives the capture nearest to it.
            page.rows.push_back(wayback::RawCaptureAddress(archive, capture->timestamp, movie));
        } else {
            page.rows.push_back(movie);
            ++page.notCaptured;
        }
    }
    return page;
}

} // namespace capture
