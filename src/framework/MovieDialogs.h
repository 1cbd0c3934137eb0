#pragma once
// The questions both pages ask when the user saves movies, with their texts in one place.
#include <QString>

#include <optional>

class QWidget;

namespace MovieDialogs {

// "Please select a file to save", in a box captioned "Warning" with a stop icon.
void WarnNoSelection(QWidget* owner);
// The Save-as dialog for one movie: filter "Save as  (*.swf)", default suffix "SWF".
std::optional<QString> AskMovieFileName(QWidget* owner);
// The folder picker of Save All, titled "Select Add Folder.".
std::optional<QString> AskSaveAllFolder(QWidget* owner);

} // namespace MovieDialogs
