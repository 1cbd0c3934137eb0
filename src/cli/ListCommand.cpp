// list: fetch a page and print the movies it refers to, as the Internet Files list shows them.
#include "cli/CaptureRows.h"
#include "cli/Command.h"

namespace {

constexpr const char* kSynopsis = "list [-0] URL";

int RunList(const std::vector<std::string>& args)
{
    const auto operands = cli::ReadOperands(args, 1, true, kSynopsis);
    if (!operands)
        return cli::kUsage;
    const cli::Capture capture = cli::CaptureRows(operands->values[0]);
    for (const std::string& row : capture.rows)
        cli::PrintRow(stdout, row, operands->nulTerminated);
    return capture.status;
}

[[maybe_unused]] const bool registered = cli::RegisterCommand(
    {"list", kSynopsis,
     "Fetch the page at URL and list the movies it refers to (2: URL cannot be opened, 3: transfer broke off).",
     20, RunList});

} // namespace
