#pragma once
// What the commands that save copies with their files say when done.
#include "capture/SaveManifest.h"

namespace cli {

// One line for each file that could not be had, and the exit status of the saving commands' one rule: a
// transfer that broke off, then a file that could not be had, then an error status.
int SaveCompleteStatus(const capture::SaveManifest& manifest);

} // namespace cli
