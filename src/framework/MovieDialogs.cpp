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

} // namespace MovieDialogs
