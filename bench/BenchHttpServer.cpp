// A loopback HTTP server for the retrieval benchmarks. Prints its port on standard output, then serves
// until it is terminated:
//   /bytes/N        N bytes of binary data with a Content-Length, streamed in 64 KiB pieces
//   /page.html      about 1 MiB of dense markup with a few hundred movie references
//   /movies.html    a page listing the 200 small movies /m/0.swf to /m/199.swf (3 to 12 KiB each)
//   /complete/page.html  a page of 4 movies /complete/m0.swf to m3.swf, each naming 50 small files
//                   "files/<movie>-<n>.xml" (1 to 4 KiB each) in its constant pool: 200 files in all
//   /connections    how many connections the server has taken since the last look (one client port each)
// Connections stay open for as many requests as a client sends, as a web server's usually do.
#include <httplib.h>

#include <csignal>
#include <cstdio>
#include <mutex>
#include <set>
#include <string>

namespace {

httplib::Server* g_server = nullptr;

void Stop(int)
{
    if (g_server)
        g_server->stop();
}

std::string MakePage()
{
    std::string page = "<html><head><title>Games</title></head><body>\n";
    for (int i = 0; page.size() < (1u << 20) - 400; ++i) {
        const std::string n = std::to_string(i);
        page += "<div class=\"tile\" id=\"t" + n + "\"><a href=\"/games/" + n + ".html\" title=\"Game number " + n
            + "\"><img src=\"/thumbs/" + n + ".png\" width=\"120\" height=\"90\" alt=\"Game " + n + "\"></a>";
        if (i % 20 == 0)
            page += "<embed src=\"movies/game" + n + ".swf\" width=\"550\" height=\"400\" quality=\"high\">";
        page += "<span class=\"plays\">" + std::to_string(i * 37 % 1000) + " plays</span></div>\n";
    }
    return page + "</body></html>\n";
}

constexpr int kSmallMovies = 200;

std::string MakeMoviesPage()
{
    std::string page = "<html><body>\n";
    for (int i = 0; i < kSmallMovies; ++i)
        page += "<p><embed src=\"m/" + std::to_string(i) + ".swf\" width=\"550\" height=\"400\"></p>\n";
    return page + "</body></html>\n";
}

std::string SmallMovie(int i)
{
    return "FWS" + std::string(3 * 1024 + (i * 37 % 9) * 1024, static_cast<char>('a' + i % 26));
}

constexpr int kCompleteMovies = 4;
constexpr int kFilesPerMovie = 50;

std::string Le16(unsigned value) { return {static_cast<char>(value & 0xFF), static_cast<char>(value >> 8)}; }
std::string Le32(unsigned value) { return Le16(value & 0xFFFF) + Le16(value >> 16); }

// A movie of version 8 whose first frame's actions hold a constant pool of the names of its files.
std::string NamingMovie(int movie)
{
    std::string pool;
    for (int n = 0; n < kFilesPerMovie; ++n)
        pool += "files/" + std::to_string(movie) + "-" + std::to_string(n) + ".xml" + '\0';
    const std::string constantPool =
        "\x88" + Le16(static_cast<unsigned>(pool.size() + 2)) + Le16(kFilesPerMovie) + pool;
    const std::string actions = constantPool + '\0';
    const std::string doAction = Le16((12u << 6) | 0x3F) + Le32(static_cast<unsigned>(actions.size())) + actions;
    const std::string body = std::string(1, '\0') + Le16(12u << 8) + Le16(1) + doAction + Le16(1u << 6) + Le16(0);
    return "FWS" + std::string(1, '\x08') + Le32(static_cast<unsigned>(8 + body.size())) + body;
}

std::string MakeCompletePage()
{
    std::string page = "<html><body>\n";
    for (int i = 0; i < kCompleteMovies; ++i)
        page += "<embed src=\"m" + std::to_string(i) + ".swf\" width=\"550\" height=\"400\">\n";
    return page + "</body></html>\n";
}

// The client ports seen: a kept connection asks from the same port.
std::mutex g_portsMutex;
std::set<int> g_ports;

} // namespace

int main()
{
    static const std::string chunk(64 * 1024, 'm');
    static const std::string page = MakePage();
    static const std::string movies = MakeMoviesPage();
    httplib::Server server;
    server.set_keep_alive_max_count(100000);
    // As web servers do: without it the header and body of one answer wait for the client's delayed ACK.
    server.set_tcp_nodelay(true);
    server.set_pre_routing_handler([](const httplib::Request& req, httplib::Response&) {
        const std::lock_guard lock(g_portsMutex);
        g_ports.insert(req.remote_port);
        return httplib::Server::HandlerResponse::Unhandled;
    });
    server.Get(R"(/bytes/(\d+))", [](const httplib::Request& req, httplib::Response& res) {
        const std::size_t size = std::stoull(req.matches[1]);
        res.set_content_provider(size, "application/x-shockwave-flash",
                                 [](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
                                     (void)offset;
                                     return sink.write(chunk.data(), std::min(length, chunk.size()));
                                 });
    });
    server.Get("/page.html",
               [](const httplib::Request&, httplib::Response& res) { res.set_content(page, "text/html"); });
    server.Get("/movies.html",
               [](const httplib::Request&, httplib::Response& res) { res.set_content(movies, "text/html"); });
    server.Get(R"(/m/(\d+)\.swf)", [](const httplib::Request& req, httplib::Response& res) {
        res.set_content(SmallMovie(std::stoi(req.matches[1])), "application/x-shockwave-flash");
    });
    static const std::string completePage = MakeCompletePage();
    server.Get("/complete/page.html",
               [](const httplib::Request&, httplib::Response& res) { res.set_content(completePage, "text/html"); });
    server.Get(R"(/complete/m(\d+)\.swf)", [](const httplib::Request& req, httplib::Response& res) {
        res.set_content(NamingMovie(std::stoi(req.matches[1])), "application/x-shockwave-flash");
    });
    server.Get(R"(/complete/files/(\d+)-(\d+)\.xml)", [](const httplib::Request& req, httplib::Response& res) {
        const int n = std::stoi(req.matches[1]) * kFilesPerMovie + std::stoi(req.matches[2]);
        res.set_content("<data>" + std::string(1024 + (n * 53 % 3072), static_cast<char>('a' + n % 26)) + "</data>",
                        "text/xml");
    });
    server.Get("/connections", [](const httplib::Request&, httplib::Response& res) {
        const std::lock_guard lock(g_portsMutex);
        res.set_content(std::to_string(g_ports.size() - 1) + "\n", "text/plain"); // not this one's
        g_ports.clear();
    });

    const int port = server.bind_to_any_port("127.0.0.1");
    if (port <= 0)
        return 1;
    std::printf("%d\n", port);
    std::fflush(stdout);
    g_server = &server;
    std::signal(SIGTERM, Stop);
    std::signal(SIGINT, Stop);
    server.listen_after_bind();
    return 0;
}
