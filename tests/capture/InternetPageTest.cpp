// The Internet Files page driven through its controls, against loopback servers: the history in the
// address box, "Go" and the capture, the click, Save and Save All, and closing while a capture runs.
#include "capture/InternetPageSupport.h"
#include "framework/ByteString.h"
#include "framework/Dialogs.h"
#include "res/resource.h"
#include "support/BrowserProfiles.h"
#include "support/Files.h"
#include "support/Loopback.h"
#include "support/TempFolder.h"
#include "support/gui/GuiSupport.h"

#include <QCoreApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QPointer>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;
using test::Row;

const std::string kCafe = "caf\xe9.swf"; // Latin-1: not valid UTF-8

// Holds the slow route's answer. It lives as long as the program, so a handler still inside Wait
// never outlives it.
test::Gate& SlowGate()
{
    static test::Gate gate;
    return gate;
}

std::string MovieBody(const std::string& name) { return "FWS movie " + name; }

void AddRoutes(httplib::Server& server)
{
    auto page = [](std::string html, int status = 200) {
        return [html, status](const httplib::Request&, httplib::Response& res) {
            res.status = status;
            res.set_content(html, "text/html");
        };
    };
    // a, b, c and a again: three movies.
    server.Get("/games/index.html",
               page(R"(<embed src="b.swf"><p><embed src="a.swf"><object><param name="movie" value="c.swf">)"
                    R"(<embed src="/games/a.swf"></object>)"));
    server.Get("/games/none.html", page("<p>No movies here.</p>"));
    server.Get("/games/gone.html", page(R"(<embed src="lost.swf">)", 404));
    server.Get("/games/names.html",
               page(R"(<embed src="a.swf"><embed src="/other/a.swf"><embed src=")" + kCafe + R"(">)"));
    server.Get("/games/cut-movie.html", page(R"(<embed src="a.swf"><embed src="b.swf"><embed src="cut.swf">)"));
    server.Get("/games/slow.html", [](const httplib::Request&, httplib::Response& res) {
        SlowGate().Wait();
        res.set_content(R"(<embed src="late.swf">)", "text/html");
    });
    server.Get("/games/cut.html", [](const httplib::Request&, httplib::Response& res) {
        res.set_content_provider(10000, "text/html", [](std::size_t, std::size_t, httplib::DataSink& sink) {
            const std::string start = R"(<embed src="x.swf">)";
            sink.write(start.data(), start.size());
            return false; // the connection drops short of the announced length
        });
    });
    server.Get(R"(/(games|other)/([^/]*\.swf))", [](const httplib::Request& req, httplib::Response& res) {
        const std::string name = std::string(req.matches[1]) + "/" + std::string(req.matches[2]);
        if (name == "games/cut.swf") {
            res.set_content_provider(10000, "application/x-shockwave-flash",
                                     [](std::size_t, std::size_t, httplib::DataSink& sink) {
                                         sink.write("FWS", 3);
                                         return false;
                                     });
            return;
        }
        res.set_content(MovieBody(name), "application/x-shockwave-flash");
    });
}

class InternetPageTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        test::ClearProxyEnvironment();
        s_server = std::make_unique<test::LoopbackServer>(AddRoutes);
    }
    static void TearDownTestSuite() { s_server.reset(); }

    void SetUp() override
    {
        m_page = std::make_unique<test::PageWithoutPreview>();
        ASSERT_TRUE(m_page->InitModeless());
        m_page->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(m_page.get()));
    }
    void TearDown() override { m_page.reset(); }

    static std::string Url(const std::string& path) { return s_server->Url(path); }
    CInternetPage& Page() { return *m_page; }
    QPushButton* GoButton() { return test::Button(Page(), IDC_GO); }

    // A capture of `path` from start to end.
    void Capture(const std::string& path)
    {
        test::Go(Page(), Url(path));
        ASSERT_TRUE(test::WaitForIdle(Page()));
    }

    std::vector<Row> NewRows(const std::vector<std::string>& paths)
    {
        std::vector<Row> rows;
        for (const std::string& path : paths)
            rows.emplace_back("New", Url(path));
        return rows;
    }

    static std::vector<Dialogs::Shown> Shown(Dialogs::Shown::Kind kind)
    {
        std::vector<Dialogs::Shown> shown;
        for (const Dialogs::Shown& s : Dialogs::History())
            if (s.kind == kind)
                shown.push_back(s);
        return shown;
    }

    inline static std::unique_ptr<test::LoopbackServer> s_server;
    test::ScriptedDialogs m_dialogs;
    std::unique_ptr<CInternetPage> m_page;
};

TEST_F(InternetPageTest, GoPutsHttpInFrontUnlessTheAddressBeginsWithIt)
{
    const std::string hostAndPath = Url("/games/index.html").substr(std::string("http://").size());
    const std::pair<std::string, std::string> cases[] = {
        // typed, captured
        {hostAndPath, "http://" + hostAndPath},
        {"http://" + hostAndPath, "http://" + hostAndPath},
        {"https://" + hostAndPath, "https://" + hostAndPath},
        // The host would be "HTTP"; a port out of range makes the capture fail before any lookup.
        {"HTTP:99999/games/index.html", "http://HTTP:99999/games/index.html"},
        {"", "http://"},
        {" " + hostAndPath, "http:// " + hostAndPath},
    };
    for (const auto& [typed, address] : cases) {
        SCOPED_TRACE(typed);
        test::MovieList(Page())->setRowCount(0);
        test::Go(Page(), typed);
        EXPECT_EQ(Page().Address(), address);
        ASSERT_TRUE(test::WaitForIdle(Page()));
        // Only the plain http address reaches the server, which speaks no TLS.
        EXPECT_EQ(test::Rows(Page()).size(), address.starts_with("http://1") ? 3u : 0u);
    }
}

// Records, on the page's thread, every change of "Go" and of the list, with the indicator's state.
class ChangeLog : public QObject {
public:
    struct Entry {
        std::string what;
        bool goEnabled;
        bool busyRunning;
    };

    explicit ChangeLog(CInternetPage& page) : m_page(page)
    {
        test::Button(page, IDC_GO)->installEventFilter(this);
        QAbstractItemModel* model = test::MovieList(page)->model();
        connect(model, &QAbstractItemModel::rowsInserted, this, [this] { Add("insert"); });
        connect(model, &QAbstractItemModel::rowsRemoved, this, [this] { Add("remove"); });
        connect(model, &QAbstractItemModel::dataChanged, this, [this] { Add("set"); });
    }

    std::vector<Entry> entries;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::EnabledChange)
            Add(static_cast<QWidget*>(watched)->isEnabled() ? "go on" : "go off");
        return false;
    }

private:
    void Add(const char* what)
    {
        const bool goEnabled = test::Button(m_page, IDC_GO)->isEnabled();
        entries.push_back({what, goEnabled, test::Busy(m_page)->m_bRunning});
    }
    CInternetPage& m_page;
};

TEST_F(InternetPageTest, EveryCapturePathKeepsGoDisabledAndEndsAtRest)
{
    const test::LoopbackSocket refusing(false); // bound, not listening: refuses
    struct Case {
        const char* name;
        std::string url;
        std::optional<std::vector<Row>> rows; // nullopt: the earlier rows stay as they were
    };
    const Case cases[] = {
        {"movies, greatest first", Url("/games/index.html"), NewRows({"/games/c.swf", "/games/b.swf", "/games/a.swf"})},
        {"no movies empties the list", Url("/games/none.html"), std::vector<Row>{}},
        {"an error page is scanned too", Url("/games/gone.html"), NewRows({"/games/lost.swf"})},
        {"refused", refusing.Url("/games/index.html"), std::nullopt},
        {"page breaks off", Url("/games/cut.html"), std::nullopt},
        {"no host", "", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // Rows of an earlier capture, one of them previewed.
        Capture("/games/names.html");
        test::ClickRow(Page(), 1);
        const std::vector<Row> before = test::Rows(Page());
        ASSERT_EQ(before[1].first, "Preview");

        ChangeLog log(Page());
        test::Go(Page(), c.url);
        EXPECT_FALSE(GoButton()->isEnabled()); // by the press itself, before the worker has run
        ASSERT_TRUE(test::WaitForIdle(Page()));
        EXPECT_EQ(test::Rows(Page()), c.rows.value_or(before));

        ASSERT_GE(log.entries.size(), 2u);
        EXPECT_EQ(log.entries.front().what, "go off");
        EXPECT_EQ(log.entries.back().what, "go on");
        EXPECT_TRUE(log.entries.back().busyRunning); // "Go" comes back before the indicator stops
        for (std::size_t i = 1; i + 1 < log.entries.size(); ++i) {
            EXPECT_FALSE(log.entries[i].goEnabled) << log.entries[i].what;
            EXPECT_TRUE(log.entries[i].busyRunning) << log.entries[i].what;
        }
        EXPECT_EQ(test::Busy(Page())->m_nPosition, 0); // stopped and reset
    }
}

TEST_F(InternetPageTest, WindowStaysResponsiveAndGoDisabledWhileThePageIsSlow)
{
    test::Gate& gate = SlowGate();
    gate.Close();
    Capture("/games/index.html");
    test::Go(Page(), Url("/games/slow.html"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return gate.Arrived() == 1; }, 5000));

    // The page's thread keeps handling events: clicks, other buttons, the indicator's repaints.
    QTest::qWait(300);
    EXPECT_FALSE(GoButton()->isEnabled());
    EXPECT_TRUE(test::Busy(Page())->m_bRunning);
    EXPECT_NE(test::Busy(Page())->m_nPosition, 0); // stepping
    test::ClickRow(Page(), 0);
    EXPECT_EQ(test::Rows(Page())[0].first, "Preview");
    test::Click(GoButton()); // disabled: no second request
    Dialogs::QueueFolder(std::nullopt);
    test::Click(test::Button(Page(), IDC_SAVE_ALL));
    EXPECT_EQ(Shown(Dialogs::Shown::Kind::Folder).size(), 1u);

    gate.Open();
    ASSERT_TRUE(test::WaitForIdle(Page()));
    EXPECT_EQ(test::Rows(Page()), NewRows({"/games/late.swf"}));
    EXPECT_EQ(gate.Arrived(), 1);
}

TEST_F(InternetPageTest, ClickMarksPreviewAndKeyboardMovesDoNot)
{
    Capture("/games/index.html");
    QTableWidget* list = test::MovieList(Page());
    test::ClickRow(Page(), 1);
    EXPECT_EQ(test::Rows(Page())[1].first, "Preview");
    test::ClickRow(Page(), 0);
    const std::vector<Row> clicked = test::Rows(Page());
    EXPECT_EQ(clicked[0].first, "Preview");
    EXPECT_EQ(clicked[1].first, "Preview"); // stays
    EXPECT_EQ(clicked[2].first, "New");

    list->setFocus();
    QTest::keyClick(list, Qt::Key_Down);
    QTest::keyClick(list, Qt::Key_Down);
    EXPECT_EQ(list->currentRow(), 2);
    EXPECT_EQ(test::Rows(Page())[2].first, "New");

    // A right-button click is no click either.
    const QPoint third = list->visualRect(list->model()->index(2, 1)).center();
    QTest::mouseClick(list->viewport(), Qt::RightButton, {}, third);
    EXPECT_EQ(test::Rows(Page())[2].first, "New");
}

TEST_F(InternetPageTest, ClickAndSaveActOnTheLowestSelectedRow)
{
    Capture("/games/index.html"); // c, b, a
    test::ClickRow(Page(), 0);
    test::ClickRow(Page(), 2, Qt::ControlModifier);
    EXPECT_EQ(test::MovieList(Page())->selectionModel()->selectedRows().size(), 2);
    EXPECT_EQ(test::Rows(Page())[2].first, "Preview");
    test::ClickRow(Page(), 1, Qt::ControlModifier); // 0, 1 and 2 now: still 2
    EXPECT_EQ(test::Rows(Page())[1].first, "New");

    test::TempFolder dir;
    Dialogs::QueueSaveFileName(QString::fromStdString(dir / "saved.swf"));
    test::Click(test::Button(Page(), IDC_SAVE));
    EXPECT_EQ(test::ReadFile(dir / "saved.swf"), MovieBody("games/a.swf"));
}

TEST_F(InternetPageTest, SaveAsksForAFileAndDownloadsTheMovie)
{
    test::TempFolder dir;
    QPushButton* save = test::Button(Page(), IDC_SAVE);

    // Nothing selected: the warning, and no Save-as dialog.
    test::Click(save);
    auto messages = Shown(Dialogs::Shown::Kind::Message);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, QStringLiteral("Please select a file to save"));
    EXPECT_EQ(messages[0].caption, QStringLiteral("Warning"));
    EXPECT_EQ(messages[0].icon, QMessageBox::Critical);
    EXPECT_TRUE(Shown(Dialogs::Shown::Kind::SaveFile).empty());

    // names.html lists /other/a.swf, café.swf, a.swf: the row's address is bytes, not its text.
    Capture("/games/names.html");
    test::ClickRow(Page(), 1);
    const std::optional<std::string> kAnswers[] = {"saved", std::nullopt};
    for (const std::optional<std::string>& answer : kAnswers) {
        SCOPED_TRACE(answer.value_or("cancelled"));
        Dialogs::ClearHistory();
        Dialogs::QueueSaveFileName(answer ? std::optional(QString::fromStdString(dir / *answer)) : std::nullopt);
        test::Click(save);
        const auto asked = Shown(Dialogs::Shown::Kind::SaveFile);
        ASSERT_EQ(asked.size(), 1u);
        EXPECT_EQ(asked[0].nameFilters, QStringList{QStringLiteral("Save as  (*.swf)")});
        EXPECT_EQ(asked[0].defaultSuffix, QStringLiteral("SWF"));
        EXPECT_EQ(test::Rows(Page())[1].first, "Preview"); // Save changes no status
    }
    // Typed without an extension: saved with the default one.
    EXPECT_EQ(test::ReadFile(dir / "saved.SWF"), MovieBody("games/" + kCafe));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 1);
}

TEST_F(InternetPageTest, SaveOfARowWithoutAddressAsksNothing)
{
    QTableWidget* list = test::MovieList(Page());
    list->insertRow(0);
    list->setItem(0, 0, new QTableWidgetItem(QStringLiteral("New")));
    list->setItem(0, 1, new QTableWidgetItem(QString()));
    test::ClickRow(Page(), 0);
    EXPECT_EQ(test::Rows(Page())[0].first, "Preview"); // even without an address
    test::Click(test::Button(Page(), IDC_SAVE));
    EXPECT_TRUE(Dialogs::History().empty());
}

TEST_F(InternetPageTest, SaveAllWritesEveryRowIntoTheChosenFolder)
{
    Capture("/games/names.html"); // /other/a.swf, café.swf, a.swf
    for (const char* ending : {"", "/"}) {
        SCOPED_TRACE(std::string("folder ending in '") + ending + "'");
        test::TempFolder dir;
        Dialogs::ClearHistory();
        Dialogs::QueueFolder(QString::fromStdString(dir.Path() + ending));
        test::Click(test::Button(Page(), IDC_SAVE_ALL));

        const auto asked = Shown(Dialogs::Shown::Kind::Folder);
        ASSERT_EQ(asked.size(), 1u);
        EXPECT_EQ(asked[0].caption, QStringLiteral("Select Add Folder."));
        // The lower row's a.swf replaces the upper one's.
        std::map<std::string, std::string> files;
        for (const auto& entry : fs::directory_iterator(dir.Path()))
            files[entry.path().filename().string()] = test::ReadFile(entry.path().string());
        const std::map<std::string, std::string> expected = {
            {"a.swf", MovieBody("games/a.swf")},
            {kCafe, MovieBody("games/" + kCafe)},
        };
        EXPECT_EQ(files, expected);
        EXPECT_TRUE(Shown(Dialogs::Shown::Kind::Message).empty());
    }
    for (const auto& rows : test::Rows(Page()))
        EXPECT_EQ(rows.first, "New");
}

TEST_F(InternetPageTest, SaveAllCancelledOrEmptyWritesNothing)
{
    test::TempFolder dir;
    Dialogs::QueueFolder(QString::fromStdString(dir.Path())); // empty list
    test::Click(test::Button(Page(), IDC_SAVE_ALL));
    Capture("/games/index.html");
    Dialogs::QueueFolder(std::nullopt);
    test::Click(test::Button(Page(), IDC_SAVE_ALL));
    EXPECT_EQ(Shown(Dialogs::Shown::Kind::Folder).size(), 2u);
    EXPECT_TRUE(fs::is_empty(dir.Path()));
}

TEST_F(InternetPageTest, DownloadBreakingOffEndsTheCommandWithTheFailureBox)
{
    Capture("/games/cut-movie.html"); // cut, b, a
    test::TempFolder dir;

    Dialogs::QueueFolder(QString::fromStdString(dir.Path()));
    test::Click(test::Button(Page(), IDC_SAVE_ALL));
    const auto messages = Shown(Dialogs::Shown::Kind::Message);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].caption, QStringLiteral("Plumeroc"));
    EXPECT_EQ(messages[0].icon, QMessageBox::Critical);
    EXPECT_TRUE(messages[0].text.contains(QString::fromStdString(Url("/games/cut.swf"))))
        << messages[0].text.toStdString();
    // The top row broke off; the rows below it were never saved, what arrived stays.
    EXPECT_EQ(test::ReadFile(dir / "cut.swf"), "FWS");
    EXPECT_FALSE(fs::exists(dir / "b.swf"));
    EXPECT_FALSE(fs::exists(dir / "a.swf"));
}

TEST_F(InternetPageTest, GoCapturesWhatWasTypedNotAHistoryEntryItBegins)
{
    const test::TempHome home;
    const std::string index = Url("/games/index.html");
    test::WriteChromiumHistory(home / ".config/chromium/Default/History",
                               {{index, test::Day(1000)}, {Url("/games/none.html"), test::Day(999)}});
    test::PageWithoutPreview page;
    ASSERT_TRUE(page.InitModeless());
    page.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&page));
    QComboBox* box = test::AddressBox(page);
    ASSERT_EQ(box->count(), 2); // the drop-down list still offers the history

    const std::string typed = Url("/games/in"); // begins the first entry
    box->clearEditText();
    box->lineEdit()->setFocus();
    QTest::keyClicks(box->lineEdit(), QString::fromStdString(typed));
    EXPECT_EQ(ToBytes(box->currentText()), typed);
    test::Click(test::Button(page, IDC_GO));
    EXPECT_EQ(page.Address(), typed);
    ASSERT_TRUE(test::WaitForIdle(page));
    EXPECT_TRUE(test::Rows(page).empty()); // not found; the entry would have listed three movies
}

// Closing: the page goes while its worker is still at work.
class ClosingTest : public InternetPageTest {};

TEST_F(ClosingTest, DuringASlowResponseEndsPromptly)
{
    test::Gate& gate = SlowGate();
    gate.Close();
    test::Go(Page(), Url("/games/slow.html"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return gate.Arrived() == 1; }, 5000));
    const auto start = std::chrono::steady_clock::now();
    m_page.reset();
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_LT(took, std::chrono::seconds(3));
    QCoreApplication::processEvents(); // anything still queued for the page must be gone with it
    gate.Open();
}

TEST_F(ClosingTest, WhileTheWorkerWaitsForTheWindowDoesNotDeadlock)
{
    // The page's thread stops handling events right after "Go": the worker is left waiting for its
    // first hand-over when the page goes.
    test::Go(Page(), Url("/games/index.html"));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    m_page.reset();
    QCoreApplication::processEvents();
    SUCCEED(); // reaching this line is the test: a blocking hand-over would never return
}

TEST_F(ClosingTest, WithRowsArrivingDoesNotTouchTheGonePage)
{
    Capture("/games/index.html");
    for (int i = 0; i < 20; ++i) {
        SCOPED_TRACE(i);
        auto page = std::make_unique<test::PageWithoutPreview>();
        ASSERT_TRUE(page->InitModeless());
        test::Go(*page, Url("/games/index.html"));
        QTest::qWait(i); // some of the hand-overs are done, the rest still queued
        QPointer<QTableWidget> list = test::MovieList(*page);
        page.reset();
        EXPECT_TRUE(list.isNull());
        QCoreApplication::processEvents();
    }
}

// History: the address box lists the typed addresses in order.
TEST(InternetPageHistory, ListsTypedAddressesInOrder)
{
    struct Case {
        const char* name;
        int count;                      // typed addresses written, newest first; -1: no profile
        std::vector<std::string> extra; // written after the numbered ones (older)
        std::size_t listed;
    };
    const Case cases[] = {
        {"three", 3, {}, 3},
        {"thirty give twenty-four", 30, {}, 24},
        {"no profile", -1, {}, 0},
        {"values listed as they stand", 2, {"not an address", "caf\xe9 bytes"}, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempHome home;
        std::vector<std::string> urls;
        for (int i = 1; i <= c.count; ++i)
            urls.push_back("https://site" + std::to_string(i) + ".example/");
        urls.insert(urls.end(), c.extra.begin(), c.extra.end());
        if (c.count >= 0) {
            std::vector<test::Visit> visits;
            for (std::size_t i = 0; i < urls.size(); ++i)
                visits.push_back({urls[i], test::Day(1000 - static_cast<int>(i))});
            test::WriteChromiumHistory(home / ".config/chromium/Default/History", visits);
        }
        test::PageWithoutPreview page;
        ASSERT_TRUE(page.InitModeless());
        QComboBox* box = test::AddressBox(page);
        ASSERT_EQ(static_cast<std::size_t>(box->count()), c.listed);
        for (std::size_t i = 0; i < c.listed; ++i)
            EXPECT_EQ(ToBytes(box->itemText(static_cast<int>(i))), urls[i]) << i;
        EXPECT_EQ(box->currentIndex(), c.listed ? 0 : -1);
        EXPECT_EQ(ToBytes(box->currentText()), c.listed ? urls[0] : "");
    }
}

} // namespace
