#include "cache/formats/ArchiveHeader.h"

#include "cache/formats/EntryBytes.h"
#include "platform/Bytes.h"

#include <algorithm>
#include <charconv>

namespace cache {

namespace {

constexpr std::string_view kBlanks = " \t\r";

bool AllDigits(std::string_view text)
{
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// "<http://...>", as wget 1.19 and the WARC/1.0 draft wrote target addresses.
std::string_view WithoutAngles(std::string_view uri)
{
    if (uri.size() >= 2 && uri.front() == '<' && uri.back() == '>')
        return uri.substr(1, uri.size() - 2);
    return uri;
}

} // namespace

std::optional<std::string_view> ArchiveHeader::Field(std::string_view name) const
{
    for (const auto& [key, value] : fields) {
        if (platform::EqualsIgnoringAsciiCase(key, name))
            return std::string_view(value);
    }
    return std::nullopt;
}

std::optional<HeaderExtent> FindHeaderEnd(std::string_view text)
{
    for (std::size_t at = text.find('\n'); at != std::string_view::npos; at = text.find('\n', at + 1)) {
        std::size_t next = at + 1;
        while (next < text.size() && text[next] == '\r')
            ++next;
        if (next < text.size() && text[next] == '\n') {
            std::size_t lines = at;
            while (lines > 0 && text[lines - 1] == '\r')
                --lines;
            return HeaderExtent{lines, next + 1};
        }
    }
    return std::nullopt;
}

bool IsWarcVersionLine(std::string_view line)
{
    if (!platform::StartsWithIgnoringAsciiCase(line, "WARC/"))
        return false;
    const std::string_view version = platform::Trimmed(line.substr(5), kBlanks);
    return !version.empty() && version.front() >= '0' && version.front() <= '9'
        && std::all_of(version.begin(), version.end(), [](char c) { return (c >= '0' && c <= '9') || c == '.'; });
}

std::optional<ArchiveHeader> ParseWarcHeader(std::string_view lines)
{
    ArchiveHeader header;
    bool first = true;
    while (!lines.empty()) {
        const std::size_t end = lines.find('\n');
        const std::string_view line = platform::Trimmed(lines.substr(0, end), "\r");
        lines.remove_prefix(end == std::string_view::npos ? lines.size() : end + 1);
        if (first) {
            if (!IsWarcVersionLine(line))
                return std::nullopt;
            header.version = platform::Trimmed(line, kBlanks);
            first = false;
        } else if (!line.empty() && (line.front() == ' ' || line.front() == '\t')) {
            // A folded line goes on with the field before it.
            if (!header.fields.empty()) {
                std::string& value = header.fields.back().second;
                value.append(value.empty() ? "" : " ").append(platform::Trimmed(line, kBlanks));
            }
        } else if (const std::size_t colon = line.find(':'); colon != std::string_view::npos && colon > 0) {
            header.fields.emplace_back(platform::Trimmed(line.substr(0, colon), kBlanks),
                                       platform::Trimmed(line.substr(colon + 1), kBlanks));
        }
    }
    const auto length = header.Field("Content-Length");
    const auto blockLength = length ? ParseDecimal(*length) : std::nullopt;
    if (first || !blockLength)
        return std::nullopt;
    header.blockLength = *blockLength;
    header.type = header.Field("WARC-Type").value_or("");
    header.targetUri = WithoutAngles(header.Field("WARC-Target-URI").value_or(""));
    header.date = CaptureTimestamp(header.Field("WARC-Date").value_or(""));
    header.contentType = header.Field("Content-Type").value_or("");
    return header;
}

std::optional<ArchiveHeader> ParseArcHeader(std::string_view line)
{
    line = platform::Trimmed(line, kBlanks);
    // From the right: length, content type (which may be empty), date, IP address; the URL is the rest.
    std::string_view parts[4];
    for (std::string_view& part : parts) {
        const std::size_t space = line.rfind(' ');
        if (space == std::string_view::npos)
            return std::nullopt;
        part = line.substr(space + 1);
        line = line.substr(0, space);
    }
    const auto length = ParseDecimal(parts[0]);
    const std::string_view url = platform::Trimmed(line, kBlanks);
    if (!length || parts[2].size() != 14 || !AllDigits(parts[2]) || parts[3].empty() || url.empty()
        || url.find_first_of("\t\n") != std::string_view::npos)
        return std::nullopt;
    ArchiveHeader header;
    header.format = ArchiveFormat::Arc;
    header.version = "ARC";
    header.type = url.starts_with("filedesc:") ? "filedesc" : "response";
    header.targetUri = url;
    header.date = parts[2];
    header.contentType = parts[1];
    header.blockLength = *length;
    return header;
}

std::string CaptureTimestamp(std::string_view warcDate)
{
    std::string digits;
    bool inTime = false;
    for (const char c : platform::Trimmed(warcDate, kBlanks)) {
        if (c >= '0' && c <= '9') {
            digits += c;
            if (digits.size() == 14)
                break;
        } else if (c == 'T' || c == 't') {
            inTime = true;
        } else if (c == '.' || c == 'Z' || c == 'z' || c == '+' || (c == '-' && inTime) || c == ' ') {
            break; // fractions of a second and time zones are no part of the timestamp
        }
    }
    if (digits.size() < 4)
        return {};
    static constexpr std::string_view kFirst = "00000101000000";
    return digits.append(kFirst.substr(digits.size()));
}

} // namespace cache
