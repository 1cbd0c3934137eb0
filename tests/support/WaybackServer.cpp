#include "support/WaybackServer.h"

#include "cache/formats/ArchiveInput.h"
#include "cache/formats/ArchivePayload.h"
#include "cache/formats/ArchiveReader.h"
#include "support/ArchiveWriters.h"
#include "support/Files.h"
#include "support/RunGrab.h"
#include "support/TempFolder.h"

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <optional>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace test {

namespace {

const std::vector<std::string> kFields{"urlkey", "timestamp", "original", "mimetype", "statuscode", "digest", "length"};

std::string Lowered(std::string text)
{
    std::ranges::transform(text, text.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::vector<std::string> Split(std::string_view text, char separator)
{
    std::vector<std::string> parts;
    for (std::size_t at = 0;; at = text.find(separator, at) + 1) {
        parts.emplace_back(text.substr(at, text.find(separator, at) - at));
        if (text.find(separator, at) == std::string_view::npos)
            return parts;
    }
}

std::string Joined(const std::vector<std::string>& parts, std::string_view separator)
{
    std::string text;
    for (const std::string& part : parts)
        text += (text.empty() ? "" : std::string(separator)) + part;
    return text;
}

// As Java's URLDecoder and URLEncoder, with which the CDX server reads and writes its resume keys.
std::string FormDecoded(std::string_view text)
{
    std::string decoded;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            decoded += static_cast<char>(std::stoi(std::string(text.substr(i + 1, 2)), nullptr, 16));
            i += 2;
        } else {
            decoded += text[i] == '+' ? ' ' : text[i];
        }
    }
    return decoded;
}

std::string FormEncoded(std::string_view text)
{
    std::string encoded;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (std::isalnum(byte) || std::string_view(".-*_").find(c) != std::string_view::npos)
            encoded += c;
        else if (c == ' ')
            encoded += '+';
        else
            encoded += {'%', "0123456789ABCDEF"[byte >> 4], "0123456789ABCDEF"[byte & 15]};
    }
    return encoded;
}

// A time of 1 to 14 digits in seconds, what it leaves out taken as the earliest.
std::int64_t Seconds(std::string timestamp)
{
    timestamp += std::string("00000101000000").substr(std::min<std::size_t>(timestamp.size(), 14));
    const auto part = [&timestamp](std::size_t at, std::size_t count) {
        return std::stoi(timestamp.substr(at, count));
    };
    std::tm time{};
    time.tm_year = part(0, 4) - 1900;
    time.tm_mon = part(4, 2) - 1;
    time.tm_mday = part(6, 2);
    time.tm_hour = part(8, 2);
    time.tm_min = part(10, 2);
    time.tm_sec = part(12, 2);
    return ::timegm(&time);
}

std::string FieldOf(const IndexedCapture& capture, const std::string& name)
{
    const std::string* fields[] = {&capture.urlkey,     &capture.timestamp, &capture.original, &capture.mimetype,
                                   &capture.statuscode, &capture.digest,    &capture.length};
    return *fields[std::ranges::find(kFields, name) - kFields.begin()];
}

// "[!]field:regex": the field matched whole, as Java's Matcher.matches() does.
struct Filter {
    bool inverted;
    std::string field;
    std::regex regex;

    explicit Filter(const std::string& text)
        : inverted(text.starts_with('!'))
        , field(text.substr(inverted, text.find(':') - inverted))
        , regex(text.substr(text.find(':') + 1))
    {}
    bool Keeps(const IndexedCapture& capture) const
    {
        return std::regex_match(FieldOf(capture, field), regex) != inverted;
    }
};

// Of adjacent lines equal in a field (or its first N characters), the first.
struct Collapse {
    std::string field;
    std::size_t length;
    std::optional<std::string> last;

    explicit Collapse(const std::string& text)
        : field(text.substr(0, text.find(':')))
        , length(text.find(':') == std::string::npos ? std::string::npos : std::stoul(text.substr(text.find(':') + 1)))
    {}
    bool Keeps(const IndexedCapture& capture)
    {
        const std::string value = FieldOf(capture, field).substr(0, length);
        return last != value && (last = value, true);
    }
};

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
        return true;
    });
    return block;
}

} // namespace

std::string SurtKey(std::string_view url)
{
    std::string text(url);
    if (!text.starts_with("http:") && !text.starts_with("https:"))
        return text;
    text = Lowered(std::regex_replace(text, std::regex("^(https?://)www[0-9]*\\."), "$1"));
    const std::string scheme = text.substr(0, text.find("://"));
    std::string rest = text.substr(scheme.size() + 3);
    rest = rest.substr(0, rest.find('#'));
    const std::size_t authorityEnd = std::min(rest.find_first_of("/?"), rest.size());
    std::string host = rest.substr(0, authorityEnd);
    host.erase(0, host.rfind('@') + 1);
    std::string port;
    if (const std::size_t colon = host.rfind(':'); colon != std::string::npos && host.back() != ']') {
        port = host.substr(colon + 1);
        host.resize(colon);
    }
    if ((scheme == "http" && port == "80") || (scheme == "https" && port == "443"))
        port.clear();
    const std::string tail = rest.substr(authorityEnd);
    const std::size_t question = tail.find('?');
    const std::string path = tail.substr(0, question);
    std::vector<std::string> hostParts = Split(host, '.');
    std::ranges::reverse(hostParts);
    std::string key = Joined(hostParts, ",") + (port.empty() ? "" : ":" + port) + ")" + (path.empty() ? "/" : path);
    if (question != std::string::npos && question + 1 < tail.size()) {
        std::vector<std::string> arguments = Split(tail.substr(question + 1), '&');
        std::ranges::sort(arguments);
        key += "?" + Joined(arguments, "&");
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
        const std::size_t n = f.size();
        if (n < 11)
            throw std::runtime_error("not an 11-field CDX line in " + cdxFile + ": " + line);
        const std::string mimetype = Joined(std::vector(f.begin() + 3, f.end() - 7), " ");
        IndexedCapture capture{f[0], f[1], f[2], mimetype, f[n - 7], f[n - 6], f[n - 3]};
        if (const std::string warc = warcFolder + "/" + f[n - 1]; std::filesystem::exists(warc)) {
            capture.warc = warc;
            capture.offset = std::stoull(f[n - 2]);
        }
        added.push_back(std::move(capture));
    }
    const std::lock_guard lock(m_mutex);
    std::ranges::move(added, std::back_inserter(m_captures));
    // The index's order: key and time as one line, byte by byte.
    std::ranges::stable_sort(m_captures, {}, [](const IndexedCapture& c) { return c.urlkey + " " + c.timestamp; });
}

void WaybackServer::AddWarc(const std::string& warc)
{
    const TempFolder scratch;
    const GrabRun run = RunProgram(
        {"node", PLUMEROC_SOURCE_DIR "/node_modules/warcio/dist/cli.js", "cdx-index", "--format", "cdx", warc},
        scratch.Path());
    if (run.status != 0)
        throw std::runtime_error("warcio could not index " + warc + ": " + run.err);
    AddIndex(scratch.Write("index.cdx", run.out), warc.substr(0, warc.rfind('/')));
}

void WaybackServer::AddRecording(const std::string& cassette)
{
    const TempFolder scratch;
    const GrabRun run = RunProgram(
        {"/usr/bin/python3", PLUMEROC_SOURCE_DIR "/tests/support/wayback_recordings.py", cassette, scratch / "frames"},
        scratch.Path());
    if (run.status != 0)
        throw std::runtime_error("cannot read the recording " + cassette + ": " + run.err);
    // Each value as its length in decimal, a line end, then its bytes.
    const std::string bytes = ReadFile(scratch / "frames");
    std::size_t at = 0;
    const auto next = [&] {
        const std::size_t end = bytes.find('\n', at);
        const std::size_t length = std::stoul(bytes.substr(at, end - at));
        at = end + 1 + length;
        return bytes.substr(end + 1, length);
    };
    const std::lock_guard lock(m_mutex);
    while (at < bytes.size()) {
        Recorded recorded{next(), std::stoi(next()), {}, {}};
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

bool WaybackServer::Refused(httplib::Response& response)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(m_silenceMs.load()));
    if (m_refusal == 0)
        return false;
    response.status = m_refusal;
    response.set_content("<html><body><h1>" + std::to_string(response.status) + "</h1></body></html>", "text/html");
    return true;
}

bool WaybackServer::Replay(const httplib::Request& request, httplib::Response& response)
{
    const std::lock_guard lock(m_mutex);
    if (m_recorded.empty())
        return false;
    const auto parameter = [](const std::string& uri, const std::string& name) {
        for (const std::string& pair : Split(uri.substr(uri.find('?') + 1), '&')) {
            if (pair.starts_with(name + "="))
                return FormDecoded(pair.substr(name.size() + 1));
        }
        return std::string();
    };
    for (const Recorded& exchange : m_recorded) {
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
    const std::string url = value("url").starts_with("http") ? value("url") : "http://" + value("url");
    const std::string key = SurtKey(url);
    const std::string host = key.substr(0, key.find(')'));
    const std::string match = value("matchType");
    const auto inScope = [&](const IndexedCapture& capture) {
        if (match == "prefix")
            return capture.urlkey.starts_with(key);
        if (match == "host" || match == "domain")
            return capture.urlkey.starts_with(host + ")")
                || (match == "domain" && capture.urlkey.starts_with(host + ","));
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
    const std::string closest = value("sort") == "closest" ? value("closest") : "";
    const int limit = value("limit").empty() ? 0 : std::stoi(value("limit"));
    const std::string resumeAt = FormDecoded(value("resumeKey"));

    // The CDX server's loop: scope and resume key, time range (compared as text, "to" with all it begins),
    // filters, collapsing, then the limit; the sorts by nearness and the last lines come after.
    std::vector<IndexedCapture> written;
    const std::vector<IndexedCapture> captures = Captures();
    const IndexedCapture* lastRead = nullptr;
    for (const IndexedCapture& capture : captures) {
        if (!inScope(capture) || capture.urlkey + " " + capture.timestamp < resumeAt)
            continue;
        lastRead = &capture;
        if ((!from.empty() && capture.timestamp < from)
            || (!to.empty() && capture.timestamp > to && !capture.timestamp.starts_with(to))
            || !std::ranges::all_of(filters, [&](const Filter& filter) { return filter.Keeps(capture); })
            || !std::ranges::all_of(collapses, [&](Collapse& collapse) { return collapse.Keeps(capture); }))
            continue;
        written.push_back(capture);
        if (closest.empty() && limit > 0 && written.size() == static_cast<std::size_t>(limit))
            break;
    }
    if (!closest.empty()) {
        std::ranges::stable_sort(written, {}, [target = Seconds(closest)](const IndexedCapture& capture) {
            return std::abs(Seconds(capture.timestamp) - target);
        });
    }
    const std::size_t kept = limit == 0 ? written.size() : static_cast<std::size_t>(std::abs(limit));
    if (written.size() > kept)
        written.erase(limit < 0 ? written.begin() : written.begin() + static_cast<std::ptrdiff_t>(kept),
                      limit < 0 ? written.end() - static_cast<std::ptrdiff_t>(kept) : written.end());
    std::string text;
    for (const IndexedCapture& capture : written) {
        std::vector<std::string> fields;
        for (const std::string& field : kFields)
            fields.push_back(FieldOf(capture, field));
        text += Joined(fields, " ") + "\n";
    }
    if (value("showResumeKey") == "true" && closest.empty() && limit > 0 && written.size() == kept && lastRead) {
        std::string time = lastRead->timestamp;
        ++time.back();
        text += "\n" + FormEncoded(lastRead->urlkey + " " + time) + "\n";
    }
    if (value("gzip") != "false") {
        response.set_header("Content-Encoding", "gzip");
        text = Deflated(text, 15 + 16);
    }
    response.set_content(text, "text/plain;charset=UTF-8");
}

void WaybackServer::AnswerRaw(const httplib::Request& request, httplib::Response& response)
{
    std::smatch target;
    static const std::regex pattern("/web/([0-9]{1,14})id_/(.+)");
    if (Refused(response) || !std::regex_match(request.target, target, pattern))
        return;
    const std::string timestamp = target[1];
    const std::string original = target[2];
    const std::vector<IndexedCapture> captures = Captures();
    const IndexedCapture* nearest = nullptr;
    const auto distance = [&timestamp](const IndexedCapture& c) {
        return std::abs(Seconds(c.timestamp) - Seconds(timestamp));
    };
    for (const IndexedCapture& capture : captures) {
        if (capture.urlkey == SurtKey(original) && !capture.warc.empty()
            && std::ranges::all_of(capture.statuscode, ::isdigit)
            && (!nearest || distance(capture) < distance(*nearest)))
            nearest = &capture;
    }
    if (nearest == nullptr) {
        response.status = 404;
        response.set_content("<html><head><title>Wayback Machine</title></head><body>Hrm. The Wayback Machine has not "
                             "archived that URL.</body></html>",
                             "text/html; charset=utf-8");
        return;
    }
    if (nearest->timestamp != timestamp) {
        response.status = 302;
        response.set_header("Location", Address() + "/web/" + nearest->timestamp + "id_/" + nearest->original);
        response.set_header("X-Archive-Redirect-Reason", "found capture at " + nearest->timestamp);
        return;
    }
    const std::string block = RecordBlock(nearest->warc, nearest->offset);
    const auto head = cache::ReadHttpHead(block, true);
    if (!head) {
        response.status = 502;
        return;
    }
    // The site's status, type, coding and redirect (into the archive); its other headers renamed.
    response.status = head->head.status;
    std::string type = "application/octet-stream";
    for (const auto& [nameView, valueView] : head->head.headers) {
        const std::string name(nameView), value(valueView);
        if (Lowered(name) == "content-type")
            type = value;
        else if (Lowered(name) == "content-encoding")
            response.set_header("Content-Encoding", value);
        else if (Lowered(name) == "location")
            response.set_header("Location",
                                Address() + "/web/" + timestamp + "id_/"
                                    + (value.starts_with('/') ? original.substr(0, original.find('/', 8)) : "")
                                    + value);
        else
            response.set_header("X-Archive-Orig-" + name, value);
    }
    std::string body = block.substr(head->length);
    if (Lowered(head->head.Value("Transfer-Encoding").value_or("")) == "chunked") {
        std::string plain;
        cache::ChunkedDecoder().Feed(body, [&plain](std::string_view piece) { return plain.append(piece), true; });
        body = std::move(plain);
    }
    response.set_content(body, type);
}

DeadWebProxy::DeadWebProxy()
    : m_server([this](httplib::Server& server) {
        server.Get(".*", [this](const httplib::Request& request, httplib::Response& response) {
            const std::lock_guard lock(m_mutex);
            m_asked.push_back(request.target);
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
