#pragma once
// The one seam through which the program asks the user something: message boxes, the Save-as
// dialog and the folder picker. Tests switch it to scripted mode, queue answers and read back what
// was shown, so that every modal flow can be driven without a person. Every box and dialog belongs
// to the main window when there is one, else to the owner's window.
#include <QMessageBox>
#include <QString>

#include <deque>
#include <functional>
#include <optional>
#include <vector>

class QWidget;

class Dialogs {
public:
    // What was asked, as the user would have seen it.
    struct Shown {
        enum class Kind { Message, Question, SaveFile, Folder } kind;
        QString caption; // message or question caption, or the folder picker's title
        QString text;    // message or question text
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QStringList nameFilters; // Save-as filters, as Qt name filters
        QString defaultSuffix;
    };

    static void ShowMessage(QWidget* owner, const QString& caption, const QString& text, QMessageBox::Icon icon);
    // A question with Yes and No; true for Yes.
    static bool AskYesNo(QWidget* owner, const QString& caption, const QString& text);

    // filterSpec is written "Description|pattern|...||"; returns the chosen path or nothing on cancel.
    // A name chosen without an extension gets "." and defaultSuffix. When the name so made is that of
    // an existing file, the user is asked before it is replaced; the dialog itself asks nothing, so
    // the one question names the file that will be written. "No" opens the dialog again.
    static std::optional<QString> AskSaveFileName(QWidget* owner, const QString& filterSpec,
                                                  const QString& defaultSuffix);
    static std::optional<QString> AskFolder(QWidget* owner, const QString& title);

    // "Description|pattern|...||" as Qt name filters, e.g. {"Save as  (*.swf)"}.
    static QStringList NameFiltersOf(const QString& filterSpec);

    // Test seam. In scripted mode nothing is shown: what would have been shown is recorded, and dialogs
    // take the next queued answer (an empty optional, or an empty queue, means the user cancelled; a
    // question with no queued answer gets "No"). A queued Save-as answer is the name as the user
    // typed it in the dialog. Outside scripted mode nothing is recorded.
    static void SetScripted(bool scripted);
    static void QueueSaveFileName(std::optional<QString> answer);
    static void QueueFolder(std::optional<QString> answer);
    static void QueueYesNo(bool yes);
    // Runs `whileShown` each time a scripted message box is shown, as a real box runs the event loop while it
    // is open, so tests can make things happen meanwhile; cleared with the history.
    static void WhileMessageShown(std::function<void()> whileShown);
    static const std::vector<Shown>& History();
    static void ClearHistory();
};
