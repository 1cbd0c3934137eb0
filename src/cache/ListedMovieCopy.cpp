#include "cache/ListedMovieCopy.h"

#include "cache/CopyDestination.h"
#include "cache/EntryMovie.h"
#include "platform/Exceptions.h"

#include <cerrno>

namespace cache {

namespace {

CopyOutcome CopyEntryMovie(const std::string& path, const std::string& destination)
{
    const auto opened = OpenEntryMovie(path);
    if (!opened)
        return CopyOutcome::SourceCannotOpen;
    platform::FileDescriptor out = CreateDestination(destination, opened->file.Info());
    if (!out.IsOpen())
        return CopyOutcome::DestinationCannotCreate;

    const MovieStreamResult result = StreamEntryMovie(opened->file, opened->movie, [&](std::string_view piece) {
        WriteAll(out.Get(), piece.data(), piece.size(), destination);
        return true;
    });
    if (result == MovieStreamResult::Unreadable)
        throw CFileException("The cache entry changed or could not be read while reading " + path + ".");
    if (result != MovieStreamResult::Done)
        throw CFileException("The movie's compressed data is damaged in " + path + ".");
    if (!out.Close())
        ThrowFileError(errno, "writing", destination);
    return CopyOutcome::Copied;
}

} // namespace

CopyOutcome CopyListedMovie(const std::string& path, const std::string& destination)
{
    if (EntryFileFormat(path))
        return CopyEntryMovie(path, destination);
    return CopyMovieFile(path, destination);
}

} // namespace cache
