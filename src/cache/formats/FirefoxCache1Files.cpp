#include "cache/formats/FirefoxCache1Files.h"

#include "platform/FileDescriptor.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <memory>

namespace cache::cache1 {

namespace {

constexpr std::size_t kWindow = std::size_t{1} << 20;

class FolderFiles final : public CacheFiles {
public:
    explicit FolderFiles(platform::FileDescriptor fd) : m_fd(std::move(fd)) {}

    std::shared_ptr<const EntryBytes> Open(const std::string& relativePath) const override
    {
        if (!Plain(relativePath))
            return nullptr;
        auto file = EntryFile::OpenAt(m_fd.Get(), relativePath.c_str());
        if (!file)
            return nullptr;
        return std::make_shared<const EntryFile>(std::move(*file));
    }

    std::optional<std::uint64_t> SizeOf(const std::string& relativePath) const override
    {
        struct stat info {};
        if (!Plain(relativePath) || ::fstatat(m_fd.Get(), relativePath.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0
            || !S_ISREG(info.st_mode) || info.st_size < 0)
            return std::nullopt;
        return static_cast<std::uint64_t>(info.st_size);
    }

    std::vector<std::string> List(const std::string& relativePath) const override
    {
        std::vector<std::string> names;
        if (!relativePath.empty() && !Plain(relativePath))
            return names;
        platform::FileDescriptor fd(::openat(m_fd.Get(), relativePath.empty() ? "." : relativePath.c_str(),
                                             O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW));
        if (!fd.IsOpen())
            return names;
        // Not cleared first: getdents64 fills what it hands back, and a dirty cache's search lists thousands.
        constexpr std::size_t kBufferSize = std::size_t{32} * 1024;
        const auto buffer = std::make_unique_for_overwrite<char[]>(kBufferSize);
        for (;;) {
            const ssize_t filled = ::getdents64(fd.Get(), buffer.get(), kBufferSize);
            if (filled <= 0)
                return names;
            for (ssize_t at = 0; at < filled;) {
                const auto* entry = reinterpret_cast<const dirent64*>(buffer.get() + at);
                at += entry->d_reclen;
                const std::string_view name(entry->d_name);
                if (name != "." && name != "..")
                    names.emplace_back(name);
            }
        }
    }

private:
    // Paths below the folder only: no absolute path, no "..".
    static bool Plain(std::string_view path)
    {
        if (path.empty() || path.front() == '/')
            return false;
        for (std::size_t at = 0; at <= path.size();) {
            const std::size_t end = std::min(path.find('/', at), path.size());
            if (path.substr(at, end - at) == "..")
                return false;
            at = end + 1;
        }
        return true;
    }

    platform::FileDescriptor m_fd;
};

} // namespace

std::unique_ptr<CacheFiles> OpenCacheFolder(const std::string& path)
{
    platform::FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd.IsOpen())
        return nullptr;
    return std::make_unique<FolderFiles>(std::move(fd));
}

std::optional<std::string_view> WindowReader::Read(std::uint64_t offset, std::size_t length)
{
    const std::uint64_t size = m_file->Size();
    if (offset >= size)
        return std::nullopt;
    const std::size_t wanted = static_cast<std::size_t>(std::min<std::uint64_t>(length, size - offset));
    if (offset < m_start || offset + wanted > m_start + m_window.size()) {
        const std::size_t fill =
            static_cast<std::size_t>(std::min<std::uint64_t>(std::max(kWindow, wanted), size - offset));
        if (!m_file->ReadAt(offset, fill, m_window)) {
            m_window.clear();
            return std::nullopt;
        }
        m_start = offset;
    }
    return std::string_view(m_window).substr(static_cast<std::size_t>(offset - m_start), wanted);
}

} // namespace cache::cache1
