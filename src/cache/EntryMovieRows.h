#pragma once
// The movies inside stores of responses (browser caches, web archives) as rows of the local movie list, and
// where those rows go in it.
#include "cache/LocalMovieRow.h"

#include <cstdint>
#include <string>
#include <vector>

namespace cache {

struct EntryMovieRow {
    LocalMovieRow row;        // save-as name, decoded size, the row path of its entry or record, the address
    std::int64_t written = 0; // when the entry was stored (an entry file's modification time), ns since 1970

    friend bool operator==(const EntryMovieRow&, const EntryMovieRow&) = default;
};

// An address for a plain movie file, from an index kept beside it.
struct PlainFileAddress {
    std::string path; // the plain file's full path, as its row shows it
    std::string address;

    friend bool operator==(const PlainFileAddress&, const PlainFileAddress&) = default;
};

// Entry rows are listed most recently written first, equal times in ascending byte order of their paths.
bool ListsBefore(const EntryMovieRow& a, const EntryMovieRow& b);

// Where `row` goes among entry rows `shown` in list order, so that they stay in it: for a list that shows rows
// as they are found.
std::size_t EntryRowIndex(const std::vector<EntryMovieRow>& shown, const EntryMovieRow& row);

// The whole local list: the entry rows in their order, then the plain rows exactly as the walk gave them, with
// the addresses their indexes give (a plain row keeps its first; addresses of paths no row has are dropped).
std::vector<LocalMovieRow> LocalListRows(std::vector<EntryMovieRow> entries, std::vector<LocalMovieRow> plain,
                                         const std::vector<PlainFileAddress>& addresses = {});

} // namespace cache
