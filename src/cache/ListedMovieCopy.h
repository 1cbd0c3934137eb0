#pragma once
// Saving a row of the local movie list, whatever kind of file its path names: what Save and Save All do.
#include "cache/MovieCopy.h"

#include <string>

namespace cache {

// An entry file of a browser cache (told by its name, EntryFileFormat) gives its movie's decoded bytes, written
// in blocks; any other file is copied byte for byte by CopyMovieFile. The outcomes and their messages are
// CopyMovieFile's: SourceCannotOpen when the entry no longer holds a movie (nothing is created then), and
// DestinationCannotCreate when the destination cannot be created or is the entry file itself, under any name
// (before anything is truncated). A failure in the middle throws CFileException naming the file; the part
// written stays. The entry file is only ever read.
CopyOutcome CopyListedMovie(const std::string& path, const std::string& destination);

} // namespace cache
