// Runs the built plumeroc-grab's info and needs on movies Haxe compiled, from files and from
// loopback servers, with and without the page that embeds them.
#include "support/Files.h"
#include "support/Loopback.h"
#include "support/MovieMaking.h"
#include "support/RunGrab.h"
#include "support/TempFolder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::IsSupersetOf;
using ::testing::Not;

const std::string kMovies = PLUMEROC_MADE_MOVIES_DIR;

std::vector<std::string> Split(const std::string& text, char separator)
{
    std::vector<std::string> parts;
    std::string part;
    std::istringstream in(text);
    while (std::getline(in, part, separator))
        parts.push_back(part);
    return parts;
}

// sha256sum's digest of a file: a second opinion on the tool's.
std::string Sha256Sum(const std::string& path)
{
    const std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(("sha256sum '" + path + "'").c_str(), "r"), pclose);
    char digest[65] = {};
    if (!pipe || std::fread(digest, 1, 64, pipe.get()) != 64)
        throw std::runtime_error("sha256sum failed");
    return digest;
}

class MovieCommands : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        test::ClearProxyEnvironment();
        s_refusing = std::make_unique<test::LoopbackSocket>(false);
        s_server = std::make_unique<test::LoopbackServer>([](httplib::Server& server) {
            const auto answer = [](const std::string& body, const char* type, int status = 200) {
                return [body, type, status](const httplib::Request&, httplib::Response& res) {
                    res.status = status;
                    res.set_content(body, type);
                };
            };
            server.Get("/site/page.html",
                       answer("<object data=\"game/loads.swf\"><param name=\"flashvars\" value=\"music=sound/theme.mp3"
                              "&amp;skin=http%3A%2F%2Fcdn.example.com%2Fskin.swf&amp;name=Bob\"></object>",
                              "text/html"));
            server.Get("/site/dot.html", answer("<embed src=\"game/loads.swf\" base=\".\">", "text/html"));
            server.Get("/site/gone.html", answer("gone", "text/html", 404));
            server.Get("/site/game/loads.swf",
                       answer(test::ReadFile(kMovies + "/loads.swf"), "application/x-shockwave-flash"));
            server.Get("/site/game/gone.swf", answer("gone", "text/html", 404));
        });
    }
    static void TearDownTestSuite()
    {
        s_server.reset();
        s_refusing.reset();
    }

    test::GrabRun Grab(const std::vector<std::string>& args) const { return test::RunGrab(args, m_scratch.Path()); }
    static std::string Url(const std::string& path) { return s_server->Url(path); }

    test::TempFolder m_scratch;
    static std::unique_ptr<test::LoopbackServer> s_server;
    static std::unique_ptr<test::LoopbackSocket> s_refusing;
};

std::unique_ptr<test::LoopbackServer> MovieCommands::s_server;
std::unique_ptr<test::LoopbackSocket> MovieCommands::s_refusing;

TEST_F(MovieCommands, InfoDescribesEachMovie)
{
    const std::string loads = kMovies + "/loads.swf";
    const std::string lzma = m_scratch.Write("loads-lzma.swf", test::AsLzma(test::ReadFile(loads)));
    const std::string doabc = kMovies + "/loads-doabc.swf";
    const std::string doabcBytes = test::ReadFile(doabc);
    const std::string cut = m_scratch.Write("cut.swf", doabcBytes.substr(0, doabcBytes.size() / 2));
    const test::GrabRun run = Grab({"info", loads, lzma, cut, Url("/site/game/loads.swf")});
    ASSERT_EQ(run.status, 0) << run.err;
    const std::vector<std::string> rows = Split(run.out, '\n');
    ASSERT_EQ(rows.size(), 4U);
    const std::vector<std::string> zlib = Split(rows[0], '\t');
    ASSERT_EQ(zlib.size(), 10U);
    EXPECT_EQ(zlib[0], loads);
    EXPECT_EQ(zlib[1], "CWS");
    EXPECT_EQ(zlib[2], "10");
    EXPECT_THAT(zlib[3], testing::MatchesRegex("[0-9]+x[0-9]+"));
    EXPECT_EQ(zlib[6], "3");
    EXPECT_EQ(zlib[7], zlib[8]);
    EXPECT_EQ(zlib[9], Sha256Sum(loads));

    const std::vector<std::string> repacked = Split(rows[1], '\t');
    EXPECT_EQ(repacked[1], "ZWS");
    EXPECT_EQ(std::vector<std::string>(repacked.begin() + 2, repacked.begin() + 9),
              std::vector<std::string>(zlib.begin() + 2, zlib.begin() + 9));
    EXPECT_EQ(repacked[9], Sha256Sum(lzma));

    const std::vector<std::string> truncated = Split(rows[2], '\t');
    EXPECT_EQ(truncated[1], "FWS");
    EXPECT_EQ(std::stoul(truncated[7]), doabcBytes.size());
    EXPECT_EQ(std::stoul(truncated[8]), doabcBytes.size() / 2);

    const std::vector<std::string> fetched = Split(rows[3], '\t');
    EXPECT_EQ(fetched[0], Url("/site/game/loads.swf"));
    EXPECT_EQ(std::vector<std::string>(fetched.begin() + 1, fetched.end()),
              std::vector<std::string>(zlib.begin() + 1, zlib.end()));
}

TEST_F(MovieCommands, InfoGoesOnPastMoviesItCannotReadAndSaysSo)
{
    const std::string loads = kMovies + "/loads.swf";
    const std::string text = m_scratch.Write("page.swf", "<html>not a movie</html>");
    const test::GrabRun run = Grab({"info", "-0", text, m_scratch / "missing.swf", loads});
    EXPECT_EQ(run.status, 2);
    EXPECT_THAT(run.err, HasSubstr("not a Flash movie"));
    EXPECT_THAT(run.err, HasSubstr("missing.swf"));
    ASSERT_EQ(std::count(run.out.begin(), run.out.end(), '\0'), 1);
    EXPECT_TRUE(run.out.starts_with(loads + "\tCWS\t"));

    EXPECT_EQ(Grab({"info", Url("/site/game/gone.swf")}).status, 4);
    EXPECT_EQ(Grab({"info", s_refusing->Url("/far.swf")}).status, 2);
    EXPECT_EQ(Grab({"info"}).status, 1);
    EXPECT_EQ(Grab({"info", "--frames", loads}).status, 1);
}

// The rows the page at /site/page.html and its movie game/loads.swf give: the FlashVars first, each
// relative name against the page and then against the movie.
std::vector<std::string> ExpectedWithPage(const std::string& site)
{
    return {site + "sound/theme.mp3\tflashvars",
            site + "game/sound/theme.mp3\tflashvars\talternative",
            "http://cdn.example.com/skin.swf\tflashvars",
            site + "levels/intro.swf\tabc",
            site + "game/levels/intro.swf\tabc\talternative",
            site + "data/config.xml?v=2\tabc",
            site + "game/data/config.xml?v=2\tabc\talternative",
            "http://cdn.example.com/music/theme.mp3\tabc",
            site + "levels/level*.swf\tabc\tpattern",
            site + "game/levels/level*.swf\tabc\tpattern,alternative"};
}

// True when `expected` appear in `rows` in this order.
bool InOrder(const std::vector<std::string>& rows, const std::vector<std::string>& expected)
{
    auto at = rows.begin();
    for (const std::string& row : expected) {
        at = std::find(at, rows.end(), row);
        if (at == rows.end())
            return false;
    }
    return true;
}

TEST_F(MovieCommands, NeedsResolvesAgainstThePageAndTheMovie)
{
    const std::string site = Url("/site/");
    const test::GrabRun withPage = Grab({"needs", "--page", Url("/site/page.html"), Url("/site/game/loads.swf")});
    ASSERT_EQ(withPage.status, 0) << withPage.err;
    const std::vector<std::string> rows = Split(withPage.out, '\n');
    EXPECT_TRUE(InOrder(rows, ExpectedWithPage(site))) << withPage.out;
    EXPECT_THAT(rows, Not(Contains(HasSubstr("more-games.html"))));
    EXPECT_THAT(rows, Not(Contains(HasSubstr("Bob"))));

    // The same movie read from a file takes the address the page gives it; the order is stable.
    const test::GrabRun fromFile = Grab({"needs", "--page=" + Url("/site/page.html"), kMovies + "/loads.swf"});
    ASSERT_EQ(fromFile.status, 0) << fromFile.err;
    EXPECT_EQ(fromFile.out, withPage.out);

    // base="." is the movie's folder: the page's address no longer counts.
    const test::GrabRun dot = Grab({"needs", "--page", Url("/site/dot.html"), Url("/site/game/loads.swf")});
    const std::vector<std::string> dotRows = Split(dot.out, '\n');
    EXPECT_TRUE(InOrder(dotRows, {site + "game/levels/intro.swf\tabc", site + "game/levels/level*.swf\tabc\tpattern"}));
    EXPECT_THAT(dotRows, Not(Contains(HasSubstr("alternative"))));

    // No page: the movie's own address alone; for a file, its file address.
    const test::GrabRun alone = Grab({"needs", "-0", Url("/site/game/loads.swf")});
    const std::vector<std::string> aloneRows = Split(alone.out, '\0');
    EXPECT_THAT(aloneRows,
                IsSupersetOf(std::vector<std::string>{site + "game/levels/intro.swf\tabc",
                                                      "http://cdn.example.com/music/theme.mp3\tabc"}));
    EXPECT_THAT(aloneRows, Not(Contains(HasSubstr("alternative"))));
    const test::GrabRun file = Grab({"needs", kMovies + "/outer.swf"});
    EXPECT_THAT(Split(file.out, '\n'),
                IsSupersetOf(std::vector<std::string>{"file://" + kMovies + "/outer.json\tabc",
                                                      "file://" + kMovies + "/levels/intro.swf\tembedded"}));
}

TEST_F(MovieCommands, NeedsExitStatuses)
{
    const std::string movie = Url("/site/game/loads.swf");
    EXPECT_EQ(Grab({"needs", "--page", Url("/site/gone.html"), movie}).status, 4);
    EXPECT_EQ(Grab({"needs", "--page", s_refusing->Url("/page.html"), movie}).status, 2);
    EXPECT_EQ(Grab({"needs", Url("/site/game/gone.swf")}).status, 4);
    EXPECT_EQ(Grab({"needs", m_scratch / "missing.swf"}).status, 2);
    const test::GrabRun text = Grab({"needs", m_scratch.Write("text.swf", "not a movie at all")});
    EXPECT_EQ(text.status, 2);
    EXPECT_THAT(text.err, HasSubstr("not a Flash movie"));
    EXPECT_EQ(Grab({"needs"}).status, 1);
    EXPECT_EQ(Grab({"needs", movie, movie}).status, 1);
    EXPECT_EQ(Grab({"needs", "--page"}).status, 1);
}

} // namespace
