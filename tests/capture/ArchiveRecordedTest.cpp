// The archive's client against the real Wayback Machine's recorded answers and real crawls, from
// ../shared/data/archives: the CDX text answers recorded by edgi's `wayback` client (a query of fifteen
// pages followed through its resume keys, a blocked site, broken lines), the 2008 Heritrix crawl of
// archive.org whose pages embed Flash players (a gone page read from the archive, its player saved from
// there and checked against the digest Heritrix wrote), and pywb's index of a 2014 recording with seven
// Flash captures of YouTube's player.
#include "capture/ArchiveRequests.h"
#include "support/ArchiveWriters.h"
#include "support/Files.h"
#include "support/Loopback.h"
#include "support/RunGrab.h"
#include "support/SharedData.h"
#include "support/TempFolder.h"
#include "support/WaybackServer.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

class ArchiveRecorded : public testing::Test {
protected:
    void SetUp() override
    {
        test::ClearProxyEnvironment();
        capture::SetCdxInterval(std::chrono::milliseconds(0));
    }
    test::TempFolder m_scratch;
};

TEST_F(ArchiveRecorded, RecordedCdxAnswersAreReadPageByPage)
{
    PLUMEROC_SHARED_DATA_OR_SKIP(edgi, "archives/cdx/edgi-wayback");
    test::WaybackServer archive;
    archive.AddRecording(edgi + "/cassettes/test_search_multipage.yaml");
    archive.AddRecording(edgi + "/cassettes/test_search_raises_for_blocked_urls.yaml");

    // Fourteen pages of 25 captures, each with the key of the next, then an empty page (SOURCES.md). The
    // server answers only a request whose key is the one the recorded client sent.
    const capture::CdxSearch cnn = capture::SearchCdx(archive.Address(), {.url = "cnn.com", .limit = 25});
    EXPECT_EQ(cnn.problem, "");
    EXPECT_EQ(cnn.pages, 15u);
    EXPECT_EQ(cnn.captures.size(), 350u);
    EXPECT_EQ(archive.CdxRequests().size(), 15u);
    EXPECT_TRUE(std::ranges::all_of(cnn.captures, [](const wayback::CdxCapture& capture) {
        return capture.urlkey == "com,cnn)/" && capture.timestamp >= "20010410" && capture.timestamp < "20010511";
    }));
    EXPECT_TRUE(std::ranges::is_sorted(cnn.captures, {}, &wayback::CdxCapture::timestamp));

    const capture::CdxSearch blocked =
        capture::SearchCdx(archive.Address(), {.url = "https://nationalpost.com/health", .limit = 1000});
    EXPECT_EQ(blocked.problem,
              "the archive at " + archive.Address()
                  + " refused the request (HTTP 403: org.archive.util.io.RuntimeIOException: "
                    "org.archive.wayback.exception.AdministrativeAccessControlException: Blocked Site Error)");
    EXPECT_TRUE(blocked.captures.empty());
}

TEST_F(ArchiveRecorded, BrokenLinesOfRealAnswersAreLeftOut)
{
    PLUMEROC_SHARED_DATA_OR_SKIP(files, "archives/cdx/edgi-wayback/test_files");
    // Five lines each. Impossible dates are still captures the archive can be asked for; an original that
    // is no address is not; a length the index lacks stays "-".
    const wayback::CdxPage dates = wayback::ReadCdxPage(test::ReadFile(files + "/bad_timestamp_cdx.txt"));
    EXPECT_EQ(dates.captures.size(), 5u);
    EXPECT_EQ(dates.captures[3].timestamp, "20000012170449");
    const wayback::CdxPage broken = wayback::ReadCdxPage(test::ReadFile(files + "/malformed_cdx.txt"));
    EXPECT_EQ(broken.captures.size(), 4u);
    EXPECT_EQ(broken.unreadable, 1u);
    EXPECT_TRUE(std::ranges::none_of(broken.captures, [](const wayback::CdxCapture& capture) {
        return capture.original == "some/not/even/url/thing";
    }));
    const wayback::CdxPage lengths = wayback::ReadCdxPage(test::ReadFile(files + "/zero_length_cdx.txt"));
    ASSERT_EQ(lengths.captures.size(), 5u);
    EXPECT_EQ(lengths.captures.back().length, "-");
    EXPECT_EQ(lengths.captures.front().length, "24186");
    EXPECT_EQ(lengths.resumeKey, "");
}

TEST_F(ArchiveRecorded, AGoneArchiveOrgPageOf2008ComesFromTheArchiveWithItsPlayer)
{
    PLUMEROC_SHARED_DATA_OR_SKIP(ipwb, "archives/warc/ipwb");
    test::WaybackServer archive;
    archive.AddWarc(ipwb + "/IAH-20080430204825-00000-blackbook.warc.gz");
    // Every request for the real web ends at a proxy that answers 502; the archive is on loopback.
    const test::DeadWebProxy web;
    const std::vector<std::string> environment{"PATH=/usr/bin:/bin", "HOME=" + m_scratch.Path(),
                                               "http_proxy=" + web.Url(), "https_proxy=" + web.Url(),
                                               "no_proxy=127.0.0.1"};
    const std::string page = "http://www.archive.org/details/no_thoroughfare_librivox";
    const auto list = test::RunGrab({"--archive", archive.Address(), "list", page}, m_scratch.Path(), {}, environment);
    EXPECT_EQ(web.Asked(), std::vector<std::string>{page});
    EXPECT_EQ(list.status, 0) << list.err;
    const std::string movie = "http://www.archive.org/audio/xspf_player.swf?playlist_url=http%3A%2F%2Fwww.archive.org"
                              "%2Faudio%2Fxspf-maker.php%3Fidentifier%3Dno_thoroughfare_librivox%26playlist%3Dhttp%253A"
                              "%252F%252Fwww.archive.org%252Fdownload%252Fno_thoroughfare_librivox%252Fno_thoroughfare_"
                              "librivox_64kb.m3u&autoload=true";
    // The page of 20:49:35 names the player the crawl fetched two seconds later.
    const std::string capture = archive.Address() + "/web/20080430204937id_/" + movie;
    EXPECT_EQ(list.out, capture + "\n");
    EXPECT_NE(list.err.find("listed from the archive's capture of " + page + " of 2008-04-30 20:49:35"),
              std::string::npos)
        << list.err;

    const std::string file = m_scratch / "player.swf";
    const auto save =
        test::RunGrab({"--archive", archive.Address(), "save", capture, file}, m_scratch.Path(), {}, environment);
    EXPECT_EQ(save.status, 0) << save.err;
    const auto captures = archive.Captures();
    const auto indexed = std::ranges::find_if(captures, [&](const test::IndexedCapture& line) {
        return line.original == movie && line.timestamp == "20080430204937";
    });
    ASSERT_NE(indexed, captures.end());
    EXPECT_EQ(test::DigestsByTools(test::ReadFile(file)).sha1, indexed->digest); // Heritrix's WARC-Payload-Digest
    EXPECT_EQ(test::ReadFile(file).substr(0, 3), "CWS");
}

TEST_F(ArchiveRecorded, TheFlashCapturesOfAPywbIndexAreListed)
{
    PLUMEROC_SHARED_DATA_OR_SKIP(samples, "archives/cdx/pywb-samples");
    test::WaybackServer archive;
    archive.AddIndex(samples + "/monster.cdx", samples);
    // The expected rows as Python reads the index: its seven Flash captures, by key.
    const auto expected = test::RunProgram(
        {"/usr/bin/python3", "-c",
         "import sys\n"
         "rows = []\n"
         "for line in open(sys.argv[1]):\n"
         "    f = line.split(' ')\n"
         "    if len(f) == 11 and f[3] == 'application/x-shockwave-flash' and f[4] == '200':\n"
         "        rows.append((f[0], sys.argv[2] + '/web/' + f[1] + 'id_/' + f[2], f[2], f[1], f[5], f[8]))\n"
         "for row in sorted(rows):\n"
         "    print('\\t'.join(row[1:]))\n",
         samples + "/monster.cdx", archive.Address()},
        m_scratch.Path());
    ASSERT_EQ(expected.status, 0) << expected.err;
    const auto listed = test::RunGrab({"--archive", archive.Address(), "archived", "youtube.com"}, m_scratch.Path());
    EXPECT_EQ(listed.status, 0) << listed.err;
    EXPECT_EQ(std::ranges::count(listed.out, '\n'), 7);
    EXPECT_EQ(listed.out, expected.out);
}

} // namespace
