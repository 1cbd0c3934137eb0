// The main window: page tabs, background, dragging and the close button. The pages' previews start
// the web engine, so this runs apart from the other shell tests.
#include "app/BitmapButton.h"
#include "app/MainDialog.h"
#include "app/PageTabCtrl.h"
#include "framework/Dialogs.h"
#include "res/resource.h"
#include "support/Files.h"
#include "support/TempFolder.h"
#include "support/gui/GuiSupport.h"

#include <QApplication>
#include <QComboBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QWheelEvent>

#include <gtest/gtest.h>

namespace {

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dialog.InitModeless());
        m_dialog.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&m_dialog));
    }

    void PressTab(int index)
    {
        CPageTabCtrl* tabs = m_dialog.PageTabs();
        QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(index).center());
    }

    test::ScriptedDialogs m_dialogs;
    // Start-up reads the browser history and walks the cache: give it an empty home of its own.
    test::TempHome m_home;
    CMainDialog m_dialog;
};

TEST_F(MainWindowTest, ShowsBothTabsInOrderWithInternetFilesFirst)
{
    CPageTabCtrl* tabs = m_dialog.PageTabs();
    ASSERT_NE(tabs, nullptr);
    ASSERT_EQ(tabs->count(), 2);
    EXPECT_EQ(tabs->tabText(0), QStringLiteral("Internet Files"));
    EXPECT_EQ(tabs->tabText(1), QStringLiteral("Local Files"));
    EXPECT_TRUE(m_dialog.InternetPage().isVisible());
    EXPECT_FALSE(m_dialog.LocalPage().isVisible());
    EXPECT_EQ(tabs->pos(), QPoint(5, 50));
    // The pages are built from their templates, with the template's ids and texts.
    auto* go = qobject_cast<QPushButton*>(GetDlgItem(&m_dialog.InternetPage(), 1003));
    ASSERT_NE(go, nullptr);
    EXPECT_EQ(go->text(), QStringLiteral("Go"));
    auto* saveAll = qobject_cast<QPushButton*>(GetDlgItem(&m_dialog.LocalPage(), 1011));
    ASSERT_NE(saveAll, nullptr);
    EXPECT_EQ(saveAll->text(), QStringLiteral("Save All"));
}

TEST_F(MainWindowTest, SwitchesOnPressAndKeepsEachPagesContents)
{
    auto* combo = qobject_cast<QComboBox*>(GetDlgItem(&m_dialog.InternetPage(), 1014));
    ASSERT_NE(combo, nullptr);
    combo->setEditText(QStringLiteral("example.org/games"));

    PressTab(0); // the tab already shown: nothing changes
    EXPECT_EQ(m_dialog.PageTabs()->CurrentPage(), 0);
    EXPECT_TRUE(m_dialog.InternetPage().isVisible());

    PressTab(1);
    EXPECT_EQ(m_dialog.PageTabs()->CurrentPage(), 1);
    EXPECT_FALSE(m_dialog.InternetPage().isVisible());
    EXPECT_TRUE(m_dialog.LocalPage().isVisible());

    PressTab(0);
    EXPECT_TRUE(m_dialog.InternetPage().isVisible());
    EXPECT_FALSE(m_dialog.LocalPage().isVisible());
    EXPECT_EQ(combo->currentText(), QStringLiteral("example.org/games"));
}

TEST_F(MainWindowTest, KeyboardTabChangeDoesNotSwitchUntilTheNextPress)
{
    CPageTabCtrl* tabs = m_dialog.PageTabs();
    tabs->setCurrentIndex(1); // as arrow keys would
    EXPECT_TRUE(m_dialog.InternetPage().isVisible());
    // A press on the empty part of the tab row brings page and tab together again.
    QTest::mouseClick(tabs, Qt::LeftButton, {}, QPoint(tabs->width() - 5, tabs->tabRect(0).center().y()));
    EXPECT_TRUE(m_dialog.LocalPage().isVisible());
}

TEST_F(MainWindowTest, WheelAndClicksOnAPageSwitchNothing)
{
    CPageTabCtrl* tabs = m_dialog.PageTabs();
    CInternetPage& page = m_dialog.InternetPage();
    const QPoint background(3, page.height() - 3);
    ASSERT_EQ(page.childAt(background), nullptr);
    const std::pair<QWidget*, QPoint> turnedOver[] = {{tabs, tabs->tabRect(1).center()}, {&page, background}};
    for (const auto& [widget, at] : turnedOver) {
        for (const int delta : {-120, 120, -120}) {
            QWheelEvent wheel(at, widget->mapToGlobal(at), {}, {0, delta}, Qt::NoButton, {}, Qt::NoScrollPhase, false);
            QApplication::sendEvent(widget, &wheel);
            EXPECT_EQ(tabs->currentIndex(), 0) << widget->metaObject()->className() << " " << delta;
        }
    }

    // Even with the selected tab moved away, as arrow keys move it, only a press on the tab row
    // switches: clicks on the page's background do not reach it.
    tabs->setCurrentIndex(1);
    QTest::mouseClick(&page, Qt::LeftButton, {}, background);
    QTest::mouseDClick(&page, Qt::LeftButton, {}, background);
    EXPECT_EQ(tabs->CurrentPage(), 0);
    EXPECT_TRUE(page.isVisible());
}

TEST_F(MainWindowTest, PagesShareOneRectangleBelowTheTabRow)
{
    CPageTabCtrl* tabs = m_dialog.PageTabs();
    const QRect item = tabs->tabRect(0);
    const QRect expected(item.x(), item.y() + item.height() + 1, tabs->width() - item.x() - 2,
                         tabs->height() - (item.y() + item.height()) - 3);
    EXPECT_EQ(m_dialog.InternetPage().geometry(), expected);
    EXPECT_EQ(m_dialog.LocalPage().geometry(), expected);
    EXPECT_EQ(m_dialog.InternetPage().parentWidget(), tabs);
}

TEST_F(MainWindowTest, IsFramelessReadsPlumerocAndPaintsTheStretchedBackground)
{
    EXPECT_TRUE(m_dialog.windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(m_dialog.windowTitle(), QStringLiteral("Plumeroc"));
    EXPECT_FALSE(m_dialog.windowIcon().isNull());

    const QImage shot = m_dialog.grab().toImage();
    const int w = shot.width();
    const int h = shot.height();
    const QColor dark(68, 68, 68);
    const QColor grey(221, 221, 221);
    // The picture's one-pixel dark edges land on the window's far edges only if it is stretched.
    EXPECT_EQ(shot.pixelColor(w - 1, h / 2), dark);
    EXPECT_EQ(shot.pixelColor(w / 2, h - 1), dark);
    EXPECT_EQ(shot.pixelColor(w - 1, 0), dark);
    EXPECT_EQ(shot.pixelColor(w - 1, h - 1), dark);
    // Its grey field, at a point no control covers (left of the tab control, below the band).
    EXPECT_EQ(shot.pixelColor(2, h - 5), grey);
    // The title band is blue at the top.
    const QColor band = shot.pixelColor(w / 2, 10);
    EXPECT_GT(band.blue(), band.red() + 40);
}

TEST_F(MainWindowTest, CloseButtonEndsTheDialog)
{
    auto* close = qobject_cast<CBitmapButton*>(GetDlgItem(&m_dialog, IDC_CLOSE));
    auto* home = qobject_cast<CBitmapButton*>(GetDlgItem(&m_dialog, IDC_HOME));
    ASSERT_NE(close, nullptr);
    ASSERT_NE(home, nullptr);
    QSignalSpy finished(&m_dialog, &QDialog::finished);
    QTest::mouseClick(home, Qt::LeftButton);
    EXPECT_EQ(finished.count(), 0);
    EXPECT_TRUE(m_dialog.isVisible());
    QTest::mouseClick(close, Qt::LeftButton);
    ASSERT_EQ(finished.count(), 1);
    EXPECT_EQ(finished.at(0).at(0).toInt(), int(QDialog::Accepted));
    EXPECT_FALSE(m_dialog.isVisible());
}

TEST_F(MainWindowTest, DraggingTheBackgroundMovesTheWindowButDraggingTheTabsDoesNot)
{
    const QPoint start = m_dialog.pos();
    const QPoint grip(2, m_dialog.height() - 5);
    QTest::mousePress(&m_dialog, Qt::LeftButton, {}, grip);
    QTest::mouseMove(&m_dialog, grip + QPoint(40, 30));
    QTest::mouseRelease(&m_dialog, Qt::LeftButton, {}, grip + QPoint(40, 30));
    EXPECT_EQ(m_dialog.pos(), start + QPoint(40, 30));

    const QPoint moved = m_dialog.pos();
    CPageTabCtrl* tabs = m_dialog.PageTabs();
    const QPoint onTab = tabs->tabRect(0).center();
    QTest::mousePress(tabs, Qt::LeftButton, {}, onTab);
    QTest::mouseMove(tabs, onTab + QPoint(40, 30));
    QTest::mouseRelease(tabs, Qt::LeftButton, {}, onTab + QPoint(40, 30));
    EXPECT_EQ(m_dialog.pos(), moved);
}

} // namespace
