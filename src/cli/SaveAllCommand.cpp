// save-all: capture a page, then download every movie it lists into a folder, as Save All does.
#include "capture/SaveAll.h"
#include "cli/Command.h"
#include "cli/PageCapture.h"
#include "cli/SaveReport.h"

namespace {

constexpr const char* kSynopsis = "save-all [--literal] URL DIR";

int RunSaveAll(const std::vector<std::string>& args)
{
    const auto operands = cli::ReadOperands(args, 2, cli::kLiteralOption, kSynopsis);
    if (!operands)
        return cli::kUsage;
    const std::string& folder = operands->values[1];
    if (folder.empty()) {
        cli::PrintError("DIR must not be empty (usage: plumeroc-grab save-all URL DIR)");
        return cli::kUsage;
    }
    const cli::PageCapture page = cli::CapturePage(operands->values[0], operands->literal);
    if (page.status != cli::kOk)
        return page.status;

    // Unlike the window, a transfer that breaks off is reported and the next movie follows.
    cli::SaveReport report;
    capture::SaveAll(page.rows, folder, capture::AfterBreak::kGoOn,
                     [&report](const capture::MovieSave& save) { report.Add(save); });
    return report.Status();
}

[[maybe_unused]] const bool registered = cli::RegisterCommand(
    {"save-all", kSynopsis,
     "Fetch the page at URL and download each movie it lists into DIR, named after the last \"/\" of its "
     "address (2: a movie or file could not be opened, 3: a transfer broke off, 4: an error status).",
     30, RunSaveAll});

} // namespace
