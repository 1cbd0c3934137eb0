#include "framework/Dialogs.h"

#include "framework/MainWindow.h"

#include <QFileDialog>
#include <QFileInfo>

namespace {
struct Script {
    bool scripted = false;
    std::deque<std::optional<QString>> saveNames;
    std::deque<std::optional<QString>> folders;
    std::deque<bool> yesNo;
    std::vector<Dialogs::Shown> history;
    std::function<void()> whileMessageShown;
};

Script& TheScript()
{
    static Script script;
    return script;
}

std::optional<QString> TakeAnswer(std::deque<std::optional<QString>>& queue)
{
    std::optional<QString> answer;
    if (!queue.empty()) {
        answer.swap(queue.front());
        queue.pop_front();
    }
    return answer;
}

// Boxes and dialogs belong to the main window, not to whatever window happens to be active (none
// at all while the user works in another program): a box without a parent can open behind it.
QWidget* ParentFor(QWidget* owner)
{
    if (QWidget* main = AfxGetMainWnd())
        return main;
    return owner != nullptr ? owner->window() : nullptr;
}

// The Save-as dialog itself: the name as the dialog gives it back, or nothing on cancel.
std::optional<QString> ChooseSaveFileName(QWidget* owner, const QString& filterSpec, const QString& defaultSuffix,
                                          const QString& folder)
{
    auto& script = TheScript();
    if (script.scripted) {
        script.history.push_back({Dialogs::Shown::Kind::SaveFile,
                                  {},
                                  {},
                                  QMessageBox::NoIcon,
                                  Dialogs::NameFiltersOf(filterSpec),
                                  defaultSuffix});
        return TakeAnswer(script.saveNames);
    }
    QFileDialog dialog(ParentFor(owner), QStringLiteral("Save As"), folder);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters(Dialogs::NameFiltersOf(filterSpec));
    // The dialog neither adds the default suffix nor asks about replacing a file: it would ask about
    // the name as typed, which is not always the file written. AskSaveFileName asks about that one.
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().constFirst();
}

QString WithDefaultSuffix(const QString& path, const QString& suffix)
{
    if (suffix.isEmpty() || QFileInfo(path).fileName().contains(QLatin1Char('.')))
        return path;
    return path + QLatin1Char('.') + suffix;
}
} // namespace

void Dialogs::ShowMessage(QWidget* owner, const QString& caption, const QString& text, QMessageBox::Icon icon)
{
    auto& script = TheScript();
    if (script.scripted) {
        script.history.push_back({Shown::Kind::Message, caption, text, icon, {}, {}});
        if (script.whileMessageShown)
            script.whileMessageShown();
        return;
    }
    QMessageBox box(icon, caption, text, QMessageBox::Ok, ParentFor(owner));
    box.exec();
}

bool Dialogs::AskYesNo(QWidget* owner, const QString& caption, const QString& text)
{
    auto& script = TheScript();
    if (script.scripted) {
        script.history.push_back({Shown::Kind::Question, caption, text, QMessageBox::Warning, {}, {}});
        if (script.yesNo.empty())
            return false;
        const bool yes = script.yesNo.front();
        script.yesNo.pop_front();
        return yes;
    }
    QMessageBox box(QMessageBox::Warning, caption, text, QMessageBox::Yes | QMessageBox::No, ParentFor(owner));
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

QStringList Dialogs::NameFiltersOf(const QString& filterSpec)
{
    // Pairs of description and pattern; Qt reads the pattern from the description's parentheses,
    // so a description without one gets the pattern appended.
    const QStringList parts = filterSpec.split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString& description = parts[i];
        if (description.isEmpty())
            break;
        const QString& pattern = parts[i + 1];
        filters << (description.contains(QLatin1Char('('))
                        ? description
                        : description + QStringLiteral(" (") + pattern + QLatin1Char(')'));
    }
    return filters;
}

std::optional<QString> Dialogs::AskSaveFileName(QWidget* owner, const QString& filterSpec, const QString& defaultSuffix)
{
    QString folder; // the dialog's own default at first, then the folder of the name turned down
    for (;;) {
        const std::optional<QString> chosen = ChooseSaveFileName(owner, filterSpec, defaultSuffix, folder);
        if (!chosen)
            return std::nullopt;
        const QString path = WithDefaultSuffix(*chosen, defaultSuffix);
        const QFileInfo file(path);
        if (!file.exists()
            || AskYesNo(owner, QStringLiteral("Confirm Save As"),
                        file.fileName() + QStringLiteral(" already exists.\nDo you want to replace it?")))
            return path;
        folder = file.absolutePath();
    }
}

std::optional<QString> Dialogs::AskFolder(QWidget* owner, const QString& title)
{
    auto& script = TheScript();
    if (script.scripted) {
        script.history.push_back({Shown::Kind::Folder, title, {}, QMessageBox::NoIcon, {}, {}});
        return TakeAnswer(script.folders);
    }
    const QString folder = QFileDialog::getExistingDirectory(ParentFor(owner), title);
    if (folder.isEmpty())
        return std::nullopt;
    return folder;
}

void Dialogs::SetScripted(bool scripted) { TheScript().scripted = scripted; }
void Dialogs::QueueSaveFileName(std::optional<QString> answer) { TheScript().saveNames.push_back(std::move(answer)); }
void Dialogs::QueueFolder(std::optional<QString> answer) { TheScript().folders.push_back(std::move(answer)); }
void Dialogs::QueueYesNo(bool yes) { TheScript().yesNo.push_back(yes); }
void Dialogs::WhileMessageShown(std::function<void()> whileShown)
{
    TheScript().whileMessageShown = std::move(whileShown);
}
const std::vector<Dialogs::Shown>& Dialogs::History() { return TheScript().history; }
void Dialogs::ClearHistory()
{
    auto& script = TheScript();
    script.history.clear();
    script.saveNames.clear();
    script.folders.clear();
    script.yesNo.clear();
    script.whileMessageShown = nullptr;
}
