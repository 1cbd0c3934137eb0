#include "html/script/ScriptText.h"

#include "html/script/TextEscapes.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <functional>

namespace html::script {

std::size_t FindByte(std::string_view text, char c, std::size_t from)
{
    const std::size_t n = text.size();
    if (from >= n)
        return std::string_view::npos;
    // The next 16 bytes a word at a time: the lowest byte equal to `c` sets the lowest flag bit
    // (higher flags may be false, but the lowest one never is).
    if constexpr (std::endian::native == std::endian::little) {
        constexpr std::uint64_t kOnes = 0x0101010101010101;
        constexpr std::uint64_t kHighs = 0x8080808080808080;
        const std::uint64_t pattern = kOnes * static_cast<unsigned char>(c);
        for (int word = 0; word < 2 && from + 8 <= n; ++word) {
            std::uint64_t bytes = 0;
            std::memcpy(&bytes, text.data() + from, sizeof bytes);
            const std::uint64_t diff = bytes ^ pattern;
            const std::uint64_t flags = (diff - kOnes) & ~diff & kHighs;
            if (flags != 0)
                return from + static_cast<std::size_t>(std::countr_zero(flags)) / 8;
            from += 8;
        }
    }
    const void* found = std::memchr(text.data() + from, c, n - from);
    return found ? static_cast<std::size_t>(static_cast<const char*>(found) - text.data()) : std::string_view::npos;
}

std::size_t FindText(std::string_view text, std::string_view needle, std::size_t from)
{
    for (std::size_t at = FindByte(text, needle.front(), from); at != std::string_view::npos;
         at = FindByte(text, needle.front(), at + 1)) {
        if (text.substr(at, needle.size()) == needle)
            return at;
    }
    return std::string_view::npos;
}

bool HoldsAnyOf(std::string_view text, std::string_view bytes)
{
    for (const char c : text) {
        for (const char wanted : bytes) {
            if (c == wanted)
                return true;
        }
    }
    return false;
}

std::size_t SkipBlanks(std::string_view text, std::size_t at, std::size_t limit)
{
    while (at < limit && IsBlank(text[at]))
        ++at;
    return at;
}

std::size_t SkipBlanksBack(std::string_view text, std::size_t end, std::size_t floor)
{
    while (end > floor && IsBlank(text[end - 1]))
        --end;
    return end > floor ? end - 1 : std::string_view::npos;
}

std::optional<Literal> ReadLiteral(std::string_view text, std::size_t at, std::size_t limit)
{
    if (at >= limit || !IsQuote(text[at]))
        return std::nullopt;
    const char quote = text[at];
    for (std::size_t i = at + 1; i < limit; ++i) {
        const char c = text[i];
        if (c == '\\') {
            ++i;
        } else if (c == quote) {
            return Literal{text.substr(at + 1, i - at - 1), at, i + 1};
        } else if ((c == '\n' || c == '\r') && quote != '`') {
            return std::nullopt;
        }
    }
    return std::nullopt;
}

std::optional<Literal> ReadLiteralBackward(std::string_view text, std::size_t closeAt, std::size_t floor)
{
    if (closeAt >= text.size() || closeAt <= floor || !IsQuote(text[closeAt]))
        return std::nullopt;
    const char quote = text[closeAt];
    const char* const data = text.data();
    for (std::size_t end = closeAt; end > floor;) {
        const void* found = memrchr(data + floor, quote, end - floor);
        if (!found)
            return std::nullopt;
        const auto at = static_cast<std::size_t>(static_cast<const char*>(found) - data);
        std::size_t backslashes = 0;
        while (at - backslashes > floor && data[at - backslashes - 1] == '\\')
            ++backslashes;
        if (backslashes % 2 == 0) {
            const std::string_view body = text.substr(at + 1, closeAt - at - 1);
            if (quote != '`' && HoldsAnyOf(body, "\r\n"))
                return std::nullopt;
            return Literal{body, at, closeAt + 1};
        }
        end = at;
    }
    return std::nullopt;
}

std::optional<JoinedLiterals> ReadJoinedLiterals(std::string_view text, std::size_t at, std::size_t limit)
{
    JoinedLiterals joined;
    for (;;) {
        const std::optional<Literal> literal = ReadLiteral(text, SkipBlanks(text, at, limit), limit);
        if (!literal)
            return std::nullopt;
        joined.value += DecodeScriptEscapes(literal->body);
        joined.end = literal->end;
        const std::size_t next = SkipBlanks(text, literal->end, limit);
        if (next == limit || text[next] != '+')
            return joined;
        at = next + 1;
    }
}

std::size_t SkipBlanksAndComments(std::string_view text, std::size_t at, std::size_t limit)
{
    for (;;) {
        at = SkipBlanks(text, at, limit);
        if (at + 1 >= limit || text[at] != '/')
            return at;
        const std::string_view rest = text.substr(0, limit);
        std::size_t end = 0;
        if (text[at + 1] == '/') {
            end = rest.find_first_of("\r\n", at);
        } else if (text[at + 1] == '*') {
            const std::size_t close = rest.find("*/", at + 2);
            end = close == std::string_view::npos ? limit : close + 2;
        } else {
            return at;
        }
        at = std::min(end, limit);
    }
}

namespace {

// The offset after the literal, bracketed group or comment that starts at `at`, or after the byte there.
// A literal or group that does not close ends the reading at `limit`.
std::size_t PastToken(std::string_view text, std::size_t at, std::size_t limit)
{
    const char c = text[at];
    if (IsQuote(c)) {
        const std::optional<Literal> literal = ReadLiteral(text, at, limit);
        return literal ? literal->end : limit;
    }
    if (c == '(' || c == '[' || c == '{') {
        const Extent group = ClosingBracketEnd(text, at, limit);
        return group.closed ? group.end : limit;
    }
    if (c == '/')
        return std::max(SkipBlanksAndComments(text, at, limit), at + 1);
    return at + 1;
}

constexpr char ClosingOf(char open) { return open == '(' ? ')' : open == '[' ? ']' : '}'; }

} // namespace

Extent ClosingBracketEnd(std::string_view text, std::size_t openAt, std::size_t limit)
{
    // The brackets still open, innermost last.
    std::string open(1, text[openAt]);
    for (std::size_t at = openAt + 1; at < limit;) {
        const char c = text[at];
        if (IsQuote(c)) {
            const std::optional<Literal> literal = ReadLiteral(text, at, limit);
            if (!literal)
                return {at, false};
            at = literal->end;
        } else if (c == '/') {
            at = std::max(SkipBlanksAndComments(text, at, limit), at + 1);
        } else if (c == '(' || c == '[' || c == '{') {
            open += c;
            ++at;
        } else if (c == ')' || c == ']' || c == '}') {
            if (c != ClosingOf(open.back()))
                return {at, false};
            open.pop_back();
            ++at;
            if (open.empty())
                return {at, true};
        } else if (c == '<' && text.substr(at, 8) == "</script") {
            return {at, false}; // the script ended first
        } else {
            ++at;
        }
    }
    return {limit, false};
}

namespace {

// The items between the bracket at `openAt` and the one closing it just before `closeEnd`, split at
// the commas outside brackets, literals and comments.
std::vector<Span> ItemsBetween(std::string_view text, std::size_t openAt, std::size_t closeEnd)
{
    std::vector<Span> items;
    const std::size_t close = closeEnd - 1;
    std::size_t begin = SkipBlanksAndComments(text, openAt + 1, close);
    for (std::size_t at = begin;;) {
        if (at < close && text[at] != ',') {
            at = PastToken(text, at, close);
            continue;
        }
        const std::size_t last = SkipBlanksBack(text, std::min(at, close), begin);
        if (last != std::string_view::npos)
            items.push_back({begin, last + 1});
        if (at >= close)
            return items;
        begin = SkipBlanksAndComments(text, at + 1, close);
        at = begin;
    }
}

// A property "name: value" of an object literal: its name (unquoted, or a literal's body) and value.
struct NamedSpan {
    std::string_view name;
    Span value;
};

bool IsObjectSpan(std::string_view text, Span object)
{
    return object.end >= object.begin + 2 && text[object.begin] == '{' && text[object.end - 1] == '}';
}

std::vector<NamedSpan> Properties(std::string_view text, Span object)
{
    std::vector<NamedSpan> properties;
    if (!IsObjectSpan(text, object))
        return properties;
    for (const Span item : ItemsBetween(text, object.begin, object.end)) {
        std::string_view name;
        std::size_t at = item.begin;
        if (const std::optional<Literal> quoted = ReadLiteral(text, at, item.end)) {
            name = quoted->body;
            at = quoted->end;
        } else {
            name = DottedNameAt(text, at, item.end);
            at += name.size();
        }
        at = SkipBlanksAndComments(text, at, item.end);
        if (!name.empty() && at < item.end && text[at] == ':')
            properties.push_back({name, {SkipBlanksAndComments(text, at + 1, item.end), item.end}});
    }
    return properties;
}

} // namespace

Call ReadCall(std::string_view text, std::size_t openAt, std::size_t limit)
{
    Call call{{}, ClosingBracketEnd(text, openAt, limit)};
    if (call.extent.closed)
        call.arguments = ItemsBetween(text, openAt, call.extent.end);
    return call;
}

std::optional<Span> PropertyValue(std::string_view text, Span object, std::string_view name)
{
    for (const NamedSpan& property : Properties(text, object)) {
        if (property.name == name)
            return property.value;
    }
    return std::nullopt;
}

std::vector<Span> PropertyValues(std::string_view text, Span object)
{
    std::vector<Span> values;
    for (const NamedSpan& property : Properties(text, object))
        values.push_back(property.value);
    return values;
}

std::string_view DottedNameAt(std::string_view text, std::size_t at, std::size_t limit)
{
    if (at >= limit || !IsWordByte(text[at]) || (text[at] >= '0' && text[at] <= '9'))
        return {};
    std::size_t end = at;
    while (end < limit && (IsWordByte(text[end]) || (text[end] == '.' && end + 1 < limit && IsWordByte(text[end + 1]))))
        ++end;
    return text.substr(at, end - at);
}

std::string_view DottedNameBefore(std::string_view text, std::size_t end, std::size_t floor)
{
    std::size_t at = end;
    while (at > floor && (IsWordByte(text[at - 1]) || (text[at - 1] == '.' && at < end && IsWordByte(text[at]))))
        --at;
    // A name after a "." is a member of something else: "f().dir" is no variable.
    if (at == end || text[at] == '.' || (text[at] >= '0' && text[at] <= '9'))
        return {};
    return text.substr(at, end - at);
}

bool TagContext::InsideTag(std::size_t at)
{
    if (at <= m_askedAt)
        return m_insideTag;
    const char* const data = m_page.data();
    const std::size_t length = at - m_askedAt;
    const void* open = memrchr(data + m_askedAt, '<', length);
    const void* close = memrchr(data + m_askedAt, '>', length);
    if (open || close)
        m_insideTag = std::less<const void*>()(close, open);
    m_askedAt = at;
    return m_insideTag;
}

} // namespace html::script
