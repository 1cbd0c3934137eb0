#pragma once
// What the commands that save copies with their files say when done.
#include "capture/ArchiveSource.h"
#include "capture/CompleteSave.h"
#include "capture/SaveManifest.h"

#include <string_view>

namespace cli {

// One line for each file that could not be had, and the exit status of the saving commands' one rule: a
// transfer that broke off, then a file that could not be had, then an error status.
int SaveCompleteStatus(const capture::SaveManifest& manifest);

// After the save has run: its manifest written, one line for what the archive could not give (after `prefix`),
// and the exit status.
int FinishCompleteSave(capture::CompleteSave& save, const capture::ArchiveSource& archive, std::string_view prefix);

} // namespace cli
