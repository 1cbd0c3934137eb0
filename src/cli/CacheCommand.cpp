// plumeroc-grab cache: the movies of the cache folder and of the browser caches, as the Local Files page lists
// them.
#include "cache/BrowserCacheFolders.h"
#include "cache/CacheFolder.h"
#include "cache/CacheWalk.h"
#include "cache/EntryMovieRows.h"
#include "cache/MovieRowList.h"
#include "cli/Command.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <optional>

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
    std::vector<cache::BrowserCacheFolder> browserCaches;
    std::string folder;
    if (chosen) {
        folder = *chosen;
        if (folder.back() != '/')
            folder += '/';
    } else {
        const auto cacheFolder = cache::LookUpCacheFolder();
        if (!cacheFolder) {
            cli::PrintError("cache: no cache folder (HOME and XDG_CACHE_HOME are both unset or empty)");
            return cli::kCannotOpen;
        }
        folder = *cacheFolder;
    }

    cache::MovieRowList plain;
    cache::WalkFolders(folder, plain, browserCaches);
    if (!chosen) {
        const char* home = std::getenv("HOME");
        for (auto& outside : cache::FindOutsideCacheFolders(home != nullptr ? home : ""))
            browserCaches.push_back(std::move(outside));
    }
    std::vector<cache::EntryMovieRow> entries;
    const std::atomic<bool> never{false};
    cache::ReadEntryMovies(browserCaches, never, [&](cache::EntryMovieRow row) { entries.push_back(std::move(row)); });

    std::string line;
    for (const auto& row : cache::LocalListRows(std::move(entries), plain.TakeRows())) {
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
    "      of Snap and Flatpak programs), most recently written first, with the address each came from, then the\n"
    "      non-empty .swf files with an empty address. --folder DIR lists DIR instead of the cache folder, and\n"
    "      no caches outside it (2: no cache folder is set).",
    50,
    RunCache,
});

} // namespace
