#pragma once
// The program's only network client. Each call fetches one URL with a plain GET (redirects followed,
// http and https only) and closes its file before it returns. Connections stay open for the next call
// to the same host, from any fetcher on any thread (capture/CurlHandlePool.h).
#include <atomic>
#include <chrono>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace capture {

class FileSink;

// How long a transfer may wait: for its connection, and while receiving less than one byte a second.
// A transfer past either limit fails like a broken one.
struct TransferLimits {
    std::chrono::seconds connect{30};
    std::chrono::seconds stall{60};
};

class CUrlFetcher {
public:
    static constexpr std::size_t kPageBufferSize = 0x100000; // page text and its terminating NUL
    static constexpr std::size_t kReadSize = 0x40000;        // the most that one network read asks for

    CUrlFetcher();
    virtual ~CUrlFetcher();
    CUrlFetcher(const CUrlFetcher&) = delete;
    CUrlFetcher& operator=(const CUrlFetcher&) = delete;

    // Downloads the body of `url` into m_pPageBuffer, keeping its first kPageBufferSize - 1 bytes
    // and reading the rest without storing it. Returns false when no final response arrived (the
    // buffer is left as it was). A failure after that throws CInternetException; the buffer then
    // holds what arrived, terminated.
    bool FetchPage(const std::string& url);

    // Downloads the body of `url` into the file `path`, which is created or truncated only once the
    // final response has arrived, so an unreachable URL never touches an existing file. Returns false
    // when the URL cannot be opened or the file cannot be created. A failure in the middle throws
    // CInternetException (network) or CFileException (file); the file keeps what was written.
    bool DownloadToFile(const std::string& url, const std::string& path);

    // DownloadToFile into `fd`, a file the caller opened for writing and keeps open; `name` names it in
    // messages. The body is written from the file's offset once the final response has arrived.
    bool DownloadToDescriptor(const std::string& url, int fd, const std::string& name);

    // The address of the last final response, after its redirects; empty when none arrived.
    const std::string& LastAddress() const { return m_strAddress; }

    // HTTP status of the last final response, 0 when none arrived. Reported, never acted on.
    long LastStatus() const { return m_nStatus; }

    // Why the last call returned false, naming the URL or the file; empty after a success.
    const std::string& LastError() const { return m_strError; }

    // While set, `flag` is watched during every transfer; once it turns true the transfer ends as a
    // failure (false before the final response, an exception after). Null stops watching.
    void SetAbortFlag(const std::atomic<bool>* flag) { m_pAbort = flag; }

    // While set, every request asks for a compressed answer and its coding is undone, as for the addresses
    // below the archive's (wayback/ArchiveSetting.h), which are always fetched so.
    void SetAcceptCompressed(bool accept) { m_bAcceptCompressed = accept; }

    // The limits of every transfer that starts from now on, in any fetcher (tests make them short).
    static void SetTransferLimits(TransferLimits limits);
    static TransferLimits Limits();

    // kPageBufferSize bytes, owned for the fetcher's lifetime; written by FetchPage only.
    const std::unique_ptr<char[]> m_pPageBuffer;

private:
    bool Download(const std::string& url, FileSink& sink, const std::string& path);

    long m_nStatus = 0;
    std::string m_strAddress;
    std::string m_strError;
    const std::atomic<bool>* m_pAbort = nullptr;
    bool m_bAcceptCompressed = false;
};

} // namespace capture
