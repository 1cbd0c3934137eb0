// Runs the built plumeroc-grab's list, save and save-all against loopback servers.
#include "support/Files.h"
#include "support/Loopback.h"
#include "support/TempFolder.h"

#include "support/RunGrab.h"
#include <gmock/gmock.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

const std::string kCutMovie = test::PatternBody(5000);
constexpr std::size_t kCutSent = 1200;

using Result = test::GrabRun;

class CaptureCommands : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        test::ClearProxyEnvironment(); // the child inherits this environment
        s_refusing = std::make_unique<test::LoopbackSocket>(false);
        s_server = std::make_unique<test::LoopbackServer>([](httplib::Server& server) {
            const auto page = [](const std::string& body, int status = 200) {
                return [body, status](const httplib::Request&, httplib::Response& res) {
                    res.status = status;
                    res.set_content(body, "text/html");
                };
            };
            const std::string far = "<embed src=\"" + s_refusing->Url("/far.swf") + "\">";
            server.Get("/games/index.html",
                       page("<embed src=\"a.swf\"><embed src=\"b.swf\"><p><embed src=\"/other/a.swf\">"
                            "<object><param name=\"movie\" value=\"a.swf\"></object>"));
            server.Get("/games/gone.html", page("<embed src=\"lost.swf\">", 404));
            server.Get("/games/empty.html", page("<html><body>No movies here</body></html>"));
            server.Get("/games/notfound.html", page("<embed src=\"ok.swf\"><embed src=\"missing.swf\">"));
            server.Get("/games/unreachable.html", page("<embed src=\"ok.swf\"><embed src=\"missing.swf\">" + far));
            server.Get("/games/broken.html",
                       page("<embed src=\"ok.swf\"><embed src=\"missing.swf\"><embed src=\"cut.swf\">" + far));
            server.Get("/games/a.swf", page("movie games/a"));
            server.Get("/games/b.swf", page("movie games/b"));
            server.Get("/other/a.swf", page("movie other/a"));
            server.Get("/games/ok.swf", page("movie ok"));
            server.Get("/games/missing.swf", page("no such movie", 404));
            const auto cut = [](const httplib::Request&, httplib::Response& res) {
                res.set_content_provider(kCutMovie.size(), "application/octet-stream",
                                         [](std::size_t, std::size_t, httplib::DataSink& sink) {
                                             sink.write(kCutMovie.data(), kCutSent);
                                             return false;
                                         });
            };
            server.Get("/games/cut.swf", cut);
            server.Get("/games/cut.html", cut);
        });
    }
    static void TearDownTestSuite()
    {
        s_server.reset();
        s_refusing.reset();
    }

    static std::string Url(const std::string& path) { return s_server->Url(path); }

    Result Run(const std::vector<std::string>& args) const { return test::RunGrab(args, m_io.Path()); }

    static inline std::unique_ptr<test::LoopbackSocket> s_refusing;
    static inline std::unique_ptr<test::LoopbackServer> s_server;
    test::TempFolder m_io;  // the child's output
    test::TempFolder m_dir; // where movies are saved
};

TEST_F(CaptureCommands, ListPrintsRowsGreatestFirst)
{
    const std::string rows = Url("/other/a.swf") + "\n" + Url("/games/b.swf") + "\n" + Url("/games/a.swf") + "\n";
    std::string nulRows = rows;
    std::replace(nulRows.begin(), nulRows.end(), '\n', '\0');
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string out;
        std::string err; // a part of the one-line message, or "" for none
    };
    const std::vector<Case> cases = {
        {{"list", Url("/games/index.html")}, 0, rows, ""},
        {{"list", "-0", Url("/games/index.html")}, 0, nulRows, ""},
        {{"list", "--", Url("/games/index.html")}, 0, rows, ""},
        {{"list", Url("/games/gone.html")}, 0, Url("/games/lost.swf") + "\n", ""}, // an error page is a page
        {{"list", Url("/games/empty.html")}, 0, "", ""},
        {{"list", s_refusing->Url("/index.html")}, 2, "", s_refusing->Url("/index.html")},
        {{"list", "file:///etc/hostname"}, 2, "", "file:///etc/hostname"},
        {{"list", Url("/games/cut.html")}, 3, "", Url("/games/cut.html")},
        {{"list"}, 1, "", "usage"},
        {{"list", "-x", Url("/games/index.html")}, 1, "", "unknown option"},
        {{"list", Url("/games/index.html"), Url("/games/empty.html")}, 1, "", "usage"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        const Result result = Run(c.args);
        EXPECT_EQ(result.status, c.status);
        EXPECT_EQ(result.out, c.out);
        if (c.err.empty()) {
            EXPECT_EQ(result.err, "");
        } else {
            EXPECT_THAT(result.err, HasSubstr(c.err));
            EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
        }
    }
}

TEST_F(CaptureCommands, SaveWritesOneMovie)
{
    const std::string path = m_dir / "movie.swf";
    struct Case {
        std::string url;
        std::string path;
        int status;
        std::optional<std::string> file; // what `path` holds afterwards ("keep me": not touched; none: no file)
    };
    const std::vector<Case> cases = {
        {Url("/games/missing.swf"), path, 4, "no such movie"}, // an error page is content, and reported
        {s_refusing->Url("/x.swf"), path, 2, "keep me"},
        {Url("/games/a.swf"), m_dir / "no/such.swf", 2, std::nullopt},
        {Url("/games/cut.swf"), path, 3, kCutMovie.substr(0, kCutSent)}, // the partial file stays
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.url + " -> " + c.path);
        test::WriteFile(path, "keep me");
        const Result result = Run({"save", c.url, c.path});
        EXPECT_EQ(result.status, c.status) << result.err;
        if (c.file)
            EXPECT_EQ(test::ReadFile(c.path), *c.file);
        else
            EXPECT_FALSE(fs::exists(c.path));
        if (c.status != 0) {
            EXPECT_THAT(result.err, HasSubstr(c.status == 2 && !c.file ? c.path : c.url));
        }
    }
}

TEST_F(CaptureCommands, SaveAllNamesFilesAfterTheLastSlash)
{
    for (const std::string& folder : {m_dir.Path(), m_dir.Path() + "/"}) {
        SCOPED_TRACE(folder);
        fs::remove_all(m_dir / "a.swf");
        fs::remove_all(m_dir / "b.swf");
        const Result result = Run({"save-all", Url("/games/index.html"), folder});
        EXPECT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(result.err, "");
        // Rows go top first: other/a.swf, games/b.swf, games/a.swf; the lower a.swf replaces the upper one.
        EXPECT_EQ(test::ReadFile(m_dir / "a.swf"), "movie games/a");
        EXPECT_EQ(test::ReadFile(m_dir / "b.swf"), "movie games/b");
        EXPECT_EQ(std::distance(fs::directory_iterator(m_dir.Path()), fs::directory_iterator()), 2);
    }
}

TEST_F(CaptureCommands, SaveAllGoesOnAfterFailures)
{
    struct Case {
        const char* page;
        const char* subfolder; // inside the test's folder; "missing" does not exist
        int status;
        std::vector<std::string> messages; // each on a line of its own
        bool moviesSaved;
    };
    const std::vector<Case> cases = {
        {"/games/notfound.html", "", 4, {"status 404"}, true},
        {"/games/unreachable.html", "", 2, {"status 404", s_refusing->Url("/far.swf")}, true},
        {"/games/broken.html", "", 3, {"status 404", s_refusing->Url("/far.swf"), Url("/games/cut.swf")}, true},
        {"/games/index.html", "missing", 2, {"missing/a.swf", "missing/b.swf", "missing/a.swf"}, false},
        {"/games/empty.html", "", 0, {}, false},
        {"/games/cut.html", "", 3, {Url("/games/cut.html")}, false}, // the page itself broke off
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.page);
        const test::TempFolder folder;
        const Result result = Run({"save-all", Url(c.page), folder / c.subfolder});
        EXPECT_EQ(result.status, c.status);
        EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), std::ssize(c.messages)) << result.err;
        for (const std::string& message : c.messages)
            EXPECT_THAT(result.err, HasSubstr(message));
        if (!c.moviesSaved) {
            EXPECT_TRUE(fs::is_empty(folder.Path()));
            continue;
        }
        EXPECT_EQ(test::ReadFile(folder / "ok.swf"), "movie ok");
        EXPECT_EQ(test::ReadFile(folder / "missing.swf"), "no such movie"); // written, as in the window
        EXPECT_FALSE(fs::exists(folder / "far.swf"));
        if (fs::exists(folder / "cut.swf")) {
            EXPECT_EQ(test::ReadFile(folder / "cut.swf"), kCutMovie.substr(0, kCutSent));
        }
    }
}

} // namespace
