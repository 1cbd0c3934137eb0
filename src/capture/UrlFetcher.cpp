#include "capture/UrlFetcher.h"

#include "capture/BodySink.h"
#include "capture/CurlHandlePool.h"
#include "html/PageText.h"
#include "platform/Bytes.h"
#include "platform/Exceptions.h"
#include "wayback/ArchiveSetting.h"
#include "wayback/RawCapture.h"

#include <cstring>
#include <fcntl.h>

namespace capture {

namespace {

long SecondsOf(std::chrono::seconds duration) { return static_cast<long>(duration.count()); }

std::atomic<std::chrono::seconds::rep> g_connectSeconds{TransferLimits{}.connect.count()};
std::atomic<std::chrono::seconds::rep> g_stallSeconds{TransferLimits{}.stall.count()};

bool IsBlank(std::string_view text) { return text.find_first_not_of(" \t\r\n") == std::string_view::npos; }

// The archive compresses its answers, and sends a capture with the content coding its site gave it: for
// its addresses libcurl asks for and undoes every coding it knows, so that a saved movie is the movie.
// Every other request carries no header of the program's own, and its body is kept as it came.
const char* AcceptedEncodings(const std::string& url, bool acceptCompressed)
{
    const std::string archive = wayback::Archive();
    return acceptCompressed || (!archive.empty() && wayback::IsBelowArchive(archive, url)) ? "" : nullptr;
}

enum class Outcome {
    kDone,          // the final response arrived and its whole body went into the sink
    kNotOpened,     // no final response: bad URL or scheme, no host, no connection, no answer
    kSinkNotOpened, // the final response arrived, but the sink could not be opened
    kNetworkFailed, // the body broke off after the final response had begun
    kSinkFailed,    // the sink refused a write
};

// One transfer of one URL, on a handle borrowed from the run's pool.
class Session {
public:
    Session(BodySink& sink, const std::atomic<bool>* abort, TransferLimits limits) : m_sink(sink)
    {
        m_szError[0] = '\0';
        // This transfer's own options, all set every time, so that nothing of the handle's last one stays.
        // While `abort` is watched, libcurl calls the progress function during waits too, once a second.
        const bool ok = Set(CURLOPT_ERRORBUFFER, m_szError) && Set(CURLOPT_HEADERDATA, this)
            && Set(CURLOPT_WRITEDATA, this) && Set(CURLOPT_CONNECTTIMEOUT, SecondsOf(limits.connect))
            && Set(CURLOPT_LOW_SPEED_TIME, SecondsOf(limits.stall))
            && Set(CURLOPT_XFERINFODATA, const_cast<std::atomic<bool>*>(abort))
            && Set(CURLOPT_NOPROGRESS, abort == nullptr ? 1L : 0L);
        if (!ok)
            throw CInternetException("Cannot set up an HTTP session: " + std::string(Curl().easyStrerror(m_setCode)));
    }

    // The handle goes back to the pool, where nothing of it may point here.
    ~Session()
    {
        CURL* handle = m_curl.Get();
        SetCurlOption(handle, CURLOPT_ERRORBUFFER, nullptr);
        SetCurlOption(handle, CURLOPT_HEADERDATA, nullptr);
        SetCurlOption(handle, CURLOPT_WRITEDATA, nullptr);
        SetCurlOption(handle, CURLOPT_XFERINFODATA, nullptr);
    }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // What every transfer of a handle shares, set once when the handle is made.
    static void Configure(CURL* handle)
    {
        CURLcode code = CURLE_OK;
        const auto set = [&](CURLoption option, auto value) {
            code = SetCurlOption(handle, option, value);
            return code == CURLE_OK;
        };
        const bool ok = set(CURLOPT_USERAGENT, "Plumeroc") && set(CURLOPT_FOLLOWLOCATION, 1L)
            && set(CURLOPT_MAXREDIRS, 30L)
#if LIBCURL_VERSION_NUM >= 0x075500
            && set(CURLOPT_PROTOCOLS_STR, "http,https") && set(CURLOPT_REDIR_PROTOCOLS_STR, "http,https")
#else
            && set(CURLOPT_PROTOCOLS, long{CURLPROTO_HTTP | CURLPROTO_HTTPS})
            && set(CURLOPT_REDIR_PROTOCOLS, long{CURLPROTO_HTTP | CURLPROTO_HTTPS})
#endif
            && set(CURLOPT_BUFFERSIZE, static_cast<long>(CUrlFetcher::kReadSize))
            // A proxy's answer to CONNECT is not the server's response.
            && set(CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L)
            // No signals: the capture runs on a worker thread.
            && set(CURLOPT_NOSIGNAL, 1L) && set(CURLOPT_HEADERFUNCTION, &Session::OnHeader)
            && set(CURLOPT_WRITEFUNCTION, &Session::OnBody) && set(CURLOPT_LOW_SPEED_LIMIT, 1L)
            && set(CURLOPT_XFERINFOFUNCTION, &Session::OnProgress) && set(CURLOPT_SOCKOPTFUNCTION, &Session::OnSocket);
        if (!ok)
            throw CInternetException("Cannot set up an HTTP session: " + std::string(Curl().easyStrerror(code)));
    }

    Outcome Run(const std::string& url, bool acceptCompressed)
    {
        // libcurl would guess "http" for an address without a scheme; nothing is guessed here.
        if (!platform::StartsWithIgnoringAsciiCase(url, "http://")
            && !platform::StartsWithIgnoringAsciiCase(url, "https://")) {
            static constexpr char kOnlyHttp[] = "only http:// and https:// addresses are fetched";
            static_assert(sizeof kOnlyHttp <= CURL_ERROR_SIZE);
            std::memcpy(m_szError, kOnlyHttp, sizeof kOnlyHttp);
            return Outcome::kNotOpened;
        }
        if (SetCurlOption(m_curl.Get(), CURLOPT_URL, url.c_str()) != CURLE_OK
            || SetCurlOption(m_curl.Get(), CURLOPT_ACCEPT_ENCODING, AcceptedEncodings(url, acceptCompressed))
                != CURLE_OK)
            return Outcome::kNotOpened;
        const CURLcode code = Curl().easyPerform(m_curl.Get());
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
    const std::string& FinalAddress() const { return m_strFinalAddress; }

    std::string CurlMessage() const { return m_szError[0] ? m_szError : Curl().easyStrerror(m_code); }

private:
    template <typename T>
    bool Set(CURLoption option, T value)
    {
        m_setCode = SetCurlOption(m_curl.Get(), option, value);
        return m_setCode == CURLE_OK;
    }

    long ResponseCode() const
    {
        long code = 0;
        Curl().easyGetinfo(m_curl.Get(), CURLINFO_RESPONSE_CODE, &code);
        return code;
    }

    bool Start()
    {
        m_bStarted = true;
        m_nStatus = ResponseCode();
        char* address = nullptr;
        if (Curl().easyGetinfo(m_curl.Get(), CURLINFO_EFFECTIVE_URL, &address) == CURLE_OK && address != nullptr)
            m_strFinalAddress = address;
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

    // Connections outlive the call: a program started meanwhile must not inherit one.
    static int OnSocket(void*, curl_socket_t socket, curlsocktype)
    {
        return ::fcntl(socket, F_SETFD, FD_CLOEXEC) == 0 ? CURL_SOCKOPT_OK : CURL_SOCKOPT_ERROR;
    }

    static int OnProgress(void* abort, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
    {
        return abort != nullptr && static_cast<const std::atomic<bool>*>(abort)->load() ? 1 : 0;
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
    PooledCurl m_curl{&Session::Configure};
    char m_szError[CURL_ERROR_SIZE];
    CURLcode m_setCode = CURLE_OK;
    CURLcode m_code = CURLE_OK;
    long m_nStatus = 0;
    std::string m_strFinalAddress;
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
    m_strAddress.clear();
    m_strError.clear();
    PageSink sink(m_pPageBuffer.get(), kPageBufferSize);
    Session session(sink, m_pAbort, Limits());
    const Outcome outcome = session.Run(url, m_bAcceptCompressed);
    m_nStatus = session.Status();
    m_strAddress = session.FinalAddress();
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
    FileSink sink(path);
    return Download(url, sink, path);
}

bool CUrlFetcher::DownloadToDescriptor(const std::string& url, int fd, const std::string& name)
{
    FileSink sink(fd, name);
    return Download(url, sink, name);
}

bool CUrlFetcher::Download(const std::string& url, FileSink& sink, const std::string& path)
{
    m_nStatus = 0;
    m_strAddress.clear();
    m_strError.clear();
    Session session(sink, m_pAbort, Limits());
    const Outcome outcome = session.Run(url, m_bAcceptCompressed);
    m_nStatus = session.Status();
    m_strAddress = session.FinalAddress();
    const auto writeFailure = [&] {
        return CFileException("Cannot write " + path + " (downloading " + url + "): " + sink.ErrorText());
    };
    switch (outcome) {
    case Outcome::kDone:
        if (!sink.Finish())
            throw writeFailure();
        return true;
    case Outcome::kNotOpened:
        m_strError = "Cannot open " + url + ": " + session.CurlMessage();
        return false;
    case Outcome::kSinkNotOpened:
        m_strError = "Cannot create " + path + ": " + sink.ErrorText();
        return false;
    case Outcome::kSinkFailed:
        throw writeFailure();
    case Outcome::kNetworkFailed:
        break;
    }
    // What arrived before the break stays in the file.
    std::string message = "The download of " + url + " into " + path + " broke off: " + session.CurlMessage();
    if (!sink.Flush())
        message += "; what had arrived could not be written: " + sink.ErrorText();
    throw CInternetException(message);
}

} // namespace capture
