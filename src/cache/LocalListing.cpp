#include "cache/LocalListing.h"

#include "cache/CacheFolder.h"
#include "cache/CacheWalk.h"
#include "cache/MovieRowList.h"

#include <cstdlib>
#include <utility>

namespace cache {

std::optional<LocalListSource> LocalListSourceFor(const std::optional<std::string>& chosenFolder)
{
    if (chosenFolder) {
        if (chosenFolder->empty())
            return std::nullopt;
        std::string folder = *chosenFolder;
        if (folder.back() != '/')
            folder += '/';
        return LocalListSource{std::move(folder), false};
    }
    auto folder = LookUpCacheFolder();
    if (!folder)
        return std::nullopt;
    return LocalListSource{std::move(*folder), true};
}

LocalWalk WalkLocalFolder(const LocalListSource& source)
{
    LocalWalk walk;
    MovieRowList rows;
    WalkFolders(source.folder, rows, walk.browserCaches);
    walk.plainRows = rows.TakeRows();
    return walk;
}

void ReadLocalEntries(const LocalListSource& source, const LocalWalk& walk, const std::atomic<bool>& stop,
                      const std::function<void(EntryMovieRow)>& found)
{
    std::vector<BrowserCacheFolder> folders = walk.browserCaches;
    if (source.outsideCaches) {
        const char* home = std::getenv("HOME");
        for (auto& outside : FindOutsideCacheFolders(home != nullptr ? home : ""))
            folders.push_back(std::move(outside));
    }
    ReadEntryMovies(folders, stop, found);
}

std::vector<LocalMovieRow> ListLocalMovies(const LocalListSource& source)
{
    LocalWalk walk = WalkLocalFolder(source);
    std::vector<EntryMovieRow> entries;
    const std::atomic<bool> never{false};
    ReadLocalEntries(source, walk, never, [&](EntryMovieRow row) { entries.push_back(std::move(row)); });
    return LocalListRows(std::move(entries), std::move(walk.plainRows));
}

} // namespace cache
