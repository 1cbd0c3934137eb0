// plumeroc-grab cache: the movies of the cache folder and of the browser caches, as the Local Files page lists
// them.
#include "cache/LocalListing.h"
#include "cli/Command.h"

#include <cstdio>
#include <optional>
#include <string>

namespace {

constexpr const char* kSynopsis = "cache [-0] [--folder DIR]";

int Usage(const std::string& problem)
{
    cli::PrintError(problem + " (usage: plumeroc-grab " + kSynopsis + ")");
    return cli::kUsage;
}

int RunCache(const std::vector<std::string>& args)
{
    std::optional<std::string> chosen;
    bool nulTerminated = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "-0") {
            nulTerminated = true;
        } else if (arg == "--folder") {
            if (++i == args.size())
                return Usage("--folder needs a folder");
            chosen = args[i];
        } else if (arg.starts_with("--folder=")) {
            chosen = arg.substr(9);
        } else {
            return Usage("unknown argument '" + arg + "'");
        }
    }
    if (chosen && chosen->empty())
        return Usage("--folder needs a folder");

    // The browser caches outside the cache folder belong to this user's home; a chosen folder stands alone.
    const auto source = cache::LocalListSourceFor(chosen);
    if (!source) {
        cli::PrintError("cache: no cache folder (HOME and XDG_CACHE_HOME are both unset or empty)");
        return cli::kCannotOpen;
    }

    const cache::LocalList list = cache::ListLocalMovies(*source);
    // A store told by its names but not read is said, not passed over.
    for (const auto& unread : list.unread)
        cli::PrintError(unread.path + ": " + unread.format + " not read: " + unread.reason);
    std::string line;
    for (const auto& row : list.rows) {
        line.assign(row.name).append(1, '\t').append(row.size).append(1, '\t').append(row.path);
        line.append(1, '\t').append(row.address);
        if (!cli::PrintRow(stdout, line, nulTerminated))
            break;
    }
    return cli::kOk;
}

const bool registered = cli::RegisterCommand({
    "cache",
    kSynopsis,
    "List the movies below the cache folder as name TAB size TAB path TAB address, in the order the Local\n"
    "      Files page shows them: first the movies held in browser caches (Firefox, Chromium-family; also those\n"
    "      of Snap and Flatpak programs) and in web archives (*.warc, *.warc.gz, *.arc, *.arc.gz: one row per\n"
    "      movie record, its path FILE/@OFFSET, dated by its capture), most recently written first, with the\n"
    "      address each came from, then the non-empty .swf files with an empty address. --folder DIR lists DIR\n"
    "      instead of the cache folder, and no caches outside it (2: no cache folder is set).",
    50,
    RunCache,
});

} // namespace
