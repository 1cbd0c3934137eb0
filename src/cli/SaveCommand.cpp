// save: download one movie into a file, as the window's Save does.
#include "capture/Capture.h"
#include "capture/SaveAll.h"
#include "cli/Command.h"
#include "cli/SaveReport.h"

namespace {

constexpr const char* kSynopsis = "save URL FILE";

int RunSave(const std::vector<std::string>& args)
{
    const auto operands = cli::ReadOperands(args, 2, cli::kNoOptions, kSynopsis);
    if (!operands)
        return cli::kUsage;
    cli::SaveReport report;
    report.Add(capture::SaveMovie(capture::AddressToCapture(operands->values[0]), operands->values[1]));
    return report.Status();
}

[[maybe_unused]] const bool registered = cli::RegisterCommand(
    {"save", kSynopsis,
     "Download the movie at URL into FILE (2: URL or FILE cannot be opened, 3: transfer broke off, 4: an error "
     "status).",
     25, RunSave});

} // namespace
