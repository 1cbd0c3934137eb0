#include "cache/CopyDestination.h"

#include "platform/Bytes.h"
#include "platform/Exceptions.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace cache {

[[noreturn]] void ThrowFileError(int error, std::string_view doing, const std::string& path)
{
    throw CFileException(std::string(std::strerror(error)) + " while " + std::string(doing) + " " + path + ".");
}

void WriteAll(int fd, const char* data, std::size_t size, const std::string& path)
{
    if (const int error = platform::WriteAll(fd, data, size); error != 0)
        ThrowFileError(error, "writing", path);
}

bool MakeBlocking(int fd)
{
    const int flags = ::fcntl(fd, F_GETFL);
    return flags >= 0 && ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0;
}

platform::FileDescriptor CreateDestination(const std::string& destination, const struct stat& source)
{
    return CreateDestination(destination, std::vector<FileIdentity>{{source.st_dev, source.st_ino}});
}

platform::FileDescriptor CreateDestination(const std::string& destination, const std::vector<FileIdentity>& sources)
{
    platform::FileDescriptor fd(
        ::open(destination.c_str(), O_WRONLY | O_CREAT | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0666));
    if (!fd.IsOpen())
        return {};
    struct stat info {};
    if (::fstat(fd.Get(), &info) != 0 || !MakeBlocking(fd.Get()))
        return {};
    if (std::find(sources.begin(), sources.end(), FileIdentity{info.st_dev, info.st_ino}) != sources.end())
        return {};
    // Devices and pipes have nothing to truncate (O_TRUNC would ignore them too).
    if (S_ISREG(info.st_mode) && info.st_size > 0 && ::ftruncate(fd.Get(), 0) != 0)
        return {};
    return fd;
}

} // namespace cache
