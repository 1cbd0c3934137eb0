#include "capture/BodySink.h"

#include "platform/Bytes.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <utility>

namespace capture {

bool PageSink::Open()
{
    m_nLength = 0;
    m_pBuffer[0] = '\0';
    return true;
}

bool PageSink::Write(const char* data, std::size_t size)
{
    const std::size_t take = std::min(size, m_nSize - 1 - m_nLength);
    std::memcpy(m_pBuffer + m_nLength, data, take);
    m_nLength += take;
    m_pBuffer[m_nLength] = '\0';
    return true;
}

FileSink::FileSink(std::string path)
    : m_strPath(std::move(path))
    , m_pGathered(std::make_unique_for_overwrite<char[]>(kWriteSize))
{}

FileSink::FileSink(int openedFd, std::string name)
    : m_strPath(std::move(name))
    , m_nBorrowedFd(openedFd)
    , m_pGathered(std::make_unique_for_overwrite<char[]>(kWriteSize))
{}

bool FileSink::Open()
{
    if (m_nBorrowedFd >= 0)
        return true;
    // 0666: the umask takes off what the user does not want, as for any file they create.
    m_file = platform::FileDescriptor(::open(m_strPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
    m_nErrno = m_file.IsOpen() ? 0 : errno;
    return m_file.IsOpen();
}

bool FileSink::Write(const char* data, std::size_t size)
{
    if (m_nGathered + size > kWriteSize && !Flush())
        return false;
    if (size >= kWriteSize) { // nothing to gather: straight to the file
        m_nErrno = platform::WriteAll(Fd(), data, size);
        return m_nErrno == 0;
    }
    std::memcpy(m_pGathered.get() + m_nGathered, data, size);
    m_nGathered += size;
    return true;
}

bool FileSink::Flush()
{
    if (m_nGathered == 0 || Fd() < 0)
        return true;
    m_nErrno = platform::WriteAll(Fd(), m_pGathered.get(), std::exchange(m_nGathered, 0));
    return m_nErrno == 0;
}

bool FileSink::Finish()
{
    if (!Flush())
        return false;
    if (m_nBorrowedFd < 0 && !m_file.Close()) {
        m_nErrno = errno;
        return false;
    }
    return true;
}

std::string FileSink::ErrorText() const { return std::strerror(m_nErrno); }

} // namespace capture
