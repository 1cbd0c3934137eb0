#pragma once
// Saving a row of the local movie list, whatever its path names (ResolveRowPath): what Save and Save All do.
#include "cache/MovieCopy.h"

#include <string>

namespace cache {

// An entry or a record gives its movie's decoded bytes, written in blocks; a plain file is copied byte for byte
// by CopyMovieFile. The outcomes and their messages are CopyMovieFile's: SourceCannotOpen when the path names
// nothing readable any more or no movie (nothing is created then), and DestinationCannotCreate when the
// destination cannot be created or is a file the movie is read from, under any name (before anything is
// truncated). A failure in the middle throws CFileException naming the file; the part written stays. The
// stores are only ever read.
CopyOutcome CopyListedMovie(const std::string& path, const std::string& destination);

} // namespace cache
