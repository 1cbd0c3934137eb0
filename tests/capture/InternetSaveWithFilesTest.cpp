// "Save With Its Files…" on the Internet Files page, against a loopback site of real movies from
// ../shared/data/swf: the rows' context menu, the folder it asks for, the progress dialog, cancelling, and the
// box at the end. What the movies load comes from their ActionScript sources: 033's Test.as loads data.txt,
// data.bin and missingFile.bin; 013's test.as loads noise.mp3 and sound.mp3.
#include "capture/InternetPageSupport.h"
#include "framework/Dialogs.h"
#include "framework/ListView.h"
#include "support/FolderServer.h"
#include "support/Loopback.h"
#include "support/ManifestReading.h"
#include "support/SharedData.h"
#include "support/TempFolder.h"
#include "support/gui/GuiSupport.h"

#include <QMenu>
#include <QProgressDialog>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

constexpr const char* kPage = R"(<html><body>
<embed src="/033-url-loader/test.swf" base=".">
<embed src="/013-sound-multiple-load/test.swf" base=".">
</body></html>)";

class InternetSaveWithFilesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        test::ClearProxyEnvironment();
        PLUMEROC_SHARED_DATA_OR_SKIP(movies, "swf");
        m_server = std::make_unique<test::LoopbackServer>([this, movies](httplib::Server& server) {
            server.Get("/games/index.html",
                       [](const httplib::Request&, httplib::Response& res) { res.set_content(kPage, "text/html"); });
            // Each sound waits at the gate, so that the save can be watched and cancelled meanwhile.
            server.Get(R"(/013-sound-multiple-load/(\w+)\.mp3)",
                       [this](const httplib::Request&, httplib::Response& res) {
                           m_gate.Wait();
                           res.set_content("ID3 sound", "audio/mpeg");
                       });
            test::ServeFolder(server, movies);
        });
        ASSERT_TRUE(m_page.InitModeless());
        m_page.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&m_page));
        test::Go(m_page, Url("/games/index.html"));
        ASSERT_TRUE(test::WaitForIdle(m_page));
        ASSERT_EQ(test::MovieList(m_page)->rowCount(), 2);
    }

    // Nothing the server holds may outlast the test.
    void TearDown() override { m_gate.Open(); }

    std::string Url(const std::string& path) const { return m_server->Url(path); }
    int RowOf(const std::string& address)
    {
        for (int row = 0; row < test::MovieList(m_page)->rowCount(); ++row) {
            if (ListView::CellBytes(test::MovieList(m_page), row, 1) == address)
                return row;
        }
        return -1;
    }
    // A right click on the row, then the menu's one command.
    void SaveWithFiles(int row)
    {
        QTableWidget* list = test::MovieList(m_page);
        const QPoint at = list->visualRect(list->model()->index(row, 1)).center();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
        emit list->customContextMenuRequested(at);
        auto* menu = list->findChild<QMenu*>(QStringLiteral("rowMenu"));
        ASSERT_NE(menu, nullptr);
        ASSERT_TRUE(QTest::qWaitFor([&] { return menu->isVisible(); }, 5000));
        ASSERT_EQ(menu->actions().size(), 1);
        EXPECT_EQ(menu->actions().front()->text(), QStringLiteral("Save With Its Files…"));
        menu->actions().front()->trigger();
        menu->hide();
    }
    std::vector<Dialogs::Shown> Messages() const
    {
        std::vector<Dialogs::Shown> shown;
        for (const Dialogs::Shown& s : Dialogs::History()) {
            if (s.kind == Dialogs::Shown::Kind::Message)
                shown.push_back(s);
        }
        return shown;
    }
    bool WaitForTheBox()
    {
        return QTest::qWaitFor([&] { return m_page.SaveWithFilesJob() && m_page.SaveWithFilesJob()->Finished(); },
                               20000);
    }

    test::Gate m_gate;
    std::unique_ptr<test::LoopbackServer> m_server;
    test::ScriptedDialogs m_dialogs;
    test::PageWithoutPreview m_page;
};

TEST_F(InternetSaveWithFilesTest, TheSelectedMovieWithItsPageAndFilesAndOneBoxAtTheEnd)
{
    const test::TempFolder copy;
    Dialogs::QueueFolder(QString::fromStdString(copy.Path()));
    SaveWithFiles(RowOf(Url("/033-url-loader/test.swf")));
    ASSERT_TRUE(WaitForTheBox());

    const auto folders = Dialogs::History();
    ASSERT_FALSE(folders.empty());
    EXPECT_EQ(folders.front().kind, Dialogs::Shown::Kind::Folder);
    EXPECT_EQ(folders.front().caption, QStringLiteral("Save With Its Files"));
    const std::string manifestPath = copy / "plumeroc-manifest.json";
    ASSERT_EQ(Messages().size(), 1u);
    EXPECT_EQ(Messages()[0].text,
              QStringLiteral("4 files were saved; 1 could not be had.\n\nThe manifest lists every "
                             "file and why any is missing:\n")
                  + QString::fromStdString(manifestPath));

    const test::Manifest manifest = test::ReadManifest(manifestPath);
    EXPECT_THAT(manifest.starts, ::testing::ElementsAre(Url("/games/index.html")));
    for (const char* saved :
         {"/games/index.html", "/033-url-loader/test.swf", "/033-url-loader/data.txt", "/033-url-loader/data.bin"})
        EXPECT_TRUE(manifest.File(Url(saved)).saved) << saved;
    EXPECT_EQ(manifest.File(Url("/033-url-loader/missingFile.bin")).status, 404);
    // The row that was not selected is not saved.
    for (const test::ManifestFile& file : manifest.files)
        EXPECT_EQ(file.address.find("013-sound"), std::string::npos) << file.address;
}

TEST_F(InternetSaveWithFilesTest, TheProgressDialogNamesTheFileAndCancelling)
{
    m_gate.Close();
    const test::TempFolder copy;
    Dialogs::QueueFolder(QString::fromStdString(copy.Path()));
    SaveWithFiles(RowOf(Url("/013-sound-multiple-load/test.swf")));
    ASSERT_NE(m_page.SaveWithFilesJob(), nullptr);
    QProgressDialog* dialog = m_page.SaveWithFilesJob()->Dialog();
    ASSERT_NE(dialog, nullptr);
    const QString fetching =
        QStringLiteral("Fetching ") + QString::fromStdString(Url("/013-sound-multiple-load/noise.mp3"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_gate.Arrived() == 1; }, 10000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return dialog->labelText() == fetching; }, 5000))
        << dialog->labelText().toStdString();
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(dialog->windowModality(), Qt::WindowModal);

    // The sound held at the gate is never answered before the save has ended.
    auto* cancel = dialog->findChild<QPushButton*>();
    ASSERT_NE(cancel, nullptr);
    EXPECT_EQ(cancel->text(), QStringLiteral("Cancel"));
    QTest::mouseClick(cancel, Qt::LeftButton);
    ASSERT_TRUE(WaitForTheBox());
    m_gate.Open();
    ASSERT_EQ(Messages().size(), 1u);
    EXPECT_TRUE(Messages()[0].text.startsWith(QStringLiteral("Cancelled. 2 files were saved; 2 could not be had.")))
        << Messages()[0].text.toStdString();
    const test::Manifest manifest = test::ReadManifest(copy / "plumeroc-manifest.json");
    EXPECT_TRUE(manifest.cancelled);
    EXPECT_EQ(manifest.File(Url("/013-sound-multiple-load/sound.mp3")).reason, "cancelled");
}

} // namespace
