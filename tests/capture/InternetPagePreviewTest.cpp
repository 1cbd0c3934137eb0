// The Internet Files page with its real preview, in the main window, in a run whose home and XDG
// folders all point into one fresh temporary tree: start-up, a capture, a preview and a Save must
// leave nothing in that tree but the saved movie.
#include "framework/Dialogs.h"
#include "app/MainDialog.h"
#include "app/PlumerocApp.h"
#include "capture/InternetPageSupport.h"
#include "capture/LoopbackServer.h"
#include "res/resource.h"

#include <QWebEnginePage>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <cstdlib>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

fs::path g_tree;  // the run's temporary tree, set by main()

// Files below the tree, relative; folders do not count.
std::vector<std::string> FilesInTree()
{
    std::vector<std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(g_tree))
        if (!entry.is_directory())
            files.push_back(fs::relative(entry.path(), g_tree).string());
    return files;
}

CHtmlCtrl* Preview(CInternetPage& page)
{
    return qobject_cast<CHtmlCtrl*>(GetDlgItem(&page, IDC_PREVIEW));
}

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
    Dialogs::SetScripted(true);
    Dialogs::ClearHistory();
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
        test::ClickRow(page, 1);  // clip.swf
        const QUrl clip(QString::fromStdString(server.Url("/games/clip.swf")));
        EXPECT_TRUE(QTest::qWaitFor([&] { return preview->Browser()->url() == clip; }, 20000))
            << preview->Browser()->url().toString().toStdString();
        EXPECT_TRUE(QTest::qWaitFor([&] { return movieRequests > 0; }, 20000));

        const fs::path saved = g_tree / "home/saved.swf";
        Dialogs::QueueSaveFileName(QString::fromStdString(saved.string()));
        test::Click(test::Button(page, IDC_SAVE));
        EXPECT_TRUE(fs::exists(saved));

        EXPECT_EQ(FilesInTree(), std::vector<std::string>{"home/saved.swf"});
        fs::remove(saved);
    }
    Dialogs::SetScripted(false);
    EXPECT_EQ(FilesInTree(), std::vector<std::string>{});
}

} // namespace

// The whole run, application object included, sees only the temporary tree as its home; after the
// application object is gone the tree is looked at once more, for files written at shutdown.
int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    std::string pattern = (fs::temp_directory_path() / "plumeroc-tree-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr)
        return 2;
    g_tree = pattern;
    const std::pair<const char*, const char*> folders[] = {
        {"HOME", "home"},
        {"XDG_CONFIG_HOME", "home/.config"},
        {"XDG_CACHE_HOME", "home/.cache"},
        {"XDG_DATA_HOME", "home/.local/share"},
        {"XDG_STATE_HOME", "home/.local/state"},
        {"XDG_RUNTIME_DIR", "runtime"},
    };
    ::mkdir((g_tree / "runtime").c_str(), 0700);  // a runtime folder must be the user's alone
    for (const auto& [variable, folder] : folders) {
        fs::create_directories(g_tree / folder);
        ::setenv(variable, (g_tree / folder).c_str(), 1);
    }
    int status = 0;
    {
        CPlumerocApp::PrepareEnvironment();
        CPlumerocApp app(argc, argv);
        status = RUN_ALL_TESTS();
    }
    for (const std::string& file : FilesInTree()) {
        std::fprintf(stderr, "written by the run: %s\n", file.c_str());
        status = 1;
    }
    std::error_code ignored;
    fs::remove_all(g_tree, ignored);
    return status;
}
