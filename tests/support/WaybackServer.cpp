#include "support/WaybackServer.h"

#include "cache/formats/ArchiveInput.h"
#include "cache/formats/ArchivePayload.h"
#include "cache/formats/ArchiveReader.h"
#include "support/Files.h"
#include "support/RunGrab.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace test {

namespace {

constexpr std::size_t kMostRecordBytes = std::size_t{64} << 20;

std::string Lowered(std::string text)
{
    std::ranges::transform(text, text.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::vector<std::string> Split(std::string_view text, char separator)
{
    std::vector<std::string> parts;
    for (std::size_t at = 0;;) {
        const std::size_t end = text.find(separator, at);
        parts.emplace_back(text.substr(at, end - at));
        if (end == std::string_view::npos)
            return parts;
        at = end + 1;
    }
}

// As Java's URLDecoder and URLEncoder, which the CDX server reads and writes its resume keys with.
std::string FormDecoded(std::string_view text)
{
    std::string decoded;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '+')
            decoded += ' ';
        else if (text[i] == '%' && i + 2 < text.size() && std::isxdigit(static_cast<unsigned char>(text[i + 1]))
                 && std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
            decoded += static_cast<char>(std::stoi(std::string(text.substr(i + 1, 2)), nullptr, 16));
            i += 2;
        } else
            decoded += text[i];
    }
    return decoded;
}

std::string FormEncoded(std::string_view text)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string encoded;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (std::isalnum(byte) || c == '.' || c == '-' || c == '*' || c == '_')
            encoded += c;
        else if (c == ' ')
            encoded += '+';
        else
            encoded += {'%', kHex[byte >> 4], kHex[byte & 15]};
    }
    return encoded;
}

std::string Gzipped(const std::string& bytes)
{
    z_stream stream{};
    if (::deflateInit2(&stream, 6, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        throw std::runtime_error("deflateInit2");
    std::string out(::deflateBound(&stream, static_cast<uLong>(bytes.size())) + 64, '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
    stream.avail_in = static_cast<uInt>(bytes.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    const int status = ::deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    ::deflateEnd(&stream);
    if (status != Z_STREAM_END)
        throw std::runtime_error("deflate");
    return out;
}

// A time of 1 to 14 digits, padded with the earliest of what it leaves out, in seconds.
std::int64_t Seconds(std::string timestamp)
{
    timestamp += std::string("00000101000000").substr(std::min<std::size_t>(timestamp.size(), 14));
    std::tm time{};
    time.tm_year = std::stoi(timestamp.substr(0, 4)) - 1900;
    time.tm_mon = std::stoi(timestamp.substr(4, 2)) - 1;
    time.tm_mday = std::stoi(timestamp.substr(6, 2));
    time.tm_hour = std::stoi(timestamp.substr(8, 2));
    time.tm_min = std::stoi(timestamp.substr(10, 2));
    time.tm_sec = std::stoi(timestamp.substr(12, 2));
    return ::timegm(&time);
}

std::string HttpDate(const std::string& timestamp)
{
    const std::time_t seconds = Seconds(timestamp);
    std::tm time{};
    ::gmtime_r(&seconds, &time);
    char text[64];
    std::strftime(text, sizeof text, "%a, %d %b %Y %H:%M:%S GMT", &time);
    return text;
}

std::string_view FieldOf(const IndexedCapture& capture, std::string_view name)
{
    if (name == "urlkey")
        return capture.urlkey;
    if (name == "timestamp")
        return capture.timestamp;
    if (name == "original")
        return capture.original;
    if (name == "mimetype")
        return capture.mimetype;
    if (name == "statuscode")
        return capture.statuscode;
    if (name == "digest")
        return capture.digest;
    if (name == "length")
        return capture.length;
    throw std::invalid_argument("no CDX field " + std::string(name));
}

const std::vector<std::string> kPublicFields{"urlkey",     "timestamp", "original", "mimetype",
                                             "statuscode", "digest",    "length"};

std::string CdxLine(const IndexedCapture& capture, const std::vector<std::string>& fields)
{
    std::string line;
    for (const std::string& field : fields)
        line += (line.empty() ? "" : " ") + std::string(FieldOf(capture, field));
    return line;
}

// "[!]field:regex", or "[!]regex" over the whole line, matched whole as Java's Matcher.matches() does.
struct Filter {
    bool inverted = false;
    std::string field;
    std::regex regex;

    explicit Filter(std::string text)
    {
        inverted = text.starts_with('!');
        if (inverted)
            text.erase(0, 1);
        const std::size_t colon = text.find(':');
        if (colon != std::string::npos
            && std::ranges::find(kPublicFields, text.substr(0, colon)) != kPublicFields.end()) {
            field = text.substr(0, colon);
            text.erase(0, colon + 1);
        }
        regex = std::regex(text);
    }

    bool Keeps(const IndexedCapture& capture) const
    {
        const std::string value =
            field.empty() ? CdxLine(capture, kPublicFields) : std::string(FieldOf(capture, field));
        return std::regex_match(value, regex) != inverted;
    }
};

// Of adjacent lines equal in a field (its first N characters), the first.
struct Collapse {
    std::string field;
    std::size_t length = std::string::npos;
    std::optional<std::string> last;

    explicit Collapse(const std::string& text) : field(text.substr(0, text.find(':')))
    {
        if (text.find(':') != std::string::npos)
            length = std::stoul(text.substr(text.find(':') + 1));
    }

    bool Keeps(const IndexedCapture& capture)
    {
        const std::string value(FieldOf(capture, field).substr(0, length));
        if (last == value)
            return false;
        last = value;
        return true;
    }
};

// The raw request target after "/web/": the time and the original address, whose query is its own.
bool ReadRawTarget(const std::string& target, std::string& timestamp, std::string& original)
{
    static const std::regex pattern("/web/([0-9]{1,14})id_/(.+)");
    std::smatch match;
    if (!std::regex_match(target, match, pattern))
        return false;
    timestamp = match[1];
    original = match[2];
    return true;
}

std::string RecordBlock(const std::string& warc, std::uint64_t offset)
{
    auto input = cache::ArchiveInput::Open(warc);
    if (!input || !input->Seek({offset, 0}))
        throw std::runtime_error("cannot read " + warc + " at " + std::to_string(offset));
    cache::ArchiveReader reader(*input);
    if (!reader.Next())
        throw std::runtime_error("no record in " + warc + " at " + std::to_string(offset));
    std::string block;
    reader.ReadBlock([&block](std::string_view piece) {
        block.append(piece);
        return block.size() < kMostRecordBytes;
    });
    return block;
}

std::string Dechunked(const std::string& body)
{
    std::string plain;
    cache::ChunkedDecoder decoder;
    decoder.Feed(body, [&plain](std::string_view piece) {
        plain.append(piece);
        return true;
    });
    return plain;
}

} // namespace

std::string SurtKey(std::string_view url)
{
    std::string text(url);
    if (!text.starts_with("http:") && !text.starts_with("https:"))
        return text;
    text =
        std::regex_replace(text, std::regex("^(https?://)www[0-9]*\\."), "$1", std::regex_constants::format_first_only);
    text = Lowered(text);
    const std::size_t schemeEnd = text.find("://");
    const std::string scheme = text.substr(0, schemeEnd);
    std::string rest = text.substr(schemeEnd + 3);
    rest = rest.substr(0, rest.find('#'));
    const std::size_t authorityEnd = std::min(rest.find_first_of("/?"), rest.size());
    std::string authority = rest.substr(0, authorityEnd);
    authority.erase(0, authority.rfind('@') + 1);
    std::string tail = rest.substr(authorityEnd);
    std::string host = authority;
    std::string port;
    if (const std::size_t colon = authority.rfind(':'); colon != std::string::npos && authority.back() != ']') {
        host = authority.substr(0, colon);
        port = authority.substr(colon + 1);
    }
    if ((scheme == "http" && port == "80") || (scheme == "https" && port == "443"))
        port.clear();
    const std::size_t question = tail.find('?');
    std::string path = tail.substr(0, question);
    if (path.empty())
        path = "/";
    std::vector<std::string> hostParts = Split(host, '.');
    std::ranges::reverse(hostParts);
    std::string key;
    for (const std::string& part : hostParts)
        key += (key.empty() ? "" : ",") + part;
    if (!port.empty())
        key += ":" + port;
    key += ")" + path;
    if (question != std::string::npos && question + 1 < tail.size()) {
        std::vector<std::string> arguments = Split(tail.substr(question + 1), '&');
        std::ranges::sort(arguments);
        std::string query;
        for (const std::string& argument : arguments)
            query += (query.empty() ? "" : "&") + argument;
        key += "?" + query;
    }
    return key;
}

WaybackServer::WaybackServer()
    : m_server(
        [this](httplib::Server& server) {
            server.Get("/cdx/search/cdx", [this](const httplib::Request& request, httplib::Response& response) {
                AnswerCdx(request, response);
            });
            server.Get("/web/.*", [this](const httplib::Request& request, httplib::Response& response) {
                AnswerRaw(request, response);
            });
        },
        Connections::kKept)
{}

void WaybackServer::AddIndex(const std::string& cdxFile, const std::string& warcFolder)
{
    std::vector<IndexedCapture> added;
    std::istringstream lines(ReadFile(cdxFile));
    for (std::string line; std::getline(lines, line);) {
        if (line.starts_with(" CDX") || line.empty())
            continue;
        // N b a m s k r M S V g; a type may hold blanks ("application/http; msgtype=response").
        const std::vector<std::string> f = Split(line, ' ');
        if (f.size() < 11)
            throw std::runtime_error("not an 11-field CDX line in " + cdxFile + ": " + line);
        const std::size_t n = f.size();
        std::string mimetype = f[3];
        for (std::size_t i = 4; i + 7 < n; ++i)
            mimetype += " " + f[i];
        IndexedCapture capture{f[0], f[1], f[2], mimetype, f[n - 7], f[n - 6], f[n - 3]};
        const std::string warc = warcFolder + "/" + f[n - 1];
        if (std::ifstream(warc).good()) {
            capture.warc = warc;
            capture.offset = std::stoull(f[n - 2]);
        }
        added.push_back(std::move(capture));
    }
    const std::lock_guard lock(m_mutex);
    std::ranges::move(added, std::back_inserter(m_captures));
    // CDX order: the key and time as one line, compared byte by byte.
    std::ranges::stable_sort(m_captures, [](const IndexedCapture& a, const IndexedCapture& b) {
        return a.urlkey + " " + a.timestamp < b.urlkey + " " + b.timestamp;
    });
}

void WaybackServer::AddWarc(const std::string& warc)
{
    const TempFolder scratch;
    const GrabRun run = RunProgram(
        {"node", PLUMEROC_SOURCE_DIR "/node_modules/warcio/dist/cli.js", "cdx-index", "--format", "cdx", warc},
        scratch.Path());
    if (run.status != 0)
        throw std::runtime_error("warcio could not index " + warc + ": " + run.err);
    const std::string index = scratch.Write("index.cdx", run.out);
    AddIndex(index, warc.substr(0, warc.rfind('/')));
}

void WaybackServer::AddRecording(const std::string& cassette)
{
    const TempFolder scratch;
    const std::string frames = scratch / "frames";
    const GrabRun run =
        RunProgram({"/usr/bin/python3", PLUMEROC_SOURCE_DIR "/tests/support/wayback_recordings.py", cassette, frames},
                   scratch.Path());
    if (run.status != 0)
        throw std::runtime_error("cannot read the recording " + cassette + ": " + run.err);
    // Each value as its length in decimal, a line end, then its bytes.
    const std::string bytes = ReadFile(frames);
    std::size_t at = 0;
    const auto next = [&] {
        const std::size_t end = bytes.find('\n', at);
        const std::size_t length = std::stoul(bytes.substr(at, end - at));
        std::string value = bytes.substr(end + 1, length);
        at = end + 1 + length;
        return value;
    };
    const std::lock_guard lock(m_mutex);
    while (at < bytes.size()) {
        Recorded recorded;
        recorded.uri = next();
        recorded.status = std::stoi(next());
        for (std::size_t headers = std::stoul(next()); headers > 0; --headers) {
            std::string name = next();
            recorded.headers.emplace_back(std::move(name), next());
        }
        recorded.body = next();
        m_recorded.push_back(std::move(recorded));
    }
}

std::vector<IndexedCapture> WaybackServer::Captures() const
{
    const std::lock_guard lock(m_mutex);
    return m_captures;
}

std::vector<WaybackServer::Request> WaybackServer::CdxRequests() const
{
    const std::lock_guard lock(m_mutex);
    return m_cdxRequests;
}

std::vector<std::string> WaybackServer::RawRequests() const
{
    const std::lock_guard lock(m_mutex);
    return m_rawRequests;
}

bool WaybackServer::Refused(httplib::Response& response)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(m_silenceMs.load()));
    const int status = m_refusal;
    if (status == 0)
        return false;
    response.status = status;
    response.set_content("<html><body><h1>" + std::to_string(status) + "</h1></body></html>", "text/html");
    return true;
}

bool WaybackServer::Replay(const httplib::Request& request, httplib::Response& response)
{
    std::vector<Recorded> recorded;
    {
        const std::lock_guard lock(m_mutex);
        recorded = m_recorded;
    }
    if (recorded.empty())
        return false;
    const auto parameter = [](const std::string& uri, const std::string& name) {
        for (const std::string& pair : Split(uri.substr(uri.find('?') + 1), '&')) {
            if (pair.starts_with(name + "="))
                return FormDecoded(pair.substr(name.size() + 1));
        }
        return std::string();
    };
    for (const Recorded& exchange : recorded) {
        if (exchange.uri.find("/cdx/search/cdx?") == std::string::npos
            || parameter(exchange.uri, "url") != request.get_param_value("url")
            || parameter(exchange.uri, "resumeKey") != request.get_param_value("resumeKey"))
            continue;
        response.status = exchange.status;
        std::string type = "text/plain";
        for (const auto& [name, value] : exchange.headers) {
            if (Lowered(name) == "content-type")
                type = value;
            else if (Lowered(name) == "content-encoding")
                response.set_header("Content-Encoding", value);
        }
        response.set_content(exchange.body, type);
        return true;
    }
    response.status = 400;
    response.set_content("no recorded answer for " + request.target, "text/plain");
    return true;
}

void WaybackServer::AnswerCdx(const httplib::Request& request, httplib::Response& response)
{
    {
        const std::lock_guard lock(m_mutex);
        m_cdxRequests.push_back(
            {request.target.substr(request.target.find('?') + 1), std::chrono::steady_clock::now()});
    }
    if (Refused(response) || Replay(request, response))
        return;
    const auto value = [&request](const char* name) { return request.get_param_value(name); };
    if (value("url").empty()) {
        response.status = 400;
        response.set_content("org.archive.util.io.RuntimeIOException: Missing url\n", "text/plain");
        return;
    }
    const std::string url = value("url");
    const std::string key = SurtKey(url.starts_with("http") ? url : "http://" + url);
    const std::string host = key.substr(0, key.find(')'));
    const std::string match = value("matchType").empty() ? "exact" : value("matchType");
    const auto inScope = [&](const IndexedCapture& capture) {
        if (match == "prefix")
            return capture.urlkey.starts_with(key);
        if (match == "host")
            return capture.urlkey.starts_with(host + ")");
        if (match == "domain")
            return capture.urlkey.starts_with(host + ")") || capture.urlkey.starts_with(host + ",");
        return capture.urlkey == key;
    };
    std::vector<Filter> filters;
    for (std::size_t i = 0; i < request.get_param_value_count("filter"); ++i)
        filters.emplace_back(request.get_param_value("filter", i));
    std::vector<Collapse> collapses;
    for (std::size_t i = 0; i < request.get_param_value_count("collapse"); ++i)
        collapses.emplace_back(request.get_param_value("collapse", i));
    const std::string from = value("from");
    const std::string to = value("to");
    const std::string closest = value("closest");
    const bool sortClosest = !closest.empty() && value("sort") == "closest";
    const int limit = value("limit").empty() ? 0 : std::stoi(value("limit"));
    const std::string searchKey = FormDecoded(value("resumeKey"));
    std::vector<std::string> fields = value("fl").empty() ? kPublicFields : Split(value("fl"), ',');

    std::vector<IndexedCapture> written;
    const IndexedCapture* lastRead = nullptr;
    const std::vector<IndexedCapture> captures = Captures();
    for (const IndexedCapture& capture : captures) {
        if (!inScope(capture) || (!searchKey.empty() && capture.urlkey + " " + capture.timestamp < searchKey))
            continue;
        lastRead = &capture;
        // As the CDX server compares times: as text, "to" taken with everything it begins.
        if ((!from.empty() && capture.timestamp < from)
            || (!to.empty() && capture.timestamp > to && !capture.timestamp.starts_with(to)))
            continue;
        if (!std::ranges::all_of(filters, [&](const Filter& filter) { return filter.Keeps(capture); })
            || !std::ranges::all_of(collapses, [&](Collapse& collapse) { return collapse.Keeps(capture); }))
            continue;
        written.push_back(capture);
        if (!sortClosest && limit > 0 && written.size() == static_cast<std::size_t>(limit))
            break;
    }
    if (sortClosest) {
        const std::int64_t target = Seconds(closest);
        std::ranges::stable_sort(written, {}, [target](const IndexedCapture& capture) {
            return std::abs(Seconds(capture.timestamp) - target);
        });
        if (limit > 0 && written.size() > static_cast<std::size_t>(limit))
            written.resize(static_cast<std::size_t>(limit));
    } else if (limit < 0 && written.size() > static_cast<std::size_t>(-limit)) {
        written.erase(written.begin(), written.end() - static_cast<std::ptrdiff_t>(-limit));
    }
    std::string text;
    for (const IndexedCapture& capture : written)
        text += CdxLine(capture, fields) + "\n";
    if (value("showResumeKey") == "true" && !sortClosest && limit > 0 && lastRead != nullptr
        && written.size() >= static_cast<std::size_t>(limit)) {
        std::string time = lastRead->timestamp;
        ++time.back();
        text += "\n" + FormEncoded(lastRead->urlkey + " " + time) + "\n";
    }
    if (value("gzip") != "false") {
        response.set_header("Content-Encoding", "gzip");
        text = Gzipped(text);
    }
    response.set_content(text, "text/plain;charset=UTF-8");
}

void WaybackServer::AnswerRaw(const httplib::Request& request, httplib::Response& response)
{
    {
        const std::lock_guard lock(m_mutex);
        m_rawRequests.push_back(request.target);
    }
    if (Refused(response))
        return;
    std::string timestamp;
    std::string original;
    if (!ReadRawTarget(request.target, timestamp, original)) {
        response.status = 400;
        return;
    }
    const std::vector<IndexedCapture> captures = Captures();
    const std::string key = SurtKey(original);
    const auto replayable = [](const IndexedCapture& capture) {
        return !capture.warc.empty()
            && (capture.mimetype == "warc/revisit" || std::ranges::all_of(capture.statuscode, ::isdigit));
    };
    const IndexedCapture* nearest = nullptr;
    for (const IndexedCapture& capture : captures) {
        if (capture.urlkey == key && replayable(capture)
            && (nearest == nullptr
                || std::abs(Seconds(capture.timestamp) - Seconds(timestamp))
                    < std::abs(Seconds(nearest->timestamp) - Seconds(timestamp))))
            nearest = &capture;
    }
    if (nearest == nullptr) {
        response.status = 404;
        response.set_content("<!DOCTYPE html><html><head><title>Wayback Machine</title></head><body><p>Hrm. The "
                             "Wayback Machine has not archived that URL.</p></body></html>",
                             "text/html; charset=utf-8");
        return;
    }
    if (nearest->timestamp != timestamp) {
        response.status = 302;
        response.set_header("Location", Address() + "/web/" + nearest->timestamp + "id_/" + nearest->original);
        response.set_header("X-Archive-Redirect-Reason", "found capture at " + nearest->timestamp);
        return;
    }
    // A revisit replays the record whose payload it repeats.
    const IndexedCapture* record = nearest;
    if (nearest->mimetype == "warc/revisit") {
        const auto repeated = std::ranges::find_if(captures, [&](const IndexedCapture& capture) {
            return capture.digest == nearest->digest && capture.mimetype != "warc/revisit" && !capture.warc.empty();
        });
        if (repeated == captures.end()) {
            response.status = 404;
            return;
        }
        record = &*repeated;
    }
    const std::string block = RecordBlock(record->warc, record->offset);
    const auto head = cache::ReadHttpHead(block, true);
    if (!head) {
        response.status = 502;
        return;
    }
    response.status = head->head.status;
    std::string type = "application/octet-stream";
    for (const auto& [name, value] : head->head.headers) {
        const std::string lowered = Lowered(name);
        if (lowered == "content-type") {
            type = value;
        } else if (lowered == "content-encoding") {
            response.set_header("Content-Encoding", value);
        } else if (lowered == "location") {
            const std::string target = value.starts_with("http")
                ? value
                : original.substr(0, original.find('/', original.find("://") + 3)) + value;
            response.set_header("Location", Address() + "/web/" + timestamp + "id_/" + target);
        } else {
            response.set_header("X-Archive-Orig-" + name, value);
        }
    }
    response.set_header("Memento-Datetime", HttpDate(timestamp));
    std::string body = block.substr(head->length);
    if (Lowered(head->head.Value("Transfer-Encoding").value_or("")) == "chunked")
        body = Dechunked(body);
    response.set_content(body, type);
}

DeadWebProxy::DeadWebProxy()
    : m_server([this](httplib::Server& server) {
        server.Get(".*", [this](const httplib::Request& request, httplib::Response& response) {
            {
                const std::lock_guard lock(m_mutex);
                m_asked.push_back(request.target);
            }
            response.status = 502;
            response.set_content("<html><body>No web here</body></html>", "text/html");
        });
    })
{}

std::vector<std::string> DeadWebProxy::Asked() const
{
    const std::lock_guard lock(m_mutex);
    return m_asked;
}

} // namespace test
