#pragma once
// What every movie copy shares: opening the destination safely, writing it fully, naming a failure.
#include "cache/formats/EntryBytes.h"
#include "platform/FileDescriptor.h"

#include <sys/stat.h>

#include <string>
#include <string_view>
#include <vector>

namespace cache {

// Opens `destination` for writing and empties it, unless it is the file `source` describes: it is opened
// without truncation first, so that the check and the truncation see the same file. Not open when it cannot
// be created or is the source.
platform::FileDescriptor CreateDestination(const std::string& destination, const struct stat& source);
// The same, refusing every file of `sources`.
platform::FileDescriptor CreateDestination(const std::string& destination, const std::vector<FileIdentity>& sources);

// Files are opened without blocking, so that a named pipe with nobody at the other end fails instead of
// hanging the window; the copy itself then blocks as usual.
bool MakeBlocking(int fd);

// Writes every byte, or throws CFileException naming the cause and `path`.
void WriteAll(int fd, const char* data, std::size_t size, const std::string& path);

// Throws CFileException: "<cause> while <doing> <path>."
[[noreturn]] void ThrowFileError(int error, std::string_view doing, const std::string& path);

} // namespace cache
