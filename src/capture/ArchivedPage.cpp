#include "capture/ArchivedPage.h"

#include "capture/ArchiveRequests.h"
#include "wayback/RawCapture.h"

namespace capture {

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
        const auto found =
            unknown() ? std::nullopt : NearestCapture(archive, movie, capture->timestamp, problem, abort);
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
