#include "cache/formats/ResponseHead.h"

#include "platform/Bytes.h"

#include <charconv>
#include <cstring>

namespace cache {

namespace {

bool IsLineEnd(char c) { return c == '\r' || c == '\n' || c == '\0'; }

// The first CR, LF or NUL from `at` on, or the end. Heads are printable text: eight bytes at a time are looked
// at for any byte below 0x0E (the word trick "has less than n", exact for n up to 128) before one by one.
std::size_t LineEnd(std::string_view text, std::size_t at)
{
    constexpr std::uint64_t kOnes = 0x0101010101010101u, kHighBits = 0x8080808080808080u;
    for (; at + 8 <= text.size(); at += 8) {
        std::uint64_t word = 0;
        std::memcpy(&word, text.data() + at, sizeof word);
        if (((word - kOnes * 0x0E) & ~word & kHighBits) != 0)
            break;
    }
    while (at < text.size() && !IsLineEnd(text[at]))
        ++at;
    return at;
}

// Trimmed(text, kHeaderBlanks) for the two blanks alone: every header of every cached head goes through here.
std::string_view WithoutBlanks(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

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
        if (key.size() != name.size() || !platform::EqualsIgnoringAsciiCase(key, name))
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
    // Most heads hold a dozen headers or fewer: one allocation instead of the vector's doublings.
    head.headers.reserve(12);
    bool first = true;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t end = LineEnd(text, at);
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
        head.headers.emplace_back(WithoutBlanks(line.substr(0, colon)), WithoutBlanks(line.substr(colon + 1)));
    }
    if (first)
        return std::nullopt;
    return head;
}

} // namespace cache
