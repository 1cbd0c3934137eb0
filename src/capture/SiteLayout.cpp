#include "capture/SiteLayout.h"

#include "platform/Bytes.h"
#include "platform/Sha256.h"

#include <algorithm>
#include <vector>

namespace capture {

namespace {

constexpr std::size_t kKeptOfLongName = 200;
constexpr std::size_t kLongestKeptSuffix = 10;
constexpr char kHex[] = "0123456789ABCDEF";

void AppendEscape(std::string& out, unsigned char byte)
{
    out += '%';
    out += kHex[byte >> 4];
    out += kHex[byte & 0x0F];
}

bool IsControl(unsigned char byte) { return byte < 0x20 || byte == 0x7F; }

// A byte a segment's name keeps as an escape: it could not stand in a name, or would read as a folder,
// a query or an escape of its own.
bool KeepsEscape(unsigned char byte) { return byte == '/' || byte == '?' || byte == '%' || IsControl(byte); }

std::string DecodedSegment(std::string_view segment)
{
    std::string name;
    name.reserve(segment.size());
    for (std::size_t at = 0; at < segment.size(); ++at) {
        const auto byte = static_cast<unsigned char>(segment[at]);
        const int escaped = byte == '%' ? platform::PercentEscapedByte(segment, at) : -1;
        if (escaped >= 0) {
            at += 2;
            if (KeepsEscape(static_cast<unsigned char>(escaped)))
                AppendEscape(name, static_cast<unsigned char>(escaped));
            else
                name += static_cast<char>(escaped);
        } else if (byte == '%' || IsControl(byte)) {
            AppendEscape(name, byte); // a lone "%" or a raw control byte
        } else {
            name += static_cast<char>(byte);
        }
    }
    return name;
}

std::string EncodedQuery(std::string_view query)
{
    std::string text;
    text.reserve(query.size());
    for (const char c : query) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte == '%' || byte == '/' || IsControl(byte))
            AppendEscape(text, byte);
        else
            text += c;
    }
    return text;
}

std::string Shortened(std::string name)
{
    if (name.size() <= kLongestSavedName)
        return name;
    const std::string_view pathPart = std::string_view(name).substr(0, name.find('?'));
    const std::size_t dot = pathPart.rfind('.');
    const std::string suffix(dot != std::string_view::npos && pathPart.size() - dot <= kLongestKeptSuffix
                                 ? pathPart.substr(dot)
                                 : std::string_view());
    std::size_t kept = kKeptOfLongName;
    // Never half an escape: the kept part still decodes.
    if (name[kept - 1] == '%')
        kept -= 1;
    else if (name[kept - 2] == '%')
        kept -= 2;
    return name.substr(0, kept) + "~" + platform::Sha256Hex(name).substr(0, 16) + suffix;
}

bool IsDotName(std::string_view name) { return name == "." || name == ".."; }

// A host name's bytes (RFC 3986's reg-name without escapes) or an IP literal's.
bool IsHostByte(unsigned char byte)
{
    return (byte >= 'a' && byte <= 'z') || (byte >= '0' && byte <= '9') || byte == '-' || byte == '.' || byte == '_'
        || byte == '~' || byte == '[' || byte == ']' || byte == ':';
}

std::optional<std::string> HostFolder(std::string_view authority, bool https, std::string& refusal)
{
    const std::size_t at = authority.rfind('@');
    std::string_view hostPort = at == std::string_view::npos ? authority : authority.substr(at + 1);
    std::string_view port;
    const std::size_t colon = hostPort.rfind(':');
    const std::size_t bracket = hostPort.rfind(']');
    if (colon != std::string_view::npos && (bracket == std::string_view::npos || colon > bracket)) {
        port = hostPort.substr(colon + 1);
        hostPort = hostPort.substr(0, colon);
    }
    std::string host;
    for (const char c : hostPort)
        host += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    if (host.empty() || IsDotName(host) || host == kManifestName) {
        refusal = "its host cannot name a folder";
        return std::nullopt;
    }
    if (!std::all_of(host.begin(), host.end(), [](char c) { return IsHostByte(static_cast<unsigned char>(c)); })) {
        refusal = "its host holds a byte no host name has";
        return std::nullopt;
    }
    if (!std::all_of(port.begin(), port.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        refusal = "its port is not a number";
        return std::nullopt;
    }
    port.remove_prefix(std::min(port.find_first_not_of('0'), port.size()));
    if (!port.empty() && port != (https ? "443" : "80"))
        host += ":" + std::string(port);
    return host;
}

} // namespace

std::optional<std::string> SavedPathOf(std::string_view pathAndQuery, std::string* refusal)
{
    pathAndQuery = pathAndQuery.substr(0, pathAndQuery.find('#'));
    const std::size_t question = pathAndQuery.find('?');
    const std::string_view path = pathAndQuery.substr(0, question);
    std::vector<std::string_view> segments;
    for (std::size_t start = path.starts_with('/') ? 1 : 0; start <= path.size();) {
        const std::size_t end = std::min(path.find('/', start), path.size());
        segments.push_back(path.substr(start, end - start));
        start = end + 1;
    }
    std::string saved;
    for (std::size_t i = 0; i < segments.size(); ++i) {
        const bool last = i + 1 == segments.size();
        if (segments[i].empty() && !last)
            continue; // "a//b": servers read it as "a/b"
        std::string name = DecodedSegment(segments[i]);
        if (IsDotName(name)) {
            if (refusal != nullptr)
                *refusal = "its path climbs with \"" + name + "\"";
            return std::nullopt;
        }
        if (last) {
            if (name.empty())
                name = kFolderFileName;
            if (question != std::string_view::npos)
                name += "?" + EncodedQuery(pathAndQuery.substr(question + 1));
        }
        if (!saved.empty())
            saved += '/';
        saved += Shortened(std::move(name));
    }
    return saved;
}

SavedName SavedNameOf(std::string_view address)
{
    SavedName name;
    const bool https = platform::StartsWithIgnoringAsciiCase(address, "https://");
    if (!https && !platform::StartsWithIgnoringAsciiCase(address, "http://")) {
        name.refusal = "only http:// and https:// addresses are saved";
        return name;
    }
    const std::string_view rest = address.substr(https ? 8 : 7);
    const std::size_t authorityEnd = std::min(rest.find_first_of("/?#"), rest.size());
    const auto host = HostFolder(rest.substr(0, authorityEnd), https, name.refusal);
    if (!host)
        return name;
    const std::string_view pathAndQuery = rest.substr(authorityEnd);
    const auto path = SavedPathOf(pathAndQuery.empty() ? "/" : pathAndQuery, &name.refusal);
    if (path)
        name.path = *host + "/" + *path;
    return name;
}

} // namespace capture
