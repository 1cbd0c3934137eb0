#include "framework/Dialogs.h"

#include <QFileDialog>

namespace {
struct Script {
    bool scripted = false;
    std::deque<std::optional<QString>> saveNames;
    std::deque<std::optional<QString>> folders;
    std::vector<Dialogs::Shown> history;
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
} // namespace

void Dialogs::ShowMessage(QWidget* owner, const QString& caption, const QString& text, QMessageBox::Icon icon)
{
    auto& script = TheScript();
    if (script.scripted) {
        script.history.push_back({Shown::Kind::Message, caption, text, icon, {}, {}});
        return;
    }
    QMessageBox box(icon, caption, text, QMessageBox::Ok, owner);
    box.exec();
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
    auto& script = TheScript();
    if (script.scripted) {
        script.history.push_back(
            {Shown::Kind::SaveFile, {}, {}, QMessageBox::NoIcon, NameFiltersOf(filterSpec), defaultSuffix});
        return TakeAnswer(script.saveNames);
    }
    QFileDialog dialog(owner);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters(NameFiltersOf(filterSpec));
    dialog.setDefaultSuffix(defaultSuffix); // asks before replacing an existing file by default
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().constFirst();
}

std::optional<QString> Dialogs::AskFolder(QWidget* owner, const QString& title)
{
    auto& script = TheScript();
    if (script.scripted) {
        script.history.push_back({Shown::Kind::Folder, title, {}, QMessageBox::NoIcon, {}, {}});
        return TakeAnswer(script.folders);
    }
    const QString folder = QFileDialog::getExistingDirectory(owner, title);
    if (folder.isEmpty())
        return std::nullopt;
    return folder;
}

void Dialogs::SetScripted(bool scripted) { TheScript().scripted = scripted; }
void Dialogs::QueueSaveFileName(std::optional<QString> answer) { TheScript().saveNames.push_back(std::move(answer)); }
void Dialogs::QueueFolder(std::optional<QString> answer) { TheScript().folders.push_back(std::move(answer)); }
const std::vector<Dialogs::Shown>& Dialogs::History() { return TheScript().history; }
void Dialogs::ClearHistory()
{
    auto& script = TheScript();
    script.history.clear();
    script.saveNames.clear();
    script.folders.clear();
}
