// The Local Files page: listing at start-up, click preview, Save and Save All through the dialog seam.
#include "cache/ui/LocalPage.h"
#include "cache/CacheWalk.h"
#include "framework/ByteString.h"
#include "framework/Dialogs.h"
#include "framework/ListView.h"
#include "res/resource.h"
#include "support/ArchiveWriters.h"
#include "support/Files.h"
#include "support/RealBrowserCaches.h"
#include "support/TempFolder.h"
#include "support/TestMovie.h"
#include "support/gui/GuiSupport.h"

#include <QHeaderView>
#include <QLabel>
#include <QTest>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <set>

namespace {

using test::ReadFile;
using test::ScopedEnv;
using test::TempFolder;
using test::WriteFile;

// A row's tooltip: its address, and below it what kind of movie it holds once the page has read that.
std::string TipOf(const std::string& address, const QString& summary)
{
    if (summary.isEmpty())
        return address;
    return address.empty() ? ToBytes(summary) : address + "\n" + ToBytes(summary);
}

// The address a row's tooltip names, whether or not the movie's summary has joined it.
std::string AddressInTip(const CLocalPage& page, QTableWidget* list, int row)
{
    std::string tip = ToBytes(list->item(row, 0)->toolTip());
    const std::string summary = ToBytes(page.MovieSummaryOf(ListView::CellBytes(list, row, CLocalPage::kPathColumn)));
    if (summary.empty() || !tip.ends_with(summary))
        return tip;
    const std::string address = tip.substr(0, tip.size() - summary.size());
    return address.ends_with('\n') ? address.substr(0, address.size() - 1) : address;
}

class LocalPageTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // One movie a folder, in one chain of folders: the list's order does not depend on the order
        // in which the file system enumerates a folder.
        WriteFile(m_cache / "top.swf", "top level, never listed");
        WriteFile(m_cache / "a/one.swf", std::string(10000, 'x'));
        WriteFile(m_cache / "a/empty.swf", "");
        WriteFile(m_cache / "a/b/one.swf", "the other one");
        WriteFile(m_cache / "a/b/note.txt", "not a movie");
        WriteFile(m_cache / "a/b/c/CLIP.SWF", "clip");
    }

    void Open()
    {
        ASSERT_TRUE(m_page.InitModeless());
        m_page.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&m_page));
    }

    QTableWidget* List() { return m_page.MovieList(); }
    int RowOf(const std::string& path)
    {
        for (int row = 0; row < List()->rowCount(); ++row) {
            if (ListView::CellBytes(List(), row, CLocalPage::kPathColumn) == path)
                return row;
        }
        return -1;
    }
    void ClickRow(int row)
    {
        const QRect cell = List()->visualRect(List()->model()->index(row, 0));
        QTest::mouseClick(List()->viewport(), Qt::LeftButton, {}, cell.center());
    }
    std::vector<QString> MessageTexts() const
    {
        std::vector<QString> texts;
        for (const auto& shown : Dialogs::History()) {
            if (shown.kind == Dialogs::Shown::Kind::Message)
                texts.push_back(shown.text);
        }
        return texts;
    }

    test::ScriptedDialogs m_dialogs;
    TempFolder m_home;
    TempFolder m_cache;
    TempFolder m_target;
    ScopedEnv m_homeEnv{"HOME", m_home.Path()};
    ScopedEnv m_cacheEnv{"XDG_CACHE_HOME", m_cache.Path()};
    CLocalPage m_page;
};

TEST_F(LocalPageTest, ListsTheWalksRowsInItsOrderUnderTheThreeColumns)
{
    Open();
    ASSERT_EQ(List()->columnCount(), 3);
    EXPECT_EQ(List()->horizontalHeaderItem(0)->text(), QStringLiteral("File Name"));
    EXPECT_EQ(List()->horizontalHeaderItem(1)->text(), QStringLiteral("File Size"));
    EXPECT_EQ(List()->horizontalHeaderItem(2)->text(), QStringLiteral("File Path"));
    EXPECT_EQ(List()->columnWidth(0), 180);
    EXPECT_EQ(List()->columnWidth(1), 100);
    EXPECT_EQ(List()->columnWidth(2), 280);
    EXPECT_TRUE(List()->showGrid());

    // Each folder's movies go in at the top, so the deepest folder's movie comes first.
    const std::string cache = m_cache.Path();
    const std::vector<std::vector<std::string>> expected = {
        {"CLIP.SWF", "4", cache + "/a/b/c/CLIP.SWF"},
        {"one.swf", "13", cache + "/a/b/one.swf"},
        {"one.swf", "10000", cache + "/a/one.swf"},
    };
    ASSERT_EQ(List()->rowCount(), 3);
    for (int row = 0; row < 3; ++row) {
        for (int column = 0; column < 3; ++column)
            EXPECT_EQ(ListView::CellBytes(List(), row, column),
                      expected[static_cast<std::size_t>(row)][static_cast<std::size_t>(column)]);
        EXPECT_TRUE(List()->item(row, 1)->textAlignment() & Qt::AlignRight);
    }
    EXPECT_EQ(ListView::CellBytes(List(), RowOf(m_cache.Path() + "/a/one.swf"), 1), "10000");
    // The preview took the placeholder's place.
    EXPECT_EQ(GetDlgItem(&m_page, IDC_PREVIEW), &m_page.Preview());
}

TEST_F(LocalPageTest, SaveWithoutSelectionWarnsAndAsksNothing)
{
    Open();
    m_page.OnSave();
    ASSERT_EQ(Dialogs::History().size(), 1u);
    const auto& shown = Dialogs::History()[0];
    EXPECT_EQ(shown.kind, Dialogs::Shown::Kind::Message);
    EXPECT_EQ(shown.caption, QStringLiteral("Warning"));
    EXPECT_EQ(shown.text, QStringLiteral("Please select a file to save"));
    EXPECT_EQ(shown.icon, QMessageBox::Critical);
}

TEST_F(LocalPageTest, SaveCopiesTheLowestSelectedRowWhereTheDialogSays)
{
    Open();
    const int first = RowOf(m_cache.Path() + "/a/one.swf");
    const int second = RowOf(m_cache.Path() + "/a/b/one.swf");
    List()->selectRow(first);
    List()->selectionModel()->select(List()->model()->index(second, 0),
                                     QItemSelectionModel::Select | QItemSelectionModel::Rows);
    const int lower = std::max(first, second);
    const std::string source = ListView::CellBytes(List(), lower, 2);

    Dialogs::QueueSaveFileName(QString::fromStdString(m_target / "saved.swf"));
    m_page.OnSave();
    ASSERT_EQ(Dialogs::History().size(), 1u);
    EXPECT_EQ(Dialogs::History()[0].kind, Dialogs::Shown::Kind::SaveFile);
    EXPECT_EQ(Dialogs::History()[0].nameFilters, QStringList{QStringLiteral("Save as  (*.swf)")});
    EXPECT_EQ(Dialogs::History()[0].defaultSuffix, QStringLiteral("SWF"));
    EXPECT_EQ(ReadFile(m_target / "saved.swf"), ReadFile(source));

    Dialogs::QueueSaveFileName(std::nullopt); // cancelled: nothing happens
    m_page.OnSave();
    EXPECT_EQ(MessageTexts().size(), 0u);
}

TEST_F(LocalPageTest, SaveOfAVanishedFileSaysSoAndCreatesNothing)
{
    Open();
    const int row = RowOf(m_cache.Path() + "/a/b/c/CLIP.SWF");
    std::filesystem::remove(m_cache / "a/b/c/CLIP.SWF");
    List()->selectRow(row);
    Dialogs::QueueSaveFileName(QString::fromStdString(m_target / "clip.swf"));
    m_page.OnSave();
    EXPECT_EQ(MessageTexts(), std::vector<QString>{QStringLiteral("read file can not open !")});
    EXPECT_FALSE(std::filesystem::exists(m_target / "clip.swf"));
}

TEST_F(LocalPageTest, SaveAllCopiesEveryRowWithOrWithoutATrailingSlash)
{
    Open();
    for (const std::string& folder : {m_target.Path(), m_target.Path() + "/"}) {
        std::filesystem::remove_all(m_target / "one.swf");
        std::filesystem::remove_all(m_target / "CLIP.SWF");
        Dialogs::QueueFolder(QString::fromStdString(folder));
        m_page.OnSaveAll();
        EXPECT_EQ(ReadFile(m_target / "CLIP.SWF"), "clip") << folder;
        // Two rows named one.swf: the lower row's file is what remains.
        const int lower = std::max(RowOf(m_cache.Path() + "/a/one.swf"), RowOf(m_cache.Path() + "/a/b/one.swf"));
        EXPECT_EQ(ReadFile(m_target / "one.swf"), ReadFile(ListView::CellBytes(List(), lower, 2))) << folder;
    }
    EXPECT_TRUE(MessageTexts().empty());
    EXPECT_EQ(Dialogs::History()[0].caption, QStringLiteral("Select Add Folder."));
}

TEST_F(LocalPageTest, SaveAllWhereNothingCanBeCreatedReportsEachRowAndGoesOn)
{
    Open();
    WriteFile(m_target / "plain-file", "a regular file, not a folder");
    Dialogs::QueueFolder(QString::fromStdString(m_target / "plain-file"));
    m_page.OnSaveAll();
    EXPECT_EQ(MessageTexts(), std::vector<QString>(3, QStringLiteral("create write file failure!")));

    Dialogs::ClearHistory();
    Dialogs::QueueFolder(std::nullopt); // cancelled
    m_page.OnSaveAll();
    EXPECT_TRUE(MessageTexts().empty());
}

TEST_F(LocalPageTest, AClickPreviewsTheClickedRowAndAClickBelowTheRowsChangesNothing)
{
    Open();
    const int row = RowOf(m_cache.Path() + "/a/b/one.swf");
    ClickRow(row);
    EXPECT_EQ(m_page.Preview().Location(), m_cache.Path() + "/a/b/one.swf");
    // Keyboard moves do not preview.
    List()->setFocus();
    QTest::keyClick(List(), row == 0 ? Qt::Key_Down : Qt::Key_Up);
    EXPECT_EQ(m_page.Preview().Location(), m_cache.Path() + "/a/b/one.swf");
    // Below the last row: nothing is selected, the preview keeps what it shows.
    QTest::mouseClick(List()->viewport(), Qt::LeftButton, {}, QPoint(5, List()->viewport()->height() - 3));
    EXPECT_EQ(ListView::SelectedRow(List()), -1);
    EXPECT_EQ(m_page.Preview().Location(), m_cache.Path() + "/a/b/one.swf");
}

// A file removed after start-up has nothing to preview: the preview goes blank instead of showing the player's
// complaint about a file it cannot load.
TEST_F(LocalPageTest, AClickOnARowWhoseFileVanishedShowsAnEmptyPreview)
{
    Open();
    ClickRow(RowOf(m_cache.Path() + "/a/b/one.swf"));
    ASSERT_EQ(m_page.Preview().Location(), m_cache.Path() + "/a/b/one.swf");
    std::filesystem::remove(m_cache / "a/b/c/CLIP.SWF");
    ClickRow(RowOf(m_cache.Path() + "/a/b/c/CLIP.SWF"));
    EXPECT_EQ(m_page.Preview().Location(), "");
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return m_page.Preview().Browser()->url() == QUrl(QStringLiteral("about:blank")); }, 20000));
}

// What reading the stores hands the page: movies' rows go above the plain rows in their order, and an address
// an index gives goes to the plain row of that path as its tooltip, wherever the entry rows have pushed it.
TEST_F(LocalPageTest, FindingsTakeTheirPlacesAndAnIndexsAddressGoesToItsPlainRow)
{
    Open();
    const std::string cache = m_cache.Path();
    m_page.TakeFinding(cache::EntryMovieRow{{"e.swf", "9", cache + "/x/entry1", "http://e.example/1.swf"}, 10});
    m_page.TakeFinding(cache::PlainFileAddress{cache + "/a/b/one.swf", "http://ie.example/one.swf"});
    m_page.TakeFinding(cache::EntryMovieRow{{"e.swf", "9", cache + "/x/entry2", "http://e.example/2.swf"}, 20});
    m_page.TakeFinding(cache::PlainFileAddress{cache + "/a/one.swf", "http://ie.example/a.swf"});
    m_page.TakeFinding(cache::PlainFileAddress{cache + "/a/one.swf", "http://ie.example/second.swf"});
    m_page.TakeFinding(cache::PlainFileAddress{cache + "/nowhere.swf", "http://ie.example/nowhere.swf"});
    m_page.TakeFinding(cache::UnreadStore{cache + "/old/", "Some cache", "a version not read"});

    const std::vector<std::pair<std::string, std::string>> expected{
        {cache + "/x/entry2", "http://e.example/2.swf"},
        {cache + "/x/entry1", "http://e.example/1.swf"},
        {cache + "/a/b/c/CLIP.SWF", ""},
        {cache + "/a/b/one.swf", "http://ie.example/one.swf"},
        {cache + "/a/one.swf", "http://ie.example/a.swf"},
    };
    ASSERT_EQ(List()->rowCount(), static_cast<int>(expected.size()));
    for (int row = 0; row < List()->rowCount(); ++row) {
        const auto& [path, address] = expected[static_cast<std::size_t>(row)];
        EXPECT_EQ(ListView::CellBytes(List(), row, CLocalPage::kPathColumn), path);
        for (int column = 0; column < 3; ++column)
            EXPECT_EQ(ToBytes(List()->item(row, column)->toolTip()), address) << path;
    }
}

// Save All saves the rows that stood when it was pressed, whatever arrives while it runs: here the movies of the
// browser caches come in above the plain rows while the box about the first row's failure is open.
TEST(LocalPageBrowserCachesTest, SaveAllSavesTheRowsAsTheyStoodWhenPressedWhileEntryRowsArrive)
{
    const auto& caches = test::SharedBrowserCaches();
    const test::ScriptedDialogs dialogs;
    const test::TempHome home;
    const TempFolder target;
    CLocalPage page;
    page.SetChosenFolder(caches.CacheFolder());
    ASSERT_TRUE(page.InitModeless()); // the stores are read once events run: not before Save All
    QTableWidget* list = page.MovieList();
    const auto& plain = caches.PlainRows();
    ASSERT_EQ(list->rowCount(), static_cast<int>(plain.size()));
    ASSERT_GE(plain.size(), 2u);
    // The first row cannot be written: a folder stands where its file would go.
    std::filesystem::create_directories(target / plain.front().name);
    const auto expected = test::ExpectedListRows(caches);
    Dialogs::WhileMessageShown([&] {
        ASSERT_TRUE(QTest::qWaitFor([&] { return list->rowCount() == static_cast<int>(expected.size()); }, 20000));
    });
    Dialogs::QueueFolder(QString::fromStdString(target.Path()));
    page.OnSaveAll();

    std::vector<QString> messages;
    for (const auto& shown : Dialogs::History()) {
        if (shown.kind == Dialogs::Shown::Kind::Message)
            messages.push_back(shown.text);
    }
    EXPECT_EQ(messages, std::vector<QString>{QStringLiteral("create write file failure!")});
    ASSERT_EQ(list->rowCount(), static_cast<int>(expected.size())) << "the entry rows came in meanwhile";
    std::set<std::string> saved;
    for (const auto& file : std::filesystem::directory_iterator(target.Path()))
        saved.insert(file.path().filename().string());
    std::set<std::string> wanted;
    for (const auto& row : plain)
        wanted.insert(row.name);
    EXPECT_EQ(saved, wanted) << "every plain row, and no row that arrived later";
    for (std::size_t i = 1; i < plain.size(); ++i)
        EXPECT_EQ(ReadFile(target / plain[i].name), ReadFile(plain[i].path));
}

// The page over caches that Debian's browsers wrote: the walk's rows are there when the page is created,
// the entry rows come above them once the window runs, each with its address as tooltip, and Save writes
// a movie's bytes as the server sent them before any encoding.
TEST(LocalPageBrowserCachesTest, ListsTheCachedMoviesAboveThePlainOnesAndSavesTheirBytes)
{
    const auto& caches = test::SharedBrowserCaches();
    const test::ScriptedDialogs dialogs;
    const test::TempHome home;
    // The cache folder's setting has no "/" at its end, as usual (the lookup appends one).
    const std::string& folder = caches.CacheFolder();
    const ScopedEnv cacheHome("XDG_CACHE_HOME", folder.substr(0, folder.size() - 1));
    const TempFolder target;
    CLocalPage page;
    ASSERT_TRUE(page.InitModeless());
    QTableWidget* list = page.MovieList();
    EXPECT_EQ(list->rowCount(), static_cast<int>(caches.PlainRows().size()));

    const auto expected = test::ExpectedListRows(caches);
    ASSERT_TRUE(QTest::qWaitFor([&] { return list->rowCount() == static_cast<int>(expected.size()); }, 20000));
    for (int row = 0; row < list->rowCount(); ++row) {
        const auto& want = expected[static_cast<std::size_t>(row)];
        SCOPED_TRACE(want.path);
        EXPECT_EQ(ListView::CellBytes(list, row, CLocalPage::kNameColumn), want.name);
        EXPECT_EQ(ListView::CellBytes(list, row, CLocalPage::kSizeColumn), want.size);
        EXPECT_EQ(ListView::CellBytes(list, row, CLocalPage::kPathColumn), want.path);
        for (int column = 0; column < 3; ++column)
            EXPECT_EQ(ToBytes(list->item(row, column)->toolTip()), TipOf(want.address, page.MovieSummaryOf(want.path)));
    }

    for (const auto& movie : caches.Movies()) {
        for (int row = 0; row < list->rowCount(); ++row) {
            if (AddressInTip(page, list, row) != movie.address)
                continue;
            list->selectRow(row);
            const std::string saved = target / ("saved" + std::to_string(row) + ".swf");
            Dialogs::QueueSaveFileName(QString::fromStdString(saved));
            page.OnSave();
            EXPECT_EQ(ReadFile(saved), movie.movie) << movie.address;
        }
    }
    EXPECT_TRUE(Dialogs::History().size() > 0);

    // A click on an entry row plays the movie the server sent, decoded off the window's thread.
    page.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&page));
    for (int row = 0; row < list->rowCount(); ++row) {
        const std::string address = AddressInTip(page, list, row);
        const auto movie = std::find_if(caches.Movies().begin(), caches.Movies().end(),
                                        [&](const auto& served) { return served.address == address; });
        if (movie == caches.Movies().end() || movie->coding != "gzip")
            continue;
        SCOPED_TRACE(ListView::CellBytes(list, row, CLocalPage::kPathColumn));
        page.Preview().ShowNothing();
        ASSERT_TRUE(test::WaitUntil(
            [&] {
                return test::Near(test::ColourAt(test::Grab(&page.Preview()), 0.5, 0.5), test::Rgb{255, 255, 255});
            },
            std::chrono::seconds(20)));
        list->scrollToItem(list->item(row, 0));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualRect(list->model()->index(row, 0)).center());
        const std::string path = ListView::CellBytes(list, row, CLocalPage::kPathColumn);
        ASSERT_TRUE(test::WaitUntil(
            [&] {
                const QImage image = test::Grab(&page.Preview());
                return page.Preview().Location() == path
                    && test::Near(test::ColourAt(image, 0.5, 0.5), movie->recipe.fill)
                    && test::Near(test::ColourAt(image, 0.1, 0.1), movie->recipe.background);
            },
            std::chrono::seconds(20)));
    }
}

TEST(LocalPageBrowserCachesTest, ClosingThePageWhileItReadsEntriesEndsTheReadingPromptly)
{
    // Many files named like Chromium's entries, none of them one: reading them all takes a while.
    const TempFolder cacheFolder;
    for (int i = 0; i < 20000; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "Cache_Data/%016x_0", i);
        WriteFile(cacheFolder / name, std::string(64, 'x'));
    }
    const cache::LocalListSource source{cacheFolder.Path() + "/", false};
    const cache::LocalWalk walk = cache::WalkLocalFolder(source);
    ASSERT_EQ(walk.stores.size(), 1u);
    const std::atomic<bool> never{false};
    auto start = std::chrono::steady_clock::now();
    cache::ReadLocalEntries(source, walk, never, [](cache::StoreFinding) {});
    const auto wholeRead = std::chrono::steady_clock::now() - start;

    auto page = std::make_unique<CLocalPage>();
    page->SetChosenFolder(cacheFolder.Path());
    ASSERT_TRUE(page->InitModeless());
    QCoreApplication::processEvents(); // the reading starts
    start = std::chrono::steady_clock::now();
    page.reset();
    const auto closing = std::chrono::steady_clock::now() - start;
    EXPECT_LT(closing, wholeRead / 2) << "closing took " << closing.count() << " ns, a whole read " << wholeRead.count()
                                      << " ns";
}

// A folder of web archives (--folder): each movie record a row with its address as tooltip, newest capture
// first; a click plays the record's movie, gzip-encoded as the server sent it; Save writes its bytes.
TEST(LocalPageWebArchiveTest, ListsTheMovieRecordsAndPlaysAndSavesThem)
{
    const test::ScriptedDialogs dialogs;
    const test::TempHome home;
    const TempFolder folder;
    test::MovieRecipe older, newer;
    older.background = {200, 30, 30};
    older.fill = {30, 30, 200};
    newer.background = {30, 160, 30};
    newer.fill = {240, 220, 20};
    const std::vector<std::pair<std::string, std::string>> flash{{"Content-Type", "application/x-shockwave-flash"}};
    auto gzip = flash;
    gzip.emplace_back("Content-Encoding", "gzip");
    const std::string warc = folder / "crawls/site.warc.gz";
    std::filesystem::create_directories(folder / "crawls");
    test::RunWarcio(
        warc, "WARC/1.0", true,
        {{"response", "http://example.org/old.swf", "2008-05-01T10:00:00Z", 200, flash, test::MakeMovie(older)},
         {"response", "http://example.org/new.swf", "2009-05-01T10:00:00Z", 200, gzip,
          test::GzipEncoded(test::MakeMovie(newer))}});

    CLocalPage page;
    page.SetChosenFolder(folder.Path());
    ASSERT_TRUE(page.InitModeless());
    page.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&page));
    QTableWidget* list = page.MovieList();
    ASSERT_TRUE(QTest::qWaitFor([&] { return list->rowCount() == 2; }, 20000));
    const std::string addresses[] = {"http://example.org/new.swf", "http://example.org/old.swf"};
    for (int row = 0; row < 2; ++row) {
        EXPECT_EQ(ListView::CellBytes(list, row, CLocalPage::kNameColumn), addresses[row].substr(19));
        EXPECT_TRUE(ListView::CellBytes(list, row, CLocalPage::kPathColumn).starts_with(warc + "/@"));
        EXPECT_EQ(ToBytes(list->item(row, CLocalPage::kPathColumn)->toolTip()), addresses[row]);
    }

    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(list->model()->index(0, 0)).center());
    const std::string path = ListView::CellBytes(list, 0, CLocalPage::kPathColumn);
    EXPECT_TRUE(test::WaitUntil(
        [&] {
            const QImage image = test::Grab(&page.Preview());
            return page.Preview().Location() == path && test::Near(test::ColourAt(image, 0.5, 0.5), newer.fill)
                && test::Near(test::ColourAt(image, 0.1, 0.1), newer.background);
        },
        std::chrono::seconds(20)));

    list->selectRow(1);
    const std::string saved = folder / "saved.swf";
    Dialogs::QueueSaveFileName(QString::fromStdString(saved));
    page.OnSave();
    EXPECT_EQ(ReadFile(saved), test::MakeMovie(older));
}

TEST(LocalPageWithoutCacheTest, KeepsAnEmptyListAndThePlaceholder)
{
    ScopedEnv home("HOME", std::nullopt);
    ScopedEnv cache("XDG_CACHE_HOME", std::nullopt);
    CLocalPage page;
    ASSERT_TRUE(page.InitModeless());
    EXPECT_EQ(page.MovieList()->rowCount(), 0);
    EXPECT_EQ(page.MovieList()->columnCount(), 3);
    EXPECT_NE(qobject_cast<QLabel*>(GetDlgItem(&page, IDC_PREVIEW)), nullptr);
    EXPECT_EQ(page.Preview().Browser(), nullptr);
}

} // namespace
