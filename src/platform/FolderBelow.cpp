#include "platform/FolderBelow.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <string>

namespace platform {

FileDescriptor OpenFileBelow(int folder, std::string_view relative)
{
    FileDescriptor current(::fcntl(folder, F_DUPFD_CLOEXEC, 0));
    for (std::size_t start = 0; current.IsOpen();) {
        const std::size_t end = std::min(relative.find('/', start), relative.size());
        const std::string name(relative.substr(start, end - start));
        if (name.empty() || name == "." || name == "..")
            return {};
        const bool last = end == relative.size();
        FileDescriptor next(::openat(current.Get(), name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK));
        struct stat info {};
        if (!next.IsOpen() || ::fstat(next.Get(), &info) != 0)
            return {};
        if (last && S_ISDIR(info.st_mode))
            return OpenFileBelow(next.Get(), "index.html");
        if (last)
            return S_ISREG(info.st_mode) ? std::move(next) : FileDescriptor();
        if (!S_ISDIR(info.st_mode))
            return {};
        current = std::move(next);
        start = end + 1;
    }
    return {};
}

} // namespace platform
