// The Internet Files page with its real preview, in the main window, in a run whose home and XDG
// folders all point into one fresh temporary tree: start-up, a capture, a preview and a Save must
// leave nothing in that tree but the saved movie.
#include "app/MainDialog.h"
#include "app/PlumerocApp.h"
#include "capture/InternetPageSupport.h"
#include "framework/Dialogs.h"
#include "res/resource.h"
#include "support/Loopback.h"
#include "support/gui/EmptyHome.h"
#include "support/gui/GuiSupport.h"

#include <QWebEnginePage>

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

CHtmlCtrl* Preview(CInternetPage& page) { return qobject_cast<CHtmlCtrl*>(GetDlgItem(&page, IDC_PREVIEW)); }

TEST(InternetPageInWindow, StartCapturePreviewAndSaveWriteOnlyTheSavedMovie)
{
    test::ClearProxyEnvironment();
    std::atomic<int> movieRequests{0};
    test::LoopbackServer server([&](httplib::Server& s) {
        // One request per connection: the engine's idle connections would hold up the server's end.
        s.set_keep_alive_max_count(1);
        s.Get("/games/index.html", [](const httplib::Request&, httplib::Response& r) {
            r.set_content(R"(<embed src="clip.swf"><embed src="other.swf">)", "text/html");
        });
        s.Get(R"(/games/(\w+)\.swf)", [&](const httplib::Request&, httplib::Response& r) {
            ++movieRequests;
            r.set_header("Set-Cookie", "seen=1; Max-Age=86400");
            r.set_header("Cache-Control", "max-age=86400");
            r.set_content("FWS\x08 not really a movie", "application/x-shockwave-flash");
        });
    });
    const test::ScriptedDialogs dialogs;
    {
        CMainDialog window;
        ASSERT_TRUE(window.InitModeless());
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        CInternetPage& page = window.InternetPage();

        // The viewer took the placeholder's place and shows the start page.
        CHtmlCtrl* preview = Preview(page);
        ASSERT_NE(preview, nullptr);
        ASSERT_NE(preview->Browser(), nullptr);
        const auto title = [&] { return preview->Browser()->title(); };
        EXPECT_TRUE(QTest::qWaitFor([&] { return title() == QStringLiteral("Plumeroc"); }, 20000));
        const QUrl startPage = preview->Browser()->url();

        test::Go(page, server.Url("/games/index.html"));
        ASSERT_TRUE(test::WaitForIdle(page));
        ASSERT_EQ(test::Rows(page).size(), 2u);

        // A row whose address is empty is marked but shows nothing new.
        QTableWidget* list = test::MovieList(page);
        list->insertRow(2);
        list->setItem(2, 0, new QTableWidgetItem(QStringLiteral("New")));
        list->setItem(2, 1, new QTableWidgetItem(QString()));
        test::ClickRow(page, 2);
        EXPECT_EQ(test::Rows(page)[2].first, "Preview");
        QTest::qWait(200);
        EXPECT_EQ(preview->Browser()->url(), startPage);

        // A click shows the movie: the viewer goes to its address and the player asks for it.
        test::ClickRow(page, 1); // clip.swf
        const QUrl clip(QString::fromStdString(server.Url("/games/clip.swf")));
        EXPECT_TRUE(QTest::qWaitFor([&] { return preview->Browser()->url() == clip; }, 20000))
            << preview->Browser()->url().toString().toStdString();
        EXPECT_TRUE(QTest::qWaitFor([&] { return movieRequests > 0; }, 20000));

        const fs::path saved = test::RunTree() + "/home/saved.swf";
        Dialogs::QueueSaveFileName(QString::fromStdString(saved.string()));
        test::Click(test::Button(page, IDC_SAVE));
        EXPECT_TRUE(fs::exists(saved));

        EXPECT_EQ(test::FilesInRunTree(), std::vector<std::string>{"home/saved.swf"});
        fs::remove(saved);
    }
    EXPECT_EQ(test::FilesInRunTree(), std::vector<std::string>{});
}

} // namespace
