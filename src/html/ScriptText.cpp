#include "html/ScriptText.h"

#include "html/TextEscapes.h"

#include <cstring>

namespace html::script {

bool EqualsIgnoringCase(std::string_view text, std::string_view lowerCase)
{
    return text.size() == lowerCase.size() && StartsWithIgnoringCase(text, lowerCase);
}

bool StartsWithIgnoringCase(std::string_view text, std::string_view lowerCase)
{
    if (text.size() < lowerCase.size())
        return false;
    for (std::size_t i = 0; i < lowerCase.size(); ++i) {
        if (Lower(text[i]) != lowerCase[i])
            return false;
    }
    return true;
}

std::string LowerCased(std::string_view text)
{
    std::string lower(text);
    for (char& c : lower)
        c = Lower(c);
    return lower;
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
            if (quote != '`' && body.find_first_of("\r\n") != std::string_view::npos)
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
