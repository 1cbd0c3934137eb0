// A copy saved with its files plays in the Local Files page from the disk, and "Save With Its Files…" of a
// plain row, with real movies from ../shared/data/swf played by Ruffle. 040's Main.as loads
// "./child/child.swf" beside it.
#include "cache/ui/LocalPage.h"
#include "capture/CompleteSave.h"
#include "framework/Dialogs.h"
#include "framework/ListView.h"
#include "support/FolderServer.h"
#include "support/Loopback.h"
#include "support/ManifestReading.h"
#include "support/SharedData.h"
#include "support/TempFolder.h"
#include "support/gui/GuiSupport.h"

#include <QMenu>
#include <QTest>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <mutex>
#include <regex>
#include <set>

using namespace std::chrono_literals;

namespace {

TEST(LocalSaveWithFilesTest, ACopySavedWithItsFilesPlaysFromTheDiskAndIsSavedAgain)
{
    test::ClearProxyEnvironment();
    PLUMEROC_SHARED_DATA_OR_SKIP(movies, "swf");
    std::mutex mutex;
    std::set<std::string> served;
    const test::TempFolder copy;
    std::string host;
    {
        test::LoopbackServer server([&](httplib::Server& s) {
            s.set_logger([&](const httplib::Request& req, const httplib::Response&) {
                const std::lock_guard lock(mutex);
                served.insert(req.path);
            });
            test::ServeFolder(s, movies);
        });
        host = "127.0.0.1:" + std::to_string(server.Port());
        const std::atomic<bool> never{false};
        const capture::SaveOutcome saved = capture::RunCompleteSave(
            copy.Path(),
            [&](capture::CompleteSave& save) {
                save.AddAddress(server.Url("/040-loader-child-getdefinition/test.swf"));
            },
            never);
        ASSERT_EQ(saved.saved, 2u) << saved.failure;
    }
    // The site is gone: what the movie loads now can only come from the copy.
    const std::size_t servedBefore = served.size();

    test::ScriptedDialogs dialogs;
    const test::TempHome home;
    CLocalPage page;
    page.SetChosenFolder(copy.Path());
    ASSERT_TRUE(page.InitModeless());
    page.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&page));
    QTableWidget* list = page.MovieList();
    const std::string movie = copy / (host + "/040-loader-child-getdefinition/test.swf");
    int row = -1;
    for (int r = 0; r < list->rowCount(); ++r) {
        if (ListView::CellBytes(list, r, CLocalPage::kPathColumn) == movie)
            row = r;
    }
    ASSERT_GE(row, 0);
    const QPoint at = list->visualRect(list->model()->index(row, 0)).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
    // The site's folder is where the copy's addresses start: the child is asked for below it, and found.
    const std::regex fromSiteFolder("plumeroc://f[0-9a-f]{32}/040-loader-child-getdefinition/child/child\\.swf");
    ASSERT_TRUE(test::WaitUntil(
        [&] {
            for (const std::string& request : page.Preview().Played(movie)) {
                if (std::regex_match(request, fromSiteFolder))
                    return true;
            }
            return false;
        },
        30s))
        << ::testing::PrintToString(page.Preview().Played(movie));
    EXPECT_EQ(served.size(), servedBefore);

    // The plain row again, with its files: its one file is named relative to it, with nothing to resolve it
    // against, and the manifest says so.
    const test::TempFolder again;
    Dialogs::QueueFolder(QString::fromStdString(again.Path()));
    emit list->customContextMenuRequested(at);
    auto* menu = list->findChild<QMenu*>(QStringLiteral("rowMenu"));
    ASSERT_NE(menu, nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return menu->isVisible(); }, 5000));
    menu->actions().front()->trigger();
    menu->hide();
    ASSERT_TRUE(QTest::qWaitFor([&] { return page.SaveWithFilesJob() && page.SaveWithFilesJob()->Finished(); }, 20000));
    std::vector<QString> texts;
    for (const Dialogs::Shown& shown : Dialogs::History()) {
        if (shown.kind == Dialogs::Shown::Kind::Message)
            texts.push_back(shown.text);
    }
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_TRUE(texts[0].startsWith(QStringLiteral("1 file was saved; 1 could not be had."))) << texts[0].toStdString();
    const test::Manifest manifest = test::ReadManifest(again / "plumeroc-manifest.json");
    EXPECT_EQ(manifest.File(movie).path, "test.swf");
    EXPECT_EQ(manifest.File(movie).from, "local");
    EXPECT_THAT(manifest.unresolved, ::testing::ElementsAre("./child/child.swf abc"));
}

} // namespace
