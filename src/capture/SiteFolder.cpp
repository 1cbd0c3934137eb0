#include "capture/SiteFolder.h"

#include "capture/SiteLayout.h"
#include "platform/Bytes.h"
#include "platform/Exceptions.h"
#include "platform/Sha256.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <random>

namespace capture {

namespace {

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

std::string RandomName(std::string_view purpose)
{
    static thread_local std::mt19937_64 random{std::random_device{}()};
    static constexpr char kHex[] = "0123456789abcdef";
    std::string name = ".plumeroc-" + std::string(purpose) + "-";
    std::uint64_t bits = random();
    for (int i = 0; i < 16; ++i, bits >>= 4)
        name += kHex[bits & 0x0F];
    return name;
}

std::string ErrnoText() { return std::strerror(errno); }

// A fresh file of a random name in `folder`, for writing.
platform::FileDescriptor CreateTemporary(int folder, std::string& name)
{
    for (int attempt = 0; attempt < 16; ++attempt) {
        name = RandomName("part");
        platform::FileDescriptor file(
            ::openat(folder, name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
        if (file.IsOpen() || errno != EEXIST)
            return file;
    }
    return {};
}

std::string Joined(const std::string& folder, std::string_view name)
{
    return folder.empty() ? std::string(name) : folder + "/" + std::string(name);
}

} // namespace

SiteFolder::Pending::~Pending()
{
    if (m_folder.IsOpen() && !m_strTemporary.empty())
        ::unlinkat(m_folder.Get(), m_strTemporary.c_str(), 0);
}

bool SiteFolder::Pending::Restart() { return ::ftruncate(Fd(), 0) == 0 && ::lseek(Fd(), 0, SEEK_SET) == 0; }

SiteFolder::SiteFolder(std::string path) : m_strPath(std::move(path))
{
    std::error_code error;
    std::filesystem::create_directories(m_strPath, error);
    m_top = platform::FileDescriptor(::open(m_strPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!m_top.IsOpen())
        throw CFileException("Cannot open the folder " + m_strPath + ": " + (error ? error.message() : ErrnoText()));
}

platform::FileDescriptor SiteFolder::OpenFolder(std::string_view relative, std::string& error)
{
    platform::FileDescriptor current(::dup(m_top.Get()));
    std::string sofar;
    for (std::size_t start = 0; start < relative.size();) {
        const std::size_t end = std::min(relative.find('/', start), relative.size());
        const std::string name(relative.substr(start, end - start));
        start = end + 1;
        const std::string here = Joined(sofar, name);
        platform::FileDescriptor next(::openat(current.Get(), name.c_str(), kFolderFlags));
        if (!next.IsOpen() && errno == ENOENT) {
            if (::mkdirat(current.Get(), name.c_str(), 0777) != 0 && errno != EEXIST) {
                error = "cannot make the folder " + here + ": " + ErrnoText();
                return {};
            }
            next = platform::FileDescriptor(::openat(current.Get(), name.c_str(), kFolderFlags));
        }
        if (!next.IsOpen() && (errno == ENOTDIR || errno == ELOOP)) {
            struct stat info {};
            if (::fstatat(current.Get(), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(info.st_mode)) {
                error = "a link or a special file is in the way at " + here;
                return {};
            }
            // A file saved under the name a folder needs goes into that folder as its own answer.
            const std::string aside = RandomName("moving");
            if (::renameat(current.Get(), name.c_str(), current.Get(), aside.c_str()) != 0
                || ::mkdirat(current.Get(), name.c_str(), 0777) != 0) {
                error = "cannot make the folder " + here + " where a file was: " + ErrnoText();
                ::renameat(current.Get(), aside.c_str(), current.Get(), name.c_str());
                return {};
            }
            next = platform::FileDescriptor(::openat(current.Get(), name.c_str(), kFolderFlags));
            if (!next.IsOpen()
                || ::renameat(current.Get(), aside.c_str(), next.Get(), std::string(kFolderFileName).c_str()) != 0) {
                error = "cannot move " + here + " into its folder: " + ErrnoText();
                return {};
            }
            const std::string moved = Joined(here, kFolderFileName);
            if (const auto claim = m_claims.find(here); claim != m_claims.end()) {
                m_claims.emplace(moved, claim->second);
                m_claims.erase(claim);
            }
            if (onMoved)
                onMoved(here, moved);
        }
        if (!next.IsOpen()) {
            error = "cannot open the folder " + here + ": " + ErrnoText();
            return {};
        }
        current = std::move(next);
        sofar = here;
    }
    return current;
}

std::optional<SiteFolder::Pending> SiteFolder::Begin(std::string_view relative, std::string& error)
{
    const std::size_t slash = relative.rfind('/');
    Pending pending;
    pending.m_strFolder = slash == std::string_view::npos ? std::string() : std::string(relative.substr(0, slash));
    pending.m_strName = relative.substr(slash == std::string_view::npos ? 0 : slash + 1);
    pending.m_folder = OpenFolder(pending.m_strFolder, error);
    if (!pending.m_folder.IsOpen())
        return std::nullopt;
    pending.m_file = CreateTemporary(pending.m_folder.Get(), pending.m_strTemporary);
    if (!pending.m_file.IsOpen()) {
        error = "cannot create a file in " + Joined(m_strPath, pending.m_strFolder) + ": " + ErrnoText();
        pending.m_strTemporary.clear();
        return std::nullopt;
    }
    return pending;
}

std::string SiteFolder::FreeName(const std::string& wanted, const std::string& address) const
{
    const auto claim = m_claims.find(wanted);
    if (claim == m_claims.end() || claim->second == address)
        return wanted;
    const std::size_t slash = wanted.rfind('/');
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    std::size_t dot = wanted.rfind('.');
    if (dot == std::string::npos || dot <= nameStart || wanted.find('?', nameStart) != std::string::npos)
        dot = wanted.size();
    return wanted.substr(0, dot) + "~" + platform::Sha256Hex(address).substr(0, 8) + wanted.substr(dot);
}

std::optional<std::string> SiteFolder::Commit(Pending& file, const std::string& address, std::string& error)
{
    int folder = file.m_folder.Get();
    std::string relative = Joined(file.m_strFolder, file.m_strName);
    platform::FileDescriptor inner;
    struct stat info {};
    if (::fstatat(folder, file.m_strName.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(info.st_mode)) {
        inner = platform::FileDescriptor(::openat(folder, file.m_strName.c_str(), kFolderFlags));
        if (!inner.IsOpen()) {
            error = "cannot open the folder " + relative + ": " + ErrnoText();
            return std::nullopt;
        }
        relative = Joined(relative, kFolderFileName);
    }
    relative = FreeName(relative, address);
    const std::string name = relative.substr(relative.rfind('/') + 1);
    if (::renameat(folder, file.m_strTemporary.c_str(), inner.IsOpen() ? inner.Get() : folder, name.c_str()) != 0) {
        error = "cannot put " + relative + " in place: " + ErrnoText();
        return std::nullopt;
    }
    file.m_strTemporary.clear();
    m_claims[relative] = address;
    return relative;
}

bool SiteFolder::WriteTopFile(std::string_view name, std::string_view bytes, std::string& error) const
{
    std::string temporary;
    platform::FileDescriptor file = CreateTemporary(m_top.Get(), temporary);
    if (!file.IsOpen()) {
        error = "cannot create a file in " + m_strPath + ": " + ErrnoText();
        return false;
    }
    const int written = platform::WriteAll(file.Get(), bytes.data(), bytes.size());
    const bool closed = file.Close();
    if (written != 0 || !closed
        || ::renameat(m_top.Get(), temporary.c_str(), m_top.Get(), std::string(name).c_str()) != 0) {
        error = "cannot write " + Joined(m_strPath, name) + ": " + std::strerror(written != 0 ? written : errno);
        ::unlinkat(m_top.Get(), temporary.c_str(), 0);
        return false;
    }
    return true;
}

} // namespace capture
