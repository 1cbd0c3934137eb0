// The application shell without a window: page tabs, dialog templates, failure box and byte strings.
#include "app/PageTabCtrl.h"
#include "app/PlumerocApp.h"
#include "framework/ByteString.h"
#include "framework/Commands.h"
#include "framework/Dialog.h"
#include "framework/Dialogs.h"
#include "framework/MovieDialogs.h"
#include "platform/Exceptions.h"
#include "res/resource.h"
#include "support/TempFolder.h"
#include "support/gui/GuiSupport.h"

#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

TEST(PageTabCtrlTest, HoldsSixteenPagesAtMost)
{
    CPageTabCtrl tabs;
    std::vector<std::unique_ptr<CDialog>> pages;
    for (int i = 0; i < CPageTabCtrl::kMaxPages; ++i) {
        pages.push_back(std::make_unique<CDialog>(130));
        EXPECT_TRUE(tabs.AddPage("page", pages.back().get(), 130));
    }
    CDialog extra(130);
    EXPECT_FALSE(tabs.AddPage("extra", &extra, 130));
    EXPECT_EQ(tabs.PageCount(), 16);
    EXPECT_EQ(tabs.Page(15), pages[15].get());
    EXPECT_EQ(tabs.Page(16), nullptr);
}

TEST(FailureBoxTest, ShowsTheExceptionTextOrTheGenericOneAndGoesOn)
{
    const test::ScriptedDialogs dialogs;
    RunCommand([] { throw CFileException("Disk full while writing /tmp/a.swf."); });
    RunCommand([] { throw std::runtime_error(""); });
    RunCommand([] { throw 42; });
    bool ran = false;
    RunCommand([&] { ran = true; });
    EXPECT_TRUE(ran);

    const auto& shown = Dialogs::History();
    ASSERT_EQ(shown.size(), 3u);
    EXPECT_EQ(shown[0].text, QStringLiteral("Disk full while writing /tmp/a.swf."));
    EXPECT_EQ(shown[0].caption, QStringLiteral("Plumeroc"));
    EXPECT_EQ(shown[0].icon, QMessageBox::Critical);
    EXPECT_EQ(shown[1].text, QStringLiteral("Internal application error."));
    EXPECT_EQ(shown[2].text, QStringLiteral("Internal application error."));
}

TEST(FailureBoxTest, AnExceptionFromAConnectedHandlerDoesNotReachTheEventLoop)
{
    const test::ScriptedDialogs dialogs;
    struct Thrower : QObject {
        void Handler() { throw CInternetException("Connection lost while reading http://host/a.swf."); }
    } thrower;
    QPushButton button;
    QObject::connect(&button, &QPushButton::clicked, &thrower, OnCommand(&thrower, &Thrower::Handler));
    button.show();
    QTest::mouseClick(&button, Qt::LeftButton);
    ASSERT_EQ(Dialogs::History().size(), 1u);
    EXPECT_EQ(Dialogs::History()[0].text, QStringLiteral("Connection lost while reading http://host/a.swf."));
}

TEST(DialogUnitsTest, ScaleWithTheFontsAverageCharacterSize)
{
    const QSize base(6, 13);
    EXPECT_EQ(DialogUnitsToPixels(QRect(2, 22, 416, 228), base), QRect(3, 36, 624, 371));
    EXPECT_EQ(DialogUnitsToPixels(QRect(0, 0, 1, 1), QSize(7, 16)), QRect(0, 0, 2, 2));
    const DialogTemplate* main = FindDialogTemplate(102);
    ASSERT_NE(main, nullptr);
    EXPECT_EQ(main->items.size(), 3u);
    EXPECT_EQ(FindDialogTemplate(999), nullptr);
}

TEST(DialogsTest, SaveFilterBecomesOneQtNameFilter)
{
    EXPECT_EQ(Dialogs::NameFiltersOf(QStringLiteral("Save as  (*.swf)|*.swf||")),
              QStringList{QStringLiteral("Save as  (*.swf)")});
    EXPECT_EQ(Dialogs::NameFiltersOf(QStringLiteral("Movies|*.swf|All|*||")),
              (QStringList{QStringLiteral("Movies (*.swf)"), QStringLiteral("All (*)")}));
}

// The one question before a file is replaced names the file that will be written.
TEST(DialogsTest, SaveAsAsksBeforeTheDefaultSuffixReplacesAFile)
{
    struct Case {
        const char* name;
        std::vector<std::optional<std::string>> typed; // one per dialog shown; nullopt: cancelled
        std::vector<bool> answers;                     // to "replace it?"
        std::optional<std::string> saved;
        std::size_t questions;
        const char* asked = "clip.SWF"; // the file the first question names
    };
    const Case cases[] = {
        {"new name gets the suffix", {"fresh"}, {}, "fresh.SWF", 0},
        {"suffix names a file, replaced", {"clip"}, {true}, "clip.SWF", 1},
        {"suffix names a file, No asks again", {"clip", "other"}, {false}, "other.SWF", 1},
        {"No, then cancelled", {"clip", std::nullopt}, {false}, std::nullopt, 1},
        {"typed with the suffix, replaced", {"clip.SWF"}, {true}, "clip.SWF", 1},
        {"another extension is kept", {"clip.swf"}, {true}, "clip.swf", 1, "clip.swf"},
        {"cancelled", {std::nullopt}, {}, std::nullopt, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const test::ScriptedDialogs dialogs;
        const test::TempFolder dir;
        dir.Write("clip.SWF", "FWS old");
        dir.Write("clip.swf", "FWS old");
        for (const auto& typed : c.typed)
            Dialogs::QueueSaveFileName(typed ? std::optional(QString::fromStdString(dir / *typed)) : std::nullopt);
        for (bool answer : c.answers)
            Dialogs::QueueYesNo(answer);

        const std::optional<QString> saved = MovieDialogs::AskMovieFileName(nullptr);
        EXPECT_EQ(saved, c.saved ? std::optional(QString::fromStdString(dir / *c.saved)) : std::nullopt);
        std::size_t dialogsShown = 0;
        std::vector<Dialogs::Shown> questions;
        for (const Dialogs::Shown& shown : Dialogs::History()) {
            dialogsShown += shown.kind == Dialogs::Shown::Kind::SaveFile;
            if (shown.kind == Dialogs::Shown::Kind::Question)
                questions.push_back(shown);
        }
        EXPECT_EQ(dialogsShown, c.typed.size());
        ASSERT_EQ(questions.size(), c.questions);
        if (!questions.empty()) {
            EXPECT_EQ(questions[0].caption, QStringLiteral("Confirm Save As"));
            EXPECT_EQ(questions[0].text,
                      QString::fromLatin1(c.asked) + QStringLiteral(" already exists.\nDo you want to replace it?"));
        }
    }
}

// The real Save-as dialog, answered as a user answers it: the name typed and Enter, Yes to a question.
// The one question, when there is one, names the file that will be written.
TEST(SaveAsDialogTest, AsksOnlyAboutTheFileThatWillBeWritten)
{
    struct Case {
        const char* typed;
        std::vector<const char*> existing;
        std::vector<QString> questions; // the first line of each question, in order
        const char* saved;
    };
    const QString replaceZz = QStringLiteral("zz.SWF already exists.");
    const Case cases[] = {
        {"zz", {"zz"}, {}, "zz.SWF"},
        {"zz", {"zz", "zz.SWF"}, {replaceZz}, "zz.SWF"},
        {"zz.SWF", {"zz.SWF"}, {replaceZz}, "zz.SWF"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.typed) + " with " + std::to_string(c.existing.size()) + " files");
        const test::TempFolder dir;
        for (const char* name : c.existing)
            dir.Write(name, "FWS old");
        std::vector<QString> questions;
        int dialogs = 0;
        QTimer user;
        QObject::connect(&user, &QTimer::timeout, [&] {
            QWidget* shown = QApplication::activeModalWidget();
            if (auto* dialog = qobject_cast<QFileDialog*>(shown); dialog != nullptr && dialog->isVisible()) {
                auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
                if (name == nullptr || ++dialogs > 3) { // a dialog shown again and again would never end
                    dialog->reject();
                    return;
                }
                name->setText(QString::fromStdString(dir / c.typed));
                // From the event loop, not from here: a question it opens must find this timer free.
                QTimer::singleShot(0, name, [name] { QTest::keyClick(name, Qt::Key_Return); });
            } else if (auto* box = qobject_cast<QMessageBox*>(shown); box != nullptr && box->isVisible()) {
                questions.push_back(box->text().section(QLatin1Char('\n'), 0, 0));
                box->button(QMessageBox::Yes)->click();
            }
        });
        user.start(20);
        const std::optional<QString> saved = MovieDialogs::AskMovieFileName(nullptr);
        user.stop();
        EXPECT_EQ(dialogs, 1);
        EXPECT_EQ(questions, c.questions);
        EXPECT_EQ(saved, std::optional(QString::fromStdString(dir / c.saved)));
    }
}

// The Local Files page's placeholder, seen when the page has no viewer, reads "Static" from its top left
// corner, as a left-aligned static does.
TEST(DialogTemplateTest, AStaticsTextStartsAtItsTopLeftCorner)
{
    CDialog page(IDD_LOCAL_FILES);
    ASSERT_TRUE(page.InitModeless());
    auto* placeholder = qobject_cast<QLabel*>(GetDlgItem(&page, IDC_PREVIEW));
    ASSERT_NE(placeholder, nullptr);
    EXPECT_EQ(placeholder->text(), QStringLiteral("Static"));
    const QImage shot = placeholder->grab().toImage();
    int top = shot.height();
    int left = shot.width();
    for (int y = 0; y < shot.height(); ++y) {
        for (int x = 0; x < shot.width(); ++x) {
            if (shot.pixelColor(x, y).lightness() < 128) { // text, on the light dialog background
                top = std::min(top, y);
                left = std::min(left, x);
            }
        }
    }
    ASSERT_LT(top, shot.height()) << "no text drawn";
    EXPECT_LT(top, shot.height() / 5);
    EXPECT_LT(left, shot.width() / 10);
}

TEST(ByteStringTest, EveryByteSequenceSurvivesTheRoundTrip)
{
    const std::string cases[] = {
        "http://host/games/a.swf",
        "caf\xc3\xa9/\xe6\x98\xa0\xe7\x94\xbb.swf",          // valid UTF-8
        std::string("latin1 \xe9t\xe9.swf"),                 // not UTF-8
        std::string("\xff\xfe\x80\xc0\xaf", 5),              // stray and overlong bytes
        std::string("\xed\xa0\x80 surrogate", 12),           // encoded surrogate
        std::string("\xf0\x90\x82\x80\x80 pair then stray"), // U+10080, then a stray byte
        std::string("cr\r\nlf and \0 nul", 16),
    };
    for (const std::string& bytes : cases) {
        EXPECT_EQ(ToBytes(FromBytes(bytes)), bytes) << bytes;
    }
    EXPECT_EQ(FromBytes("caf\xc3\xa9"), QStringLiteral("caf\u00e9"));
}

} // namespace
