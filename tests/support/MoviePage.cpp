#include "support/MoviePage.h"

#include "support/ArchiveWriters.h"

#include <zlib.h>

#include <chrono>
#include <stdexcept>
#include <thread>

namespace test {

namespace {

MovieRecipe Recipe(std::uint8_t red, std::uint8_t green, std::uint8_t blue, std::size_t padding = 0)
{
    MovieRecipe recipe;
    recipe.background = {red, green, blue};
    recipe.fill = {static_cast<std::uint8_t>(255 - red), static_cast<std::uint8_t>(255 - green), blue};
    recipe.padding = padding;
    return recipe;
}

// Lets the browser's load event wait until the page's script has read every movie: the page holds an image
// that is answered only once the script has asked for /done (or after 20 s).
void WaitFor(const std::atomic<bool>& done)
{
    for (int i = 0; i < 2000 && !done; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

} // namespace

struct MoviePage::Route {
    std::string path; // as the server matches it
    std::string query;
    std::string saveName;
    MovieRecipe recipe;
    std::string coding;
    std::string extraHeader, extraValue;
    std::string movie = MakeMovie(recipe);
};

MoviePage::MoviePage(bool forBlockFiles)
{
    m_routes = {
        {"/games/plain.swf", "", "plain.swf", Recipe(200, 30, 30), "", "", ""},
        {"/games/packed.swf", "", "packed.swf", Recipe(30, 200, 30), "gzip", "", ""},
        {"/games/deflated.swf", "", "deflated.swf", Recipe(30, 30, 200), "deflate", "", ""},
        {"/get.php", "id=7", "get.php.swf", Recipe(200, 200, 30), "", "", ""},
        {"/download", "file=3", "Sch\xc3\xb6n Film.swf", Recipe(30, 200, 200), "", "Content-Disposition",
         "attachment; filename=\"fallback.swf\"; filename*=UTF-8''Sch%C3%B6n%20Film.swf"},
    };
    if (forBlockFiles) {
        const std::string padding(5000, 'p');
        m_routes.push_back({"/games/large.swf", "", "large.swf", Recipe(120, 120, 200, 40000), "", "", ""});
        m_routes.push_back({"/games/heavy.swf", "", "heavy.swf", Recipe(60, 90, 120), "", "X-Padding", padding});
        m_routes.push_back(
            {"/games/heavy-packed.swf", "", "heavy-packed.swf", Recipe(90, 60, 30), "gzip", "X-Padding", padding});
    }
    std::string fetches;
    for (const Route& route : m_routes)
        fetches += "\"" + route.path.substr(1) + (route.query.empty() ? "" : "?" + route.query) + "\", ";
    m_page = "<!DOCTYPE html><html><head><title>movies</title></head><body><script>\n"
             "Promise.all(["
        + fetches
        + "\"missing.swf\", \"games/empty.swf\"]\n"
          "  .map(u => fetch(u).then(r => r.arrayBuffer())))\n"
          "  .finally(() => fetch(\"done\"));\n"
          "</script><img src=\"gate\" alt=\"\"></body></html>\n";

    m_server = std::make_unique<LoopbackServer>([this](httplib::Server& s) {
        s.Get("/", [this](const httplib::Request&, httplib::Response& res) { res.set_content(m_page, "text/html"); });
        s.Get("/done", [this](const httplib::Request&, httplib::Response& res) {
            m_scriptDone = true;
            res.set_header("Cache-Control", "no-store");
            res.set_content("done", "text/plain");
        });
        s.Get("/gate", [this](const httplib::Request&, httplib::Response& res) {
            WaitFor(m_scriptDone);
            res.set_header("Cache-Control", "no-store");
            res.set_content(std::string("GIF89a\x01\x00\x01\x00\x00\x00\x00;", 14), "image/gif");
        });
        s.Get("/games/empty.swf", [](const httplib::Request&, httplib::Response& res) {
            res.set_header("Cache-Control", "max-age=3600");
            res.set_content("", "application/x-shockwave-flash");
        });
        s.Get("/missing.swf", [](const httplib::Request&, httplib::Response& res) {
            res.status = 404;
            res.set_header("Cache-Control", "max-age=3600");
            res.set_content("<html><body>Not found</body></html>", "text/html");
        });
        for (const Route& route : m_routes) {
            s.Get(route.path, [&route](const httplib::Request&, httplib::Response& res) {
                std::string body = route.movie;
                if (route.coding == "gzip")
                    body = Deflated(body, 15 + 16, 9); // gzip
                else if (route.coding == "deflate")
                    body = Deflated(body, 15, 9); // a zlib-wrapped deflate stream
                if (!route.coding.empty())
                    res.set_header("Content-Encoding", route.coding);
                if (!route.extraHeader.empty())
                    res.set_header(route.extraHeader, route.extraValue);
                res.set_header("Cache-Control", "max-age=3600");
                res.set_content(body, "application/x-shockwave-flash");
            });
        }
    });
    for (const Route& route : m_routes) {
        const std::string address = m_server->Url(route.path + (route.query.empty() ? "" : "?" + route.query));
        m_movies.push_back({address, route.saveName, route.movie, route.coding, route.recipe});
    }
    m_missingAddress = m_server->Url("/missing.swf");
    m_emptyAddress = m_server->Url("/games/empty.swf");
}

MoviePage::~MoviePage() = default;

std::string MoviePage::Url() const { return m_server->Url("/"); }

} // namespace test
