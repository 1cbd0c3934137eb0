#include "support/ArchivedSite.h"

#include "support/ArchiveWriters.h"
#include "support/TestMovie.h"

#include <stdexcept>
#include <thread>

namespace test {

namespace {

std::string Movie(std::uint8_t red, std::uint8_t green)
{
    MovieRecipe recipe;
    recipe.background = {red, green, 90};
    recipe.fill = {green, red, 10};
    return MakeMovie(recipe);
}

constexpr const char* kFlash = "application/x-shockwave-flash";

} // namespace

ArchivedSite::ArchivedSite(WaybackServer& archive, int crawls)
    : m_movies({{"/games/a.swf", Movie(200, 30)},
                {"/copy/a.swf", Movie(200, 30)},
                {"/games/b.swf", Movie(30, 200)},
                {"/games/packed.swf", Movie(90, 90)},
                {"/player?movie=c", Movie(10, 10)}})
    , m_server([this, movies = m_movies](httplib::Server& server) {
        server.Get(".*", [this, movies](const httplib::Request& request, httplib::Response& response) {
            const std::string& target = request.target;
            if (m_gone) {
                response.status = 404;
                response.set_content("<html><body>This site is gone.</body></html>", "text/html");
            } else if (target == kPage) {
                response.set_content("<html><body><embed src=\"a.swf\"><object data=\"b.swf\"></object>"
                                     "<embed src=\"packed.swf\"><embed src=\"never.swf\"></body></html>",
                                     "text/html");
            } else if (target == "/games/b.swf") {
                response.set_content(movies[2].movie, "application/octet-stream");
            } else if (target == "/games/packed.swf") {
                response.set_header("Content-Encoding", "gzip");
                response.set_content(Deflated(movies[3].movie, 15 + 16), kFlash);
            } else if (const auto found = std::ranges::find(movies, target, &ArchivedMovie::path);
                       found != movies.end()) {
                response.set_content(found->movie, kFlash);
            } else {
                response.status = 404;
                response.set_content("<html><body>Not here</body></html>", "text/html");
            }
        });
    })
{
    std::vector<std::string> addresses{Url(kPage), Url("/games/missing.swf")};
    for (const ArchivedMovie& movie : m_movies)
        addresses.push_back(Url(movie.path));
    for (int crawl = 0; crawl < crawls; ++crawl) {
        // A second crawl a second later: its captures have a time of their own.
        if (crawl > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(1100));
        const WgetArchive written = RunWget(addresses, m_folder.Path(), "crawl" + std::to_string(crawl), true);
        archive.AddWarc(written.warc);
        m_crawls.push_back(written);
    }
    m_gone = true;
}

const std::string& ArchivedSite::MovieAt(const std::string& path) const
{
    const auto found = std::ranges::find(m_movies, path, &ArchivedMovie::path);
    if (found == m_movies.end())
        throw std::runtime_error("no movie at " + path);
    return found->movie;
}

} // namespace test
