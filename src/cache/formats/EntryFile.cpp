#include "cache/formats/EntryBytes.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace cache {

namespace {

constexpr int kOpenFlags = O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY;

// O_NOATIME is refused with EPERM for files of other users; then the file is opened without it.
int OpenReadOnly(int folderFd, const char* path)
{
    int fd = ::openat(folderFd, path, kOpenFlags | O_NOATIME);
    if (fd < 0 && errno == EPERM)
        fd = ::openat(folderFd, path, kOpenFlags);
    return fd;
}

} // namespace

std::optional<EntryFile> EntryFile::Open(const std::string& path) { return OpenAt(AT_FDCWD, path.c_str()); }

std::optional<EntryFile> EntryFile::OpenAt(int folderFd, const char* name)
{
    platform::FileDescriptor fd(OpenReadOnly(folderFd, name));
    struct stat info {};
    if (!fd.IsOpen() || ::fstat(fd.Get(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_size < 0)
        return std::nullopt;
    return EntryFile(std::move(fd), info);
}

bool EntryFile::ReadAt(std::uint64_t offset, std::size_t length, std::string& out) const
{
    if (!Holds(offset, length))
        return false;
    out.resize(length);
    std::size_t done = 0;
    while (done < length) {
        const ssize_t n = ::pread(m_fd.Get(), out.data() + done, length - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace cache
