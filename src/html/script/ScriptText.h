#pragma once
// Small readers of script text shared by the script finder's passes: blanks, string literals and
// literals joined with "+". Every reader stays inside the bounds it is given, so that each pass can
// keep the stretches it reads apart and stay linear in the page's length.
#include "platform/Bytes.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace html::script {

inline bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }
inline bool IsQuote(char c) { return c == '"' || c == '\'' || c == '`'; }
inline char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }
inline bool IsWordByte(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '$';
}

// The first `c` at or after `from`; npos when none. Looks at the next bytes itself before it calls
// memchr, whose call costs more than a short look when the byte is dense (a page of one byte repeated).
std::size_t FindByte(std::string_view text, char c, std::size_t from);

// The first `needle` at or after `from`, found through its first byte with FindByte; npos when none.
std::size_t FindText(std::string_view text, std::string_view needle, std::size_t from);

// True when `text` holds any of the few `bytes`. std::string_view::find_first_of calls memchr for
// every byte of the text, which costs more than the values it is asked about.
bool HoldsAnyOf(std::string_view text, std::string_view bytes);

using platform::EqualsIgnoringAsciiCase;
using platform::StartsWithIgnoringAsciiCase;

// The first offset at or after `at` (and before `limit`) that is not a blank; `limit` when none.
std::size_t SkipBlanks(std::string_view text, std::size_t at, std::size_t limit);

// The last offset before `end` (and at or after `floor`) that is not a blank; npos when none.
std::size_t SkipBlanksBack(std::string_view text, std::size_t end, std::size_t floor);

struct Literal {
    std::string_view body; // between the quotes, escapes not undone
    std::size_t begin = 0; // offset of the opening quote
    std::size_t end = 0;   // offset just after the closing quote
};

// The literal whose opening quote stands at `at`, if it closes before `limit` and no line break
// stands inside a quoted (not back-quoted) literal.
std::optional<Literal> ReadLiteral(std::string_view text, std::size_t at, std::size_t limit);

// The literal whose closing quote stands at `closeAt`, if it opens at or after `floor`.
std::optional<Literal> ReadLiteralBackward(std::string_view text, std::size_t closeAt, std::size_t floor);

// A string written as literals joined with "+", starting at `at`: the joined bodies with script
// escapes undone, and the offset after the last literal. Empty when anything but a literal is joined.
struct JoinedLiterals {
    std::string value;
    std::size_t end = 0;
};
std::optional<JoinedLiterals> ReadJoinedLiterals(std::string_view text, std::size_t at, std::size_t limit);

} // namespace html::script
