// The Local Files rows' tooltips say what kind of movie each row holds, read from its header once the window
// shows. The expected values come from Ruffle, which reads the same movies independently: the preview plays each
// one and its player's metadata is asked for. Real movies from ../shared/data/swf: AVM1 and AVM2, uncompressed,
// zlib and LZMA.
#include "cache/ui/LocalPage.h"
#include "framework/ListView.h"
#include "support/SharedData.h"
#include "support/TempFolder.h"
#include "support/gui/GuiSupport.h"

#include <QTest>
#include <QWebEnginePage>

#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {

// What Ruffle says of the movie it plays, written as the tooltip writes it; empty until the page of the movie
// whose path ends in %1 plays it.
const QString kMetadataScript = QStringLiteral(
    "(() => { if (!decodeURIComponent(location.pathname).endsWith(%1)) return '';"
    " const p = document.querySelector('ruffle-player'); const api = p && (p.ruffle ? p.ruffle() : p);"
    " const m = api && api.metadata; if (!m) return '';"
    " return 'Flash version ' + m.swfVersion + ', ' + m.width + ' × ' + m.height + ' pixels, ' + m.frameRate +"
    " ' frames a second, ActionScript ' + (m.isActionScript3 ? '3' : '1/2'); })()");

TEST(LocalTooltipTest, EachRowSaysWhatKindOfMovieItHoldsAsRuffleReadsIt)
{
    PLUMEROC_SHARED_DATA_OR_SKIP(movies, "swf");
    const test::TempHome home;
    CLocalPage page;
    page.SetChosenFolder(movies);
    ASSERT_TRUE(page.InitModeless());
    page.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&page));
    QTableWidget* list = page.MovieList();
    for (const char* movie : {"001-loadmovie/test.swf", "033-url-loader/test.swf", "060-noload-zws-lzma/test.swf",
                              "019-do-init-action-child/assets.swf"}) {
        SCOPED_TRACE(movie);
        const std::string path = movies + "/" + movie;
        int row = -1;
        for (int r = 0; r < list->rowCount(); ++r) {
            if (ListView::CellBytes(list, r, CLocalPage::kPathColumn) == path)
                row = r;
        }
        ASSERT_GE(row, 0);
        ASSERT_TRUE(test::WaitUntil([&] { return !page.MovieSummaryOf(path).isEmpty(); }, 20s));
        EXPECT_EQ(list->item(row, CLocalPage::kNameColumn)->toolTip(), page.MovieSummaryOf(path));
        EXPECT_EQ(list->item(row, CLocalPage::kPathColumn)->toolTip(), page.MovieSummaryOf(path));

        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualRect(list->model()->index(row, 0)).center());
        QString ruffle;
        test::WaitUntil(
            [&] {
                const QString quoted = QStringLiteral("'/") + QString::fromUtf8(movie) + QStringLiteral("'");
                ruffle = test::RunScript(page.Preview().Browser(), kMetadataScript.arg(quoted), 2s);
                return !ruffle.isEmpty();
            },
            30s);
        EXPECT_EQ(page.MovieSummaryOf(path), ruffle);
    }
}

} // namespace
