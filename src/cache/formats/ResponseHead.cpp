#include "cache/formats/ResponseHead.h"

#include "platform/Bytes.h"

#include <charconv>

namespace cache {

namespace {

bool IsLineEnd(char c) { return c == '\r' || c == '\n' || c == '\0'; }

std::optional<std::uint64_t> Decimal(std::string_view text)
{
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

// "HTTP/1.1 200 OK", "HTTP/2 200": the three digits after the first space.
std::optional<int> StatusOf(std::string_view line)
{
    if (!line.starts_with("HTTP/"))
        return std::nullopt;
    const std::size_t space = line.find(' ');
    if (space == std::string_view::npos)
        return std::nullopt;
    const std::string_view rest = line.substr(space + 1);
    const std::string_view code = rest.substr(0, rest.find(' '));
    const auto value = Decimal(code);
    if (code.size() != 3 || !value)
        return std::nullopt;
    return static_cast<int>(*value);
}

} // namespace

std::optional<std::string> ResponseHead::Value(std::string_view name) const
{
    std::optional<std::string> joined;
    for (const auto& [key, value] : headers) {
        if (!platform::EqualsIgnoringAsciiCase(key, name))
            continue;
        if (joined)
            joined->append(", ").append(value);
        else
            joined = value;
    }
    return joined;
}

std::optional<std::optional<std::uint64_t>> ResponseHead::ContentLength() const
{
    const auto text = Value("Content-Length");
    if (!text)
        return std::nullopt;
    // Repeated headers, or one listing the same length twice, are accepted when they agree.
    std::optional<std::uint64_t> length;
    std::string_view rest = *text;
    for (;;) {
        const std::size_t comma = rest.find(',');
        const auto value = Decimal(platform::Trimmed(rest.substr(0, comma), kHeaderBlanks));
        if (!value || (length && *length != *value))
            return std::optional<std::uint64_t>();
        length = value;
        if (comma == std::string_view::npos)
            return length;
        rest.remove_prefix(comma + 1);
    }
}

std::optional<ResponseHead> ParseResponseHead(std::string_view text)
{
    ResponseHead head;
    bool first = true;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = at;
        while (end < text.size() && !IsLineEnd(text[end]))
            ++end;
        const std::string_view line = text.substr(at, end - at);
        at = end + 1;
        if (line.empty())
            continue;
        if (first) {
            const auto status = StatusOf(line);
            if (!status)
                return std::nullopt;
            head.status = *status;
            first = false;
            continue;
        }
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos || colon == 0)
            continue;
        head.headers.emplace_back(platform::Trimmed(line.substr(0, colon), kHeaderBlanks),
                                  platform::Trimmed(line.substr(colon + 1), kHeaderBlanks));
    }
    if (first)
        return std::nullopt;
    return head;
}

} // namespace cache
