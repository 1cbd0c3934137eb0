#pragma once
// The questions both pages ask when the user saves movies, with their texts in one place.
#include <QString>

#include <cstddef>
#include <optional>

class QWidget;

namespace MovieDialogs {

// "Please select a file to save", in a box captioned "Warning" with a stop icon.
void WarnNoSelection(QWidget* owner);
// The Save-as dialog for one movie: filter "Save as  (*.swf)", default suffix "SWF".
std::optional<QString> AskMovieFileName(QWidget* owner);
// The folder picker of Save All, titled "Select Add Folder.".
std::optional<QString> AskSaveAllFolder(QWidget* owner);

// The folder picker of "Save With Its Files…".
std::optional<QString> AskSaveWithFilesFolder(QWidget* owner);
// The box at the end of "Save With Its Files…": how many files were saved, how many could not be had, and
// where the manifest is; or why nothing could be saved.
// `archiveMissing` of the missing files the archive could not give either; `archiveProblem` why, when it
// refused or did not answer.
void TellSavedWithFiles(QWidget* owner, std::size_t saved, std::size_t missing, bool cancelled, const QString& manifest,
                        const QString& failure, std::size_t archiveMissing = 0, const QString& archiveProblem = {});

} // namespace MovieDialogs
