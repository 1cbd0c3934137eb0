// A loopback HTTP server for the retrieval benchmarks. Prints its port on standard output, then serves
// until it is terminated:
//   /bytes/N    N bytes of binary data with a Content-Length, streamed in 64 KiB pieces
//   /page.html  about 1 MiB of dense markup with a few hundred movie references
#include <httplib.h>

#include <csignal>
#include <cstdio>
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

} // namespace

int main()
{
    static const std::string chunk(64 * 1024, 'm');
    static const std::string page = MakePage();
    httplib::Server server;
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
