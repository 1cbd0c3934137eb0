#pragma once
// Saving a listed movie: a byte-for-byte copy of one file to a path the user chose.
#include <string>
#include <string_view>

namespace cache {

// What the user is told when a copy cannot start.
inline constexpr std::string_view kSourceCannotOpenText = "read file can not open !";
inline constexpr std::string_view kDestinationCannotCreateText = "create write file failure!";

enum class CopyOutcome {
    Copied,
    SourceCannotOpen,        // nothing was created or touched
    DestinationCannotCreate, // the source is unchanged
};

// The message for a failed outcome; empty for Copied.
std::string_view CopyOutcomeText(CopyOutcome outcome);

// Copies the regular file `source` to `destination` in blocks of 4096 bytes, replacing an
// existing destination. The source's length is taken once, when it is opened. A destination that is the source itself,
// under any name (same path, hard link, symbolic link), fails as DestinationCannotCreate before
// anything is truncated. A new destination gets mode 0666 less the umask. A read or write failure
// in the middle throws CFileException naming the cause and the file; the part written stays.
CopyOutcome CopyMovieFile(const std::string& source, const std::string& destination);

} // namespace cache
