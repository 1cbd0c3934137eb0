// history: the typed addresses the Internet Files page offers in its address box, in that order.
#include "capture/TypedUrls.h"
#include "cli/Command.h"

namespace {

int RunHistory(const std::vector<std::string>& args)
{
    const auto operands = cli::ReadOperands(args, 0, cli::kNulOption, "history [-0]");
    if (!operands)
        return cli::kUsage;
    // No browser profile simply means no history: still a success.
    for (const std::string& url : capture::ReadTypedUrls()) {
        if (!cli::PrintRow(stdout, url, operands->nulTerminated))
            break;
    }
    return cli::kOk;
}

[[maybe_unused]] const bool registered = cli::RegisterCommand(
    {"history", "history [-0]", "List the typed addresses offered in the address box, newest first.", 40, RunHistory});

} // namespace
