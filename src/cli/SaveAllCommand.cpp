// save-all: capture a page, then download every movie it lists into a folder, as Save All does.
#include "capture/Capture.h"
#include "capture/SaveAllNaming.h"
#include "capture/UrlFetcher.h"
#include "cli/Command.h"
#include "cli/PageCapture.h"
#include "platform/Exceptions.h"

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

    bool notOpened = false;
    bool brokeOff = false;
    bool errorStatus = false;
    // Top row first; a later row with the same name replaces an earlier one.
    for (const std::string& address : capture::RowsInListOrder(page.links)) {
        const auto destination = capture::SaveAllDestination(folder, address);
        if (!destination) {
            cli::PrintError("skipped " + address + ": the name after its last \"/\" is empty, \".\" or \"..\"");
            notOpened = true;
            continue;
        }
        capture::CUrlFetcher fetcher;
        try {
            if (!fetcher.DownloadToFile(address, *destination)) {
                cli::PrintError(fetcher.LastError());
                notOpened = true;
                continue;
            }
        } catch (const CException& failure) {
            cli::PrintError(failure.what());
            brokeOff = true;
            continue;
        }
        if (fetcher.LastStatus() >= 400) {
            cli::PrintError(address + ": the server answered with status " + std::to_string(fetcher.LastStatus())
                            + "; its answer was saved as " + *destination);
            errorStatus = true;
        }
    }
    if (brokeOff)
        return cli::kTransferFailed;
    if (notOpened)
        return cli::kCannotOpen;
    return errorStatus ? cli::kErrorStatus : cli::kOk;
}

[[maybe_unused]] const bool registered = cli::RegisterCommand(
    {"save-all", kSynopsis,
     "Fetch the page at URL and download each movie it lists into DIR, named after the last \"/\" of its "
     "address (2: a movie or file could not be opened, 3: a transfer broke off, 4: an error status).",
     30, RunSaveAll});

} // namespace
