// The Save All loop that the window and plumeroc-grab share, against a loopback server: what each row
// becomes, where a broken transfer stops it or not, and one connection for the whole loop.
#include "capture/SaveAll.h"
#include "platform/Exceptions.h"
#include "support/Files.h"
#include "support/Loopback.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace capture;
using Result = MovieSave::Result;

std::string Body(const std::string& name) { return "FWS movie " + name; }

void AddRoutes(httplib::Server& server)
{
    // Before the route of every other movie, which would match it too.
    server.Get("/games/cut.swf", [](const httplib::Request&, httplib::Response& res) {
        res.set_content_provider(10000, "application/x-shockwave-flash",
                                 [](std::size_t, std::size_t, httplib::DataSink& sink) {
                                     sink.write("FWS", 3);
                                     return false;
                                 });
    });
    server.Get(R"(/(\w+)/(\w+\.swf))", [](const httplib::Request& req, httplib::Response& res) {
        const std::string name = std::string(req.matches[1]) + "/" + std::string(req.matches[2]);
        if (name == "games/gone.swf")
            res.status = 404;
        res.set_content(Body(name), "application/x-shockwave-flash");
    });
}

class SaveAllTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { test::ClearProxyEnvironment(); }

    std::string Url(const std::string& path) const { return m_server.Url(path); }

    // Runs the loop over `paths` (addresses on the server, or as they are when they have no "/" first).
    std::vector<MovieSave> Run(const std::vector<std::string>& paths, AfterBreak afterBreak)
    {
        std::vector<std::string> addresses;
        for (const std::string& path : paths)
            addresses.push_back(path.starts_with("/") ? Url(path) : path);
        std::vector<MovieSave> saved;
        SaveAll(addresses, m_dir.Path(), afterBreak, [&saved](const MovieSave& save) { saved.push_back(save); });
        return saved;
    }

    test::LoopbackServer m_server{AddRoutes, test::Connections::kKept};
    test::TempFolder m_dir;
};

TEST_F(SaveAllTest, GoingOnEveryRowIsToldWhatBecameOfIt)
{
    const std::vector<MovieSave> saved = Run(
        {"/games/a.swf", "/games/", "/games/gone.swf", "/games/cut.swf", "http://127.0.0.1:1/far.swf", "/other/a.swf"},
        AfterBreak::kGoOn);
    struct Expected {
        Result result;
        long status;
        std::string path;
    };
    const std::vector<Expected> expected = {
        {Result::kSaved, 200, m_dir / "a.swf"},     {Result::kNoName, 0, ""},
        {Result::kSaved, 404, m_dir / "gone.swf"},  {Result::kBrokeOff, 200, m_dir / "cut.swf"},
        {Result::kNotOpened, 0, m_dir / "far.swf"}, {Result::kSaved, 200, m_dir / "a.swf"},
    };
    ASSERT_EQ(saved.size(), expected.size());
    for (std::size_t i = 0; i < saved.size(); ++i) {
        SCOPED_TRACE(saved[i].address);
        EXPECT_EQ(saved[i].result, expected[i].result);
        EXPECT_EQ(saved[i].status, expected[i].status);
        EXPECT_EQ(saved[i].path, expected[i].path);
        EXPECT_EQ(saved[i].error.empty(), expected[i].result == Result::kSaved);
    }
    EXPECT_EQ(test::ReadFile(m_dir / "a.swf"), Body("other/a.swf")); // the lower row's replaced the upper one's
    EXPECT_EQ(test::ReadFile(m_dir / "gone.swf"), Body("games/gone.swf"));
    EXPECT_EQ(test::ReadFile(m_dir / "cut.swf"), "FWS"); // what arrived before the break stays
    EXPECT_FALSE(fs::exists(m_dir / "far.swf"));
}

TEST_F(SaveAllTest, StoppingTheRowsBelowTheBreakStayUnsaved)
{
    const std::vector<std::string> addresses = {Url("/games/b.swf"), Url("/games/"), Url("/games/cut.swf"),
                                                Url("/games/c.swf")};
    std::vector<MovieSave> told;
    try {
        SaveAll(addresses, m_dir.Path(), AfterBreak::kStop, [&told](const MovieSave& save) { told.push_back(save); });
        ADD_FAILURE() << "the loop went past a broken transfer";
    } catch (const CInternetException& failure) {
        EXPECT_NE(std::string(failure.what()).find(Url("/games/cut.swf")), std::string::npos) << failure.what();
    }
    ASSERT_EQ(told.size(), 2u);
    EXPECT_EQ(told[0].result, Result::kSaved);
    EXPECT_EQ(told[1].result, Result::kNoName); // passed over, and the loop went on
    EXPECT_EQ(test::ReadFile(m_dir / "b.swf"), Body("games/b.swf"));
    EXPECT_EQ(test::ReadFile(m_dir / "cut.swf"), "FWS");
    EXPECT_FALSE(fs::exists(m_dir / "c.swf"));
}

TEST_F(SaveAllTest, OneConnectionCarriesTheWholeLoop)
{
    std::vector<std::string> paths;
    for (int i = 0; i < 50; ++i)
        paths.push_back("/m/" + std::to_string(i) + ".swf");
    const std::vector<MovieSave> saved = Run(paths, AfterBreak::kGoOn);
    ASSERT_EQ(saved.size(), paths.size());
    for (int i = 0; i < 50; ++i)
        EXPECT_EQ(test::ReadFile(m_dir / (std::to_string(i) + ".swf")), Body("m/" + std::to_string(i) + ".swf"));
    EXPECT_EQ(m_server.ConnectionsSeen(), 1u);
}

} // namespace
