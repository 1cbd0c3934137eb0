// The reader over the real movies of ../shared/data/swf. The expected names were written by reading
// each movie's ActionScript source (its .as files, or the scripts inside its .fla), never taken from
// the reader; movies without a published source are only read, never checked for names.
#include "support/Files.h"
#include "support/MovieMaking.h"
#include "support/SharedData.h"
#include "swf/MovieReading.h"
#include "swf/TagWalk.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

namespace {

// "action target.swf", "abc data.txt", "import right_eye.swf", "abc pattern *.swf".
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

struct Expected {
    const char* movie; // below the set's folder
    std::set<std::string> names;
};

const std::vector<Expected>& ExpectedNames()
{
    static const std::vector<Expected> expected = {
        {"001-loadmovie/test.swf", {"action target.swf"}},
        {"001-loadmovie/target.swf", {}},
        {"002-loadmovienum/test.swf", {"action target.swf"}},
        {"003-loadmovie-method/test.swf", {"action target.swf"}},
        {"004-loadmovie-flashvars/test.swf",
         {"action target.swf?var1=test&var2=http%3A%2F%2Fexample.com%2F&othervar=10"}},
        {"004-loadmovie-flashvars/target.swf", {}},
        {"005-loadvariables/test.swf", {"action testvars.txt"}},
        // loadVariables loads whatever the suffix.
        {"006-loadvariables-noext/test.swf", {"action variables"}},
        {"007-loadvars-sendandload/test.swf", {"action testvars.txt", "action bogus.txt"}},
        {"008-xml-load/test.swf", {"action whataload.xml"}},
        {"009-mcl-loadclip/test.swf", {"action target.swf", "action invalid.txt"}},
        {"009-mcl-loadclip/target.swf", {}},
        {"010-mcl-target-jpg/test.swf", {"action target.jpg"}},
        {"011-mcl-events-swf-version/test.swf",
         {"action child5.swf", "action child6.swf", "action child7.swf", "action child8.swf", "action child9.swf",
          "action child10.swf", "action non_existent.swf"}},
        {"011-mcl-events-swf-version/child5.swf", {}},
        {"011-mcl-events-swf-version/child10.swf", {}},
        {"012-sound-id3/test.swf", {"action id3.mp3", "action noid3.mp3"}},
        {"013-sound-multiple-load/test.swf", {"action noise.mp3", "action sound.mp3"}},
        {"014-netstream-play-flv-avm1/test.swf", {"action test_video.flv"}},
        {"015-stylesheet-load/test.swf",
         {"action valid.css", "action valid2.css", "action invalid.css", "action none.css"}},
        // loadVariablesNum into level 0: loaded even with a blank in the name.
        {"016-form-loader-encoding-swf5/test.swf", {"action UTF8.txt", "action Iso.txt", "action Shift Jis.txt"}},
        {"017-localconnection-levels/test.swf", {"action avm2child/child.swf", "action avm1child/child.swf"}},
        {"017-localconnection-levels/avm1child/child.swf", {}},
        {"017-localconnection-levels/avm2child/child.swf", {}},
        // loadMovie into a clip loads whatever the name; base_url + "/..." is built at run time.
        {"018-movieclip-state-values/test.swf",
         {"action no existing file.swf", "action no correct file (text).swf", "action no correct file (image).swf",
          "action target.swf", "action movieclip_state_values/test.swf", "action movieclip_state_values/target.swf",
          "action pattern */no existing file.swf", "action pattern */no correct file (text).swf",
          "action pattern */no correct file (image).swf", "action pattern */target.swf"}},
        {"020-import-assets-avm1/test.swf", {"import right_eye.swf"}},
        {"023-sandbox-remote-avm1/test.swf",
         {"action http://localhost:8000/test-network.swf", "action http://localhost:8000/test-no-network.swf"}},
        // Every GetURL and GetURL2 there goes to a browser window.
        {"024-geturl-targets-swf7/test.swf", {}},
        {"025-swf5-xml-child/test.swf", {"action child.swf"}},
        {"025-swf5-xml-child/child.swf", {"action test.xml"}},
        {"026-remove-different-level/test.swf", {"action child.swf"}},
        {"026-remove-different-level/child.swf", {}},
        {"027-invalid-get-bounds-chain/test.swf", {"action Parent7L8.swf", "action Parent7L7.swf"}},
        {"027-invalid-get-bounds-chain/Parent7L7.swf", {"action Child7.swf"}},
        {"027-invalid-get-bounds-chain/Parent7L8.swf", {"action Child8.swf"}},
        {"027-invalid-get-bounds-chain/Child7.swf", {}},
        {"029-noload-add/test.swf", {}},
        {"030-noload-as2-oop/test.swf", {}},
        {"031-noload-super-edge-cases/test.swf", {}},
        {"032-loader-events/test.swf", {"abc ./loadable.swf?paramOne=ValOne&paramTwo=ValTwo"}},
        {"032-loader-events/loadable.swf", {}},
        {"033-url-loader/test.swf", {"abc data.txt", "abc data.bin", "abc missingFile.bin"}},
        {"034-loader-image/test.swf", {"abc test.png"}},
        {"035-loader-bitmap-transparency/test.swf", {"abc test.jpg", "abc test.png", "abc test_rgba.png"}},
        {"036-sound-constructor/test.swf", {"abc noise.mp3"}},
        {"037-netstream-play-stop-replay/test.swf", {"abc test.flv"}},
        {"038-netstream-seek-flv-avm2/test.swf", {"abc test_video.flv"}},
        {"039-loader-duplicate-class/test.swf",
         {"abc loader_domain_child/loader_domain_child.swf", "abc loader_same_domain/loader_same_domain.swf",
          "abc loader_domain_other_child/loader_domain_other_child.swf"}},
        {"039-loader-duplicate-class/loader_domain_child/loader_domain_child.swf", {}},
        {"040-loader-child-getdefinition/test.swf", {"abc ./child/child.swf"}},
        {"040-loader-child-getdefinition/child/child.swf", {}},
        {"041-cross-api-version-newer/test.swf", {"abc newer/newer.swf"}},
        // The movies they embed are compiled in ([Embed]), so their names are no strings of the code.
        {"042-embedded-large-preload/test.swf", {}},
        {"043-embedded-loadbytes-events/test.swf", {}},
        // url.lastIndexOf('.swf'): the end of a name, reported as a pattern only.
        {"044-embedded-loadbytes-shumway/test.swf", {"abc pattern *.swf"}},
        {"046-swz-framework/test.swf", {"abc framework_4.5.0.20967.swz"}},
        {"047-urlstream-basic/test.swf", {"abc data.txt"}},
        // Names without a suffix ("utf8", "utf16le") are not taken for files.
        {"048-urlloader-bom-noext/test.swf", {}},
        {"049-shader-pbj/test.swf", {"abc LumaLighten.pbj"}},
        {"050-id3-info/test.swf", {"abc test_audio.mp3"}},
        // navigateToURL("https://example.com/" + i, target): navigation, and no suffix.
        {"051-navigate-to-url/test.swf", {}},
        {"053-sandbox-remote-avm2/test.swf",
         {"abc http://localhost:8000/test-network.swf", "abc http://localhost:8000/test-no-network.swf"}},
        {"055-instantiate-root-character/test.swf", {"abc ./loadable.swf"}},
        {"055-instantiate-root-character/loadable.swf", {}},
        {"056-netstream-g711/test.swf", {"abc tone_alaw_mono.flv", "abc tone_mulaw_mono.flv"}},
        {"057-urlstream-swf-bin/test.swf", {"abc stream1.swf.bin"}},
        {"058-font-registerfont/test.swf", {"abc font.swf"}},
        {"058-font-registerfont/font.swf", {}},
        {"059-noload-zws-array-concat/test.swf", {}},
        {"060-noload-zws-lzma/test.swf", {}},
        {"061-noload-fws-error-1034/test.swf", {}},
        {"062-noload-class-is/test.swf", {}},
        // loaderInfo.url.indexOf("test.swf"): a plain string that looks like a file is taken for one.
        {"063-noload-stage-loaderinfo/test.swf", {"abc test.swf"}},
    };
    return expected;
}

TEST(RealMovies, NamesMatchTheirSources)
{
    PLUMEROC_SHARED_DATA_OR_SKIP(folder, "swf");
    for (const Expected& expected : ExpectedNames()) {
        SCOPED_TRACE(expected.movie);
        const std::string file = test::ReadFile(folder + "/" + expected.movie);
        const std::optional<swf::MovieReading> reading = swf::ReadMovie(file);
        ASSERT_TRUE(reading.has_value());
        EXPECT_EQ(NamesOf(*reading), expected.names);
        EXPECT_FALSE(reading->truncated);
        EXPECT_EQ(reading->decodedLength, reading->summary.declaredLength);
    }
}

// Every movie of the set is read whole, whatever its kind; the ActionScript version agrees with the
// folder's kind (the set keeps Ruffle's avm1/ and avm2/ tests apart).
TEST(RealMovies, EveryMovieReadsWhole)
{
    PLUMEROC_SHARED_DATA_OR_SKIP(folder, "swf");
    int movies = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
        if (entry.path().extension() != ".swf")
            continue;
        SCOPED_TRACE(entry.path().string());
        const std::string file = test::ReadFile(entry.path().string());
        const std::optional<swf::MovieReading> reading = swf::ReadMovie(file);
        // 018 keeps a picture and a text named .swf, to see a player refuse them.
        if (entry.path().filename().string().starts_with("no correct file")) {
            EXPECT_FALSE(reading.has_value());
            EXPECT_FALSE(swf::ReadMovieSummary(file).has_value());
            continue;
        }
        ++movies;
        ASSERT_TRUE(reading.has_value());
        EXPECT_FALSE(reading->truncated);
        EXPECT_EQ(reading->decodedLength, reading->summary.declaredLength);
        EXPECT_GT(reading->summary.widthTwips, 0);
        EXPECT_GT(reading->summary.frameCount, 0);
        const std::optional<swf::MovieSummary> summary = swf::ReadMovieSummary(file);
        ASSERT_TRUE(summary.has_value());
        EXPECT_EQ(summary->widthTwips, reading->summary.widthTwips);
        EXPECT_EQ(summary->actionScript3, reading->summary.actionScript3);
    }
    EXPECT_GT(movies, 63);
}

// Header values written from the sources: 024's swfmill XML and the publish settings of .fla files.
TEST(RealMovies, HeadersMatchTheirSources)
{
    PLUMEROC_SHARED_DATA_OR_SKIP(folder, "swf");
    struct Header {
        const char* movie;
        const char* signature;
        int version;
        std::int64_t width, height; // twips
        std::uint16_t rate;         // 8.8
        std::uint16_t frames;
        const char* actionScript;
    };
    const Header headers[] = {
        {"024-geturl-targets-swf7/test.swf", "FWS", 7, 2000, 2000, 24 * 256, 1, "1/2"},
        {"002-loadmovienum/test.swf", nullptr, 8, 11000, 8000, 12 * 256, 1, "1/2"},
        {"034-loader-image/test.swf", nullptr, 15, 11000, 8000, 24 * 256, 1, "3"},
        {"060-noload-zws-lzma/test.swf", "ZWS", 17, 11000, 8000, 24 * 256, 1, "3"},
    };
    for (const Header& header : headers) {
        SCOPED_TRACE(header.movie);
        const std::optional<swf::MovieReading> reading = swf::ReadMovie(test::ReadFile(folder + "/" + header.movie));
        ASSERT_TRUE(reading.has_value());
        if (header.signature) {
            EXPECT_EQ(reading->summary.signature, header.signature);
        }
        EXPECT_EQ(reading->summary.version, header.version);
        EXPECT_EQ(reading->summary.widthTwips, header.width);
        EXPECT_EQ(reading->summary.heightTwips, header.height);
        EXPECT_EQ(reading->summary.frameRate, header.rate);
        EXPECT_EQ(reading->summary.frameCount, header.frames);
        EXPECT_EQ(reading->ActionScriptVersion(), header.actionScript);
    }
}

// ActionScript 1/2 movies repacked as LZMA by liblzma give the names of the original.
TEST(RealMovies, LzmaRepacksGiveTheSameNames)
{
    PLUMEROC_SHARED_DATA_OR_SKIP(folder, "swf");
    for (const char* movie : {"011-mcl-events-swf-version/test.swf", "018-movieclip-state-values/test.swf",
                              "020-import-assets-avm1/test.swf", "033-url-loader/test.swf"}) {
        SCOPED_TRACE(movie);
        const std::string file = test::ReadFile(folder + "/" + movie);
        const std::optional<swf::MovieReading> original = swf::ReadMovie(file);
        const std::optional<swf::MovieReading> repacked = swf::ReadMovie(test::AsLzma(file));
        ASSERT_TRUE(original.has_value());
        ASSERT_TRUE(repacked.has_value());
        EXPECT_EQ(repacked->summary.signature, "ZWS");
        EXPECT_EQ(NamesOf(*repacked), NamesOf(*original));
        EXPECT_EQ(repacked->decodedLength, original->decodedLength);
    }
}

// A movie whose tags name one file a hundred thousand times holds one name, not a hundred thousand.
TEST(RealMovies, ANameRepeatedIsHeldOnce)
{
    PLUMEROC_SHARED_DATA_OR_SKIP(folder, "swf");
    const std::string file = test::ReadFile(folder + "/026-remove-different-level/test.swf");
    const std::string repeated = test::RepeatedTags(file, 100000);
    const std::optional<swf::MovieReading> reading = swf::ReadMovie(repeated);
    ASSERT_TRUE(reading.has_value());
    EXPECT_EQ(NamesOf(*reading), std::set<std::string>{"action child.swf"});
    EXPECT_FALSE(reading->truncated);
    EXPECT_EQ(reading->decodedLength, repeated.size());
}

// The actions of a real movie put inside sprites are read to a fixed depth, and no deeper.
TEST(RealMovies, SpritesAreReadToAFixedDepth)
{
    PLUMEROC_SHARED_DATA_OR_SKIP(folder, "swf");
    const std::string file = test::ReadFile(folder + "/026-remove-different-level/test.swf");
    const std::optional<swf::MovieReading> deepest = swf::ReadMovie(test::InSprites(file, swf::kDeepestSprite));
    ASSERT_TRUE(deepest.has_value());
    EXPECT_EQ(NamesOf(*deepest), std::set<std::string>{"action child.swf"});
    EXPECT_FALSE(deepest->truncated);
    const std::optional<swf::MovieReading> deeper = swf::ReadMovie(test::InSprites(file, swf::kDeepestSprite + 1));
    ASSERT_TRUE(deeper.has_value());
    EXPECT_TRUE(deeper->names.empty());
}

} // namespace
