#include "capture/UrlFetcher.h"

#include "html/PageText.h"
#include "platform/Bytes.h"
#include "platform/Exceptions.h"
#include "platform/FileDescriptor.h"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <utility>

namespace capture {

namespace {

// curl_global_init is not thread-safe and must precede every handle: a function-local static runs it once.
void InitCurlOnce()
{
    static const CURLcode result = curl_global_init(CURL_GLOBAL_DEFAULT);
    if (result != CURLE_OK)
        throw CInternetException(std::string("Cannot start the HTTP client: ") + curl_easy_strerror(result));
}

struct CurlEasyCleanup {
    void operator()(CURL* handle) const noexcept { curl_easy_cleanup(handle); }
};
using CurlEasy = std::unique_ptr<CURL, CurlEasyCleanup>;

long SecondsOf(std::chrono::seconds duration) { return static_cast<long>(duration.count()); }

std::atomic<std::chrono::seconds::rep> g_connectSeconds{TransferLimits{}.connect.count()};
std::atomic<std::chrono::seconds::rep> g_stallSeconds{TransferLimits{}.stall.count()};

bool IsBlank(std::string_view text) { return text.find_first_not_of(" \t\r\n") == std::string_view::npos; }

// Where the body of the final response goes. Open is called once, when that response has arrived:
// before its first byte, or when the transfer ends if it has none.
class BodySink {
public:
    virtual ~BodySink() = default;
    virtual bool Open() = 0;
    virtual bool Write(const char* data, std::size_t size) = 0;
};

class PageSink final : public BodySink {
public:
    explicit PageSink(char* buffer) : m_pBuffer(buffer) {}

    bool Open() override
    {
        m_nLength = 0;
        m_pBuffer[0] = '\0';
        return true;
    }

    // Keeps what fits before the terminating NUL and drops the rest; the body is still read to its end.
    bool Write(const char* data, std::size_t size) override
    {
        const std::size_t take = std::min(size, CUrlFetcher::kPageBufferSize - 1 - m_nLength);
        std::memcpy(m_pBuffer + m_nLength, data, take);
        m_nLength += take;
        m_pBuffer[m_nLength] = '\0';
        return true;
    }

private:
    char* m_pBuffer;
    std::size_t m_nLength = 0;
};

class FileSink final : public BodySink {
public:
    explicit FileSink(const std::string& path) : m_strPath(path) {}

    bool Open() override
    {
        // 0666: the umask takes off what the user does not want, as for any file they create.
        m_file = platform::FileDescriptor(::open(m_strPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
        m_nErrno = m_file.IsOpen() ? 0 : errno;
        return m_file.IsOpen();
    }

    bool Write(const char* data, std::size_t size) override
    {
        m_nErrno = platform::WriteAll(m_file.Get(), data, size);
        return m_nErrno == 0;
    }

    void Close()
    {
        if (m_file.IsOpen() && !m_file.Close())
            throw CFileException("Cannot write " + m_strPath + ": " + std::strerror(errno));
    }

    std::string ErrorText() const { return std::strerror(m_nErrno); }

private:
    std::string m_strPath;
    platform::FileDescriptor m_file;
    int m_nErrno = 0;
};

enum class Outcome {
    kDone,          // the final response arrived and its whole body went into the sink
    kNotOpened,     // no final response: bad URL or scheme, no host, no connection, no answer
    kSinkNotOpened, // the final response arrived, but the sink could not be opened
    kNetworkFailed, // the body broke off after the final response had begun
    kSinkFailed,    // the sink refused a write
};

// One libcurl session for one URL.
class Session {
public:
    Session(BodySink& sink, const std::atomic<bool>* abort, TransferLimits limits) : m_sink(sink)
    {
        InitCurlOnce();
        m_curl.reset(curl_easy_init());
        if (!m_curl)
            throw CInternetException("Cannot open an HTTP session");
        m_szError[0] = '\0';
        const bool ok = Set(CURLOPT_ERRORBUFFER, m_szError) && Set(CURLOPT_USERAGENT, "Plumeroc")
            && Set(CURLOPT_FOLLOWLOCATION, 1L) && Set(CURLOPT_MAXREDIRS, 30L)
#if LIBCURL_VERSION_NUM >= 0x075500
            && Set(CURLOPT_PROTOCOLS_STR, "http,https") && Set(CURLOPT_REDIR_PROTOCOLS_STR, "http,https")
#else
            && Set(CURLOPT_PROTOCOLS, long{CURLPROTO_HTTP | CURLPROTO_HTTPS})
            && Set(CURLOPT_REDIR_PROTOCOLS, long{CURLPROTO_HTTP | CURLPROTO_HTTPS})
#endif
            && Set(CURLOPT_BUFFERSIZE, static_cast<long>(CUrlFetcher::kChunkSize))
            // A proxy's answer to CONNECT is not the server's response.
            && Set(CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L)
            // No signals: the capture runs on a worker thread.
            && Set(CURLOPT_NOSIGNAL, 1L) && Set(CURLOPT_HEADERFUNCTION, &Session::OnHeader)
            && Set(CURLOPT_HEADERDATA, this) && Set(CURLOPT_WRITEFUNCTION, &Session::OnBody)
            && Set(CURLOPT_WRITEDATA, this) && Set(CURLOPT_CONNECTTIMEOUT, SecondsOf(limits.connect))
            && Set(CURLOPT_LOW_SPEED_LIMIT, 1L) && Set(CURLOPT_LOW_SPEED_TIME, SecondsOf(limits.stall));
        // libcurl calls the progress function during waits too, at least once a second.
        const bool watched = abort == nullptr
            || (Set(CURLOPT_XFERINFOFUNCTION, &Session::OnProgress) && Set(CURLOPT_XFERINFODATA, abort)
                && Set(CURLOPT_NOPROGRESS, 0L));
        if (!ok || !watched)
            throw CInternetException("Cannot set up an HTTP session: " + std::string(curl_easy_strerror(m_setCode)));
    }

    Outcome Run(const std::string& url)
    {
        // libcurl would guess "http" for an address without a scheme; nothing is guessed here.
        if (!platform::StartsWithIgnoringAsciiCase(url, "http://")
            && !platform::StartsWithIgnoringAsciiCase(url, "https://")) {
            static constexpr char kOnlyHttp[] = "only http:// and https:// addresses are fetched";
            static_assert(sizeof kOnlyHttp <= CURL_ERROR_SIZE);
            std::memcpy(m_szError, kOnlyHttp, sizeof kOnlyHttp);
            return Outcome::kNotOpened;
        }
        if (curl_easy_setopt(m_curl.get(), CURLOPT_URL, url.c_str()) != CURLE_OK)
            return Outcome::kNotOpened;
        const CURLcode code = curl_easy_perform(m_curl.get());
        m_code = code;
        if (code == CURLE_OK) {
            if (!m_bStarted && !Start()) // a final response without a body
                return Outcome::kSinkNotOpened;
            return Outcome::kDone;
        }
        if (m_bSinkNotOpened)
            return Outcome::kSinkNotOpened;
        if (!m_bStarted)
            return Outcome::kNotOpened;
        return m_bSinkFailed ? Outcome::kSinkFailed : Outcome::kNetworkFailed;
    }

    long Status() const { return m_nStatus; }

    std::string CurlMessage() const { return m_szError[0] ? m_szError : curl_easy_strerror(m_code); }

private:
    template <typename T>
    bool Set(CURLoption option, T value)
    {
        m_setCode = curl_easy_setopt(m_curl.get(), option, value);
        return m_setCode == CURLE_OK;
    }

    long ResponseCode() const
    {
        long code = 0;
        curl_easy_getinfo(m_curl.get(), CURLINFO_RESPONSE_CODE, &code);
        return code;
    }

    bool Start()
    {
        m_bStarted = true;
        m_nStatus = ResponseCode();
        if (!m_sink.Open()) {
            m_bSinkNotOpened = true;
            return false;
        }
        return true;
    }

    // Called for each header line of every response, interim and redirect ones included. The end of
    // a header block that curl will neither skip (1xx) nor follow (3xx with a Location) is the
    // arrival of the final response, whose body may be empty.
    static std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* user)
    {
        auto& self = *static_cast<Session*>(user);
        const std::size_t length = size * count;
        const std::string_view line(data, length);
        if (platform::StartsWithIgnoringAsciiCase(line, "HTTP/")) {
            self.m_bLocation = false;
        } else if (platform::StartsWithIgnoringAsciiCase(line, "Location:")) {
            self.m_bLocation = !IsBlank(line.substr(9));
        } else if (IsBlank(line) && !self.m_bStarted) {
            const long code = self.ResponseCode();
            const bool interim = code >= 100 && code < 200;
            const bool redirect = code >= 300 && code < 400 && self.m_bLocation;
            if (!interim && !redirect && !self.Start())
                return 0;
        }
        return length;
    }

    static int OnProgress(void* abort, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
    {
        return static_cast<const std::atomic<bool>*>(abort)->load() ? 1 : 0;
    }

    static std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* user)
    {
        auto& self = *static_cast<Session*>(user);
        const std::size_t length = size * count;
        if (!self.m_bStarted && !self.Start())
            return 0;
        if (!self.m_sink.Write(data, length)) {
            self.m_bSinkFailed = true;
            return 0;
        }
        return length;
    }

    BodySink& m_sink;
    CurlEasy m_curl;
    char m_szError[CURL_ERROR_SIZE];
    CURLcode m_setCode = CURLE_OK;
    CURLcode m_code = CURLE_OK;
    long m_nStatus = 0;
    bool m_bLocation = false; // the current header block names a Location
    bool m_bStarted = false;  // the final response has arrived
    bool m_bSinkNotOpened = false;
    bool m_bSinkFailed = false;
};

} // namespace

// The page text a fetch keeps is the text every other reader of a page keeps.
static_assert(CUrlFetcher::kPageBufferSize - 1 == html::kPageTextLimit);

CUrlFetcher::CUrlFetcher() : m_pPageBuffer(std::make_unique_for_overwrite<char[]>(kPageBufferSize))
{
    m_pPageBuffer[0] = '\0';
}

CUrlFetcher::~CUrlFetcher() = default;

void CUrlFetcher::SetTransferLimits(TransferLimits limits)
{
    g_connectSeconds = limits.connect.count();
    g_stallSeconds = limits.stall.count();
}

TransferLimits CUrlFetcher::Limits()
{
    return {std::chrono::seconds(g_connectSeconds.load()), std::chrono::seconds(g_stallSeconds.load())};
}

bool CUrlFetcher::FetchPage(const std::string& url)
{
    m_nStatus = 0;
    m_strError.clear();
    PageSink sink(m_pPageBuffer.get());
    Session session(sink, m_pAbort, Limits());
    const Outcome outcome = session.Run(url);
    m_nStatus = session.Status();
    switch (outcome) {
    case Outcome::kDone:
        return true;
    case Outcome::kNotOpened:
    case Outcome::kSinkNotOpened:
        m_strError = "Cannot open " + url + ": " + session.CurlMessage();
        return false;
    case Outcome::kNetworkFailed:
    case Outcome::kSinkFailed:
        break;
    }
    throw CInternetException("The download of " + url + " broke off: " + session.CurlMessage());
}

bool CUrlFetcher::DownloadToFile(const std::string& url, const std::string& path)
{
    m_nStatus = 0;
    m_strError.clear();
    FileSink sink(path);
    Session session(sink, m_pAbort, Limits());
    const Outcome outcome = session.Run(url);
    m_nStatus = session.Status();
    switch (outcome) {
    case Outcome::kDone:
        sink.Close();
        return true;
    case Outcome::kNotOpened:
        m_strError = "Cannot open " + url + ": " + session.CurlMessage();
        return false;
    case Outcome::kSinkNotOpened:
        m_strError = "Cannot create " + path + ": " + sink.ErrorText();
        return false;
    case Outcome::kSinkFailed:
        throw CFileException("Cannot write " + path + " (downloading " + url + "): " + sink.ErrorText());
    case Outcome::kNetworkFailed:
        break;
    }
    throw CInternetException("The download of " + url + " into " + path + " broke off: " + session.CurlMessage());
}

} // namespace capture
