#include "capture/UrlFetcher.h"
#include "platform/Exceptions.h"
#include "support/Files.h"
#include "support/Loopback.h"
#include "support/TempFolder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <memory>

namespace {

using namespace capture;

using ::testing::HasSubstr;

// The page text as the capture worker reads it: the buffer up to its first NUL.
std::string_view PageTextOf(const CUrlFetcher& fetcher)
{
    return {fetcher.m_pPageBuffer.get(), ::strnlen(fetcher.m_pPageBuffer.get(), CUrlFetcher::kPageBufferSize)};
}

const std::string kNotFoundPage = "<html><body>No such page</body></html>";
const std::string kThreeMiB = test::PatternBody(3 * 1024 * 1024);
constexpr std::size_t kCutAnnounced = 10000;
constexpr std::size_t kCutSent = 3000;

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
                                           "http://[::1/a.swf", ""),
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
    CUrlFetcher fetcher;
    try {
        fetcher.DownloadToFile(Url("/bytes/10000"), "/dev/full");
        ADD_FAILURE() << "a write to /dev/full succeeded";
    } catch (const CFileException& e) {
        EXPECT_THAT(e.what(), HasSubstr("/dev/full"));
        EXPECT_THAT(e.what(), HasSubstr(std::strerror(ENOSPC)));
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
