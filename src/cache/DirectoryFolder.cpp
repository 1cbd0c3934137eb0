#include "cache/Folder.h"

#include "platform/FileDescriptor.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

namespace cache {

namespace {

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};
using UniqueDir = std::unique_ptr<DIR, DirCloser>;

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
    return DT_UNKNOWN;  // devices, pipes, sockets: never movies
}

// One open directory. The stream stays open while the walk is below it, so that subfolders are
// opened relative to it rather than by ever longer paths.
class DirectoryFolder final : public Folder {
public:
    explicit DirectoryFolder(UniqueDir dir) : m_dir(std::move(dir)) { Read(); }

    const FolderListing& Listing() const override { return m_listing; }

    std::unique_ptr<Folder> OpenSubfolder(const std::string& name) const override
    {
        // O_NOFOLLOW: a folder swapped for a link after the listing is still not followed.
        platform::FileDescriptor fd(
            ::openat(::dirfd(m_dir.get()), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!fd.IsOpen())
            return nullptr;
        UniqueDir dir(::fdopendir(fd.Get()));
        if (!dir)
            return nullptr;
        fd.Release();
        return std::make_unique<DirectoryFolder>(std::move(dir));
    }

private:
    // One enumeration: the entry types readdir gives decide almost everything; only movies (for
    // their size), links and entries of unknown type cost a stat.
    void Read()
    {
        const int fd = ::dirfd(m_dir.get());
        while (const dirent* entry = ::readdir(m_dir.get())) {
            const char* name = entry->d_name;
            if (IsDotOrDotDot(name))
                continue;
            unsigned char type = entry->d_type;
            struct stat info {};
            bool haveInfo = false;
            if (type == DT_UNKNOWN) {
                if (::fstatat(fd, name, &info, AT_SYMLINK_NOFOLLOW) != 0)
                    continue;
                type = TypeOfMode(info.st_mode);
                haveInfo = type == DT_REG;
            }
            if (type == DT_DIR) {
                m_listing.subfolders.emplace_back(name);
                continue;
            }
            if ((type != DT_REG && type != DT_LNK) || !IsMovieName(name))
                continue;
            // A link counts by what it points to.
            if (!haveInfo && ::fstatat(fd, name, &info, 0) != 0)
                continue;
            if (!S_ISREG(info.st_mode) || info.st_size <= 0)
                continue;
            m_listing.movies.push_back({name, static_cast<std::uint64_t>(info.st_size)});
        }
    }

    UniqueDir m_dir;
    FolderListing m_listing;
};

} // namespace

std::unique_ptr<Folder> OpenDirectory(const std::string& path)
{
    UniqueDir dir(::opendir(path.c_str()));
    if (!dir)
        return nullptr;
    return std::make_unique<DirectoryFolder>(std::move(dir));
}

bool IsMovieName(std::string_view name)
{
    constexpr std::string_view suffix = ".swf";
    if (name.size() < suffix.size())
        return false;
    const std::string_view tail = name.substr(name.size() - suffix.size());
    for (std::size_t i = 0; i < suffix.size(); ++i) {
        char c = tail[i];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        if (c != suffix[i])
            return false;
    }
    return true;
}

} // namespace cache
