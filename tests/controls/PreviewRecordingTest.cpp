// What a previewed movie loads while Ruffle plays it, with real movies from ../shared/data/swf: where its
// relative loads go (the page that embedded it, the site it was stored for, the folder it lies in) and that
// every request it makes is recorded. 040's Main.as loads "./child/child.swf"; 013's test.as loads
// "noise.mp3" and "sound.mp3".
#include "controls/HtmlCtrl.h"
#include "res/resource.h"

#include "capture/SiteLayout.h"
#include "framework/DialogTemplate.h"
#include "support/Files.h"
#include "support/FolderServer.h"
#include "support/Loopback.h"
#include "support/SharedData.h"
#include "support/TempFolder.h"
#include "support/gui/GuiSupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>
#include <QWebEnginePage>
#include <QWidget>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <mutex>
#include <set>

using namespace std::chrono_literals;

namespace {

constexpr auto kPlayTimeout = 30s;

struct TestPage : QWidget {
    TestPage()
    {
        resize(500, 400);
        auto* placeholder = new QLabel(QStringLiteral("Static"), this);
        SetDlgCtrlID(placeholder, IDC_PREVIEW);
        placeholder->setGeometry(10, 10, 400, 300);
        show();
    }
    CHtmlCtrl m_preview;
};

class PreviewRecordingTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        test::ClearProxyEnvironment();
        PLUMEROC_SHARED_DATA_OR_SKIP(movies, "swf");
        m_movies = movies;
        m_server = std::make_unique<test::LoopbackServer>([this](httplib::Server& server) {
            server.set_logger([this](const httplib::Request& req, const httplib::Response& res) {
                const std::lock_guard lock(m_mutex);
                if (res.status == 200)
                    m_served.insert(req.path);
            });
            // The page's own folder holds a child of its own.
            server.Get("/games/child/child.swf", [this](const httplib::Request&, httplib::Response& res) {
                res.set_content(test::ReadFile(m_movies + "/040-loader-child-getdefinition/child/child.swf"),
                                "application/x-shockwave-flash");
            });
            test::ServeFolder(server, m_movies);
        });
        ASSERT_NE(m_page.m_preview.CreateOverPlaceholder(IDC_PREVIEW, &m_page), 0);
    }

    std::string Url(const std::string& path) const { return m_server->Url(path); }
    bool Served(const std::string& path)
    {
        const std::lock_guard lock(m_mutex);
        return m_served.contains(path);
    }
    // Waits until the movie shown for `location` has asked for an address that `wanted` accepts.
    bool AskedFor(const std::string& location, const std::function<bool(const std::string&)>& wanted)
    {
        return test::WaitUntil(
            [&] {
                const std::vector<std::string> played = m_page.m_preview.Played(location);
                return std::any_of(played.begin(), played.end(), wanted);
            },
            kPlayTimeout);
    }

    std::string m_movies;
    std::mutex m_mutex; // before the server, whose thread logs into them until it stops
    std::set<std::string> m_served;
    std::unique_ptr<test::LoopbackServer> m_server;
    TestPage m_page;
};

TEST_F(PreviewRecordingTest, AMovieOfAPageLoadsFromThePageAndAStoredMovieFromItsSite)
{
    // As a row of the Internet Files list: its page's folder is where "./child/child.swf" goes.
    const std::string movie = Url("/040-loader-child-getdefinition/test.swf");
    m_page.m_preview.Navigate2(movie, Url("/games/index.html"));
    const std::string fromPage = Url("/games/child/child.swf");
    ASSERT_TRUE(AskedFor(movie, [&](const std::string& address) { return address == fromPage; }))
        << ::testing::PrintToString(m_page.m_preview.Played(movie));
    EXPECT_TRUE(test::WaitUntil([&] { return Served("/games/child/child.swf"); }, 5s));
    EXPECT_THAT(m_page.m_preview.Played(movie), ::testing::Not(::testing::Contains(movie)));

    // As a cache entry's movie, held in memory: it plays as if from the address it was stored for.
    const std::string bytes = test::ReadFile(m_movies + "/040-loader-child-getdefinition/test.swf");
    m_page.m_preview.ShowMovie(bytes, "/cache/entry", movie);
    const std::string fromSite = Url("/040-loader-child-getdefinition/child/child.swf");
    ASSERT_TRUE(AskedFor("/cache/entry", [&](const std::string& address) { return address == fromSite; }))
        << ::testing::PrintToString(m_page.m_preview.Played("/cache/entry"));
    EXPECT_TRUE(test::WaitUntil([&] { return Served("/040-loader-child-getdefinition/child/child.swf"); }, 5s));

    // An AVM1 movie's sounds, asked for as it starts; what the first movie asked for stays its own.
    const std::string sounds = Url("/013-sound-multiple-load/test.swf");
    m_page.m_preview.Navigate2(sounds);
    for (const char* name : {"noise.mp3", "sound.mp3"}) {
        const std::string sound = Url(std::string("/013-sound-multiple-load/") + name);
        EXPECT_TRUE(AskedFor(sounds, [&](const std::string& address) { return address == sound; })) << name;
    }
    EXPECT_THAT(m_page.m_preview.Played(movie), ::testing::ElementsAre(fromPage));
}

TEST_F(PreviewRecordingTest, AMovieInALocalFolderLoadsFromTheDiskBelowItAndNoFurther)
{
    // The real folder of the movies, as the Local Files page lists it: the child comes from the disk.
    const std::string location = m_movies + "/040-loader-child-getdefinition/test.swf";
    m_page.m_preview.PlayFromFolder(location, m_movies, "040-loader-child-getdefinition/test.swf");
    ASSERT_TRUE(AskedFor(location, [](const std::string& address) {
        return address.starts_with("plumeroc://")
            && address.ends_with("/040-loader-child-getdefinition/child/child.swf");
    })) << ::testing::PrintToString(m_page.m_preview.Played(location));
    EXPECT_FALSE(Served("/040-loader-child-getdefinition/child/child.swf"));

    // What the folder's page can read: what lies below the folder, nothing above it or through a link.
    const test::TempFolder outside;
    const std::string secret = outside.Write("secret.txt", "secret");
    const test::TempFolder folder;
    folder.Write("game/data.txt", "data");
    folder.Write("game/data.php?level=2", "level two");
    folder.Write("game/movie.swf", test::ReadFile(m_movies + "/013-sound-multiple-load/test.swf"));
    std::filesystem::create_symlink(secret, folder / "game/link.txt");
    // Names found as a saved copy gives them, a query kept in the name.
    m_page.m_preview.PlayFromFolder(folder / "game/movie.swf", folder.Path(), "game/movie.swf",
                                    [](const std::string& pathAndQuery) {
                                        const auto saved = capture::SavedPathOf(pathAndQuery);
                                        return saved ? std::vector<std::string>{*saved} : std::vector<std::string>{};
                                    });
    QWebEnginePage* page = m_page.m_preview.Browser();
    // The player page of this movie, loaded: not the one before it.
    ASSERT_TRUE(test::WaitUntil(
        [&] {
            return test::RunScript(page, QStringLiteral("document.readyState + ' ' + location.pathname"), 2s)
                == QStringLiteral("complete /game/movie.swf");
        },
        kPlayTimeout));
    const QString read =
        QStringLiteral("(() => { const x = new XMLHttpRequest(); x.open('GET', %1);"
                       " x.onload = () => window.outcome = x.status === 200 ? x.responseText : 'blocked';"
                       " x.onerror = () => window.outcome = 'blocked'; x.send(); })();");
    struct Case {
        const char* address;
        const char* expected;
    } cases[] = {
        {"data.txt", "data"},
        {"/game/data.txt", "data"},
        {"data.php?level=2", "level two"},
        {"link.txt", "blocked"},
        {"/%2E%2E/%2E%2E/etc/passwd", "blocked"},
        {"/game/..%2F..%2F..%2Fetc/passwd", "blocked"},
        {"missing.txt", "blocked"},
    };
    for (const Case& c : cases) {
        const QString quoted =
            QString::fromUtf8(QJsonDocument(QJsonArray{QString::fromUtf8(c.address)}).toJson(QJsonDocument::Compact))
                .mid(1)
                .chopped(1);
        test::RunScript(page, QStringLiteral("window.outcome = undefined;") + read.arg(quoted), 10s);
        QString outcome;
        test::WaitUntil(
            [&] {
                outcome = test::RunScript(page, QStringLiteral("String(window.outcome)"), 2s);
                return outcome != QStringLiteral("undefined") && !outcome.isEmpty();
            },
            10s);
        EXPECT_EQ(outcome, QString::fromUtf8(c.expected)) << c.address;
    }
}

} // namespace
