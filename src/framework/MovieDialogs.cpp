#include "framework/MovieDialogs.h"

#include "framework/Dialogs.h"

namespace MovieDialogs {

void WarnNoSelection(QWidget* owner)
{
    Dialogs::ShowMessage(owner, QStringLiteral("Warning"), QStringLiteral("Please select a file to save"),
                         QMessageBox::Critical);
}

std::optional<QString> AskMovieFileName(QWidget* owner)
{
    return Dialogs::AskSaveFileName(owner, QStringLiteral("Save as  (*.swf)|*.swf||"), QStringLiteral("SWF"));
}

std::optional<QString> AskSaveAllFolder(QWidget* owner)
{
    return Dialogs::AskFolder(owner, QStringLiteral("Select Add Folder."));
}

std::optional<QString> AskSaveWithFilesFolder(QWidget* owner)
{
    return Dialogs::AskFolder(owner, QStringLiteral("Save With Its Files"));
}

void TellSavedWithFiles(QWidget* owner, std::size_t saved, std::size_t missing, bool cancelled, const QString& manifest,
                        const QString& failure, std::size_t archiveMissing, const QString& archiveProblem)
{
    if (!failure.isEmpty()) {
        Dialogs::ShowMessage(owner, QStringLiteral("Plumeroc"), failure, QMessageBox::Warning);
        return;
    }
    QString text = cancelled ? QStringLiteral("Cancelled. ") : QString();
    text += saved == 1 ? QStringLiteral("1 file was saved") : QStringLiteral("%1 files were saved").arg(saved);
    if (missing == 0)
        text += QStringLiteral("; none was missing.");
    else
        text += missing == 1 ? QStringLiteral("; 1 could not be had.")
                             : QStringLiteral("; %1 could not be had.").arg(missing);
    if (archiveMissing > 0 && archiveMissing == missing)
        text += missing == 1 ? QStringLiteral(" The archive could not give it either.")
                             : QStringLiteral(" The archive could not give them either.");
    else if (archiveMissing > 0)
        text += QStringLiteral(" The archive could not give %1 of them either.").arg(archiveMissing);
    if (!archiveProblem.isEmpty())
        text += QStringLiteral("\n\n") + archiveProblem + QLatin1Char('.');
    text += QStringLiteral("\n\nThe manifest lists every file and why any is missing:\n") + manifest;
    Dialogs::ShowMessage(owner, QStringLiteral("Plumeroc"), text,
                         missing == 0 && !cancelled ? QMessageBox::Information : QMessageBox::Warning);
}

} // namespace MovieDialogs
