// list: fetch a page and print the movies it refers to, as the Internet Files list shows them.
#include "capture/Capture.h"
#include "cli/Command.h"
#include "cli/PageCapture.h"

namespace {

constexpr const char* kSynopsis = "list [-0] [--literal] URL";

int RunList(const std::vector<std::string>& args)
{
    const auto operands = cli::ReadOperands(args, 1, cli::kNulOption | cli::kLiteralOption, kSynopsis);
    if (!operands)
        return cli::kUsage;
    const cli::PageCapture page = cli::CapturePage(operands->values[0], operands->literal);
    if (page.status != cli::kOk)
        return page.status;
    for (const std::string& row : capture::RowsInListOrder(page.links)) {
        if (!cli::PrintRow(stdout, row, operands->nulTerminated))
            break;
    }
    return cli::kOk;
}

[[maybe_unused]] const bool registered = cli::RegisterCommand(
    {"list", kSynopsis,
     "Fetch the page at URL and list the movies it refers to (2: URL cannot be opened, 3: transfer broke off).", 20,
     RunList});

} // namespace
