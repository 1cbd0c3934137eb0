#pragma once
// Where the fetcher puts the body of a final response: the page buffer, or a file.
#include "platform/FileDescriptor.h"

#include <cstddef>
#include <memory>
#include <string>

namespace capture {

// Open is called once, when the final response has arrived: before its first byte, or when the
// transfer ends if it has none. Neither call throws: both run inside libcurl's callbacks.
class BodySink {
public:
    virtual ~BodySink() = default;
    virtual bool Open() = 0;
    virtual bool Write(const char* data, std::size_t size) = 0;
};

// The page text in a buffer of `size` bytes: what fits before the terminating NUL is kept, the rest
// of the body is read and dropped.
class PageSink final : public BodySink {
public:
    PageSink(char* buffer, std::size_t size) : m_pBuffer(buffer), m_nSize(size) {}

    bool Open() override;
    bool Write(const char* data, std::size_t size) override;

private:
    char* m_pBuffer;
    std::size_t m_nSize;
    std::size_t m_nLength = 0;
};

// A file, created or truncated by Open. Small pieces are gathered and written kWriteSize bytes at a
// time, one system call each; Flush writes what is gathered, so that a file whose transfer broke off
// still holds every byte that arrived.
class FileSink final : public BodySink {
public:
    static constexpr std::size_t kWriteSize = 0x40000;

    explicit FileSink(std::string path);
    // A file the caller opened and keeps: Open writes from where it stands, Finish leaves it open.
    FileSink(int openedFd, std::string name);

    bool Open() override;
    bool Write(const char* data, std::size_t size) override;
    bool Flush();
    // Flushes and closes: a failed close can be the first report of a failed write.
    bool Finish();

    // Why the last Open, Write, Flush or Finish failed.
    std::string ErrorText() const;

private:
    int Fd() const { return m_nBorrowedFd >= 0 ? m_nBorrowedFd : m_file.Get(); }

    std::string m_strPath;
    platform::FileDescriptor m_file;
    int m_nBorrowedFd = -1;
    std::unique_ptr<char[]> m_pGathered; // allocated before the transfer: the callbacks never allocate
    std::size_t m_nGathered = 0;
    int m_nErrno = 0;
};

} // namespace capture
