// save: download one movie into a file, as the window's Save does.
#include "capture/Capture.h"
#include "capture/UrlFetcher.h"
#include "cli/Command.h"
#include "platform/Exceptions.h"

namespace {

constexpr const char* kSynopsis = "save URL FILE";

int RunSave(const std::vector<std::string>& args)
{
    const auto operands = cli::ReadOperands(args, 2, cli::kNoOptions, kSynopsis);
    if (!operands)
        return cli::kUsage;
    capture::CUrlFetcher fetcher;
    try {
        if (!fetcher.DownloadToFile(capture::AddressToCapture(operands->values[0]), operands->values[1])) {
            cli::PrintError(fetcher.LastError());
            return cli::kCannotOpen;
        }
    } catch (const CException& failure) {
        // What was written before the failure stays, as in the window.
        cli::PrintError(failure.what());
        return cli::kTransferFailed;
    }
    return cli::kOk;
}

[[maybe_unused]] const bool registered = cli::RegisterCommand(
    {"save", kSynopsis, "Download the movie at URL into FILE (2: URL or FILE cannot be opened, 3: transfer broke off).",
     25, RunSave});

} // namespace
