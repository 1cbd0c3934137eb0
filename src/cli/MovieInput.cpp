#include "cli/MovieInput.h"

#include "capture/UrlFetcher.h"
#include "cli/Command.h"
#include "platform/Bytes.h"
#include "platform/Exceptions.h"
#include "platform/FileDescriptor.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace cli {

namespace {

bool IsUnreservedInPath(unsigned char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.'
        || c == '_' || c == '~' || c == '/';
}

std::string FileAddress(const std::string& path)
{
    std::error_code error;
    std::filesystem::path absolute = std::filesystem::absolute(path, error).lexically_normal();
    return "file://"
        + platform::PercentEncoded(absolute.string(), [](unsigned char c) { return !IsUnreservedInPath(c); });
}

} // namespace

bool IsWebAddress(std::string_view operand)
{
    return platform::StartsWithIgnoringAsciiCase(operand, "http://")
        || platform::StartsWithIgnoringAsciiCase(operand, "https://");
}

MovieInput::MovieInput(const std::string& operand)
{
    if (!IsWebAddress(operand)) {
        const platform::FileDescriptor file(::open(operand.c_str(), O_RDONLY | O_CLOEXEC));
        if (!file.IsOpen()) {
            PrintError(operand + ": " + std::strerror(errno));
            m_nStatus = kCannotOpen;
            return;
        }
        m_strAddress = FileAddress(operand);
        Map(file.Get(), operand);
        return;
    }
    m_bFile = false;
    m_strAddress = operand;
    // The answer goes to a file that lives in memory only, named by its descriptor.
    const platform::FileDescriptor memory(::memfd_create("plumeroc-movie", MFD_CLOEXEC));
    if (!memory.IsOpen()) {
        PrintError(std::string("cannot make room for the movie: ") + std::strerror(errno));
        m_nStatus = kCannotOpen;
        return;
    }
    capture::CUrlFetcher fetcher;
    try {
        if (!fetcher.DownloadToFile(operand, "/proc/self/fd/" + std::to_string(memory.Get()))) {
            PrintError(fetcher.LastError());
            m_nStatus = kCannotOpen;
            return;
        }
    } catch (const CException& failure) {
        PrintError(failure.what());
        m_nStatus = kTransferFailed;
        return;
    }
    if (fetcher.LastStatus() >= 400) {
        PrintError(operand + ": the server answered with status " + std::to_string(fetcher.LastStatus()));
        m_nStatus = kErrorStatus;
        return;
    }
    Map(memory.Get(), operand);
}

void MovieInput::Map(int fd, const std::string& name)
{
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        PrintError(name + ": not a file");
        m_nStatus = kCannotOpen;
        return;
    }
    m_nSize = static_cast<std::size_t>(status.st_size);
    if (m_nSize == 0)
        return;
    void* mapped = ::mmap(nullptr, m_nSize, PROT_READ, MAP_PRIVATE, fd, 0);
    if (mapped == MAP_FAILED) {
        PrintError(name + ": " + std::strerror(errno));
        m_nSize = 0;
        m_nStatus = kCannotOpen;
        return;
    }
    m_pData = static_cast<const char*>(mapped);
}

MovieInput::~MovieInput()
{
    if (m_pData)
        ::munmap(const_cast<char*>(m_pData), m_nSize);
}

} // namespace cli
