// plumeroc-grab save-complete against a loopback site of real movies from ../shared/data/swf: the exit status
// says whether anything was missing, by the rule the other saving commands follow, and the manifest is there
// whatever happened. What the movies load was written from their ActionScript sources.
#include "support/FolderServer.h"
#include "support/Loopback.h"
#include "support/ManifestReading.h"
#include "support/RunGrab.h"
#include "support/SharedData.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

class SaveCompleteCommandTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        test::ClearProxyEnvironment();
        PLUMEROC_SHARED_DATA_OR_SKIP(movies, "swf");
        m_server = std::make_unique<test::LoopbackServer>([&](httplib::Server& server) {
            // 013's test.as loads noise.mp3 and sound.mp3: the first answer breaks off.
            server.Get("/013-sound-multiple-load/noise.mp3", [](const httplib::Request&, httplib::Response& res) {
                res.set_content_provider(9000, "audio/mpeg", [](std::size_t, std::size_t, httplib::DataSink& sink) {
                    sink.write("ID3", 3);
                    return false;
                });
            });
            test::ServeFolder(server, movies);
        });
    }

    test::GrabRun Grab(const std::vector<std::string>& args) { return test::RunGrab(args, m_scratch.Path()); }
    std::string Url(const std::string& path) const { return m_server->Url(path); }

    std::unique_ptr<test::LoopbackServer> m_server;
    test::TempFolder m_scratch;
};

TEST_F(SaveCompleteCommandTest, TheExitStatusSaysWhatWasMissing)
{
    struct Case {
        std::string address;
        int status;
        std::string missing; // the address the message names, if any
    };
    test::LoopbackSocket refusing(false);
    const Case cases[] = {
        // 001's movie loads target.swf, which is there.
        {Url("/001-loadmovie/test.swf"), 0, ""},
        // 033's Test.as loads data.txt and data.bin, and missingFile.bin "expected to fail": an error status.
        {Url("/033-url-loader/test.swf"), 4, Url("/033-url-loader/missingFile.bin")},
        // 013's noise.mp3 breaks off, and sound.mp3 is there: a broken transfer.
        {Url("/013-sound-multiple-load/test.swf"), 3, Url("/013-sound-multiple-load/noise.mp3")},
        // Nothing answers.
        {refusing.Url("/game.swf"), 2, refusing.Url("/game.swf")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.address);
        const test::TempFolder copy;
        const test::GrabRun run = Grab({"save-complete", c.address, copy.Path()});
        EXPECT_EQ(run.status, c.status) << run.err;
        EXPECT_TRUE(run.out.empty());
        if (c.missing.empty()) {
            EXPECT_TRUE(run.err.empty()) << run.err;
        } else {
            EXPECT_NE(run.err.find(c.missing + ": "), std::string::npos) << run.err;
        }
        const test::Manifest manifest = test::ReadManifest(copy / "plumeroc-manifest.json");
        EXPECT_EQ(manifest.starts, std::vector<std::string>{c.address});
    }
}

TEST_F(SaveCompleteCommandTest, AnAddressWithoutSchemeAndMistakesInTheCommand)
{
    const test::TempFolder copy;
    const std::string address = Url("/001-loadmovie/test.swf").substr(7);
    const test::GrabRun run = Grab({"save-complete", address, copy.Path()});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(
        std::filesystem::is_regular_file(copy / (address.substr(0, address.find('/')) + "/001-loadmovie/target.swf")));

    EXPECT_EQ(Grab({"save-complete", Url("/001-loadmovie/test.swf")}).status, 1);
    EXPECT_EQ(Grab({"save-complete", Url("/001-loadmovie/test.swf"), ""}).status, 1);
    EXPECT_EQ(Grab({"save-complete", "--fast", Url("/001-loadmovie/test.swf"), copy.Path()}).status, 1);
    // A copy whose folder cannot be made: its parent is a file.
    const std::string file = copy.Write("file", "x");
    const test::GrabRun cannot = Grab({"save-complete", Url("/001-loadmovie/test.swf"), file + "/copy"});
    EXPECT_EQ(cannot.status, 2);
    EXPECT_NE(cannot.err.find(file + "/copy"), std::string::npos) << cannot.err;
}

} // namespace
