#pragma once
// The cache walk: every non-empty .swf file below the cache folder, as rows of the local movie list.
#include "cache/Folder.h"
#include "cache/FoundStores.h"
#include "cache/LocalMovieRow.h"

#include <cstddef>
#include <string>
#include <vector>

namespace cache {

// Walks the folder at `folder` (a path ending in "/") depth-first, pre-order, in enumeration order,
// and inserts each subfolder's movies into `sink` from row 0. Files lying directly in `folder` are
// not listed. A folder that cannot be read contributes nothing. Links to folders are not followed.
void WalkFolders(const std::string& folder, MovieRowSink& sink);

// The same walk over a folder already read; `path` is its path, ending in "/".
void WalkFolders(const Folder& folder, const std::string& path, MovieRowSink& sink);

// The same walk, which also appends to `stores` each store of responses it passes, in the order it reaches
// them: the folders a format of the table recognises (`folder` itself included) and the container files of
// every folder it reads (those directly in `folder` included). The rows are the same as without it.
void WalkFolders(const std::string& folder, MovieRowSink& sink, std::vector<FoundStore>& stores);
void WalkFolders(const Folder& folder, const std::string& path, MovieRowSink& sink, std::vector<FoundStore>& stores);

// Inserts one row per movie of the folder at `folder` (ending in "/"), the first at `firstRow` and
// each next one below the previous.
void AddFolderMovies(const std::string& folder, const std::vector<MovieFile>& movies, std::size_t firstRow,
                     MovieRowSink& sink);

// The rows of the walk over `folder`, in list order.
std::vector<LocalMovieRow> ListFolderMovies(const std::string& folder);

} // namespace cache
