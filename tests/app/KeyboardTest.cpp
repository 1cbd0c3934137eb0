// The keyboard as a new user meets it in the main window: where the focus is at start-up, where Tab
// goes from there and from inside a list, and what Enter and the arrow keys do.
#include "app/MainDialog.h"
#include "app/PageTabCtrl.h"
#include "framework/Dialogs.h"
#include "framework/ListView.h"
#include "res/resource.h"
#include "support/TempFolder.h"
#include "support/gui/GuiSupport.h"

#include <QApplication>
#include <QComboBox>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>

#include <gtest/gtest.h>

#include <vector>

namespace {

// The id of the control that holds the focus: the focus widget's, or that of the nearest parent that
// has one (the field inside the address box has none of its own).
int FocusedId()
{
    for (const QWidget* widget = QApplication::focusWidget(); widget != nullptr; widget = widget->parentWidget()) {
        if (const int id = GetDlgCtrlID(widget))
            return id;
    }
    return 0;
}

class KeyboardTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_home.Write(".cache/site/a.swf", "FWS movie a");
        m_home.Write(".cache/site/b.swf", "FWS movie b");
        ASSERT_TRUE(m_dialog.InitModeless());
        m_dialog.show();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&m_dialog));
    }

    // A key pressed where the focus is, as the keyboard does.
    static void Press(Qt::Key key)
    {
        ASSERT_NE(QApplication::focusWidget(), nullptr);
        QTest::keyClick(QApplication::focusWidget(), key);
    }

    // The controls Tab reaches, one per press.
    static std::vector<int> TabThrough(int presses)
    {
        std::vector<int> reached;
        for (int i = 0; i < presses; ++i) {
            Press(Qt::Key_Tab);
            reached.push_back(FocusedId());
        }
        return reached;
    }

    void ShowPage(int index)
    {
        CPageTabCtrl* tabs = m_dialog.PageTabs();
        QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(index).center());
    }

    QPushButton* InternetButton(int id) { return qobject_cast<QPushButton*>(GetDlgItem(&m_dialog.InternetPage(), id)); }

    test::ScriptedDialogs m_dialogs;
    // Start-up reads the browser history and walks the cache: an empty home of its own, with two movies.
    test::TempHome m_home;
    CMainDialog m_dialog;
};

TEST_F(KeyboardTest, FocusStartsInTheAddressBoxAndTabGoesRoundTheControlsInTemplateOrder)
{
    EXPECT_EQ(FocusedId(), IDC_ADDRESS);
    // The page's controls, then the picture buttons, and round again; never the tab row or the preview.
    EXPECT_EQ(TabThrough(7),
              (std::vector<int>{IDC_GO, IDC_MOVIE_LIST, IDC_SAVE, IDC_SAVE_ALL, IDC_HOME, IDC_CLOSE, IDC_ADDRESS}));

    // The other page: a press on its tab gives the tab row the focus, and Tab leaves it for the page.
    ShowPage(1);
    EXPECT_EQ(FocusedId(), IDC_TABS);
    EXPECT_EQ(TabThrough(6),
              (std::vector<int>{IDC_LOCAL_LIST, IDC_SAVE_ALL, IDC_SAVE, IDC_HOME, IDC_CLOSE, IDC_LOCAL_LIST}));
}

TEST_F(KeyboardTest, ArrowKeysAtStartUpLeaveTheTabsAndThePageAlone)
{
    for (const Qt::Key key : {Qt::Key_Right, Qt::Key_Down, Qt::Key_Right})
        Press(key);
    EXPECT_EQ(m_dialog.PageTabs()->currentIndex(), 0);
    EXPECT_TRUE(m_dialog.InternetPage().isVisible());
    EXPECT_EQ(FocusedId(), IDC_ADDRESS);
}

TEST_F(KeyboardTest, EnterPressesNoButton)
{
    // Right after start-up, in the address box.
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("127.0.0.1:9/none.html"));
    Press(Qt::Key_Return);
    EXPECT_FALSE(m_dialog.InternetPage().CaptureRunning());
    EXPECT_EQ(m_dialog.InternetPage().Address(), "");

    // After Save was used once (it warns: no row is selected), Enter in the address box still presses
    // nothing.
    QTest::mouseClick(InternetButton(IDC_SAVE), Qt::LeftButton);
    ASSERT_EQ(Dialogs::History().size(), 1u);
    auto* address = qobject_cast<QComboBox*>(GetDlgItem(&m_dialog.InternetPage(), IDC_ADDRESS));
    QTest::mouseClick(address, Qt::LeftButton, {}, QPoint(5, address->height() / 2));
    ASSERT_EQ(FocusedId(), IDC_ADDRESS);
    Press(Qt::Key_Return);
    Press(Qt::Key_Enter);
    EXPECT_EQ(Dialogs::History().size(), 1u);
    EXPECT_EQ(m_dialog.InternetPage().Address(), "");
    EXPECT_EQ(address->currentText(), QStringLiteral("127.0.0.1:9/none.html"));
}

TEST_F(KeyboardTest, TabLeavesAListAndKeepsTheRowSaveActsOn)
{
    ShowPage(1);
    QTableWidget* list = m_dialog.LocalPage().MovieList();
    ASSERT_EQ(list->rowCount(), 2);
    const QRect lastCell = list->visualRect(list->model()->index(0, list->columnCount() - 1));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, lastCell.center());
    ASSERT_EQ(FocusedId(), IDC_LOCAL_LIST);
    ASSERT_EQ(ListView::SelectedRow(list), 0);

    EXPECT_EQ(TabThrough(3), (std::vector<int>{IDC_SAVE_ALL, IDC_SAVE, IDC_HOME}));
    EXPECT_EQ(ListView::SelectedRow(list), 0);
    EXPECT_EQ(list->currentRow(), 0);
}

} // namespace
