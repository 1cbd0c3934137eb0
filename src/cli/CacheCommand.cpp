// plumeroc-grab cache: the movies of the cache folder, as the Local Files page lists them.
#include "cache/CacheFolder.h"
#include "cache/CacheWalk.h"
#include "cli/Command.h"

#include <cstdio>

namespace {

int RunCache(const std::vector<std::string>& args)
{
    const auto operands = cli::ReadOperands(args, 0, true, "cache [-0]");
    if (!operands)
        return cli::kUsage;
    const bool nulTerminated = operands->nulTerminated;

    const auto folder = cache::LookUpCacheFolder();
    if (!folder) {
        cli::PrintError("cache: no cache folder (HOME and XDG_CACHE_HOME are both unset or empty)");
        return cli::kCannotOpen;
    }

    std::string line;
    for (const auto& row : cache::ListFolderMovies(*folder)) {
        line.assign(row.name).append(1, '\t').append(row.size).append(1, '\t').append(row.path);
        cli::PrintRow(stdout, line, nulTerminated);
    }
    if (std::fflush(stdout) != 0) {
        cli::PrintError("cache: cannot write the list to standard output");
        return cli::kTransferFailed;
    }
    return cli::kOk;
}

const bool registered = cli::RegisterCommand({
    "cache",
    "cache [-0]",
    "List the non-empty .swf files below the cache folder as name TAB size TAB path, in the order the\n"
    "      Local Files page shows them (2: no cache folder is set).",
    50,
    RunCache,
});

} // namespace
