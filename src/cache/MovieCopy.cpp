#include "cache/MovieCopy.h"

#include "cache/CopyDestination.h"
#include "platform/FileDescriptor.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace cache {

namespace {

constexpr std::size_t kBlockSize = 4096;

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
