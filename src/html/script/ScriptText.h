#pragma once
// Small readers of script text shared by the script finder's passes: blanks, comments, string
// literals, literals joined with "+", names, calls and object literals. Every reader stays inside the bounds it is
// given, so that each pass can keep the stretches it reads apart and stay linear in the page's length.
#include "platform/Bytes.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

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

// The offset after the blanks and comments ("//" to the line's end, "/*" to its "*/") at `at`.
std::size_t SkipBlanksAndComments(std::string_view text, std::size_t at, std::size_t limit);

// How far the group opened by the "(", "[" or "{" at `openAt` reaches, nested brackets, literals and
// comments passed over: just after its closing bracket, or where reading stopped (a bracket that
// does not match, a literal or script that ends first, `limit`), so that a caller never reads a
// stretch twice.
struct Extent {
    std::size_t end = 0;
    bool closed = false;
};
Extent ClosingBracketEnd(std::string_view text, std::size_t openAt, std::size_t limit);

// One argument of a call, or one value of an object's property: [begin, end) without blanks around.
struct Span {
    std::size_t begin = 0;
    std::size_t end = 0;
};

// The arguments of the call whose "(" stands at `openAt` (none when it does not close before `limit`),
// and where reading it stopped.
struct Call {
    std::vector<Span> arguments;
    Extent extent;
};
Call ReadCall(std::string_view text, std::size_t openAt, std::size_t limit);

// The value of the property `name` of an object literal (one of its own properties, not of an object
// inside it); nullopt when it has none. `object` runs from its "{" to just after its "}", as the
// arguments of ReadCall and the values found here do; any other span has no properties.
std::optional<Span> PropertyValue(std::string_view text, Span object, std::string_view name);

// The values of all the object's own properties, in order.
std::vector<Span> PropertyValues(std::string_view text, Span object);

// The dotted name ("window.location.host") that starts at `at`, or ends just before `end`; empty when
// none is written there.
std::string_view DottedNameAt(std::string_view text, std::size_t at, std::size_t limit);
std::string_view DottedNameBefore(std::string_view text, std::size_t end, std::size_t floor);

// Whether offsets of a page lie inside a tag rather than in text or script: the nearer of "<" and ">"
// before them. Asked at increasing offsets, it reads each byte once; an offset below the last one
// asked gets the last answer.
class TagContext {
public:
    explicit TagContext(std::string_view page) : m_page(page) {}
    bool InsideTag(std::size_t at);

private:
    std::string_view m_page;
    std::size_t m_askedAt = 0;
    bool m_insideTag = false;
};

} // namespace html::script
