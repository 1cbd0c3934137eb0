// The movies of WARC files that wget and warcio write at test time: found with the digests coreutils give, at
// the offsets wget's own CDX index gives, read back byte for byte from there; damage loses only the record it
// hits; revisits take the movie of the record they name.
#include "cache/formats/ArchiveMovies.h"
#include "support/ArchiveWriters.h"
#include "support/Files.h"
#include "support/PeakHeap.h"
#include "support/RunGrab.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <map>

namespace {

using cache::ArchiveMovie;
using cache::RecordPosition;

struct Scanned {
    std::vector<ArchiveMovie> movies;
    cache::ArchiveMovieScan::FileResult result;
};

Scanned Scan(cache::ArchiveMovieScan& scan, const std::string& file)
{
    Scanned scanned;
    auto input = cache::ArchiveInput::Open(file);
    EXPECT_TRUE(input) << file;
    if (input)
        scanned.result = scan.Scan(*input, file, [&](const ArchiveMovie& movie) {
            scanned.movies.push_back(movie);
            return true;
        });
    return scanned;
}

Scanned Scan(const std::string& file)
{
    cache::ArchiveMovieScan scan;
    return Scan(scan, file);
}

std::string ReadBack(const ArchiveMovie& movie)
{
    std::string bytes;
    const auto read = cache::StreamArchiveMovie(movie.payloadFile, movie.payloadPosition, [&](std::string_view piece) {
        bytes.append(piece);
        return true;
    });
    EXPECT_EQ(read, cache::ArchiveMovieRead::Done) << movie.address;
    return bytes;
}

std::vector<std::string> Addresses(const std::vector<ArchiveMovie>& movies)
{
    std::vector<std::string> addresses;
    for (const auto& movie : movies)
        addresses.push_back(movie.address);
    return addresses;
}

class WgetCrawl : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_site = new test::MovieSite;
        s_folder = new test::TempFolder;
        s_gzip = new test::WgetArchive(test::RunWget(s_site->Addresses(), s_folder->Path(), "crawl", true));
        s_plain = new test::WgetArchive(test::RunWget(s_site->Addresses(), s_folder->Path(), "plain", false));
    }
    static void TearDownTestSuite()
    {
        delete s_plain;
        delete s_gzip;
        delete s_folder;
        delete s_site;
    }

    // The served movies, less those at `lost`.
    static std::vector<std::string> MovieAddresses(const std::vector<std::string>& lost = {})
    {
        std::vector<std::string> addresses;
        for (const auto& movie : s_site->Movies())
            if (std::find(lost.begin(), lost.end(), movie.address) == lost.end())
                addresses.push_back(movie.address);
        return addresses;
    }

    // Where wget says the response record of `address` starts.
    static std::uint64_t CdxOffset(const test::WgetArchive& archive, const std::string& address)
    {
        for (const auto& row : test::ReadWgetCdx(archive.cdx))
            if (row.address == address)
                return row.offset;
        ADD_FAILURE() << address << " is not in " << archive.cdx;
        return 0;
    }

    static const test::ServedMovie& Served(const std::string& address)
    {
        for (const auto& movie : s_site->Movies())
            if (movie.address == address)
                return movie;
        throw std::runtime_error("not served: " + address);
    }

    static inline test::MovieSite* s_site = nullptr;
    static inline test::TempFolder* s_folder = nullptr;
    static inline test::WgetArchive* s_gzip = nullptr;
    static inline test::WgetArchive* s_plain = nullptr;
};

TEST_F(WgetCrawl, MoviesAreTheServedOnesWithToolDigestsAtWgetsOffsets)
{
    for (const test::WgetArchive* archive : {s_gzip, s_plain}) {
        SCOPED_TRACE(archive->warc);
        const std::size_t heapBefore = test::HeapInUse();
        test::ResetPeakHeap();
        const Scanned scanned = Scan(archive->warc);
        // A 3 MiB movie passes through; neither it nor the file is kept.
        EXPECT_LT(test::PeakHeap() - heapBefore, std::size_t{2} << 20);
        EXPECT_EQ(Addresses(scanned.movies), MovieAddresses());
        EXPECT_EQ(scanned.result.damaged, 0u);
        std::map<std::string, std::string> wgetDigests;
        for (const auto& row : test::ReadWgetCdx(archive->cdx))
            wgetDigests[row.address] = row.digest;
        for (const ArchiveMovie& movie : scanned.movies) {
            SCOPED_TRACE(movie.address);
            const std::string& served = Served(movie.address).movie;
            const auto tools = test::DigestsByTools(served);
            EXPECT_EQ(movie.size, served.size());
            EXPECT_EQ(movie.digests.sha256, tools.sha256);
            EXPECT_EQ(movie.digests.sha1, tools.sha1);
            EXPECT_EQ(movie.position, (RecordPosition{CdxOffset(*archive, movie.address), 0}));
            EXPECT_EQ(movie.date.size(), 14u);
            EXPECT_EQ(ReadBack(movie), served);
            // wget digests the payload as it came: the same bytes where nothing was encoded.
            if (movie.address.ends_with("/plain.swf") || movie.address.ends_with("/large.swf")) {
                EXPECT_EQ(wgetDigests[movie.address], movie.digests.sha1);
            }
        }
    }
}

TEST_F(WgetCrawl, DamageLosesOnlyTheRecordItHitsAndWholeOrSplitGzipReadsTheSame)
{
    const std::string plain = test::ReadFile(s_plain->warc);
    const std::string gzip = test::ReadFile(s_gzip->warc);
    const std::string& any = s_site->Movies().front().address;
    const auto address = [&](const char* path) { return any.substr(0, any.find('/', 8)) + path; };
    const std::uint64_t large = CdxOffset(*s_plain, address("/large.swf"));
    const std::uint64_t packed = CdxOffset(*s_plain, address("/packed.swf"));
    const std::uint64_t chunkedMember = CdxOffset(*s_gzip, address("/chunked.swf"));
    const std::uint64_t betweenMembers = CdxOffset(*s_gzip, address("/missing.swf"));
    const std::size_t cut = large + (1u << 20);
    const auto lengthField = [&](std::int64_t change) {
        const std::size_t at = plain.find("Content-Length: ", packed) + 16;
        const std::size_t end = plain.find('\r', at);
        return plain.substr(0, at) + std::to_string(std::stoll(plain.substr(at, end - at)) + change)
            + plain.substr(end);
    };
    std::string flipped = gzip;
    for (std::size_t i = 0; i < 16; ++i)
        flipped[chunkedMember + 200 + i] = static_cast<char>(~flipped[chunkedMember + 200 + i]);

    const test::TempFolder temp;
    test::WriteFile(temp / "head", plain.substr(0, cut));
    test::WriteFile(temp / "tail", plain.substr(cut));
    ASSERT_EQ(test::RunProgram({"gzip", temp / "head", temp / "tail"}, temp.Path()).status, 0);
    const std::string head = test::ReadFile(temp / "head.gz");
    const std::string split = temp.Write("split.warc.gz", head + test::ReadFile(temp / "tail.gz"));
    // Named .warc though gzip, as some writers name them.
    ASSERT_EQ(test::RunProgram({"sh", "-c", "gzip -c \"$0\" > \"$1\"", s_plain->warc, temp / "whole.warc"}, temp.Path())
                  .status,
              0);

    struct Case {
        std::string title, file;
        std::vector<std::string> lost;
        std::uint64_t damaged;
    };
    const std::vector<Case> cases{
        {"cut inside the large movie",
         temp.Write("cut.warc", plain.substr(0, cut)),
         {address("/large.swf"), address("/mislabelled.swf")},
         1},
        {"a length too short", temp.Write("short.warc", lengthField(-7)), {address("/packed.swf")}, 1},
        {"a length too long", temp.Write("long.warc", lengthField(+100)), {address("/packed.swf")}, 1},
        {"bytes flipped inside a member", temp.Write("flipped.warc.gz", flipped), {address("/chunked.swf")}, 1},
        {"no gzip between members",
         temp.Write("garbage.warc.gz", gzip.substr(0, betweenMembers) + "no member" + gzip.substr(betweenMembers)),
         {},
         1},
        {"the whole file one member", temp / "whole.warc", {}, 0},
        {"a record over two members", split, {}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        const Scanned scanned = Scan(c.file);
        EXPECT_EQ(Addresses(scanned.movies), MovieAddresses(c.lost));
        EXPECT_EQ(scanned.result.damaged, c.damaged);
        for (const ArchiveMovie& movie : scanned.movies)
            EXPECT_EQ(ReadBack(movie), Served(movie.address).movie) << movie.address;
    }

    // Inside one member a record's place is the member's and its distance into the decompressed bytes.
    const Scanned whole = Scan(temp / "whole.warc");
    const Scanned splitScan = Scan(split);
    const std::uint64_t secondMember = head.size();
    for (std::size_t i = 0; i < whole.movies.size() && i < splitScan.movies.size(); ++i) {
        const std::uint64_t offset = CdxOffset(*s_plain, whole.movies[i].address);
        EXPECT_EQ(whole.movies[i].position, (RecordPosition{0, offset}));
        const RecordPosition inSplit =
            offset < cut ? RecordPosition{0, offset} : RecordPosition{secondMember, offset - cut};
        EXPECT_EQ(splitScan.movies[i].position, inSplit);
    }
}

TEST(ArchiveRevisits, TakeTheMovieOfTheRecordTheyNameInTheFileOrAnEarlierOne)
{
    const test::TempFolder temp;
    const std::string movie = "FWS\x08" + test::PatternBody(3000);
    const std::string page = "<html><embed src=a.swf></html>";
    using Headers = std::vector<std::pair<std::string, std::string>>;
    const Headers flash{{"Content-Type", "application/x-shockwave-flash"}};
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

    // wget's deduplicating second crawl: revisits of the first crawl's records.
    const test::MovieSite site;
    const auto first = test::RunWget(site.Addresses(), temp.Path(), "first", true);
    const auto second = test::RunWget(site.Addresses(), temp.Path(), "second", false, first.cdx);
    cache::ArchiveMovieScan both;
    const Scanned earlier = Scan(both, first.warc);
    const Scanned later = Scan(both, second.warc);
    ASSERT_EQ(later.movies.size(), site.Movies().size());
    for (std::size_t i = 0; i < later.movies.size(); ++i) {
        SCOPED_TRACE(later.movies[i].address);
        EXPECT_EQ(later.movies[i].type, "revisit");
        EXPECT_EQ(later.movies[i].payloadFile, first.warc);
        EXPECT_EQ(later.movies[i].payloadPosition, earlier.movies[i].position);
        EXPECT_EQ(ReadBack(later.movies[i]), site.Movies()[i].movie);
    }
    EXPECT_TRUE(Scan(second.warc).movies.empty()) << "alone, the second crawl names records it does not hold";
}

} // namespace
