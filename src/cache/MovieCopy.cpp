#include "cache/MovieCopy.h"

#include "platform/Bytes.h"
#include "platform/Exceptions.h"
#include "platform/FileDescriptor.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace cache {

namespace {

constexpr std::size_t kBlockSize = 4096;

[[noreturn]] void ThrowFileError(int error, std::string_view doing, const std::string& path)
{
    throw CFileException(std::string(std::strerror(error)) + " while " + std::string(doing) + " " + path + ".");
}

std::size_t ReadBlock(int fd, char* buffer, std::size_t size, const std::string& path)
{
    for (;;) {
        const ssize_t n = ::read(fd, buffer, size);
        if (n >= 0)
            return static_cast<std::size_t>(n);
        if (errno != EINTR)
            ThrowFileError(errno, "reading", path);
    }
}

void WriteAll(int fd, const char* data, std::size_t size, const std::string& path)
{
    if (const int error = platform::WriteAll(fd, data, size); error != 0)
        ThrowFileError(error, "writing", path);
}

// Files are opened without blocking, so that a named pipe with nobody at the other end fails
// instead of hanging the window; the copy itself then blocks as usual.
bool MakeBlocking(int fd)
{
    const int flags = ::fcntl(fd, F_GETFL);
    return flags >= 0 && ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0;
}

// Opens the destination for writing and empties it, unless it is the file `source` describes:
// it is opened without truncation first, so that the check and the truncation see the same file.
platform::FileDescriptor CreateDestination(const std::string& destination, const struct stat& source)
{
    platform::FileDescriptor fd(
        ::open(destination.c_str(), O_WRONLY | O_CREAT | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0666));
    if (!fd.IsOpen())
        return {};
    struct stat info {};
    if (::fstat(fd.Get(), &info) != 0 || !MakeBlocking(fd.Get()))
        return {};
    if (info.st_dev == source.st_dev && info.st_ino == source.st_ino)
        return {};
    // Devices and pipes have nothing to truncate (O_TRUNC would ignore them too).
    if (S_ISREG(info.st_mode) && info.st_size > 0 && ::ftruncate(fd.Get(), 0) != 0)
        return {};
    return fd;
}

} // namespace

std::string_view CopyOutcomeText(CopyOutcome outcome)
{
    switch (outcome) {
    case CopyOutcome::Copied:
        return {};
    case CopyOutcome::SourceCannotOpen:
        return kSourceCannotOpenText;
    case CopyOutcome::DestinationCannotCreate:
        return kDestinationCannotCreateText;
    }
    return {};
}

CopyOutcome CopyMovieFile(const std::string& source, const std::string& destination)
{
    // Only a regular file has the length the copy relies on; folders, pipes and devices are refused.
    platform::FileDescriptor in(::open(source.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    struct stat sourceInfo {};
    if (!in.IsOpen() || ::fstat(in.Get(), &sourceInfo) != 0 || !S_ISREG(sourceInfo.st_mode) || !MakeBlocking(in.Get()))
        return CopyOutcome::SourceCannotOpen;

    platform::FileDescriptor out = CreateDestination(destination, sourceInfo);
    if (!out.IsOpen())
        return CopyOutcome::DestinationCannotCreate;

    std::array<char, kBlockSize> block;
    std::uint64_t remaining = static_cast<std::uint64_t>(sourceInfo.st_size);
    while (remaining > 0) {
        const std::size_t wanted = static_cast<std::size_t>(std::min<std::uint64_t>(remaining, block.size()));
        const std::size_t n = ReadBlock(in.Get(), block.data(), wanted, source);
        if (n == 0)
            break;
        WriteAll(out.Get(), block.data(), n, destination);
        remaining -= n;
    }

    in.Close();
    if (!out.Close())
        ThrowFileError(errno, "writing", destination);
    return CopyOutcome::Copied;
}

} // namespace cache
