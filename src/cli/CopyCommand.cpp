// plumeroc-grab copy: what the Local Files page's Save does for the row whose path is PATH.
#include "cache/ListedMovieCopy.h"
#include "cli/Command.h"
#include "platform/Exceptions.h"

namespace {

constexpr const char* kSynopsis = "copy PATH DEST";

int RunCopy(const std::vector<std::string>& args)
{
    const auto operands = cli::ReadOperands(args, 2, cli::kNoOptions, kSynopsis);
    if (!operands)
        return cli::kUsage;
    try {
        const cache::CopyOutcome outcome = cache::CopyListedMovie(operands->values[0], operands->values[1]);
        if (outcome != cache::CopyOutcome::Copied) {
            cli::PrintError(cache::CopyOutcomeText(outcome));
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
    {"copy", kSynopsis,
     "Save the movie of the Local Files row whose path is PATH into DEST: a browser cache entry or a web\n"
     "      archive's record (FILE/@OFFSET) gives its movie's decoded bytes, any other file is copied (2: PATH or\n"
     "      DEST cannot be opened, 3: the copy broke off).",
     55, RunCopy});

} // namespace
