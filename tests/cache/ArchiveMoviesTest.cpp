// The movies of WARC files that wget and warcio write at test time: found with the digests coreutils give, at
// the offsets wget's own CDX index gives, read back byte for byte from there; damage loses only the record it
// hits; revisits take the movie of the record they name.
#include "cache/ArchiveMovies.h"
#include "support/ArchiveWriters.h"
#include "support/Files.h"
#include "support/PeakHeap.h"
#include "support/RunGrab.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

using cache::ArchiveMovie;
using cache::RecordPosition;

struct Scanned {
    std::vector<ArchiveMovie> movies;
    std::vector<std::string> addresses;
    std::uint64_t damaged = 0;
};

// A fresh scan of `file`, or one that goes on from the files `scan` read before.
Scanned Scan(const std::string& file, cache::ArchiveMovieScan* going = nullptr)
{
    cache::ArchiveMovieScan fresh;
    cache::ArchiveMovieScan& scan = going != nullptr ? *going : fresh;
    Scanned scanned;
    auto input = cache::ArchiveInput::Open(file);
    EXPECT_TRUE(input) << file;
    if (input)
        scanned.damaged = scan.Scan(*input, file,
                                    [&](const ArchiveMovie& movie) {
                                        scanned.movies.push_back(movie);
                                        scanned.addresses.push_back(movie.address);
                                        return true;
                                    })
                              .damaged;
    return scanned;
}

std::string ReadBack(const ArchiveMovie& movie)
{
    std::string bytes;
    const auto read = cache::StreamArchiveMovie(movie.payloadFile, movie.payloadPosition, [&](std::string_view piece) {
        bytes.append(piece);
        return true;
    });
    EXPECT_EQ(read, cache::BodyResult::Done) << movie.address;
    return bytes;
}

class WgetCrawl : public testing::Test {
protected:
    static void SetUpTestSuite() { s_crawl = std::make_unique<test::CrawledSite>(); }
    static void TearDownTestSuite() { s_crawl.reset(); }

    // The served movies' addresses, less those of `lost` paths.
    static std::vector<std::string> MovieAddresses(const std::vector<std::string>& lost = {})
    {
        std::vector<std::string> addresses;
        for (const auto& movie : s_crawl->site.Movies())
            addresses.push_back(movie.address);
        for (const std::string& path : lost)
            std::erase(addresses, s_crawl->site.Url(path));
        return addresses;
    }

    static inline std::unique_ptr<test::CrawledSite> s_crawl;
};

TEST_F(WgetCrawl, MoviesAreTheServedOnesWithToolDigestsAtWgetsOffsets)
{
    for (const test::WgetArchive* archive : {&s_crawl->gzip, &s_crawl->plain}) {
        SCOPED_TRACE(archive->warc);
        const std::size_t heapBefore = test::HeapInUse();
        test::ResetPeakHeap();
        const Scanned scanned = Scan(archive->warc);
        // A 3 MiB movie passes through; neither it nor the file is kept.
        EXPECT_LT(test::PeakHeap() - heapBefore, std::size_t{2} << 20);
        EXPECT_EQ(scanned.addresses, MovieAddresses());
        EXPECT_EQ(scanned.damaged, 0u);
        for (const ArchiveMovie& movie : scanned.movies) {
            SCOPED_TRACE(movie.address);
            const std::string& served = s_crawl->site.MovieAt(movie.address);
            const auto tools = test::DigestsByTools(served);
            EXPECT_EQ(movie.size, served.size());
            EXPECT_EQ(movie.digests.sha256, tools.sha256);
            EXPECT_EQ(movie.digests.sha1, tools.sha1);
            EXPECT_EQ(movie.date.size(), 14u);
            EXPECT_EQ(movie.head.Value("Content-Type"), "application/x-shockwave-flash");
            EXPECT_EQ(ReadBack(movie), served);
            for (const auto& row : test::ReadWgetCdx(archive->cdx)) {
                if (row.address != movie.address)
                    continue;
                EXPECT_EQ(movie.position, (RecordPosition{row.offset, 0}));
                // wget digests the payload as it came: the movie itself where nothing was encoded.
                if (movie.address.ends_with("/plain.swf") || movie.address.ends_with("/large.swf")) {
                    EXPECT_EQ(row.digest, movie.digests.sha1);
                }
            }
        }
    }
}

TEST_F(WgetCrawl, DamageLosesOnlyTheRecordItHitsAndWholeOrSplitGzipReadsTheSame)
{
    const std::string plain = test::ReadFile(s_crawl->plain.warc);
    const std::string gzip = test::ReadFile(s_crawl->gzip.warc);
    const std::uint64_t cut = s_crawl->Offset(s_crawl->plain, "/large.swf") + (1u << 20);
    const auto withLength = [&](std::int64_t change) {
        const std::size_t at = plain.find("Content-Length: ", s_crawl->Offset(s_crawl->plain, "/packed.swf")) + 16;
        const std::size_t end = plain.find('\r', at);
        return plain.substr(0, at) + std::to_string(std::stoll(plain.substr(at, end - at)) + change)
            + plain.substr(end);
    };
    std::string flipped = gzip;
    for (std::size_t i = s_crawl->Offset(s_crawl->gzip, "/chunked.swf") + 200, n = 0; n < 16; ++i, ++n)
        flipped[i] = static_cast<char>(~flipped[i]);
    const std::uint64_t between = s_crawl->Offset(s_crawl->gzip, "/missing.swf");

    const test::TempFolder temp;
    test::WriteFile(temp / "head", plain.substr(0, cut));
    test::WriteFile(temp / "tail", plain.substr(cut));
    ASSERT_EQ(test::RunProgram({"gzip", temp / "head", temp / "tail"}, temp.Path()).status, 0);
    const std::string head = test::ReadFile(temp / "head.gz");
    const std::string split = temp.Write("split.warc.gz", head + test::ReadFile(temp / "tail.gz"));
    // Named .warc though gzip, as some writers name them.
    const std::string whole = temp / "whole.warc";
    ASSERT_EQ(test::RunProgram({"sh", "-c", "gzip -c \"$0\" > \"$1\"", s_crawl->plain.warc, whole}, temp.Path()).status,
              0);

    struct Case {
        std::string title, file;
        std::vector<std::string> lost;
        std::uint64_t damaged;
    };
    const std::vector<Case> cases{
        {"cut inside the large movie",
         temp.Write("cut.warc", plain.substr(0, cut)),
         {"/large.swf", "/mislabelled.swf"},
         1},
        {"a length too short", temp.Write("short.warc", withLength(-7)), {"/packed.swf"}, 1},
        {"a length too long", temp.Write("long.warc", withLength(+100)), {"/packed.swf"}, 1},
        {"bytes flipped inside a member", temp.Write("flipped.warc.gz", flipped), {"/chunked.swf"}, 1},
        {"no gzip between members",
         temp.Write("garbage.warc.gz", gzip.substr(0, between) + "no member" + gzip.substr(between)),
         {},
         1},
        {"the whole file one member", whole, {}, 0},
        {"a record over two members", split, {}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        const Scanned scanned = Scan(c.file);
        EXPECT_EQ(scanned.addresses, MovieAddresses(c.lost));
        EXPECT_EQ(scanned.damaged, c.damaged);
        for (const ArchiveMovie& movie : scanned.movies)
            EXPECT_EQ(ReadBack(movie), s_crawl->site.MovieAt(movie.address)) << movie.address;
    }

    // Inside one member a record's place is the member's and its distance into the decompressed bytes.
    const Scanned inWhole = Scan(whole);
    const Scanned inSplit = Scan(split);
    ASSERT_EQ(inWhole.movies.size(), inSplit.movies.size());
    for (std::size_t i = 0; i < inWhole.movies.size(); ++i) {
        const std::uint64_t offset =
            s_crawl->Offset(s_crawl->plain, inWhole.addresses[i].substr(inWhole.addresses[i].find('/', 8)));
        EXPECT_EQ(inWhole.movies[i].position, (RecordPosition{0, offset}));
        const RecordPosition expected =
            offset < cut ? RecordPosition{0, offset} : RecordPosition{head.size(), offset - cut};
        EXPECT_EQ(inSplit.movies[i].position, expected);
    }
}

TEST(ArchiveRevisits, TakeTheMovieOfTheRecordTheyNameInTheFileOrAnEarlierOne)
{
    const test::TempFolder temp;
    const std::string movie = "FWS\x08" + test::PatternBody(3000);
    const std::string page = "<html><embed src=a.swf></html>";
    const std::vector<std::pair<std::string, std::string>> flash{{"Content-Type", "application/x-shockwave-flash"}};
    const std::string file = temp / "warcio.warc.gz";
    test::RunWarcio(file, "WARC/1.1", true,
                    {{"response", "http://example.org/a.swf", "2009-01-02T03:04:05.123456Z", 200, flash, movie},
                     {"resource", "http://example.org/b.swf", "2009-01-02T03:04:06Z", 0, {}, "CWS\x09" + page},
                     {"response", "http://example.org/", "2009-01-02T03:04:07Z", 200, {}, page},
                     {"revisit", "http://example.org/a.swf", "2010-01-01T00:00:01Z", 200, flash, "", 0, {"id"}},
                     {"revisit", "http://example.org/a.swf", "2010-01-01T00:00:02Z", 200, flash, "", 0, {"capture"}},
                     {"revisit", "http://example.org/a.swf", "2010-01-01T00:00:03Z", 200, flash, "", 0, {"digest"}},
                     {"revisit", "http://example.org/", "2010-01-01T00:00:04Z", 200, {}, "", 2, {"id", "digest"}},
                     {"response", "http://example.org/gone.swf", "2010-01-01T00:00:05Z", 404, flash, movie}});
    const Scanned scanned = Scan(file);
    ASSERT_EQ(scanned.movies.size(), 5u);
    const std::vector<std::pair<std::string, std::string>> expected{{"response", "20090102030405"},
                                                                    {"resource", "20090102030406"},
                                                                    {"revisit", "20100101000001"},
                                                                    {"revisit", "20100101000002"},
                                                                    {"revisit", "20100101000003"}};
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const ArchiveMovie& found = scanned.movies[i];
        EXPECT_EQ(std::make_pair(found.type, found.date), expected[i]);
        if (found.type == "revisit") {
            EXPECT_EQ(found.payloadPosition, scanned.movies[0].position);
            EXPECT_EQ(found.digests.sha256, scanned.movies[0].digests.sha256);
            EXPECT_NE(found.position, scanned.movies[0].position);
        }
    }
    EXPECT_EQ(ReadBack(scanned.movies[4]), movie);
    EXPECT_EQ(ReadBack(scanned.movies[1]), "CWS\x09" + page);
    EXPECT_EQ(scanned.movies[1].head.status, 0) << "a resource record has no HTTP head";
    EXPECT_EQ(scanned.movies[4].head.status, 200) << "a revisit carries the head of the response it repeats";

    // wget's deduplicating second crawl: revisits of the first crawl's records, in another file.
    const test::MovieSite site;
    const auto first = test::RunWget(site.Addresses(), temp.Path(), "first", true);
    const auto second = test::RunWget(site.Addresses(), temp.Path(), "second", false, first.cdx);
    cache::ArchiveMovieScan both;
    const Scanned earlier = Scan(first.warc, &both);
    const Scanned later = Scan(second.warc, &both);
    ASSERT_EQ(later.movies.size(), site.Movies().size());
    for (std::size_t i = 0; i < later.movies.size(); ++i) {
        SCOPED_TRACE(later.addresses[i]);
        EXPECT_EQ(later.movies[i].type, "revisit");
        EXPECT_EQ(later.movies[i].payloadFile, first.warc);
        EXPECT_EQ(later.movies[i].payloadPosition, earlier.movies[i].position);
        EXPECT_EQ(ReadBack(later.movies[i]), site.Movies()[i].movie);
    }
    EXPECT_TRUE(Scan(second.warc).movies.empty()) << "alone, the second crawl names records it does not hold";
}

} // namespace
