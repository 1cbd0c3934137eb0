// Connections kept between fetches: each fetcher of the run goes over the connection the last one left
// open to the same server, on whichever thread it runs, and a connection that cannot serve again is
// replaced.
#include "capture/UrlFetcher.h"
#include "platform/Exceptions.h"
#include "support/Files.h"
#include "support/Loopback.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>

namespace {

using namespace capture;

std::string MovieBody(int n) { return test::PatternBody(1000 + static_cast<std::size_t>(n) * 37); }

void AddRoutes(httplib::Server& server)
{
    server.Get(R"(/movie/(\d+)\.swf)", [](const httplib::Request& req, httplib::Response& res) {
        res.set_content(MovieBody(std::stoi(req.matches[1])), "application/x-shockwave-flash");
    });
    server.Get("/page.html", [](const httplib::Request&, httplib::Response& res) {
        res.set_content(R"(<embed src="movie/1.swf">)", "text/html");
    });
    server.Get("/moved.swf", [](const httplib::Request&, httplib::Response& res) { res.set_redirect("/movie/7.swf"); });
    server.Get("/gone.swf", [](const httplib::Request&, httplib::Response& res) {
        res.status = 404;
        res.set_content("no such movie", "text/html");
    });
    server.Get("/cut.swf", [](const httplib::Request&, httplib::Response& res) {
        res.set_content_provider(50000, "application/x-shockwave-flash",
                                 [](std::size_t, std::size_t, httplib::DataSink& sink) {
                                     sink.write("FWS", 3);
                                     return false; // drops the connection short of the announced length
                                 });
    });
}

class FetcherConnections : public ::testing::Test {
protected:
    static void SetUpTestSuite() { test::ClearProxyEnvironment(); }

    std::string Url(const std::string& path) const { return m_server.Url(path); }
    static std::string MoviePath(int n) { return "/movie/" + std::to_string(n) + ".swf"; }

    // Downloads movie `n` through a fetcher of its own, as Save and each row of Save All do.
    void ExpectSaved(int n)
    {
        const std::string path = m_dir / (std::to_string(n) + ".swf");
        CUrlFetcher fetcher;
        ASSERT_TRUE(fetcher.DownloadToFile(Url(MoviePath(n)), path)) << fetcher.LastError();
        EXPECT_EQ(test::ReadFile(path), MovieBody(n));
    }

    test::LoopbackServer m_server{AddRoutes, test::Connections::kKept};
    test::TempFolder m_dir;
};

TEST_F(FetcherConnections, OneConnectionServesEveryFetcherOfTheRun)
{
    CUrlFetcher page;
    ASSERT_TRUE(page.FetchPage(Url("/page.html")));
    EXPECT_STREQ(page.m_pPageBuffer.get(), R"(<embed src="movie/1.swf">)");
    for (int n = 0; n < 20; ++n)
        ExpectSaved(n);
    CUrlFetcher moved;
    ASSERT_TRUE(moved.DownloadToFile(Url("/moved.swf"), m_dir / "moved.swf"));
    EXPECT_EQ(test::ReadFile(m_dir / "moved.swf"), MovieBody(7));
    EXPECT_EQ(m_server.ConnectionsSeen(), 1u);
}

TEST_F(FetcherConnections, TwoThreadsFetchingAtOnceEachKeepAConnection)
{
    // As in the window: the capture's worker fetches a page while Save downloads on the window's thread.
    const auto fetchMany = [this](int first) {
        for (int n = first; n < first + 40; ++n) {
            CUrlFetcher fetcher;
            if (n % 2 == 0) {
                ASSERT_TRUE(fetcher.FetchPage(Url(MoviePath(n))));
                EXPECT_EQ(std::string(fetcher.m_pPageBuffer.get()), MovieBody(n));
            } else {
                ExpectSaved(n);
            }
        }
    };
    std::thread worker(fetchMany, 0);
    fetchMany(100);
    worker.join();
    EXPECT_LE(m_server.ConnectionsSeen(), 2u);
}

TEST_F(FetcherConnections, AConnectionLeftUnfitIsReplaced)
{
    ExpectSaved(1);
    // Broken off in the middle of a body.
    CUrlFetcher cut;
    EXPECT_THROW(cut.DownloadToFile(Url("/cut.swf"), m_dir / "cut.swf"), CInternetException);
    EXPECT_EQ(test::ReadFile(m_dir / "cut.swf"), "FWS");
    ExpectSaved(2);
    // Left with its body unread: the file could not be created.
    CUrlFetcher unread;
    EXPECT_FALSE(unread.DownloadToFile(Url(MoviePath(3)), m_dir / "missing/3.swf"));
    ExpectSaved(4);
    CUrlFetcher gone;
    ASSERT_TRUE(gone.FetchPage(Url("/gone.swf")));
    EXPECT_STREQ(gone.m_pPageBuffer.get(), "no such movie");
    ExpectSaved(5);
    // Closed by the server after a second without requests.
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    ExpectSaved(6);
    EXPECT_LE(m_server.ConnectionsSeen(), 4u);
}

TEST_F(FetcherConnections, AKeptConnectionIsNotInheritedByProgramsStartedLater)
{
    ExpectSaved(1);
    // The client's end of each connection to the server: a socket whose peer is the server's port.
    int kept = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        const int fd = std::stoi(entry.path().filename().string());
        sockaddr_in peer{};
        socklen_t length = sizeof peer;
        if (::getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &length) != 0 || peer.sin_family != AF_INET
            || ntohs(peer.sin_port) != m_server.Port())
            continue;
        ++kept;
        EXPECT_NE(::fcntl(fd, F_GETFD) & FD_CLOEXEC, 0) << "descriptor " << fd;
    }
    EXPECT_EQ(kept, 1);
}

} // namespace
