#include "capture/UrlFetcher.h"
#include "capture/BodySink.h"
#include "platform/Exceptions.h"
#include "support/Files.h"
#include "support/Loopback.h"
#include "support/TempFolder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <memory>
#include <thread>
#include <vector>

namespace {

using namespace capture;

using ::testing::HasSubstr;

// The page text as the capture worker reads it: the buffer up to its first NUL.
std::string_view PageTextOf(const CUrlFetcher& fetcher)
{
    return {fetcher.m_pPageBuffer.get(), ::strnlen(fetcher.m_pPageBuffer.get(), CUrlFetcher::kPageBufferSize)};
}

std::atomic<bool> g_releaseStalls{false};

// Short transfer limits for one test, the defaults again afterwards; stalled answers end with it.
class ShortLimits {
public:
    ShortLimits() { CUrlFetcher::SetTransferLimits({std::chrono::seconds(1), std::chrono::seconds(1)}); }
    ~ShortLimits()
    {
        CUrlFetcher::SetTransferLimits({});
        g_releaseStalls = true;
    }
};

const std::string kNotFoundPage = "<html><body>No such page</body></html>";
const std::string kThreeMiB = test::PatternBody(3 * 1024 * 1024);
constexpr std::size_t kCutAnnounced = 10000;
constexpr std::size_t kCutSent = 3000;
// libcurl judges the speed over the last seconds: one byte keeps a stalled transfer's average low.
constexpr std::size_t kStallSent = 1;

void AddRoutes(httplib::Server& server)
{
    server.Get("/notfound", [](const httplib::Request&, httplib::Response& res) {
        res.status = 404;
        res.set_content(kNotFoundPage, "text/html");
    });
    server.Get("/status/500", [](const httplib::Request&, httplib::Response& res) {
        res.status = 500;
        res.set_content("<p>server error</p>", "text/html");
    });
    server.Get("/empty", [](const httplib::Request&, httplib::Response& res) { res.set_content("", "text/plain"); });
    server.Get(R"(/bytes/(\d+))", [](const httplib::Request& req, httplib::Response& res) {
        res.set_content(test::PatternBody(std::stoul(req.matches[1])), "application/octet-stream");
    });
    server.Get("/nul", [](const httplib::Request&, httplib::Response& res) {
        res.set_content(std::string("abc\0def", 7), "application/octet-stream");
    });
    server.Get(R"(/redirect/(\d+))", [](const httplib::Request& req, httplib::Response& res) {
        const int left = std::stoi(req.matches[1]);
        if (left == 0)
            return res.set_content("end of chain", "text/plain");
        res.set_redirect("/redirect/" + std::to_string(left - 1));
        res.set_content("redirect body", "text/plain");
    });
    server.Get("/to-file",
               [](const httplib::Request&, httplib::Response& res) { res.set_redirect("file:///etc/hostname"); });
    server.Get("/to-ftp",
               [](const httplib::Request&, httplib::Response& res) { res.set_redirect("ftp://127.0.0.1:1/a.swf"); });
    server.Get("/cut", [](const httplib::Request&, httplib::Response& res) {
        res.set_content_provider(kCutAnnounced, "application/octet-stream",
                                 [](std::size_t, std::size_t, httplib::DataSink& sink) {
                                     sink.write(kThreeMiB.data(), kCutSent);
                                     return false; // drops the connection short of the announced length
                                 });
    });
    // The first N bytes of kThreeMiB in pieces of 7777 bytes, then the connection drops.
    server.Get(R"(/cut/(\d+))", [](const httplib::Request& req, httplib::Response& res) {
        const std::size_t sent = std::stoul(req.matches[1]);
        res.set_content_provider(
            sent + 1000, "application/octet-stream", [sent](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                if (offset >= sent)
                    return false;
                return sink.write(kThreeMiB.data() + offset, std::min<std::size_t>(7777, sent - offset));
            });
    });
    server.Get("/stall", [](const httplib::Request&, httplib::Response& res) {
        res.set_content_provider(kCutAnnounced, "application/octet-stream",
                                 [](std::size_t, std::size_t, httplib::DataSink& sink) {
                                     sink.write(kThreeMiB.data(), kStallSent);
                                     // Then nothing, until the test lets the server end.
                                     for (int i = 0; i < 3000 && !g_releaseStalls; ++i)
                                         std::this_thread::sleep_for(std::chrono::milliseconds(10));
                                     return false;
                                 });
    });
    server.Get("/big",
               [](const httplib::Request&, httplib::Response& res) { res.set_content(kThreeMiB, "text/html"); });
    server.Get("/echo", [](const httplib::Request& req, httplib::Response& res) {
        res.set_content(req.method + " " + req.get_header_value("User-Agent") + " " + std::to_string(req.body.size()),
                        "text/plain");
    });
}

class FetcherTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        test::ClearProxyEnvironment();
        s_server = std::make_unique<test::LoopbackServer>(AddRoutes);
    }
    static void TearDownTestSuite() { s_server.reset(); }

    static std::string Url(const std::string& path) { return s_server->Url(path); }

    // Fills the page buffer with a previous page and stale bytes after it.
    static void FillWithOldPage(CUrlFetcher& fetcher)
    {
        std::memset(fetcher.m_pPageBuffer.get(), 'X', CUrlFetcher::kPageBufferSize);
        std::strcpy(fetcher.m_pPageBuffer.get(), "previous page");
    }

    static inline std::unique_ptr<test::LoopbackServer> s_server;
    test::TempFolder m_dir;
};

// Responses that count as opened, whatever their status: the body is the content.
struct BodyCase {
    const char* name;
    const char* path;
    std::string body;
    long status;
};

class FetcherBodyTest : public FetcherTest, public ::testing::WithParamInterface<BodyCase> {};

TEST_P(FetcherBodyTest, FetchPageHoldsBodyUpToFirstNul)
{
    const BodyCase& c = GetParam();
    CUrlFetcher fetcher;
    FillWithOldPage(fetcher);
    ASSERT_TRUE(fetcher.FetchPage(Url(c.path))) << fetcher.LastError();
    const std::string expected = c.body.substr(0, c.body.find('\0'));
    EXPECT_EQ(PageTextOf(fetcher), expected);
    EXPECT_EQ(fetcher.m_pPageBuffer[expected.size()], '\0');
    EXPECT_EQ(fetcher.LastStatus(), c.status);
    EXPECT_EQ(fetcher.LastError(), "");
}

TEST_P(FetcherBodyTest, DownloadToFileWritesEveryByte)
{
    const BodyCase& c = GetParam();
    const std::string path = m_dir / "movie.swf";
    CUrlFetcher fetcher;
    ASSERT_TRUE(fetcher.DownloadToFile(Url(c.path), path)) << fetcher.LastError();
    EXPECT_EQ(test::ReadFile(path), c.body);
    EXPECT_EQ(fetcher.LastStatus(), c.status);
}

INSTANTIATE_TEST_SUITE_P(Responses, FetcherBodyTest,
                         ::testing::Values(BodyCase{"NotFoundPage", "/notfound", kNotFoundPage, 404},
                                           BodyCase{"ServerError", "/status/500", "<p>server error</p>", 500},
                                           BodyCase{"EmptyBody", "/empty", "", 200},
                                           BodyCase{"OneChunk", "/bytes/4096", test::PatternBody(4096), 200},
                                           BodyCase{"ManyChunks", "/bytes/40960", test::PatternBody(40960), 200},
                                           BodyCase{"ShortLastChunk", "/bytes/4100", test::PatternBody(4100), 200},
                                           BodyCase{"NulInBody", "/nul", std::string("abc\0def", 7), 200},
                                           BodyCase{"RedirectChain", "/redirect/3", "end of chain", 200}),
                         [](const auto& instance) { return std::string(instance.param.name); });

TEST_F(FetcherTest, OversizedPageKeepsItsStartAndIsTerminated)
{
    CUrlFetcher fetcher;
    FillWithOldPage(fetcher);
    ASSERT_TRUE(fetcher.FetchPage(Url("/big")));
    constexpr std::size_t kRoom = CUrlFetcher::kPageBufferSize - 1;
    EXPECT_EQ(PageTextOf(fetcher).size(), kRoom);
    EXPECT_TRUE(PageTextOf(fetcher) == std::string_view(kThreeMiB).substr(0, kRoom));
    EXPECT_EQ(fetcher.m_pPageBuffer[kRoom], '\0');

    // The bound is the page buffer's only: a file gets the whole body.
    const std::string path = m_dir / "big.swf";
    ASSERT_TRUE(fetcher.DownloadToFile(Url("/big"), path));
    EXPECT_TRUE(test::ReadFile(path) == kThreeMiB);
}

TEST_F(FetcherTest, SendsPlainGetAsPlumeroc)
{
    CUrlFetcher fetcher;
    ASSERT_TRUE(fetcher.FetchPage(Url("/echo")));
    EXPECT_EQ(PageTextOf(fetcher), "GET Plumeroc 0");
}

// Addresses that never give a final response: false, and nothing is touched.
class FetcherCannotOpenTest : public FetcherTest, public ::testing::WithParamInterface<const char*> {
protected:
    std::string Address() const
    {
        static const test::LoopbackSocket refusing(false);
        static const test::SilentServer silent;
        const std::string which = GetParam();
        if (which == "refused")
            return refusing.Url("/a.swf");
        if (which == "no-answer")
            return silent.Url("/a.swf");
        if (which == "no-scheme") // a live server: only a guessed "http" would reach it
            return Url("/bytes/100").substr(std::string_view("http://").size());
        if (which.front() == '/')
            return Url(which);
        return which;
    }
};

TEST_P(FetcherCannotOpenTest, FetchPageLeavesBufferAlone)
{
    CUrlFetcher fetcher;
    FillWithOldPage(fetcher);
    const std::string url = Address();
    EXPECT_FALSE(fetcher.FetchPage(url));
    EXPECT_EQ(PageTextOf(fetcher), "previous page");
    EXPECT_EQ(fetcher.m_pPageBuffer[14], 'X');
    EXPECT_THAT(fetcher.LastError(), HasSubstr(url));
}

TEST_P(FetcherCannotOpenTest, DownloadToFileTouchesNoFile)
{
    const std::string existing = m_dir / "existing.swf";
    const std::string fresh = m_dir / "fresh.swf";
    test::WriteFile(existing, "keep me");
    CUrlFetcher fetcher;
    EXPECT_FALSE(fetcher.DownloadToFile(Address(), existing));
    EXPECT_FALSE(fetcher.DownloadToFile(Address(), fresh));
    EXPECT_EQ(test::ReadFile(existing), "keep me");
    EXPECT_FALSE(std::filesystem::exists(fresh));
    EXPECT_EQ(fetcher.LastStatus(), 0);
}

INSTANTIATE_TEST_SUITE_P(Addresses, FetcherCannotOpenTest,
                         ::testing::Values("refused", "no-answer", "/to-file", "/to-ftp", "file:///etc/hostname",
                                           "ftp://127.0.0.1:1/a.swf", "c:\\movies\\a.swf", "c:/movies/a.swf",
                                           "no-scheme", "httpx://127.0.0.1:1/a.swf", "http://[::1/a.swf", ""),
                         [](const auto& instance) { return "Case" + std::to_string(instance.index); });

TEST_F(FetcherTest, BodyCutShortThrowsAndKeepsWhatArrived)
{
    const std::string url = Url("/cut");
    CUrlFetcher fetcher;
    try {
        fetcher.FetchPage(url);
        ADD_FAILURE() << "FetchPage returned on a broken body";
    } catch (const CInternetException& e) {
        EXPECT_THAT(e.what(), HasSubstr(url));
    }
    EXPECT_TRUE(PageTextOf(fetcher) == std::string_view(kThreeMiB).substr(0, kCutSent));

    const std::string path = m_dir / "cut.swf";
    try {
        fetcher.DownloadToFile(url, path);
        ADD_FAILURE() << "DownloadToFile returned on a broken body";
    } catch (const CInternetException& e) {
        EXPECT_THAT(e.what(), HasSubstr(url));
    }
    EXPECT_TRUE(test::ReadFile(path) == std::string_view(kThreeMiB).substr(0, kCutSent));
}

// Cut before, at and after the pieces the file is written in: the file holds every byte that arrived.
class FetcherCutTest : public FetcherTest, public ::testing::WithParamInterface<std::size_t> {};

TEST_P(FetcherCutTest, FileKeepsEveryByteBeforeTheBreak)
{
    const std::string url = Url("/cut/" + std::to_string(GetParam()));
    const std::string path = m_dir / "cut.swf";
    CUrlFetcher fetcher;
    EXPECT_THROW(fetcher.DownloadToFile(url, path), CInternetException);
    const std::string file = test::ReadFile(path);
    EXPECT_EQ(file.size(), GetParam());
    EXPECT_TRUE(file == std::string_view(kThreeMiB).substr(0, GetParam()));
}

INSTANTIATE_TEST_SUITE_P(Sizes, FetcherCutTest,
                         ::testing::Values(1, FileSink::kWriteSize - 1, FileSink::kWriteSize, FileSink::kWriteSize + 1,
                                           3 * FileSink::kWriteSize + 12345));

TEST_F(FetcherTest, StalledBodyFailsLikeABrokenOneAndKeepsWhatArrived)
{
    const ShortLimits limits;
    const std::string url = Url("/stall");
    const std::string path = m_dir / "stalled.swf";
    CUrlFetcher fetcher;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_THROW(fetcher.FetchPage(url), CInternetException);
    try {
        fetcher.DownloadToFile(url, path);
        ADD_FAILURE() << "DownloadToFile returned on a stalled body";
    } catch (const CInternetException& e) {
        EXPECT_THAT(e.what(), HasSubstr(url));
    }
    // The server would hold both answers for 30 s each.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
    EXPECT_TRUE(test::ReadFile(path) == std::string_view(kThreeMiB).substr(0, kStallSent));
}

TEST_F(FetcherTest, ConnectionNotMadeInTimeIsNotOpened)
{
    // A listening socket whose queue is full: the kernel drops further connection requests, so the
    // connection is never made.
    const test::LoopbackSocket full(true);
    ASSERT_EQ(::listen(full.Fd(), 0), 0);
    const auto connectTo = [&](const std::string& url) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(static_cast<std::uint16_t>(std::stoi(url.substr(url.rfind(':') + 1))));
        (void)::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        return fd;
    };
    std::vector<int> fds;
    for (int i = 0; i < 4; ++i)
        fds.push_back(connectTo(full.Url("")));
    const ShortLimits limits;
    CUrlFetcher fetcher;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(fetcher.FetchPage(full.Url("/a.swf")));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(8));
    EXPECT_THAT(fetcher.LastError(), HasSubstr(full.Url("/a.swf")));
    for (const int fd : fds)
        ::close(fd);
}

TEST_F(FetcherTest, DestinationThatCannotBeCreatedReturnsFalse)
{
    test::WriteFile(m_dir / "plain", "a file, not a folder");
    for (const std::string& path : {m_dir / "missing/a.swf", m_dir / "plain/a.swf", std::string()}) {
        SCOPED_TRACE(path);
        CUrlFetcher fetcher;
        EXPECT_FALSE(fetcher.DownloadToFile(Url("/bytes/100"), path));
        EXPECT_THAT(fetcher.LastError(), HasSubstr("Cannot create " + path));
        EXPECT_FALSE(std::filesystem::exists(path));
    }
}

TEST_F(FetcherTest, FullDiskThrowsFileException)
{
    if (!std::filesystem::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full here";
    // Found when the body ends, and in the middle of one.
    for (const char* path : {"/bytes/10000", "/big"}) {
        SCOPED_TRACE(path);
        CUrlFetcher fetcher;
        try {
            fetcher.DownloadToFile(Url(path), "/dev/full");
            ADD_FAILURE() << "a write to /dev/full succeeded";
        } catch (const CFileException& e) {
            EXPECT_THAT(e.what(), HasSubstr("/dev/full"));
            EXPECT_THAT(e.what(), HasSubstr(std::strerror(ENOSPC)));
        }
    }
}

TEST_F(FetcherTest, SecondDownloadReplacesTheFirst)
{
    const std::string path = m_dir / "same.swf";
    CUrlFetcher first;
    ASSERT_TRUE(first.DownloadToFile(Url("/bytes/40960"), path));
    CUrlFetcher second;
    ASSERT_TRUE(second.DownloadToFile(Url("/nul"), path));
    EXPECT_EQ(test::ReadFile(path), std::string("abc\0def", 7));
}

TEST_F(FetcherTest, FileGetsPermissionsLessTheUmask)
{
    for (const mode_t mask : {mode_t{022}, mode_t{077}}) {
        const mode_t before = ::umask(mask);
        const std::string path = m_dir / ("mode" + std::to_string(mask));
        CUrlFetcher fetcher;
        const bool saved = fetcher.DownloadToFile(Url("/empty"), path);
        ::umask(before);
        ASSERT_TRUE(saved);
        struct stat info {};
        ASSERT_EQ(::stat(path.c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0666 & ~mask);
    }
}

bool HeldOpen(const std::string& path)
{
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code error;
        if (std::filesystem::read_symlink(entry.path(), error) == path)
            return true;
    }
    return false;
}

TEST_F(FetcherTest, FileIsClosedOnEveryPath)
{
    const std::string path = m_dir / "closed.swf";
    CUrlFetcher fetcher;
    ASSERT_TRUE(fetcher.DownloadToFile(Url("/bytes/5000"), path));
    EXPECT_FALSE(HeldOpen(path));
    EXPECT_THROW(fetcher.DownloadToFile(Url("/cut"), path), CInternetException);
    EXPECT_FALSE(HeldOpen(path));
    EXPECT_THROW(fetcher.DownloadToFile(Url("/bytes/5000"), "/dev/full"), CFileException);
    EXPECT_FALSE(HeldOpen("/dev/full"));
}

} // namespace
