// plumeroc-grab and a loopback Wayback Machine holding a site wget crawled twice at test time, now gone.
// archived: the rows built from wget's own CDX index of what it fetched (times, digests) and warcio's index
// (record lengths), in the archive's key order; the same as NUL-ended rows and as JSON lines Python reads
// back; the queries as the archive got them, apart by the pause; the exit statuses and the line of an
// archive that refuses. list: the gone page read from its latest capture, its movies at their captures
// nearest the page's, the one never crawled at its live address; saved from there, the gzip-encoded movie
// decoded; a page that answers is never replaced.
#include "support/ArchivedSite.h"
#include "support/Files.h"
#include "support/RunGrab.h"
#include "support/TempFolder.h"
#include "support/WaybackServer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

namespace {

class ArchivedCommand : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_archive = std::make_unique<test::WaybackServer>();
        s_site = std::make_unique<test::ArchivedSite>(*s_archive, 2);
    }
    static void TearDownTestSuite()
    {
        s_site.reset();
        s_archive.reset();
    }

    // The row of the movie at `path`: its first capture, as wget's index of the first crawl tells it.
    static std::string ExpectedRow(const std::string& path, char end)
    {
        const std::string address = s_site->Url(path);
        for (const auto& row : test::ReadWgetCdx(s_site->Crawls().front().cdx)) {
            if (row.address != address)
                continue;
            const auto captures = s_archive->Captures();
            const auto line = std::ranges::find_if(captures, [&](const test::IndexedCapture& capture) {
                return capture.original == address && capture.timestamp == row.date;
            });
            EXPECT_NE(line, captures.end()) << address;
            return s_archive->Address() + "/web/" + row.date + "id_/" + address + '\t' + address + '\t' + row.date
                + '\t' + row.digest + '\t' + (line == captures.end() ? "" : line->length) + end;
        }
        ADD_FAILURE() << address << " is not in wget's index";
        return {};
    }

    static std::string ExpectedRows(const std::vector<std::string>& paths, char end = '\n')
    {
        std::string rows;
        for (const std::string& path : paths)
            rows += ExpectedRow(path, end);
        return rows;
    }

    test::GrabRun Archived(std::vector<std::string> args) const
    {
        args.insert(args.begin(), {"--archive", s_archive->Address(), "archived"});
        return test::RunGrab(args, m_scratch.Path());
    }

    test::GrabRun WithArchive(std::vector<std::string> args) const
    {
        args.insert(args.begin(), {"--archive", s_archive->Address()});
        return test::RunGrab(args, m_scratch.Path());
    }

    // The raw capture of `path` that the second crawl made, as wget's index of it dates it.
    static std::string SecondCapture(const std::string& path)
    {
        for (const auto& row : test::ReadWgetCdx(s_site->Crawls().back().cdx)) {
            if (row.address == s_site->Url(path))
                return s_archive->Address() + "/web/" + row.date + "id_/" + row.address;
        }
        ADD_FAILURE() << path << " is not in the second crawl";
        return {};
    }

    test::TempFolder m_scratch;
    static inline std::unique_ptr<test::WaybackServer> s_archive;
    static inline std::unique_ptr<test::ArchivedSite> s_site;
};

TEST_F(ArchivedCommand, OneRowPerDistinctMovieInTheArchivesKeyOrder)
{
    // /copy/a.swf holds the bytes of /games/a.swf and comes first in key order; b.swf is found by its
    // address alone, /player?movie=c by its type alone; the 404 at missing.swf and the page are no movies.
    const std::vector<std::string> everything{"/copy/a.swf", "/games/b.swf", "/games/packed.swf", "/player?movie=c"};
    const auto rows = Archived({s_site->Host()});
    EXPECT_EQ(rows.status, 0) << rows.err;
    EXPECT_EQ(rows.err, "");
    EXPECT_EQ(rows.out, ExpectedRows(everything));

    EXPECT_EQ(Archived({"-0", s_site->Host()}).out, ExpectedRows(everything, '\0'));
    EXPECT_EQ(Archived({"http://" + s_site->Host() + "/games/"}).out,
              ExpectedRows({"/games/a.swf", "/games/b.swf", "/games/packed.swf"}));

    const auto json = Archived({"--json", s_site->Host()});
    EXPECT_EQ(json.status, 0) << json.err;
    const auto python = test::RunProgram(
        {"/usr/bin/python3", "-c",
         "import json, sys\n"
         "for line in sys.stdin:\n"
         "    o = json.loads(line)\n"
         "    assert o['mimetype'] in ('application/x-shockwave-flash', 'application/octet-stream'), o\n"
         "    print('\\t'.join([o['capture'], o['original'], o['timestamp'], o['digest'], str(o['length'])]))\n"},
        m_scratch.Path(), json.out);
    EXPECT_EQ(python.status, 0) << python.err;
    EXPECT_EQ(python.out, ExpectedRows(everything));
}

TEST_F(ArchivedCommand, YearsBoundTheCaptures)
{
    const std::string year = s_archive->Captures().front().timestamp.substr(0, 4);
    const auto before = Archived({"--to", std::to_string(std::stoi(year) - 1), s_site->Host()});
    EXPECT_EQ(before.status, 0) << before.err;
    EXPECT_EQ(before.out, "");
    const auto during = Archived({"--from", year, "--to", year, "-0", s_site->Host()});
    EXPECT_EQ(during.out, ExpectedRows({"/copy/a.swf", "/games/b.swf", "/games/packed.swf", "/player?movie=c"}, '\0'));
}

TEST_F(ArchivedCommand, AsksTheCdxServerPolitely)
{
    const std::size_t before = s_archive->CdxRequests().size();
    ASSERT_EQ(Archived({s_site->Host()}).status, 0);
    const auto requests = s_archive->CdxRequests();
    ASSERT_EQ(requests.size(), before + 2); // one page for each of the two queries
    const auto& [byType, byName] = std::pair(requests[before], requests[before + 1]);
    std::string host = s_site->Host();
    host.replace(host.find(':'), 1, "%3A");
    for (const auto& request : {byType, byName}) {
        EXPECT_NE(request.query.find("url=" + host + "&matchType=domain"), std::string::npos) << request.query;
        EXPECT_NE(request.query.find("&filter=statuscode%3A200&"), std::string::npos) << request.query;
        EXPECT_NE(request.query.find("&collapse=digest&"), std::string::npos) << request.query;
        EXPECT_NE(request.query.find("&limit=1000&showResumeKey=true"), std::string::npos) << request.query;
    }
    EXPECT_NE(byType.query.find("filter=mimetype%3Aapplication%2Fx-shockwave-flash"), std::string::npos);
    EXPECT_NE(byName.query.find("filter=urlkey%3A%5B%5E%3F%5D%2A%5C.swf%28%5C%3F.%2A%29%3F"), std::string::npos);
    EXPECT_GE(byName.at - byType.at, std::chrono::milliseconds(2500));
}

TEST_F(ArchivedCommand, ExitStatusesSayWhatTheArchiveDidNotGive)
{
    const std::string usage =
        " (usage: plumeroc-grab archived [-0 | --json | --save DIR] [--from YYYY] [--to YYYY] SITE)\n";
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string err;
    };
    const std::vector<Case> cases{
        {{"--archive", s_archive->Address(), "archived"}, 1, "plumeroc-grab: archived: one SITE, please" + usage},
        {{"--archive", s_archive->Address(), "archived", "-0", "--json", "a.com"},
         1,
         "plumeroc-grab: archived: -0, --json and --save go one at a time" + usage},
        {{"--archive", s_archive->Address(), "archived", "a.com", "--save"},
         1,
         "plumeroc-grab: archived: --save takes a folder" + usage},
        {{"--archive", s_archive->Address(), "archived", "--from", "1999-01", "a.com"},
         1,
         "plumeroc-grab: archived: --from takes a year (or 1 to 14 digits of a time)" + usage},
        {{"archived", "--archive", "off", "a.com"}, 1, "plumeroc-grab: archived: the archive is off" + usage},
        {{"--archive", "web.archive.org", "archived", "a.com"},
         1,
         "plumeroc-grab: --archive takes an http:// or https:// address, or off (got 'web.archive.org')\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        const auto run = test::RunGrab(c.args, m_scratch.Path());
        EXPECT_EQ(run.status, c.status);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, c.err);
    }

    for (const int status : {429, 503}) {
        s_archive->Refuse(status);
        const auto refused = Archived({s_site->Host()});
        s_archive->Refuse(0);
        EXPECT_EQ(refused.status, 2);
        EXPECT_EQ(refused.out, "");
        EXPECT_EQ(refused.err,
                  "plumeroc-grab: archived: the archive at " + s_archive->Address()
                      + (status == 429
                             ? " refuses requests for now (HTTP 429 Too Many Requests); try again later\n"
                             : " is not available for now (HTTP 503 Service Unavailable); try again later\n"));
    }
}

TEST_F(ArchivedCommand, ListReadsAGonePageFromTheArchive)
{
    const std::string page = s_site->Url(test::ArchivedSite::kPage);
    const std::string pageCapture = SecondCapture(test::ArchivedSite::kPage);
    const std::string time = pageCapture.substr(pageCapture.find("/web/") + 5, 14);
    const std::string readable = time.substr(0, 4) + "-" + time.substr(4, 2) + "-" + time.substr(6, 2) + " "
        + time.substr(8, 2) + ":" + time.substr(10, 2) + ":" + time.substr(12, 2);
    const auto list = WithArchive({"list", page});
    EXPECT_EQ(list.status, 0) << list.err;
    // The movies nearest the page's latest capture are those of the same crawl; never.swf keeps its address.
    EXPECT_EQ(list.out,
              SecondCapture("/games/packed.swf") + "\n" + s_site->Url(test::ArchivedSite::kNeverCrawled) + "\n"
                  + SecondCapture("/games/b.swf") + "\n" + SecondCapture("/games/a.swf") + "\n");
    EXPECT_EQ(list.err,
              "plumeroc-grab: " + page + " answered with HTTP status 404\nplumeroc-grab: listed from the "
                  + "archive's capture of " + page + " of " + readable + " (" + pageCapture
                  + "); 1 of its movies the archive never captured keep their live address\n");

    // Saved from the archive: the movie its site sent gzip-encoded comes decoded.
    const std::string file = m_scratch / "packed.swf";
    const auto save = WithArchive({"save", SecondCapture("/games/packed.swf"), file});
    EXPECT_EQ(save.status, 0) << save.err;
    EXPECT_EQ(test::ReadFile(file), s_site->MovieAt("/games/packed.swf"));
}

TEST_F(ArchivedCommand, ListAsksTheArchiveOnlyForAPageTheLiveWebDoesNotGive)
{
    test::LoopbackServer live([](httplib::Server& server) {
        server.Get("/page.html", [](const httplib::Request&, httplib::Response& response) {
            response.set_content("<embed src=\"live.swf\">", "text/html");
        });
    });
    const std::size_t asked = s_archive->CdxRequests().size();
    const auto answered = WithArchive({"list", live.Url("/page.html")});
    EXPECT_EQ(answered.status, 0) << answered.err;
    EXPECT_EQ(answered.out, live.Url("/live.swf") + "\n");
    EXPECT_EQ(answered.err, "");
    EXPECT_EQ(s_archive->CdxRequests().size(), asked);

    // Unreachable, and never archived: nothing listed, and both are said.
    const test::LoopbackSocket refusing(false);
    const std::string lost = refusing.Url("/lost.html");
    const auto nothing = WithArchive({"list", lost});
    EXPECT_EQ(nothing.status, 2);
    EXPECT_EQ(nothing.out, "");
    EXPECT_NE(nothing.err.find("plumeroc-grab: Cannot open " + lost + ": "), std::string::npos) << nothing.err;
    EXPECT_TRUE(nothing.err.ends_with("\nplumeroc-grab: the archive at " + s_archive->Address()
                                      + " holds no capture of " + lost + "\n"))
        << nothing.err;

    // An archive that refuses: the gone page's own 404 is read, and the refusal said in one line.
    s_archive->Refuse(429);
    const auto refused = WithArchive({"list", s_site->Url(test::ArchivedSite::kPage)});
    s_archive->Refuse(0);
    EXPECT_EQ(refused.status, 0);
    EXPECT_EQ(refused.out, "");
    EXPECT_EQ(refused.err,
              "plumeroc-grab: the archive at " + s_archive->Address()
                  + " refuses requests for now (HTTP 429 Too Many Requests); try again later\n");
}

} // namespace
