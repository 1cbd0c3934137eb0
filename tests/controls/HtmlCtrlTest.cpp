// The preview control in a real web engine: placement over the placeholder, the start page,
// movies played from a loopback server, from a local file and from memory, the blank page, pages,
// release of the engine, what a previewed movie may read, and that nothing is written below the home
// folder.
#include "controls/HtmlCtrl.h"
#include "res/resource.h"

#include "controls/PreviewEngine.h"
#include "controls/PreviewSchemeHandler.h"
#include "framework/DialogTemplate.h"
#include "support/Files.h"
#include "support/Loopback.h"
#include "support/TempFolder.h"
#include "support/gui/GuiSupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>
#include <QPointer>
#include <QSignalSpy>
#include <QWebEnginePage>
#include <QWidget>

#include <gtest/gtest.h>

#include <memory>

using namespace std::chrono_literals;
using test::Rgb;

namespace {
constexpr auto kRenderTimeout = 20s;

const Rgb kBlue{0x20, 0x50, 0xc0};
const Rgb kOrange{0xf0, 0x90, 0x10};
const Rgb kDarkGreen{0x10, 0x60, 0x20};
const Rgb kPink{0xf0, 0x60, 0xc0};
const Rgb kLime{0x40, 0xf0, 0x40};

// A stand-in for a page: a window holding the placeholder and another item, and the viewer as a
// member, as the program's pages hold theirs.
struct TestPage : QWidget {
    TestPage()
    {
        resize(500, 400);
        auto* label = new QLabel(QStringLiteral("Address:"), this);
        SetDlgCtrlID(label, 1001);
        label->setGeometry(5, 5, 80, 20);
        placeholder = new QLabel(QStringLiteral("Static"), this);
        SetDlgCtrlID(placeholder, IDC_PREVIEW);
        placeholder->setGeometry(10, 40, 400, 300);
        show();
    }
    QPointer<QLabel> placeholder;
    CHtmlCtrl m_preview;
};

// The movie's rectangle covers the middle of the stage, its background the rest.
bool ShowsMovie(CHtmlCtrl& viewer, Rgb background, Rgb fill)
{
    const QImage image = test::Grab(&viewer);
    return test::Near(test::ColourAt(image, 0.5, 0.5), fill) && test::Near(test::ColourAt(image, 0.1, 0.1), background);
}

bool WaitForMovie(CHtmlCtrl& viewer, Rgb background, Rgb fill)
{
    return test::WaitUntil([&] { return ShowsMovie(viewer, background, fill); }, kRenderTimeout);
}

std::string Movie(Rgb background, Rgb fill, const std::string& loadIntoLevel1 = {})
{
    test::MovieRecipe recipe;
    recipe.background = background;
    recipe.fill = fill;
    recipe.loadIntoLevel1 = loadIntoLevel1;
    return test::MakeMovie(recipe);
}

// A movie for level 1: no background, a rectangle over the top left of the stage.
std::string Overlay(Rgb fill)
{
    test::MovieRecipe recipe;
    recipe.hasBackground = false;
    recipe.fill = fill;
    recipe.left = 0, recipe.top = 0, recipe.right = 120, recipe.bottom = 90;
    return test::MakeMovie(recipe);
}

// Runs an asynchronous script that ends by setting window.outcome, and returns that value.
QString Outcome(QWebEnginePage* page, const QString& script)
{
    test::RunScript(page, QStringLiteral("window.outcome = undefined;") + script, 20s);
    QString outcome;
    test::WaitUntil(
        [&] {
            outcome = test::RunScript(page, QStringLiteral("String(window.outcome)"), 2s);
            return !outcome.isEmpty() && outcome != QStringLiteral("undefined");
        },
        10s);
    return outcome;
}

const QString kReadScript = QStringLiteral("(() => { const x = new XMLHttpRequest(); x.open('GET', %1);"
                                           " x.onload = () => window.outcome = x.status >= 200 && x.status < 300 ? "
                                           "'read:' + x.responseText.slice(0, 3) : 'blocked';"
                                           " x.onerror = () => window.outcome = 'blocked'; x.send(); })();");

// One viewer shared by the tests of a suite: the engine's first start is the expensive part.
class ViewerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_page = std::make_unique<TestPage>();
        ASSERT_NE(s_page->m_preview.CreateOverPlaceholder(IDC_PREVIEW, s_page.get()), 0);
    }
    static void TearDownTestSuite() { s_page.reset(); }
    // Every test starts from the start page, so nothing it waits for can be left from another.
    void SetUp() override
    {
        ASSERT_NE(Viewer().LoadFromResource(IDR_START_PAGE), 0);
        ASSERT_TRUE(WaitForTitle(QStringLiteral("Plumeroc")));
        ASSERT_TRUE(test::WaitUntil(
            [&] {
                return test::Near(test::ColourAt(test::Grab(&Viewer()), 0.9, 0.9), Rgb{255, 255, 255});
            },
            10s));
    }
    CHtmlCtrl& Viewer() { return s_page->m_preview; }
    QWebEnginePage* Browser() { return s_page->m_preview.Browser(); }

    bool WaitForTitle(const QString& title)
    {
        return test::WaitUntil([&] { return Browser()->title() == title; }, kRenderTimeout);
    }

    static std::unique_ptr<TestPage> s_page;
};
std::unique_ptr<TestPage> ViewerTest::s_page;

TEST(HtmlCtrlCreate, TakesThePlaceholdersPlaceRectangleAndId)
{
    TestPage page;
    const QRect rect = page.placeholder->geometry();
    ASSERT_NE(page.m_preview.CreateOverPlaceholder(IDC_PREVIEW, &page), 0);
    EXPECT_TRUE(page.placeholder.isNull());
    EXPECT_EQ(page.m_preview.parentWidget(), &page);
    EXPECT_EQ(page.m_preview.geometry(), rect);
    EXPECT_EQ(GetDlgCtrlID(&page.m_preview), IDC_PREVIEW);
    EXPECT_EQ(GetDlgItem(&page, IDC_PREVIEW), &page.m_preview);
    EXPECT_TRUE(page.m_preview.isVisible());
    EXPECT_NE(page.m_preview.Browser(), nullptr);
    EXPECT_NE(GetDlgItem(&page, 1001), nullptr);
}

TEST(HtmlCtrlCreate, MissingPlaceholderChangesNothingAndLeavesNoEngine)
{
    for (int id : {1011, 1001 + 1000}) {
        TestPage page;
        const auto before = page.findChildren<QWidget*>();
        EXPECT_EQ(page.m_preview.CreateOverPlaceholder(id, &page), 0) << id;
        EXPECT_EQ(page.findChildren<QWidget*>(), before) << id;
        EXPECT_FALSE(page.placeholder.isNull()) << id;
        EXPECT_EQ(page.m_preview.parentWidget(), nullptr) << id;
        EXPECT_EQ(page.m_preview.Browser(), nullptr) << id;
        // Without an engine every request is ignored, and none creates an engine behind our back.
        EXPECT_EQ(page.m_preview.LoadFromResource(IDR_START_PAGE), 0) << id;
        page.m_preview.Navigate2("http://127.0.0.1:9/movie.swf");
        page.m_preview.Navigate2("/tmp/movie.swf");
        EXPECT_EQ(page.m_preview.Browser(), nullptr) << id;
        EXPECT_TRUE(page.m_preview.findChildren<QWebEnginePage*>().isEmpty()) << id;
    }
}

TEST(HtmlCtrlDestroy, ReleasesTheEngineExactlyOnce)
{
    int released = 0;
    {
        TestPage page;
        ASSERT_NE(page.m_preview.CreateOverPlaceholder(IDC_PREVIEW, &page), 0);
        QObject::connect(page.m_preview.Browser(), &QObject::destroyed, [&] { ++released; });
        ASSERT_NE(page.m_preview.LoadFromResource(IDR_START_PAGE), 0);
        EXPECT_EQ(released, 0);
    }
    EXPECT_EQ(released, 1);
}

TEST_F(ViewerTest, StartPageHasTitleAndText)
{
    // The start page is already shown, so wait for this load to finish rather than for its title.
    QSignalSpy loaded(Browser(), &QWebEnginePage::loadFinished);
    ASSERT_NE(Viewer().LoadFromResource(IDR_START_PAGE), 0);
    ASSERT_TRUE(test::WaitUntil([&] { return !loaded.isEmpty(); }, 20s));
    EXPECT_EQ(Browser()->title(), QStringLiteral("Plumeroc"));
    // The load that finished may be the one shown before, on a busy machine: ask until the heading is there.
    const QString heading = QStringLiteral("(document.querySelector('font[size=\"4\"] b') || {}).textContent || ''");
    EXPECT_TRUE(
        test::WaitUntil([&] { return test::RunScript(Browser(), heading, 20s) == QStringLiteral("Plumeroc"); }, 20s));
    // textContent, not innerText: innerText needs a layout, which may not have run yet.
    const QString text = test::RunScript(Browser(), QStringLiteral("document.body.textContent"), 20s);
    EXPECT_TRUE(text.contains(QStringLiteral("select an item and click the Save button"))) << text.toStdString();
    EXPECT_FALSE(text.contains(QStringLiteral("@"))) << "no e-mail address";
    EXPECT_EQ(Viewer().LoadFromResource(4242), 0);
}

TEST_F(ViewerTest, MoviePlaysFromLoopbackAndFromLocalFile)
{
    const std::string movie = Movie(kBlue, kOrange);
    test::LoopbackServer server([&](httplib::Server& s) {
        s.Get("/films/clip.swf", [&](const httplib::Request&, httplib::Response& r) {
            r.set_content(movie, "application/x-shockwave-flash");
        });
    });
    test::TempFolder folder;
    // Local paths are bytes: this one is not valid UTF-8.
    const std::string local = folder.Write("clip \xe9t\xe9.swf", movie);
    for (const std::string& location : {server.Url("/films/clip.swf"), local}) {
        SetUp();
        Viewer().Navigate2(location);
        EXPECT_TRUE(WaitForMovie(Viewer(), kBlue, kOrange)) << location;
    }
}

// What a page hands over for a movie held in a store of responses: its bytes, played from memory; and an empty
// preview for a location with nothing to show.
TEST_F(ViewerTest, MovieHeldInMemoryIsPlayedAndShowingNothingLeavesABlankPage)
{
    Viewer().ShowMovie(Movie(kDarkGreen, kPink), "/cache/Cache_Data/0123456789abcdef_0");
    ASSERT_TRUE(WaitForMovie(Viewer(), kDarkGreen, kPink));
    EXPECT_EQ(Viewer().Location(), "/cache/Cache_Data/0123456789abcdef_0");
    EXPECT_EQ(preview::SchemeHandler()->LocalFileCount(), 1u);

    Viewer().ShowNothing();
    EXPECT_TRUE(
        test::WaitUntil([&] { return Browser()->url() == QUrl(QStringLiteral("about:blank")); }, kRenderTimeout));
    EXPECT_TRUE(test::WaitUntil(
        [&] {
            return test::Near(test::ColourAt(test::Grab(&Viewer()), 0.5, 0.5), Rgb{255, 255, 255});
        },
        kRenderTimeout));
    EXPECT_EQ(Viewer().Location(), "");
    EXPECT_EQ(preview::SchemeHandler()->LocalFileCount(), 0u) << "nothing stays readable";
}

TEST_F(ViewerTest, SecondNavigationReplacesTheFirst)
{
    test::TempFolder folder;
    const std::string first = folder.Write("first.swf", Movie(kBlue, kOrange));
    const std::string second = folder.Write("second.SWF", Movie(kDarkGreen, kPink));
    Viewer().Navigate2(first);
    ASSERT_TRUE(WaitForMovie(Viewer(), kBlue, kOrange));
    Viewer().Navigate2(second);
    EXPECT_TRUE(WaitForMovie(Viewer(), kDarkGreen, kPink));
    // Only the movie on show stays readable.
    EXPECT_EQ(preview::SchemeHandler()->LocalFileCount(), 1u);
}

TEST_F(ViewerTest, OrdinaryPageIsShownAsAPage)
{
    test::LoopbackServer server([](httplib::Server& s) {
        s.Get("/index.html", [](const httplib::Request&, httplib::Response& r) {
            r.set_content("<html><head><title>Ordinary</title></head>"
                          "<body style='margin:0;background:rgb(64,240,64)'></body></html>",
                          "text/html");
        });
    });
    Viewer().Navigate2(server.Url("/index.html"));
    ASSERT_TRUE(WaitForTitle(QStringLiteral("Ordinary")));
    EXPECT_TRUE(
        test::WaitUntil([&] { return test::Near(test::ColourAt(test::Grab(&Viewer()), 0.5, 0.5), kLime); }, 10s));
}

TEST_F(ViewerTest, ScriptAddressIsIgnored)
{
    Viewer().Navigate2("javascript:document.title='changed';void(0)");
    Viewer().Navigate2("JavaScript:document.title='changed';void(0)");
    test::WaitUntil([] { return false; }, 300ms);
    EXPECT_EQ(test::RunScript(Browser(), QStringLiteral("document.title"), 20s), QStringLiteral("Plumeroc"));
}

// A movie that loads "extra.swf" beside it into level 1: from a web server the extra movie shows;
// from a local folder the sibling file must stay out of reach.
TEST_F(ViewerTest, LocalMovieCannotLoadOtherLocalFiles)
{
    test::TempFolder folder;
    const std::string overlay = Overlay(kLime);
    folder.Write("extra.swf", overlay);
    test::LoopbackServer server([&](httplib::Server& s) {
        s.Get("/loader.swf", [&](const httplib::Request&, httplib::Response& r) {
            r.set_content(Movie(kBlue, kOrange, "extra.swf"), "application/x-shockwave-flash");
        });
        s.Get("/extra.swf", [&](const httplib::Request&, httplib::Response& r) {
            r.set_content(overlay, "application/x-shockwave-flash");
        });
    });
    const auto overlayShown = [&] { return test::Near(test::ColourAt(test::Grab(&Viewer()), 0.1, 0.1), kLime); };

    const auto started = std::chrono::steady_clock::now();
    Viewer().Navigate2(server.Url("/loader.swf"));
    ASSERT_TRUE(test::WaitUntil(overlayShown, kRenderTimeout)) << "the relative load works from the web";
    const auto allowedTook =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started);

    struct Case {
        const char* name;
        std::string target;
    } cases[] = {
        {"sibling", "extra.swf"},
        {"file address", "file://" + folder.Path() + "/extra.swf"},
    };
    for (const Case& c : cases) {
        const std::string loader =
            folder.Write(std::string("loader-") + c.name + ".swf", Movie(kBlue, kOrange, c.target));
        Viewer().Navigate2(loader);
        ASSERT_TRUE(WaitForMovie(Viewer(), kBlue, kOrange)) << c.name;
        // Give the refused load well over the time the allowed one needed.
        test::WaitUntil([] { return false; }, std::max(2 * allowedTook, 500ms));
        EXPECT_FALSE(overlayShown()) << c.name;
        EXPECT_TRUE(ShowsMovie(Viewer(), kBlue, kOrange)) << c.name;
    }
}

// What scripts in a previewed document can read: the movie itself, and no other local file. The
// requests go through XMLHttpRequest, which reaches every scheme the engine serves (the engine's
// own fetch() would refuse the program's scheme for reasons of its own and prove nothing).
TEST_F(ViewerTest, PreviewedContentReadsNoOtherLocalFile)
{
    test::TempFolder folder;
    const std::string movie = folder.Write("movie.swf", Movie(kBlue, kOrange));
    folder.Write("secret.txt", "secret");
    const QString secretFile = QStringLiteral("file://%1/secret.txt").arg(QString::fromStdString(folder.Path()));
    test::LoopbackServer server([](httplib::Server& s) {
        s.Get("/page.html", [](const httplib::Request&, httplib::Response& r) {
            r.set_content("<html><head><title>Page</title></head><body>page</body></html>", "text/html");
        });
    });

    Viewer().Navigate2(movie);
    ASSERT_TRUE(WaitForMovie(Viewer(), kBlue, kOrange));
    const QUrl movieUrl = Browser()->url();
    const QString movieAddress = movieUrl.toString(QUrl::FullyEncoded);
    const QString sibling = movieUrl.resolved(QUrl(QStringLiteral("secret.txt"))).toString(QUrl::FullyEncoded);
    const QString otherToken = movieUrl.resolved(QUrl(QStringLiteral("../0123456789abcdef0123456789abcdef/secret.txt")))
                                   .toString(QUrl::FullyEncoded);

    TestPage other;
    ASSERT_NE(other.m_preview.CreateOverPlaceholder(IDC_PREVIEW, &other), 0);
    other.m_preview.Navigate2(server.Url("/page.html"));
    ASSERT_TRUE(
        test::WaitUntil([&] { return other.m_preview.Browser()->title() == QStringLiteral("Page"); }, kRenderTimeout));

    struct Case {
        const char* name;
        QWebEnginePage* page;
        QString address;
        QString expected;
    } cases[] = {
        {"movie reads itself", Browser(), movieAddress, QStringLiteral("read:FWS")},
        {"movie reads a sibling", Browser(), sibling, QStringLiteral("blocked")},
        {"movie reads a sibling by relative address", Browser(), QStringLiteral("secret.txt"),
         QStringLiteral("blocked")},
        {"movie guesses another token", Browser(), otherToken, QStringLiteral("blocked")},
        {"movie reads a file address", Browser(), secretFile, QStringLiteral("blocked")},
        {"page reads its own site", other.m_preview.Browser(), QString::fromStdString(server.Url("/page.html")),
         QStringLiteral("read:<ht")},
        {"page reads a file address", other.m_preview.Browser(), secretFile, QStringLiteral("blocked")},
        {"page reads the movie another preview shows", other.m_preview.Browser(), movieAddress,
         QStringLiteral("blocked")},
    };
    for (const Case& c : cases) {
        const QString quoted =
            QString::fromUtf8(QJsonDocument(QJsonArray{c.address}).toJson(QJsonDocument::Compact)).mid(1).chopped(1);
        EXPECT_EQ(Outcome(c.page, kReadScript.arg(quoted)), c.expected) << c.name;
    }
}

TEST_F(ViewerTest, PreviewWritesNothingBelowHome)
{
    const std::string home = std::getenv("HOME");
    test::TempFolder folder;
    const std::string movie = Movie(kDarkGreen, kPink);
    test::LoopbackServer server([&](httplib::Server& s) {
        s.Get("/m.swf", [&](const httplib::Request&, httplib::Response& r) {
            r.set_header("Set-Cookie", "visited=yes; Max-Age=86400");
            r.set_header("Cache-Control", "max-age=86400");
            r.set_content(movie, "application/x-shockwave-flash");
        });
    });
    Viewer().Navigate2(server.Url("/m.swf"));
    ASSERT_TRUE(WaitForMovie(Viewer(), kDarkGreen, kPink));
    test::RunScript(Browser(), QStringLiteral("localStorage.setItem('k', 'v'); 'ok'"), 20s);
    Viewer().Navigate2(folder.Write("m.swf", movie));
    ASSERT_TRUE(WaitForMovie(Viewer(), kDarkGreen, kPink));
    EXPECT_EQ(test::FilesBelow(home), std::vector<std::string>{});
}

} // namespace
