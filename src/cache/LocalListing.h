#pragma once
// The Local Files list as a whole: the plain .swf walk of the cache folder, then the movies of the
// stores it holds (browser caches and web archives, and for the user's own cache folder the caches of Snap and
// Flatpak programs outside it), in the list's order. The window reads the stores after it has shown the plain rows;
// plumeroc-grab cache reads everything at once. Both go through here.
#include "cache/EntryMovieRows.h"
#include "cache/FoundStores.h"
#include "cache/LocalMovieRow.h"
#include "cache/StoreReading.h"

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

// The walk of the source's folder: the plain rows in list order, and the stores the walk passed, which
// hold the entry rows.
struct LocalWalk {
    std::vector<LocalMovieRow> plainRows;
    std::vector<FoundStore> stores;
};
LocalWalk WalkLocalFolder(const LocalListSource& source);

// Reads the walk's stores, and the caches outside the folder when the source says so, handing each finding
// to `found` as it is made. Ends soon once `stop` is set.
void ReadLocalEntries(const LocalListSource& source, const LocalWalk& walk, const std::atomic<bool>& stop,
                      const FindingSink& found);

// The whole list at once: entry rows, most recently written first, then the plain rows; and the stores
// that were told but not read.
struct LocalList {
    std::vector<LocalMovieRow> rows;
    std::vector<UnreadStore> unread;
};
LocalList ListLocalMovies(const LocalListSource& source);

} // namespace cache
