#pragma once
// The Local Files list as a whole: the plain .swf walk of the cache folder, then the movies of the
// browser caches it holds (and, for the user's own cache folder, those of Snap and Flatpak programs
// outside it), in the list's order. The window reads the entries after it has shown the plain rows;
// plumeroc-grab cache reads everything at once. Both go through here.
#include "cache/BrowserCacheFolders.h"
#include "cache/EntryMovieRows.h"
#include "cache/LocalMovieRow.h"

#include <atomic>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace cache {

// What a local list is made from.
struct LocalListSource {
    std::string folder;         // the folder walked, ending in "/"
    bool outsideCaches = false; // also the browser caches of Snap and Flatpak programs in HOME
};

// The user's cache folder with the caches outside it, or a chosen folder alone (a backup, an old disk
// mounted elsewhere). Nothing when no folder is chosen and the cache folder is not set.
std::optional<LocalListSource> LocalListSourceFor(const std::optional<std::string>& chosenFolder);

// The walk of the source's folder: the plain rows in list order, and the browser cache folders the
// walk passed, which hold the entry rows.
struct LocalWalk {
    std::vector<LocalMovieRow> plainRows;
    std::vector<BrowserCacheFolder> browserCaches;
};
LocalWalk WalkLocalFolder(const LocalListSource& source);

// Reads the entries of the walk's browser caches, and of the caches outside the folder when the source
// says so, handing each movie's row to `found` as it is read. Ends soon once `stop` is set.
void ReadLocalEntries(const LocalListSource& source, const LocalWalk& walk, const std::atomic<bool>& stop,
                      const std::function<void(EntryMovieRow)>& found);

// The whole list at once: entry rows, most recently written first, then the plain rows.
std::vector<LocalMovieRow> ListLocalMovies(const LocalListSource& source);

} // namespace cache
