// plumeroc-grab warc over WARC files wget writes at test time: rows built from what the site served, the
// offsets and dates of wget's own CDX index and coreutils' digests; the same as NUL-ended rows, from standard
// input, and as JSON lines that Python reads back byte for byte; the exit statuses.
#include "support/ArchiveWriters.h"
#include "support/Files.h"
#include "support/RunGrab.h"
#include "support/TempFolder.h"

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
    const std::string usage = " (usage: plumeroc-grab warc [-0 | --json] FILE...)\n";
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

} // namespace
