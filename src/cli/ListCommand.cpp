// list: fetch a page and print the movies it refers to, as the Internet Files list shows them.
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
    for (const std::string& row : page.rows) {
        if (!cli::PrintRow(stdout, row, operands->nulTerminated))
            break;
    }
    return cli::kOk;
}

[[maybe_unused]] const bool registered = cli::RegisterCommand(
    {"list", kSynopsis,
     "Fetch the page at URL and list the movies it refers to; from the archive's latest capture of it when it cannot\n"
     "      be fetched or answers an error status (2: URL cannot be opened, 3: transfer broke off).",
     20, RunList});

} // namespace
