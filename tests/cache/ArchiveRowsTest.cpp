// Web archives in the Local Files list: the movie records of WARC files that wget and warcio write at test time
// as rows named, sized and placed as the writers recorded them (wget's CDX index, the site's bytes, the record
// lines of the file), newest capture first; what a row saves and previews is the movie as served; revisits,
// error responses and pages give no row, a file of no record is said; a record's path is one no real file can
// have.
#include "cache/ListedMovieCopy.h"
#include "cache/LocalListing.h"
#include "cache/RowPath.h"
#include "support/ArchiveWriters.h"
#include "support/Files.h"
#include "support/TempFolder.h"
#include "support/TestMovie.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <tuple>

namespace {

using cache::LocalMovieRow;
using test::ReadFile;

std::vector<LocalMovieRow> ListFolder(const std::string& folder)
{
    const auto list = cache::ListLocalMovies({folder + "/", false});
    EXPECT_TRUE(list.unread.empty());
    return list.rows;
}

// The movie a row saves, and the one its preview is given.
void ExpectRowGives(const LocalMovieRow& row, const std::string& movie, const std::string& scratch)
{
    SCOPED_TRACE(row.path);
    const std::string saved = scratch + "/saved.swf";
    EXPECT_EQ(cache::CopyListedMovie(row.path, saved), cache::CopyOutcome::Copied);
    EXPECT_EQ(ReadFile(saved), movie);
    EXPECT_EQ(cache::ReadRowMovie(cache::ResolveRowPath(row.path)), movie);
    // What a save of the movie with its files starts from: the movie and its address, as for a cache entry.
    const auto opened = cache::OpenRowMovie(cache::ResolveRowPath(row.path));
    ASSERT_TRUE(opened);
    EXPECT_EQ(opened->movie.response.address, row.address);
    EXPECT_EQ(opened->movie.size, movie.size());
}

class ArchiveRows : public testing::Test {
protected:
    static void SetUpTestSuite() { s_crawl = std::make_unique<test::CrawledSite>(); }
    static void TearDownTestSuite() { s_crawl.reset(); }

    static bool Served(const std::string& address)
    {
        const auto& movies = s_crawl->site.Movies();
        return std::any_of(movies.begin(), movies.end(), [&](const auto& movie) { return movie.address == address; });
    }

    static inline std::unique_ptr<test::CrawledSite> s_crawl;
    test::TempFolder m_scratch;
};

TEST_F(ArchiveRows, EachMovieRecordOfTheCrawlIsARowAsWgetRecordedIt)
{
    // From wget's index of each file: every 200 response of a movie the site served, newest capture first and
    // captures of one second in byte order of their paths.
    std::vector<std::tuple<std::string, std::string, LocalMovieRow>> expected; // date, path, row
    for (const test::WgetArchive* archive : {&s_crawl->gzip, &s_crawl->plain}) {
        for (const test::CdxRow& cdx : test::ReadWgetCdx(archive->cdx)) {
            if (cdx.status != "200" || !Served(cdx.address))
                continue;
            const std::string path = archive->warc + "/@" + std::to_string(cdx.offset);
            const LocalMovieRow row{cdx.address.substr(cdx.address.rfind('/') + 1),
                                    std::to_string(s_crawl->site.MovieAt(cdx.address).size()), path, cdx.address};
            expected.emplace_back(cdx.date, path, row);
        }
    }
    std::sort(expected.begin(), expected.end(), [](const auto& a, const auto& b) {
        return std::get<0>(a) != std::get<0>(b) ? std::get<0>(a) > std::get<0>(b) : std::get<1>(a) < std::get<1>(b);
    });
    ASSERT_EQ(expected.size(), 2 * s_crawl->site.Movies().size());

    const std::vector<LocalMovieRow> rows = ListFolder(s_crawl->folder.Path());
    ASSERT_EQ(rows.size(), expected.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i], std::get<2>(expected[i]));
        ExpectRowGives(rows[i], s_crawl->site.MovieAt(rows[i].address), m_scratch.Path());
    }
}

TEST_F(ArchiveRows, ARowsPathNamesItsRecordAndNothingElse)
{
    const std::string& warc = s_crawl->gzip.warc;
    const std::uint64_t movie = s_crawl->Offset(s_crawl->gzip, "/plain.swf");
    const std::uint64_t page = s_crawl->Offset(s_crawl->gzip, "/page.html");
    const std::uint64_t notFound = s_crawl->Offset(s_crawl->gzip, "/missing.swf");
    const std::string before = ReadFile(warc);
    const std::string out = m_scratch / "out.swf";
    for (const std::string& path : {warc + "/@" + std::to_string(page), warc + "/@" + std::to_string(notFound),
                                    warc + "/@" + std::to_string(movie + 1), warc + "/@" + std::to_string(movie) + "+0",
                                    warc + "/@x" + std::to_string(movie), warc + "/@" + std::to_string(movie) + "/a"}) {
        SCOPED_TRACE(path);
        EXPECT_EQ(cache::CopyListedMovie(path, out), cache::CopyOutcome::SourceCannotOpen);
        EXPECT_FALSE(std::filesystem::exists(out));
        EXPECT_EQ(cache::ReadRowMovie(cache::ResolveRowPath(path)), std::nullopt);
    }
    // A copy onto the archive it reads from is refused before anything is written.
    EXPECT_EQ(cache::CopyListedMovie(warc + "/@" + std::to_string(movie), warc),
              cache::CopyOutcome::DestinationCannotCreate);
    EXPECT_EQ(ReadFile(warc), before);

    // A folder named like an archive holding a file named like a record is a plain file: only a regular file can
    // stand where a record's path turns into its locator.
    const std::string lookalike = m_scratch.Write("lookalike.warc.gz/@" + std::to_string(movie), "FWS a file");
    EXPECT_EQ(cache::ResolveRowPath(lookalike).kind, cache::RowTarget::Kind::PlainFile);
    EXPECT_EQ(cache::CopyListedMovie(lookalike, out), cache::CopyOutcome::Copied);
    EXPECT_EQ(ReadFile(out), "FWS a file");
}

TEST(ArchiveRecordRows, NewestCaptureFirstWithNamesFromTheResponseAndNoRowForARevisit)
{
    const test::TempFolder temp;
    const std::string a = test::MakeMovie({});
    const std::string b = "CWS\x09" + test::PatternBody(2000);
    const std::string c = test::MakeMovie({true, {1, 2, 3}, {4, 5, 6}});
    const std::vector<std::pair<std::string, std::string>> flash{{"Content-Type", "application/x-shockwave-flash"}};
    auto named = flash;
    named.emplace_back("Content-Disposition", "attachment; filename=\"Game of Life.swf\"");
    const std::string file = temp / "archives/2009/records.warc";
    std::filesystem::create_directories(temp / "archives/2009");
    test::RunWarcio(file, "WARC/1.1", false,
                    {{"response", "http://example.org/a.swf", "2009-01-02T03:04:05Z", 200, flash, a},
                     {"resource", "http://example.org/files/b.swf", "2009-01-02T03:04:06Z", 0, {}, b},
                     {"response", "http://example.org/", "2009-01-02T03:04:07Z", 200, {}, "<embed src=a.swf>"},
                     {"revisit", "http://example.org/a.swf", "2012-01-01T00:00:01Z", 200, flash, "", 0, {"id"}},
                     {"response", "http://example.org/gone.swf", "2012-01-01T00:00:05Z", 404, flash, a},
                     {"response", "http://example.org/play.php?id=7", "2011-05-06T07:08:09Z", 200, named, c}});
    // Where each record starts: its version line, the first of the file or one after an empty line.
    const std::string bytes = ReadFile(file);
    std::vector<std::string> places;
    for (std::size_t at = 0; at != std::string::npos; at = bytes.find("\r\n\r\nWARC/1.1\r\n", at + 1))
        places.push_back(file + "/@" + std::to_string(at == 0 ? 0 : at + 4));
    ASSERT_EQ(places.size(), 6u);

    // A file named like an archive that holds no record is said, not passed over.
    const std::string notes = temp.Write("archives/notes.warc", "no records here\n");
    const auto list = cache::ListLocalMovies({temp.Path() + "/", false});
    EXPECT_EQ(list.unread, (std::vector<cache::UnreadStore>{{notes, "web archive", "it holds no WARC or ARC record"}}));
    const std::vector<LocalMovieRow>& rows = list.rows;
    const std::vector<LocalMovieRow> expected{
        {"Game of Life.swf", std::to_string(c.size()), places[5], "http://example.org/play.php?id=7"},
        {"b.swf", std::to_string(b.size()), places[1], "http://example.org/files/b.swf"},
        {"a.swf", std::to_string(a.size()), places[0], "http://example.org/a.swf"},
    };
    EXPECT_EQ(rows, expected);
    for (std::size_t i = 0; i < rows.size() && i < expected.size(); ++i)
        ExpectRowGives(rows[i], std::vector{c, b, a}[i], temp.Path());
}

} // namespace
