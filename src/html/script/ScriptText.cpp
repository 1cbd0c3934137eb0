#include "html/script/ScriptText.h"

#include "html/script/TextEscapes.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>

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

} // namespace html::script
