#include "capture/ArchivedMovies.h"

#include "platform/Bytes.h"

#include <algorithm>
#include <set>
#include <tuple>

namespace capture {

namespace {

// The server's filters: the first pass by type, the second by the path of the address key (lower-case,
// the query after "?").
const std::vector<std::string> kPasses[] = {
    {"statuscode:200", "mimetype:application/x-shockwave-flash"},
    {"statuscode:200", "urlkey:[^?]*\\.swf(\\?.*)?"},
};

} // namespace

wayback::CdxQuery SiteQuery(std::string_view site)
{
    std::string_view rest = site;
    for (const std::string_view scheme : {"http://", "https://"}) {
        if (platform::StartsWithIgnoringAsciiCase(rest, scheme))
            rest.remove_prefix(scheme.size());
    }
    const std::size_t slash = rest.find('/');
    const bool bareHost = slash == std::string_view::npos || slash + 1 == rest.size();
    wayback::CdxQuery query;
    query.url = bareHost ? std::string(rest.substr(0, slash)) : std::string(site);
    query.match = bareHost ? wayback::MatchType::Domain : wayback::MatchType::Prefix;
    query.collapse = {"digest"};
    return query;
}

ArchivedMovies FindArchivedMovies(const std::string& archive, const ArchivedMoviesQuery& query,
                                  const std::atomic<bool>* abort)
{
    ArchivedMovies found;
    std::vector<wayback::CdxCapture> captures;
    for (const std::vector<std::string>& filters : kPasses) {
        wayback::CdxQuery pass = SiteQuery(query.site);
        pass.filters = filters;
        pass.from = query.from;
        pass.to = query.to;
        CdxSearch search = SearchCdx(archive, std::move(pass), abort);
        found.pages += search.pages;
        found.cut = found.cut || search.cut;
        std::ranges::move(search.captures, std::back_inserter(captures));
        if (!search.problem.empty() || search.abandoned) {
            found.problem = std::move(search.problem);
            break;
        }
    }
    // The two passes merged in the index's order; a server that ignored a filter is checked here too.
    std::ranges::stable_sort(captures, [](const wayback::CdxCapture& a, const wayback::CdxCapture& b) {
        return std::tie(a.urlkey, a.timestamp) < std::tie(b.urlkey, b.timestamp);
    });
    std::set<std::string> digests;
    for (wayback::CdxCapture& capture : captures) {
        if (wayback::IsMovieCapture(capture) && digests.insert(capture.digest).second)
            found.movies.push_back(std::move(capture));
    }
    return found;
}

} // namespace capture
