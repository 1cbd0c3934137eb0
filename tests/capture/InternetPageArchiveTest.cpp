// The Internet Files page with the archive pointed at a loopback Wayback Machine that holds a site wget crawled
// at test time, now gone: "Go" lists the gone page's movies as the archive's raw captures (the one never crawled
// at its live address) and Save All fetches them from there; an archive that refuses shows nothing and leaves
// the list as a failed capture does; closing the page while the capture waits for the archive's turn is prompt.
// "Save With Its Files…" on those rows lays the site out at its own addresses, the archive giving every file,
// and its closing box counts the movie the archive never captured.
#include "capture/ArchiveRequests.h"
#include "capture/InternetPageSupport.h"
#include "framework/Dialogs.h"
#include "support/ArchiveWriters.h"
#include "support/ArchivedSite.h"
#include "support/Files.h"
#include "support/Loopback.h"
#include "support/ManifestReading.h"
#include "support/TempFolder.h"
#include "support/WaybackServer.h"
#include "support/gui/GuiSupport.h"
#include "wayback/ArchiveSetting.h"

#include <QTableWidget>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <memory>

namespace {

class InternetPageArchive : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        test::ClearProxyEnvironment();
        s_archive = std::make_unique<test::WaybackServer>();
        s_site = std::make_unique<test::ArchivedSite>(*s_archive);
        wayback::SetArchive(s_archive->Address());
    }
    static void TearDownTestSuite()
    {
        wayback::SetArchive({});
        s_site.reset();
        s_archive.reset();
    }
    void SetUp() override
    {
        capture::SetCdxInterval(std::chrono::milliseconds(0));
        m_page = std::make_unique<test::PageWithoutPreview>();
        ASSERT_TRUE(m_page->InitModeless());
        m_page->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(m_page.get()));
    }
    void TearDown() override
    {
        m_page.reset();
        s_archive->Refuse(0);
    }

    // The raw capture of `path` that the crawl made, as wget's index dates it.
    static std::string RawCapture(const std::string& path)
    {
        for (const auto& row : test::ReadWgetCdx(s_site->Crawls().front().cdx)) {
            if (row.address == s_site->Url(path))
                return s_archive->Address() + "/web/" + row.date + "id_/" + row.address;
        }
        ADD_FAILURE() << path << " was not crawled";
        return {};
    }

    void Capture(const std::string& address)
    {
        test::Go(*m_page, address);
        ASSERT_TRUE(test::WaitForIdle(*m_page));
    }

    static inline std::unique_ptr<test::WaybackServer> s_archive;
    static inline std::unique_ptr<test::ArchivedSite> s_site;
    test::ScriptedDialogs m_dialogs;
    std::unique_ptr<test::PageWithoutPreview> m_page;
};

TEST_F(InternetPageArchive, AGonePageIsListedFromTheArchiveAndSavedFromThere)
{
    Capture(s_site->Url(test::ArchivedSite::kPage));
    const std::vector<test::Row> expected{{"New", RawCapture("/games/packed.swf")},
                                          {"New", s_site->Url(test::ArchivedSite::kNeverCrawled)},
                                          {"New", RawCapture("/games/b.swf")},
                                          {"New", RawCapture("/games/a.swf")}};
    EXPECT_EQ(test::Rows(*m_page), expected);

    const test::TempFolder folder;
    Dialogs::QueueFolder(QString::fromStdString(folder.Path()));
    test::Click(test::Button(*m_page, IDC_SAVE_ALL));
    std::map<std::string, std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder.Path()))
        files[entry.path().filename().string()] = test::ReadFile(entry.path().string());
    const std::map<std::string, std::string> saved{{"a.swf", s_site->MovieAt("/games/a.swf")},
                                                   {"b.swf", s_site->MovieAt("/games/b.swf")},
                                                   {"never.swf", "<html><body>This site is gone.</body></html>"},
                                                   {"packed.swf", s_site->MovieAt("/games/packed.swf")}};
    EXPECT_EQ(files, saved);
    for (const Dialogs::Shown& shown : Dialogs::History())
        EXPECT_NE(shown.kind, Dialogs::Shown::Kind::Message) << shown.text.toStdString();
}

TEST_F(InternetPageArchive, SavedWithItsFilesAtTheSitesOwnAddressesFromTheArchive)
{
    Capture(s_site->Url(test::ArchivedSite::kPage));
    const test::TempFolder copy;
    Dialogs::QueueFolder(QString::fromStdString(copy.Path()));
    test::MovieList(*m_page)->selectAll();
    m_page->OnSaveWithFiles();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return m_page->SaveWithFilesJob() != nullptr && m_page->SaveWithFilesJob()->Finished(); }, 60000));

    const test::Manifest manifest = test::ReadManifest(copy.Path() + "/plumeroc-manifest.json");
    EXPECT_EQ(manifest.sources, (std::vector<std::string>{"live", "archive"}));
    EXPECT_EQ(manifest.File(s_site->Url(test::ArchivedSite::kPage)).from, "archive");
    for (const char* path : {"/games/a.swf", "/games/b.swf", "/games/packed.swf"}) {
        SCOPED_TRACE(path);
        const test::ManifestFile& file = manifest.File(s_site->Url(path));
        EXPECT_EQ(file.from, "archive");
        EXPECT_EQ(file.tried, std::vector<std::string>{"live status"});
        EXPECT_EQ(file.facts.at("capture"), RawCapture(path));
        EXPECT_EQ(test::ReadFile(copy.Path() + "/" + s_site->Host() + path), s_site->MovieAt(path));
    }
    const test::ManifestFile& never = manifest.File(s_site->Url(test::ArchivedSite::kNeverCrawled));
    EXPECT_FALSE(never.saved);
    EXPECT_EQ(never.tried, (std::vector<std::string>{"live status", "archive not there"}));

    ASSERT_FALSE(Dialogs::History().empty());
    const QString box = Dialogs::History().back().text;
    EXPECT_TRUE(box.contains(QStringLiteral("; 1 could not be had. The archive could not give it either.")))
        << box.toStdString();
}

TEST_F(InternetPageArchive, AnArchiveThatRefusesShowsNothing)
{
    Capture(s_site->Url(test::ArchivedSite::kPage));
    const auto listed = test::Rows(*m_page);
    ASSERT_EQ(listed.size(), 4u);

    s_archive->Refuse(503);
    const test::LoopbackSocket refusing(false);
    Capture(refusing.Url("/gone.html")); // unreachable, and the archive refuses: the rows stay
    EXPECT_EQ(test::Rows(*m_page), listed);
    Capture(s_site->Url(test::ArchivedSite::kPage)); // its 404 page names no movie: the list empties
    EXPECT_TRUE(test::Rows(*m_page).empty());
    EXPECT_TRUE(Dialogs::History().empty());
}

TEST_F(InternetPageArchive, ClosingWhileTheCaptureWaitsForTheArchiveIsPrompt)
{
    Capture(s_site->Url(test::ArchivedSite::kPage));
    capture::SetCdxInterval(std::chrono::seconds(60));
    test::Go(*m_page, s_site->Url(test::ArchivedSite::kPage));
    const std::size_t asked = s_archive->CdxRequests().size();
    ASSERT_TRUE(test::WaitUntil([&] { return m_page->CaptureRunning(); }, std::chrono::seconds(2)));
    QTest::qWait(300); // the live page answers 404, and the archive's turn is a minute away
    const auto start = std::chrono::steady_clock::now();
    m_page.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_EQ(s_archive->CdxRequests().size(), asked);
}

} // namespace
