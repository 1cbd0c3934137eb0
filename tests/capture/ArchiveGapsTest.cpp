// What a web archive that warcio writes at test time names and does not hold: its page's movies and the files
// its movies load, held by whole 2xx records, revisits and redirects to held addresses; never by error answers,
// truncated records or redirects away; addresses matched as crawlers write them; the page read in bounded memory.
#include "capture/ArchiveGaps.h"
#include "support/ArchiveWriters.h"
#include "support/Files.h"
#include "support/PeakHeap.h"
#include "support/TempFolder.h"
#include "support/TestMovie.h"

#include <gtest/gtest.h>

namespace {

using capture::ArchivedAddressKey;
using Headers = std::vector<std::pair<std::string, std::string>>;

TEST(ArchivedAddressKey, AddressesWrittenTwoWaysForOneResourceMatchAndOthersDoNot)
{
    const std::string key = ArchivedAddressKey("http://example.org/a/b.swf?x=1");
    for (const char* same : {"HTTP://Example.ORG/a/b.swf?x=1", "http://example.org:80/a/b.swf?x=1",
                             "http://example.org/a/b.swf?x=1#start"}) {
        EXPECT_EQ(ArchivedAddressKey(same), key) << same;
    }
    for (const char* other :
         {"http://example.org/A/b.swf?x=1", "http://example.org/a/b.swf?x=2", "https://example.org/a/b.swf?x=1",
          "http://example.org:8080/a/b.swf?x=1", "http://example.org/a/b.swf"}) {
        EXPECT_NE(ArchivedAddressKey(other), key) << other;
    }
    EXPECT_EQ(ArchivedAddressKey("https://example.org:443"), ArchivedAddressKey("https://example.org/"));
    EXPECT_EQ(ArchivedAddressKey("http://example.org?q"), ArchivedAddressKey("http://example.org/?q"));
    EXPECT_EQ(ArchivedAddressKey("dns:example.org"), "dns:example.org");
}

TEST(ArchiveGaps, WhatThePageAndItsMoviesNameThatNoWholeAnswerHolds)
{
    const test::TempFolder temp;
    test::MovieRecipe loads;
    loads.loadIntoLevel1 = "levels/one.swf";
    const std::string movie = test::MakeMovie(loads);
    const std::string plain = test::MakeMovie({});
    // What lies past the page's first MiB is not read.
    const std::string page = "<embed src=\"games/a.swf\"><embed src=\"missing.swf\"><embed src=\"later.swf\">"
                             "<object data=\"moved.swf\"></object><embed src=\"old.swf\"><embed src=\"gone.swf?x=1\">"
                             "<embed src=\"Captured.SWF?v=3\"><embed src=\"truncated.swf\">"
        + std::string(size_t{16} << 20, ' ') + "<embed src=\"beyond.swf\">";
    const Headers flash{{"Content-Type", "application/x-shockwave-flash"}};
    const Headers html{{"Content-Type", "text/html; charset=utf-8"}, {"Content-Encoding", "gzip"}};
    const std::string file = temp / "site.warc";
    test::RunWarcio(
        file, "WARC/1.1", false,
        {{"response", "http://example.org/index.html", "2010-01-01T00:00:00Z", 200, html, test::GzipEncoded(page)},
         {"response", "http://example.org/games/a.swf", "2010-01-01T00:00:01Z", 200, flash, movie},
         {"revisit", "http://example.org/later.swf", "2010-01-01T00:00:02Z", 200, flash, "", 1, {"digest"}},
         {"response", "http://example.org/missing.swf", "2010-01-01T00:00:03Z", 404, flash, plain},
         {"response", "http://example.org/moved.swf", "2010-01-01T00:00:04Z", 301, {{"Location", "/games/a.swf"}}, ""},
         {"response",
          "http://example.org/old.swf",
          "2010-01-01T00:00:05Z",
          302,
          {{"Location", "http://other.example/new.swf"}},
          ""},
         {"response", "http://example.org/gone.swf?x=1", "2010-01-01T00:00:06Z", 404, flash, plain},
         {"response", "http://EXAMPLE.org:80/Captured.SWF?v=9", "2010-01-01T00:00:07Z", 200, flash, plain},
         {"response",
          "http://example.org/truncated.swf",
          "2010-01-01T00:00:08Z",
          200,
          flash,
          plain,
          -1,
          {},
          {{"WARC-Truncated", "length"}}}});

    capture::ArchiveGaps gaps;
    auto input = cache::ArchiveInput::Open(file);
    ASSERT_TRUE(input);
    const std::size_t before = test::HeapInUse();
    test::ResetPeakHeap();
    const auto result = gaps.ReadRecords(*input, file);
    EXPECT_LT(test::PeakHeap() - before, std::size_t{4} << 20) << "a 16 MiB page is read in a bounded buffer";
    EXPECT_EQ(result.records, 9u);
    EXPECT_EQ(result.damaged, 0u);
    std::vector<std::string> passedOver;
    gaps.ReadMovies([&](const std::string& address) { passedOver.push_back(address); });
    EXPECT_TRUE(passedOver.empty());

    std::vector<std::string> rows;
    for (const auto& gap : gaps.Gaps())
        rows.push_back(gap.address + ' ' + gap.how + ' ' + gap.namedIn);
    const std::string index = "http://example.org/index.html";
    const std::vector<std::string> expected{
        // The page's movies in the finders' order, then the file its movie loads, against the page and the movie.
        "http://example.org/gone.swf page " + index,
        "http://example.org/missing.swf page " + index,
        "http://other.example/new.swf page " + index,
        "http://example.org/truncated.swf page " + index,
        "http://example.org/levels/one.swf action http://example.org/games/a.swf",
        "http://example.org/games/levels/one.swf action http://example.org/games/a.swf",
    };
    EXPECT_EQ(rows, expected);
}

} // namespace
