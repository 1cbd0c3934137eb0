// plumeroc-grab saving from a loopback Wayback Machine. archived --save lays a gone site's movies out at
// <host>/<path> from the captures its listing gives, the manifest naming each capture. A loader crawled twice by
// wget, the level it loads changed between the crawls: saved from the archive, the level comes from the capture
// nearest the loader's own; save-complete, the loader live and the level gone from the live site, takes the
// level's latest capture. An archive that refuses: the live site's reason stays, and the tool says it in one line.
#include "support/ArchiveWriters.h"
#include "support/ArchivedSite.h"
#include "support/Files.h"
#include "support/Loopback.h"
#include "support/ManifestReading.h"
#include "support/RunGrab.h"
#include "support/TempFolder.h"
#include "support/TestMovie.h"
#include "support/WaybackServer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <memory>
#include <sstream>
#include <thread>

namespace {

std::string Movie(std::uint8_t red, const std::string& loads = {})
{
    test::MovieRecipe recipe;
    recipe.background = {red, 40, 40};
    recipe.loadIntoLevel1 = loads;
    return test::MakeMovie(recipe);
}

// A loader at /games/loader.swf that loads /levels/level.swf, the level's bytes those of the crawl.
class ChangingSite {
public:
    explicit ChangingSite(test::WaybackServer& archive)
        : m_server([this](httplib::Server& server) {
            server.Get("/games/loader.swf", [this](const httplib::Request&, httplib::Response& response) {
                response.set_content(loader, "application/x-shockwave-flash");
            });
            server.Get("/levels/level.swf", [this](const httplib::Request&, httplib::Response& response) {
                if (m_levelGone) {
                    response.status = 404;
                    response.set_content("Not here", "text/plain");
                } else {
                    response.set_content(levels[m_crawl], "application/x-shockwave-flash");
                }
            });
        })
    {
        for (m_crawl = 0; m_crawl < 2; ++m_crawl) {
            if (m_crawl > 0) // a time of its own for the second crawl's captures
                std::this_thread::sleep_for(std::chrono::milliseconds(1100));
            const test::WgetArchive written = test::RunWget({Url("/games/loader.swf"), Url("/levels/level.swf")},
                                                            m_folder.Path(), "crawl" + std::to_string(m_crawl), true);
            archive.AddWarc(written.warc);
            m_crawls.push_back(written);
        }
        m_crawl = 1;
        m_levelGone = true;
    }

    std::string Url(const std::string& path) const { return m_server.Url(path); }
    std::string Host() const { return Url("").substr(7); }
    // The time wget's index of `crawl` gives `path`.
    std::string CrawlTime(int crawl, const std::string& path) const
    {
        for (const auto& row : test::ReadWgetCdx(m_crawls.at(static_cast<std::size_t>(crawl)).cdx)) {
            if (row.address == Url(path))
                return row.date;
        }
        ADD_FAILURE() << path << " is not in crawl " << crawl;
        return {};
    }

    const std::string loader = Movie(10, "../levels/level.swf");
    const std::string levels[2] = {Movie(100), Movie(200)};

private:
    std::atomic<int> m_crawl{0};
    std::atomic<bool> m_levelGone{false};
    test::LoopbackServer m_server;
    test::TempFolder m_folder;
    std::vector<test::WgetArchive> m_crawls;
};

class ArchivedSave : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        test::ClearProxyEnvironment();
        s_archive = std::make_unique<test::WaybackServer>();
        s_gone = std::make_unique<test::ArchivedSite>(*s_archive);
        s_changing = std::make_unique<ChangingSite>(*s_archive);
    }
    static void TearDownTestSuite()
    {
        s_changing.reset();
        s_gone.reset();
        s_archive.reset();
    }
    void TearDown() override { s_archive->Refuse(0); }

    test::GrabRun WithArchive(std::vector<std::string> args) const
    {
        args.insert(args.begin(), {"--archive", s_archive->Address()});
        return test::RunGrab(args, m_scratch.Path());
    }
    std::string Raw(const std::string& timestamp, const std::string& original) const
    {
        return s_archive->Address() + "/web/" + timestamp + "id_/" + original;
    }

    test::TempFolder m_scratch;
    const std::string m_copy = m_scratch.Path() + "/copy";
    static inline std::unique_ptr<test::WaybackServer> s_archive;
    static inline std::unique_ptr<test::ArchivedSite> s_gone;
    static inline std::unique_ptr<ChangingSite> s_changing;
};

TEST_F(ArchivedSave, TheListedMoviesAreSavedAtTheirOriginalPlacesFromTheirCaptures)
{
    const auto listed = WithArchive({"archived", s_gone->Host()});
    ASSERT_EQ(listed.status, 0) << listed.err;
    const auto saved = WithArchive({"archived", "--save", m_copy, s_gone->Host()});
    EXPECT_EQ(saved.status, 0) << saved.err;
    EXPECT_EQ(saved.out, "");
    EXPECT_EQ(saved.err, "");

    const test::Manifest manifest = test::ReadManifest(m_copy + "/plumeroc-manifest.json");
    EXPECT_EQ(manifest.sources, std::vector<std::string>{"archive"});
    std::size_t rows = 0;
    std::istringstream lines(listed.out);
    for (std::string line; std::getline(lines, line); ++rows) {
        const std::string capture = line.substr(0, line.find('\t'));
        const std::string original =
            line.substr(capture.size() + 1, line.find('\t', capture.size() + 1) - capture.size() - 1);
        SCOPED_TRACE(original);
        const test::ManifestFile& file = manifest.File(original);
        EXPECT_TRUE(file.saved);
        EXPECT_EQ(file.from, "archive");
        EXPECT_EQ(file.facts.at("capture"), capture);
        const std::string path = original.substr(original.find("//") + 2);
        EXPECT_EQ(file.path, path);
        EXPECT_EQ(test::ReadFile(m_copy + "/" + path), s_gone->MovieAt(original.substr(original.find('/', 7))));
    }
    EXPECT_GT(rows, 0u);
    EXPECT_EQ(manifest.files.size(), rows); // these movies load nothing
}

TEST_F(ArchivedSave, WhatAMovieLoadsComesFromTheCaptureNearestItsOwn)
{
    // Saved from the archive: the level of the loader's own crawl, though a later one was captured.
    const auto archived = WithArchive({"archived", "--save", m_copy, s_changing->Host() + "/games/"});
    EXPECT_EQ(archived.status, 0) << archived.err;
    const std::string level = s_changing->Url("/levels/level.swf");
    const std::string levelPath = s_changing->Host() + "/levels/level.swf";
    EXPECT_EQ(test::ReadFile(m_copy + "/" + levelPath), s_changing->levels[0]);
    const test::Manifest fromArchive = test::ReadManifest(m_copy + "/plumeroc-manifest.json");
    EXPECT_EQ(fromArchive.File(level).facts.at("captured"), s_changing->CrawlTime(0, "/levels/level.swf"));
    EXPECT_EQ(fromArchive.File(level).found,
              std::vector<std::string>{"action " + s_changing->Url("/games/loader.swf") + " ../levels/level.swf"});

    // The loader live today, its level gone from the site: the level's latest capture.
    const std::string live = m_scratch.Path() + "/live";
    const auto complete = WithArchive({"save-complete", s_changing->Url("/games/loader.swf"), live});
    EXPECT_EQ(complete.status, 0) << complete.err;
    EXPECT_EQ(test::ReadFile(live + "/" + levelPath), s_changing->levels[1]);
    const test::Manifest fromLive = test::ReadManifest(live + "/plumeroc-manifest.json");
    EXPECT_EQ(fromLive.sources, (std::vector<std::string>{"live", "archive"}));
    EXPECT_EQ(fromLive.File(s_changing->Url("/games/loader.swf")).from, "live");
    const test::ManifestFile& taken = fromLive.File(level);
    EXPECT_EQ(taken.from, "archive");
    EXPECT_EQ(taken.tried, std::vector<std::string>{"live status"});
    const std::string latest = s_changing->CrawlTime(1, "/levels/level.swf");
    EXPECT_EQ(taken.facts.at("captured"), latest);
    EXPECT_EQ(taken.facts.at("capture"), Raw(latest, level));
}

TEST_F(ArchivedSave, AnArchiveThatRefusesLeavesTheLiveReasonAndIsSaidOnce)
{
    s_archive->Refuse(429);
    const auto complete = WithArchive({"save-complete", s_changing->Url("/games/loader.swf"), m_copy});
    EXPECT_EQ(complete.status, 4); // the level's own 404
    EXPECT_TRUE(complete.err.ends_with("plumeroc-grab: the archive at " + s_archive->Address()
                                       + " refuses requests for now (HTTP 429 Too Many Requests); try again later"
                                       + " (1 file not had from it)\n"))
        << complete.err;
    const test::Manifest manifest = test::ReadManifest(m_copy + "/plumeroc-manifest.json");
    const test::ManifestFile& level = manifest.File(s_changing->Url("/levels/level.swf"));
    EXPECT_FALSE(level.saved);
    EXPECT_EQ(level.reason, "status");
    EXPECT_EQ(level.tried, (std::vector<std::string>{"live status", "archive no answer"}));

    const auto archived = WithArchive({"archived", "--save", m_copy, s_gone->Host()});
    EXPECT_EQ(archived.status, 2);
    EXPECT_EQ(archived.err,
              "plumeroc-grab: archived: the archive at " + s_archive->Address()
                  + " refuses requests for now (HTTP 429 Too Many Requests); try again later\n");
}

} // namespace
