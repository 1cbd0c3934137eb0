// plumeroc-grab warc over WARC files wget writes at test time: rows built from what the site served, the
// offsets and dates of wget's own CDX index and coreutils' digests; the same as NUL-ended rows, from standard
// input, and as JSON lines that Python reads back byte for byte; the exit statuses. warc --missing over a crawl
// that left out what its page and movie name; cache and copy over the records' rows.
#include "support/ArchiveWriters.h"
#include "support/Files.h"
#include "support/Loopback.h"
#include "support/RunGrab.h"
#include "support/TempFolder.h"
#include "support/TestMovie.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

namespace {

class WarcCommand : public testing::Test {
protected:
    static void SetUpTestSuite() { s_crawl = std::make_unique<test::CrawledSite>(); }
    static void TearDownTestSuite() { s_crawl.reset(); }

    // The rows of the crawl's movies for the file named `file`, each ended by `end`.
    static std::string ExpectedRows(const std::string& file, char end, std::size_t count = std::string::npos)
    {
        std::string rows;
        for (const auto& movie : s_crawl->site.Movies()) {
            if (count-- == 0)
                break;
            for (const auto& row : test::ReadWgetCdx(s_crawl->gzip.cdx)) {
                if (row.address != movie.address)
                    continue;
                const auto digests = test::DigestsByTools(movie.movie);
                rows += movie.address + '\t' + row.date + '\t' + std::to_string(movie.movie.size()) + '\t'
                    + digests.sha256 + '\t' + digests.sha1 + '\t' + file + "/@" + std::to_string(row.offset) + end;
            }
        }
        return rows;
    }

    test::TempFolder m_scratch;
    static inline std::unique_ptr<test::CrawledSite> s_crawl;
};

TEST_F(WarcCommand, RowsNulEndedRowsStandardInputAndJsonSayTheSame)
{
    const std::string& file = s_crawl->gzip.warc;
    const auto lines = test::RunGrab({"warc", file}, m_scratch.Path());
    EXPECT_EQ(lines.status, 0) << lines.err;
    EXPECT_EQ(lines.err, "");
    EXPECT_EQ(lines.out, ExpectedRows(file, '\n'));

    const auto ended = test::RunGrab({"warc", "-0", file}, m_scratch.Path());
    EXPECT_EQ(ended.out, ExpectedRows(file, '\0'));

    const auto piped = test::RunGrab({"warc", "-"}, m_scratch.Path(), test::ReadFile(file));
    EXPECT_EQ(piped.status, 0) << piped.err;
    EXPECT_EQ(piped.out, ExpectedRows("-", '\n'));

    // A file name that is no UTF-8: Python gets its bytes back from the JSON with surrogateescape.
    const std::string latin = m_scratch / "caf\xe9.warc.gz";
    std::filesystem::copy_file(file, latin);
    const auto json = test::RunGrab({"warc", "--json", latin}, m_scratch.Path());
    EXPECT_EQ(json.status, 0) << json.err;
    const auto python = test::RunProgram(
        {"/usr/bin/python3", "-c",
         "import json, sys\n"
         "for line in sys.stdin:\n"
         "    o = json.loads(line)\n"
         "    row = [o['address'], o['date'], str(o['size']), o['sha256'], o['sha1'], o['file'] + '/' + o['record']]\n"
         "    sys.stdout.buffer.write('\\t'.join(row).encode('utf-8', 'surrogateescape') + b'\\n')\n"},
        m_scratch.Path(), json.out);
    EXPECT_EQ(python.status, 0) << python.err;
    EXPECT_EQ(python.out, ExpectedRows(latin, '\n'));
}

TEST_F(WarcCommand, ExitStatusesSayWhatCouldNotBeRead)
{
    const std::string& file = s_crawl->gzip.warc;
    const std::string page = m_scratch.Write("page.html", "<html><embed src=a.swf></html>");
    // Cut in the middle of the large movie's member: the movies before it stay.
    const std::string whole = test::ReadFile(file);
    const std::uint64_t large = s_crawl->Offset(s_crawl->gzip, "/large.swf");
    const std::uint64_t next = s_crawl->Offset(s_crawl->gzip, "/mislabelled.swf");
    const std::string cut = m_scratch.Write("cut.warc.gz", whole.substr(0, (large + next) / 2));
    const std::string missing = m_scratch / "absent.warc";

    struct Case {
        std::vector<std::string> args;
        int status;
        std::string out, err;
    };
    const std::string usage = " (usage: plumeroc-grab warc [--missing] [-0 | --json] FILE...)\n";
    const std::vector<Case> cases{
        {{"warc"}, 1, "", "plumeroc-grab: no FILE given" + usage},
        {{"warc", "-0", "--json", file}, 1, "", "plumeroc-grab: -0 and --json go one at a time" + usage},
        {{"warc", "--all", file}, 1, "", "plumeroc-grab: unknown option '--all'" + usage},
        {{"warc", missing, file}, 2, ExpectedRows(file, '\n'), "plumeroc-grab: warc: cannot open " + missing + "\n"},
        {{"warc", page}, 2, "", "plumeroc-grab: warc: " + page + ": no WARC or ARC record\n"},
        {{"warc", cut},
         0,
         ExpectedRows(cut, '\n', 5),
         "plumeroc-grab: warc: " + cut + ": 1 damaged or cut-short records left out\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        const auto run = test::RunGrab(c.args, m_scratch.Path());
        EXPECT_EQ(run.status, c.status);
        EXPECT_EQ(run.out, c.out);
        EXPECT_EQ(run.err, c.err);
    }
    EXPECT_EQ(test::RunGrab({"warc", file}, m_scratch.Path(), {}, std::nullopt, "/dev/full").status, 3);
}

// The tool's wiring for the rows the core's tests check: one row per movie record of both files, and copy of one.
TEST_F(WarcCommand, CacheListsTheRecordsRowsAndCopySavesTheirMovies)
{
    const auto listed = test::RunGrab({"cache", "--folder", s_crawl->folder.Path()}, m_scratch.Path());
    ASSERT_EQ(listed.status, 0) << listed.err;
    EXPECT_EQ(std::count(listed.out.begin(), listed.out.end(), '\n'),
              static_cast<std::ptrdiff_t>(2 * s_crawl->site.Movies().size()));
    const std::string path = s_crawl->gzip.warc + "/@" + std::to_string(s_crawl->Offset(s_crawl->gzip, "/packed.swf"));
    EXPECT_NE(listed.out.find("packed.swf\t" + std::to_string(s_crawl->site.Movies()[1].movie.size()) + '\t' + path
                              + '\t' + s_crawl->site.Url("/packed.swf") + '\n'),
              std::string::npos)
        << listed.out;
    const auto copied = test::RunGrab({"copy", path, m_scratch / "saved.swf"}, m_scratch.Path());
    EXPECT_EQ(copied.status, 0) << copied.err;
    EXPECT_EQ(test::ReadFile(m_scratch / "saved.swf"), s_crawl->site.Movies()[1].movie);
    const auto notThere = test::RunGrab({"copy", s_crawl->gzip.warc + "/@1", m_scratch / "no.swf"}, m_scratch.Path());
    EXPECT_EQ(notThere.status, 2);
    EXPECT_EQ(notThere.err, "plumeroc-grab: read file can not open !\n");
}

// A site whose page embeds a movie that loads files, crawled without some of what they name.
class WarcMissing : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        test::ClearProxyEnvironment();
        s_refusing = std::make_unique<test::LoopbackSocket>(false);
        s_site = std::make_unique<test::LoopbackServer>([](httplib::Server& server) {
            const auto answer = [](const std::string& body, const char* type, int status = 200) {
                return [body, type, status](const httplib::Request&, httplib::Response& response) {
                    response.status = status;
                    response.set_content(body, type);
                };
            };
            server.Get("/site/page.html",
                       answer("<object data=\"game/loads.swf\"><param name=\"flashvars\" value=\"music=sound/"
                              "theme.mp3\"></object><embed src=\"gone.swf\"><embed src=\"moved.swf\">"
                              "<embed src=\"home.swf\">",
                              "text/html"));
            server.Get("/site/game/loads.swf",
                       answer(test::ReadFile(PLUMEROC_MADE_MOVIES_DIR "/loads.swf"), "application/x-shockwave-flash"));
            server.Get("/site/levels/intro.swf", answer(test::MakeMovie({}), "application/x-shockwave-flash"));
            server.Get("/site/gone.swf", answer("gone", "text/html", 404));
            server.Get("/site/moved.swf", [](const httplib::Request&, httplib::Response& response) {
                response.set_redirect(s_refusing->Url("/away.swf"));
            });
            server.Get("/site/home.swf", [](const httplib::Request&, httplib::Response& response) {
                response.set_redirect("/site/levels/intro.swf", 301);
            });
        });
        s_folder = std::make_unique<test::TempFolder>();
        std::vector<std::string> crawl;
        for (const char* path : {"/site/page.html", "/site/game/loads.swf", "/site/levels/intro.swf", "/site/gone.swf",
                                 "/site/moved.swf", "/site/home.swf"})
            crawl.push_back(s_site->Url(path));
        s_warc = test::RunWget(crawl, s_folder->Path(), "site", true).warc;
    }
    static void TearDownTestSuite()
    {
        s_folder.reset();
        s_site.reset();
        s_refusing.reset();
    }

    // What the page and its movie name that the crawl does not hold, in the order they are named: the page's
    // movies (in byte order) with the FlashVars it gives them, a redirect's target for its address, then the
    // movie's files, against the page and then the movie. Those held, and patterns, are not listed.
    static std::vector<std::string> Expected()
    {
        const std::string site = s_site->Url("/site/");
        const std::string page = site + "page.html";
        const std::string movie = site + "game/loads.swf";
        return {site + "sound/theme.mp3\tflashvars\t" + page,
                site + "game/sound/theme.mp3\tflashvars\t" + page,
                site + "gone.swf\tpage\t" + page,
                s_refusing->Url("/away.swf") + "\tpage\t" + page,
                site + "data/config.xml?v=2\tabc\t" + movie,
                site + "game/data/config.xml?v=2\tabc\t" + movie,
                "http://cdn.example.com/music/theme.mp3\tabc\t" + movie};
    }

    static std::string Rows(const std::vector<std::string>& rows, char end)
    {
        std::string joined;
        for (const std::string& row : rows)
            joined.append(row).append(1, end);
        return joined;
    }

    test::TempFolder m_scratch;
    static inline std::unique_ptr<test::LoopbackSocket> s_refusing;
    static inline std::unique_ptr<test::LoopbackServer> s_site;
    static inline std::unique_ptr<test::TempFolder> s_folder;
    static inline std::string s_warc;
};

TEST_F(WarcMissing, ListsWhatThePageAndItsMovieNameThatTheCrawlDoesNotHold)
{
    const auto lines = test::RunGrab({"warc", "--missing", s_warc}, m_scratch.Path());
    EXPECT_EQ(lines.status, 0) << lines.err;
    EXPECT_EQ(lines.err, "");
    EXPECT_EQ(lines.out, Rows(Expected(), '\n'));

    const auto ended = test::RunGrab({"warc", "-0", "--missing", s_warc}, m_scratch.Path());
    EXPECT_EQ(ended.out, Rows(Expected(), '\0'));

    const auto json = test::RunGrab({"warc", "--missing", "--json", s_warc}, m_scratch.Path());
    const auto python = test::RunProgram({"/usr/bin/python3", "-c",
                                          "import json, sys\n"
                                          "for line in sys.stdin:\n"
                                          "    o = json.loads(line)\n"
                                          "    print('\\t'.join([o['address'], o['how'], o['named_in']]))\n"},
                                         m_scratch.Path(), json.out);
    EXPECT_EQ(python.status, 0) << python.err;
    EXPECT_EQ(python.out, Rows(Expected(), '\n'));

    // Files that cannot be read are said and the others still count; standard input cannot be read twice.
    const std::string missing = m_scratch / "absent.warc.gz";
    const auto absent = test::RunGrab({"warc", "--missing", missing, s_warc}, m_scratch.Path());
    EXPECT_EQ(absent.status, 2);
    EXPECT_EQ(absent.out, lines.out);
    EXPECT_EQ(absent.err, "plumeroc-grab: warc: cannot open " + missing + "\n");
    const auto piped = test::RunGrab({"warc", "--missing", "-"}, m_scratch.Path(), test::ReadFile(s_warc));
    EXPECT_EQ(piped.status, 1);
    EXPECT_EQ(piped.out, "");
}

} // namespace
