#include "cache/Folder.h"

#include "platform/Bytes.h"
#include "platform/FileDescriptor.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <string>
#include <vector>

namespace cache {

namespace {

bool IsDotOrDotDot(const char* name)
{
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

unsigned char TypeOfMode(mode_t mode)
{
    if (S_ISDIR(mode))
        return DT_DIR;
    if (S_ISLNK(mode))
        return DT_LNK;
    if (S_ISREG(mode))
        return DT_REG;
    return DT_UNKNOWN; // devices, pipes, sockets: never movies
}

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

// One open directory. It stays open while the walk is below it, so that subfolders are opened
// relative to it rather than by ever longer paths; only when the process runs out of descriptors
// (a tree deeper than the descriptor limit) does it give its own up and open subfolders by path.
class DirectoryFolder final : public Folder {
public:
    DirectoryFolder(platform::FileDescriptor fd, std::string path) : m_fd(std::move(fd)), m_path(std::move(path))
    {
        Read();
    }

    const FolderListing& Listing() const override { return m_listing; }

    std::unique_ptr<Folder> OpenSubfolder(const std::string& name) const override
    {
        std::string subpath = m_path + name + '/';
        if (m_fd.IsOpen()) {
            // O_NOFOLLOW: a folder swapped for a link after the listing is still not followed.
            platform::FileDescriptor fd(::openat(m_fd.Get(), name.c_str(), kFolderFlags));
            if (fd.IsOpen())
                return std::make_unique<DirectoryFolder>(std::move(fd), std::move(subpath));
            if (errno != EMFILE && errno != ENFILE)
                return nullptr;
            // This folder has been read: its descriptor is only a shortcut to its subfolders.
            m_fd.Close();
        }
        platform::FileDescriptor fd(::open(subpath.c_str(), kFolderFlags));
        if (!fd.IsOpen())
            return nullptr;
        return std::make_unique<DirectoryFolder>(std::move(fd), std::move(subpath));
    }

private:
    // One enumeration: the entry types the directory gives decide almost everything; only movies
    // (for their size), links and entries of unknown type cost a stat. getdents64 rather than
    // readdir: same entries in the same order, without a stream's extra system calls per folder.
    void Read()
    {
        // Filled and used up before the walk opens the next folder, so one buffer serves all.
        thread_local std::vector<char> buffer(std::size_t{64} * 1024);
        const int fd = m_fd.Get();
        for (;;) {
            const ssize_t filled = ::getdents64(fd, buffer.data(), buffer.size());
            if (filled <= 0)
                return; // end, or a folder that went away while being read: keep what was seen
            for (ssize_t at = 0; at < filled;) {
                const auto* entry = reinterpret_cast<const dirent64*>(buffer.data() + at);
                at += entry->d_reclen;
                ReadEntry(fd, entry->d_name, entry->d_type);
            }
        }
    }

    void ReadEntry(int fd, const char* name, unsigned char type)
    {
        if (IsDotOrDotDot(name))
            return;
        struct stat info {};
        bool haveInfo = false;
        if (type == DT_UNKNOWN) {
            if (::fstatat(fd, name, &info, AT_SYMLINK_NOFOLLOW) != 0)
                return;
            type = TypeOfMode(info.st_mode);
            haveInfo = type == DT_REG;
        }
        if (type == DT_DIR) {
            m_listing.subfolders.emplace_back(name);
            return;
        }
        if (type == DT_REG)
            NoteStoredFormats(name);
        if ((type != DT_REG && type != DT_LNK) || !IsMovieName(name))
            return;
        // A link counts by what it points to.
        if (!haveInfo && ::fstatat(fd, name, &info, 0) != 0)
            return;
        if (!S_ISREG(info.st_mode) || info.st_size <= 0)
            return;
        m_listing.movies.push_back({name, static_cast<std::uint64_t>(info.st_size)});
    }

    // What a regular file's name tells the formats: a mark for those told by their folder, or a container.
    void NoteStoredFormats(std::string_view name)
    {
        MarkFile(name, m_listing.marks);
        for (const ContainerFileFormat* format : ContainerFileFormats()) {
            if (format->IsContainerName(name)) {
                m_listing.containers.push_back({std::string(name), format});
                break;
            }
        }
    }

    mutable platform::FileDescriptor m_fd; // closed when descriptors run out
    std::string m_path;                    // ends in "/"
    FolderListing m_listing;
};

} // namespace

std::unique_ptr<Folder> OpenDirectory(const std::string& path)
{
    platform::FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd.IsOpen())
        return nullptr;
    return std::make_unique<DirectoryFolder>(std::move(fd), path.ends_with('/') ? path : path + '/');
}

bool IsMovieName(std::string_view name) { return platform::EndsWithIgnoringAsciiCase(name, ".swf"); }

} // namespace cache
