// The reader over movies Haxe compiles at build time (ActionScript 3 in DoABC and DoABC2 tags,
// movies embedded two deep, zlib and uncompressed), repacked as LZMA by liblzma, cut short,
// wrapped deeper than the reader goes, and given headers that lie.
#include "support/Files.h"
#include "support/MovieMaking.h"
#include "swf/MovieBytes.h"
#include "swf/MovieReading.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <zlib.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <fstream>
#include <set>
#include <string>

namespace {

using testing::Contains;
using testing::IsSupersetOf;
using testing::Not;

std::string MadeMovie(const std::string& name)
{
    return test::ReadFile(std::string(PLUMEROC_MADE_MOVIES_DIR "/") + name);
}

std::set<std::string> NamesOf(const swf::MovieReading& reading)
{
    std::set<std::string> names;
    for (const swf::MovieName& name : reading.names) {
        std::string kind = name.source == swf::NameSource::Action ? "action"
            : name.source == swf::NameSource::Abc                 ? "abc"
                                                                  : "import";
        names.insert(kind + (name.embedded ? " embedded" : "") + (name.pattern ? " pattern " : " ") + name.text);
    }
    return names;
}

// What Loads.hx names, as written there: "levels/level" + level + ".swf" is built at run time.
const std::set<std::string> kLoadsNames = {"abc levels/intro.swf", "abc data/config.xml?v=2",
                                           "abc http://cdn.example.com/music/theme.mp3",
                                           "abc pattern levels/level*.swf"};

swf::MovieReading Read(const std::string& file)
{
    std::optional<swf::MovieReading> reading = swf::ReadMovie(file);
    if (!reading)
        throw std::runtime_error("not read as a movie");
    return std::move(*reading);
}

TEST(MadeMovies, EveryCompressionAndAbcTagGivesTheSameNames)
{
    const std::string loads = MadeMovie("loads.swf");
    struct Case {
        const char* what;
        std::string file;
        const char* signature;
    };
    const Case cases[] = {{"zlib, DoABC2", loads, "CWS"},
                          {"uncompressed, DoABC", MadeMovie("loads-doabc.swf"), "FWS"},
                          {"LZMA", test::AsLzma(loads), "ZWS"},
                          {"LZMA of DoABC", test::AsLzma(MadeMovie("loads-doabc.swf")), "ZWS"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const swf::MovieReading reading = Read(c.file);
        EXPECT_EQ(reading.summary.signature, c.signature);
        EXPECT_EQ(reading.summary.version, 10);
        EXPECT_EQ(reading.ActionScriptVersion(), "3");
        EXPECT_TRUE(reading.hasAbc);
        EXPECT_FALSE(reading.truncated);
        EXPECT_EQ(reading.decodedLength, reading.summary.declaredLength);
        EXPECT_THAT(NamesOf(reading), IsSupersetOf(kLoadsNames));
        // A page opened in a browser window is navigation, and .html is no suffix of a loaded file.
        EXPECT_THAT(NamesOf(reading), Not(Contains("abc http://example.com/more-games.html")));
        // ".swf" is only the end of the level's name: no pattern of its own.
        EXPECT_THAT(NamesOf(reading), Not(Contains("abc pattern *.swf")));
    }
}

TEST(MadeMovies, NamesOfEmbeddedMoviesAreMarked)
{
    const swf::MovieReading outer = Read(MadeMovie("outer.swf"));
    EXPECT_THAT(NamesOf(outer),
                IsSupersetOf({"abc outer.json", "abc embedded levels/intro.swf",
                              "abc embedded pattern levels/level*.swf", "abc embedded data/config.xml?v=2"}));
    EXPECT_THAT(NamesOf(outer), Not(Contains("abc levels/intro.swf")));

    const swf::MovieReading outermost = Read(MadeMovie("outermost.swf"));
    EXPECT_THAT(NamesOf(outermost), IsSupersetOf({"abc embedded outer.json", "abc embedded levels/intro.swf"}));
    EXPECT_THAT(NamesOf(Read(test::AsLzma(MadeMovie("outermost.swf")))),
                IsSupersetOf({"abc embedded levels/intro.swf"}));
}

TEST(MadeMovies, EmbeddedMoviesAreReadToAFixedDepth)
{
    const std::string loads = MadeMovie("loads.swf");
    EXPECT_THAT(NamesOf(Read(test::InBinaryData(loads, swf::kDeepestEmbedding))),
                Contains("abc embedded levels/intro.swf"));
    EXPECT_THAT(NamesOf(Read(test::InBinaryData(loads, swf::kDeepestEmbedding + 1))),
                Not(Contains("abc embedded levels/intro.swf")));
}

TEST(MadeMovies, ATruncatedMovieGivesWhatItHolds)
{
    for (const std::string& movie : {MadeMovie("loads-doabc.swf"), test::AsZlib(MadeMovie("loads-doabc.swf")),
                                     test::AsLzma(MadeMovie("loads-doabc.swf"))}) {
        SCOPED_TRACE(movie.substr(0, 3));
        const std::string half = movie.substr(0, movie.size() / 2);
        const swf::MovieReading reading = Read(half);
        EXPECT_TRUE(reading.truncated);
        EXPECT_LT(reading.decodedLength, reading.summary.declaredLength);
        EXPECT_GT(reading.decodedLength, 8U);
        // Cut in the middle of the ABC code, the strings before the cut are still found: Haxe puts
        // the code's strings first.
        EXPECT_EQ(reading.summary.frameCount, Read(movie).summary.frameCount);
    }
    // Too short for a header: not a movie.
    EXPECT_FALSE(swf::ReadMovie("CWS\x0a").has_value());
    EXPECT_FALSE(swf::ReadMovie("GIF89a\x01\x00").has_value());
}

// Resident memory of the process, in bytes.
std::size_t ResidentBytes()
{
    std::ifstream statm("/proc/self/statm");
    std::size_t size = 0, resident = 0;
    statm >> size >> resident;
    return resident * 4096;
}

TEST(MadeMovies, AHeaderThatLiesCostsOnlyWhatTheStreamHolds)
{
    const std::string loads = MadeMovie("loads.swf");
    for (std::string movie : {test::AsZlib(loads), test::AsLzma(loads)}) {
        SCOPED_TRACE(movie.substr(0, 3));
        const std::size_t real = test::MovieBody(loads).size() + 8;
        movie.replace(4, 4, "\xff\xff\xff\xff"); // 4 GiB
        const std::size_t before = ResidentBytes();
        const swf::MovieReading reading = Read(movie);
        EXPECT_LT(ResidentBytes(), before + (std::size_t{16} << 20));
        EXPECT_EQ(reading.summary.declaredLength, 0xFFFFFFFFU);
        EXPECT_EQ(reading.decodedLength, real);
        EXPECT_TRUE(reading.truncated);
        EXPECT_THAT(NamesOf(reading), IsSupersetOf(kLoadsNames));
    }
}

// A "CWS" movie of `frame` and then `tagBytes` of ShowFrame tags, deflated as it is made.
std::string ShowFrameBomb(const std::string& frame, std::size_t tagBytes)
{
    std::string chunk;
    while (chunk.size() < (std::size_t{1} << 20))
        chunk.append("\x40\x00", 2); // ShowFrame
    z_stream stream{};
    deflateInit(&stream, 1);
    std::string out(std::size_t{4} << 20, '\0');
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    const auto feed = [&](const std::string& bytes, int flush) {
        stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
        stream.avail_in = static_cast<uInt>(bytes.size());
        deflate(&stream, flush);
    };
    feed(frame, Z_NO_FLUSH);
    for (std::size_t done = 0; done < tagBytes; done += chunk.size())
        feed(chunk, Z_NO_FLUSH);
    feed(std::string(), Z_FINISH);
    out.resize(out.size() - stream.avail_out);
    deflateEnd(&stream);
    const auto length = static_cast<std::uint32_t>(std::min<std::size_t>(frame.size() + tagBytes + 8, UINT32_MAX));
    std::string header = "CWS\x0a";
    for (int shift = 0; shift < 32; shift += 8)
        header += static_cast<char>(length >> shift & 0xFF);
    return header + out;
}

TEST(MadeMovies, DecodingStopsAtTheBudget)
{
    // 300 MiB of ShowFrame tags behind a real frame header: a few hundred KiB compressed.
    const std::string frame = test::MovieBody(MadeMovie("loads-doabc.swf")).substr(0, 13);
    const std::string bomb = ShowFrameBomb(frame, std::size_t{300} << 20);
    EXPECT_LT(bomb.size(), std::size_t{2} << 20);
    swf::DecodeBudget budget;
    const std::optional<swf::MovieBytes> bytes = swf::MovieBytes::Open(bomb, budget);
    ASSERT_TRUE(bytes.has_value());
    EXPECT_EQ(bytes->Body().size(), swf::kMostDecodedBytes);
    EXPECT_TRUE(bytes->StreamBroken());
    EXPECT_EQ(budget.left, 0U);
}

TEST(MadeMovies, TheSummaryDecodesOnlyTheStart)
{
    for (const std::string& movie : {MadeMovie("loads.swf"), test::AsLzma(MadeMovie("loads.swf"))}) {
        const std::optional<swf::MovieSummary> summary = swf::ReadMovieSummary(movie);
        ASSERT_TRUE(summary.has_value());
        const swf::MovieReading reading = Read(movie);
        EXPECT_EQ(summary->widthTwips, reading.summary.widthTwips);
        EXPECT_EQ(summary->heightTwips, reading.summary.heightTwips);
        EXPECT_EQ(summary->frameRate, reading.summary.frameRate);
        EXPECT_TRUE(summary->actionScript3);
        // Only the first bytes are there: the summary must not need the rest.
        EXPECT_TRUE(swf::ReadMovieSummary(movie.substr(0, 400)).has_value());
    }
}

} // namespace
