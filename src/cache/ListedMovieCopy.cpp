#include "cache/ListedMovieCopy.h"

#include "cache/CopyDestination.h"
#include "cache/RowPath.h"
#include "platform/Exceptions.h"

#include <cerrno>

namespace cache {

namespace {

CopyOutcome CopyEntryMovie(const RowTarget& target, const std::string& path, const std::string& destination)
{
    const auto opened = OpenRowMovie(target);
    if (!opened)
        return CopyOutcome::SourceCannotOpen;
    platform::FileDescriptor out = CreateDestination(destination, opened->files);
    if (!out.IsOpen())
        return CopyOutcome::DestinationCannotCreate;

    const BodyResult result = StreamEntryMovie(opened->movie, [&](std::string_view piece) {
        WriteAll(out.Get(), piece.data(), piece.size(), destination);
        return true;
    });
    if (result == BodyResult::Unreadable)
        throw CFileException("The cache entry changed or could not be read while reading " + path + ".");
    if (result != BodyResult::Done)
        throw CFileException("The movie's compressed data is damaged in " + path + ".");
    if (!out.Close())
        ThrowFileError(errno, "writing", destination);
    return CopyOutcome::Copied;
}

} // namespace

CopyOutcome CopyListedMovie(const std::string& path, const std::string& destination)
{
    const RowTarget target = ResolveRowPath(path);
    switch (target.kind) {
    case RowTarget::Kind::Missing:
        return CopyOutcome::SourceCannotOpen;
    case RowTarget::Kind::PlainFile:
        return CopyMovieFile(path, destination);
    case RowTarget::Kind::EntryFile:
    case RowTarget::Kind::Record:
        return CopyEntryMovie(target, path, destination);
    }
    return CopyOutcome::SourceCannotOpen;
}

} // namespace cache
