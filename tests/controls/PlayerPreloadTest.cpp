// The player loaded behind the start page: out of sight, let go once it has started, and in the
// renderer where the first movie then opens, whether that movie is a local file or on a web server.
#include "controls/PlayerPreload.h"
#include "controls/HtmlCtrl.h"
#include "framework/DialogTemplate.h"
#include "res/resource.h"
#include "support/Loopback.h"
#include "support/TempFolder.h"
#include "support/gui/GuiSupport.h"

#include <QWebEnginePage>
#include <QWidget>

#include <gtest/gtest.h>

#include <memory>
#include <string>

using namespace std::chrono_literals;
using test::Rgb;

namespace {

const Rgb kBlue{0x20, 0x50, 0xc0};
const Rgb kOrange{0xf0, 0x90, 0x10};

// A window holding a viewer over its placeholder, showing the start page, as the pages hold theirs.
struct StartPage : QWidget {
    explicit StartPage(bool preload)
    {
        resize(420, 320);
        auto* placeholder = new QWidget(this);
        SetDlgCtrlID(placeholder, IDC_PREVIEW);
        placeholder->setGeometry(10, 10, 400, 300);
        m_preview.CreateOverPlaceholder(IDC_PREVIEW, this);
        show();
        QObject::connect(m_preview.Browser(), &QWebEnginePage::loadFinished, [this] { m_bLoaded = true; });
        m_preview.LoadFromResource(IDR_START_PAGE);
        if (preload)
            preview::PreloadPlayer(m_preview);
    }

    bool WaitForLoad()
    {
        return test::WaitUntil([&] { return m_bLoaded; }, 20s);
    }

    // What the page's script reports, as text.
    QString Ask(const char* script) { return test::RunScript(m_preview.Browser(), QString::fromLatin1(script), 5s); }

    // Ruffle is loaded, its module compiled, and the player it started is gone.
    bool WaitForPreload()
    {
        return test::WaitUntil(
            [&] {
                return Ask("String(window.preloadedModule instanceof WebAssembly.Module"
                           " && !!window.RufflePlayer && !document.querySelector('#player-preload, ruffle-player'))")
                    == QStringLiteral("true");
            },
            30s);
    }

    CHtmlCtrl m_preview;
    bool m_bLoaded = false;
};

std::string Movie()
{
    test::MovieRecipe recipe;
    recipe.background = kBlue;
    recipe.fill = kOrange;
    return test::MakeMovie(recipe);
}

TEST(PlayerPreloadTest, LoadsThePlayerOutOfSightAndLetsItGo)
{
    StartPage plain(false);
    StartPage preloaded(true);
    ASSERT_TRUE(plain.WaitForLoad());
    ASSERT_TRUE(preloaded.WaitForLoad());
    ASSERT_TRUE(preloaded.WaitForPreload());
    // Nothing of it shows: the start page looks as it does without it.
    ASSERT_TRUE(test::WaitUntil([&] { return test::Grab(&plain.m_preview) == test::Grab(&preloaded.m_preview); }, 10s));
    EXPECT_EQ(preloaded.Ask("document.title"), QStringLiteral("Plumeroc"));
    EXPECT_EQ(plain.Ask("String(!!window.RufflePlayer)"), QStringLiteral("false"));
}

TEST(PlayerPreloadTest, TheFirstMovieOpensInTheRendererThePlayerWasLoadedIn)
{
    const std::string movie = Movie();
    test::LoopbackServer server([&](httplib::Server& s) {
        s.Get("/games/clip.swf", [&](const httplib::Request&, httplib::Response& r) {
            r.set_content(movie, "application/x-shockwave-flash");
        });
    });
    const test::TempFolder folder;
    for (const std::string& location : {folder.Write("clip.swf", movie), server.Url("/games/clip.swf")}) {
        SCOPED_TRACE(location);
        StartPage page(true);
        ASSERT_TRUE(page.WaitForLoad());
        ASSERT_TRUE(page.WaitForPreload());
        const qint64 renderer = page.m_preview.Browser()->renderProcessPid();
        ASSERT_GT(renderer, 0);

        page.m_preview.Navigate2(location);
        EXPECT_TRUE(test::WaitUntil(
            [&] {
                const QImage image = test::Grab(&page.m_preview);
                return test::Near(test::ColourAt(image, 0.5, 0.5), kOrange)
                    && test::Near(test::ColourAt(image, 0.1, 0.1), kBlue);
            },
            20s));
        EXPECT_EQ(page.m_preview.Browser()->renderProcessPid(), renderer);
    }
}

} // namespace
