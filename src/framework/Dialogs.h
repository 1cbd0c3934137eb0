#pragma once
// The one seam through which the program asks the user something: message boxes, the Save-as
// dialog and the folder picker. Tests switch it to scripted mode, queue answers and read back what
// was shown, so that every modal flow can be driven without a person.
#include <QMessageBox>
#include <QString>

#include <deque>
#include <optional>
#include <vector>

class QWidget;

class Dialogs {
public:
    // What was asked, as the user would have seen it.
    struct Shown {
        enum class Kind { Message, SaveFile, Folder } kind;
        QString caption; // message caption, or the folder picker's title
        QString text;    // message text
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QStringList nameFilters; // Save-as filters, as Qt name filters
        QString defaultSuffix;
    };

    static void ShowMessage(QWidget* owner, const QString& caption, const QString& text, QMessageBox::Icon icon);

    // filterSpec is written "Description|pattern|...||"; returns the chosen path or nothing on cancel.
    static std::optional<QString> AskSaveFileName(QWidget* owner, const QString& filterSpec,
                                                  const QString& defaultSuffix);
    static std::optional<QString> AskFolder(QWidget* owner, const QString& title);

    // "Description|pattern|...||" as Qt name filters, e.g. {"Save as  (*.swf)"}.
    static QStringList NameFiltersOf(const QString& filterSpec);

    // Test seam. In scripted mode nothing is shown: what would have been shown is recorded, and dialogs
    // take the next queued answer (an empty optional, or an empty queue, means the user cancelled).
    // Outside scripted mode nothing is recorded.
    static void SetScripted(bool scripted);
    static void QueueSaveFileName(std::optional<QString> answer);
    static void QueueFolder(std::optional<QString> answer);
    static const std::vector<Shown>& History();
    static void ClearHistory();
};
