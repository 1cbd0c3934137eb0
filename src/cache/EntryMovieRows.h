#pragma once
// The movies inside browser cache folders as rows of the local movie list, and where those rows go in it.
#include "cache/BrowserCacheFolders.h"
#include "cache/LocalMovieRow.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace cache {

struct EntryMovieRow {
    LocalMovieRow row;        // save-as name, decoded size, the entry file's path, the address
    std::int64_t written = 0; // the entry file's modification time, nanoseconds since 1970

    friend bool operator==(const EntryMovieRow&, const EntryMovieRow&) = default;
};

// The row of one entry file, or nothing when it holds no movie.
std::optional<EntryMovieRow> ReadEntryMovieRow(const std::string& path);

// Reads every entry file of `folders` on the calling thread and hands each movie's row to `found`, in the
// order the folders list their files. A folder reached twice (by two paths) is read once. `stop` is looked at
// before each file and while long bodies are decoded; once set, reading ends soon without further rows.
// Unreadable, damaged, half-written and cut-short entries give no row and no message.
void ReadEntryMovies(const std::vector<BrowserCacheFolder>& folders, const std::atomic<bool>& stop,
                     const std::function<void(EntryMovieRow)>& found);

// Entry rows are listed most recently written first, equal times in ascending byte order of their paths.
bool ListsBefore(const EntryMovieRow& a, const EntryMovieRow& b);

// Where `row` goes among entry rows `shown` in list order, so that they stay in it: for a list that shows rows
// as they are found.
std::size_t EntryRowIndex(const std::vector<EntryMovieRow>& shown, const EntryMovieRow& row);

// The whole local list: the entry rows in their order, then the plain rows exactly as the walk gave them.
std::vector<LocalMovieRow> LocalListRows(std::vector<EntryMovieRow> entries, std::vector<LocalMovieRow> plain);

} // namespace cache
