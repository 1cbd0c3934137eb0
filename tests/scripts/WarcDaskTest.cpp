// scripts/warc_dask.py on a local Dask cluster of two workers over WARC files wget and warcio write at test
// time: one report of the movies that plumeroc-grab warc gives file by file, each once, first capture first,
// with how often it was captured; a summary that names the file that could not be read.
#include "support/ArchiveWriters.h"
#include "support/Files.h"
#include "support/RunGrab.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <map>
#include <regex>

namespace {

std::vector<std::string> Matches(const std::string& text, const std::string& pattern)
{
    std::vector<std::string> found;
    const std::regex expression(pattern);
    for (std::sregex_iterator it(text.begin(), text.end(), expression), end; it != end; ++it)
        found.push_back((*it)[1]);
    return found;
}

TEST(WarcDask, MergesThePerFileMoviesOnceEachInTheOrderFirstCaptured)
{
    const test::TempFolder temp;
    const test::MovieSite site;
    test::RunWget(site.Addresses(), temp / "archives", "a-crawl", true);
    test::RunWget(site.Addresses(), temp / "archives", "b-crawl", false);
    const std::string movie = "CWS\x08" + test::PatternBody(2000);
    test::RunWarcio(temp / "archives/c-warcio.warc.gz", "WARC/1.1", true,
                    {{"response", "http://example.org/a.swf", "2011-01-01T00:00:00Z", 200, {}, movie},
                     {"revisit", "http://example.org/a.swf", "2012-01-01T00:00:00Z", 200, {}, "", 0, {"id"}}});
    const std::string page = temp.Write("page.warc", "<html>not an archive</html>");

    // What plumeroc-grab says file by file, in the order the job walks them.
    std::vector<std::string> digests;
    for (const char* name : {"a-crawl.warc.gz", "b-crawl.warc", "c-warcio.warc.gz"}) {
        const auto run = test::RunGrab({"warc", "--json", temp / ("archives/" + std::string(name))}, temp.Path());
        ASSERT_EQ(run.status, 0) << run.err;
        for (const std::string& digest : Matches(run.out, "\"sha256\":\"([0-9a-f]{64})\""))
            digests.push_back(digest);
    }
    std::vector<std::string> firstSeen;
    std::map<std::string, int> captures;
    for (const std::string& digest : digests)
        if (captures[digest]++ == 0)
            firstSeen.push_back(digest);
    ASSERT_EQ(firstSeen.size(), site.Movies().size() + 1);

    const std::string report = temp / "report.jsonl";
    const auto job = test::RunProgram({"/usr/bin/python3", PLUMEROC_SOURCE_DIR "/scripts/warc_dask.py", "--workers",
                                       "2", "--grab", PLUMEROC_GRAB_PATH, "--output", report, temp / "archives", page},
                                      temp.Path());
    EXPECT_EQ(job.status, 2) << job.err;
    const std::string merged = test::ReadFile(report);
    EXPECT_EQ(Matches(merged, "\"sha256\": \"([0-9a-f]{64})\""), firstSeen);
    std::vector<std::string> counts;
    for (const std::string& digest : firstSeen)
        counts.push_back(std::to_string(captures[digest]));
    EXPECT_EQ(Matches(merged, "\"captures\": (\\d+)"), counts);
    EXPECT_EQ(Matches(job.out, "\"files\": (\\d+), \"failed\""), std::vector<std::string>{"4"});
    EXPECT_EQ(Matches(job.out, "\"failed\": \\[\\{\"file\": \"([^\"]+)\", \"status\": 2"),
              std::vector<std::string>{page});
    EXPECT_EQ(Matches(job.out, "\"records\": (\\d+)"), std::vector<std::string>{std::to_string(digests.size())});
    EXPECT_EQ(Matches(job.out, "\"movies\": (\\d+)"), std::vector<std::string>{std::to_string(firstSeen.size())});
    EXPECT_EQ(Matches(job.out, "\"workers\": (\\d+)"), std::vector<std::string>{"2"});
}

} // namespace
