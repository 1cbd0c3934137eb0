#include "html/script/EmbedCallPass.h"

#include "html/script/PlayerConfigs.h"
#include "html/script/ScriptStrings.h"
#include "html/script/ScriptText.h"

#include <array>
#include <optional>

namespace html::script {

namespace {

// A call's arguments are read no further than this; real calls take a few hundred bytes.
constexpr std::size_t kCallLimit = std::size_t{64} * 1024;
// Its arguments are counted up to this many (AC_FL_RunContent takes pairs, about 30 in practice).
constexpr std::size_t kArgumentLimit = 256;

// The bytes that end or nest an argument written as an expression.
constexpr std::array<bool, 256> MakeExpressionBytes()
{
    std::array<bool, 256> bytes{};
    for (const char c : std::string_view("\"'`<;{}()[],"))
        bytes[static_cast<unsigned char>(c)] = true;
    return bytes;
}
constexpr std::array<bool, 256> kExpressionBytes = MakeExpressionBytes();

struct Arguments {
    std::vector<std::optional<std::string>> values; // nullopt for an argument that is not a literal
    std::size_t end = 0;                            // where reading stopped
    bool closed = false;                            // the call's ")" was reached
};

// Reads the arguments of a call whose "(" stands at `openAt`. A part that stands for no known string
// is skipped up to the next "," or ")" of the call, nested brackets and literals included.
Arguments ReadArguments(std::string_view text, std::size_t openAt, ScriptStrings& strings)
{
    Arguments args;
    const std::size_t limit = std::min(text.size(), openAt + kCallLimit);
    std::size_t at = openAt + 1;
    while (args.values.size() < kArgumentLimit) {
        at = SkipBlanks(text, at, limit);
        if (at < limit && text[at] == ')' && args.values.empty()) {
            args.closed = true;
            args.end = at + 1;
            return args;
        }
        std::optional<std::string> value;
        if (const std::optional<JoinedLiterals> joined = strings.Read(at, limit)) {
            const std::size_t next = SkipBlanks(text, joined->end, limit);
            if (next < limit && (text[next] == ',' || text[next] == ')')) {
                value = joined->value;
                at = next;
            }
        }
        if (!value) {
            // Skip an argument that is an expression; most of its bytes matter to no one.
            int depth = 0;
            while (at < limit) {
                while (at < limit && !kExpressionBytes[static_cast<unsigned char>(text[at])])
                    ++at;
                if (at == limit)
                    break;
                const char c = text[at];
                if (IsQuote(c)) {
                    const std::optional<Literal> literal = ReadLiteral(text, at, limit);
                    if (!literal)
                        break;
                    at = literal->end;
                    continue;
                }
                if (c == '<' || c == ';' || c == '{' || c == '}')
                    break; // not inside a call's arguments any more
                if (c == '(' || c == '[')
                    ++depth;
                else if ((c == ')' || c == ']') && depth > 0)
                    --depth;
                else if ((c == ',' || c == ')') && depth == 0)
                    break;
                ++at;
            }
        }
        args.values.push_back(std::move(value));
        if (at >= limit || (text[at] != ',' && text[at] != ')')) {
            args.end = std::max(at, openAt + 1);
            return args;
        }
        if (text[at] == ')') {
            args.closed = true;
            args.end = at + 1;
            return args;
        }
        ++at;
    }
    args.end = at;
    return args;
}

bool NamesFlash(std::string_view value)
{
    for (std::size_t at = 0; at < value.size(); ++at) {
        const std::string_view rest = value.substr(at);
        if (StartsWithIgnoringAsciiCase(rest, "x-shockwave-flash")
            || StartsWithIgnoringAsciiCase(rest, "d27cdb6e-ae6d-11cf-96b8-444553540000"))
            return true;
    }
    return false;
}

// AC_FL_RunContent('width', '550', ..., 'movie', 'intro'): the values of "movie" and "src".
void AddRunContentMovies(const Arguments& args, bool flashCall, ReferenceList& references)
{
    bool namesFlash = flashCall;
    for (const std::optional<std::string>& value : args.values)
        namesFlash = namesFlash || (value && NamesFlash(*value));
    if (!namesFlash)
        return;
    for (std::size_t i = 0; i + 1 < args.values.size(); i += 2) {
        const std::optional<std::string>& key = args.values[i];
        const std::optional<std::string>& value = args.values[i + 1];
        if (!key || !value || value->empty()
            || !(EqualsIgnoringAsciiCase(*key, "movie") || EqualsIgnoringAsciiCase(*key, "src")))
            continue;
        references.Add(flashCall ? WithMovieExtension(*value) : *value);
    }
}

// Blanks looked back over between a call's name and its "(".
constexpr std::size_t kBlanksBeforeCall = 16;

class EmbedCallPass {
public:
    EmbedCallPass(std::string_view page, ScriptStrings& strings, ReferenceList& references,
                  std::vector<std::size_t>& rebased)
        : m_page(page)
        , m_strings(strings)
        , m_references(references)
        , m_rebased(rebased)
    {}

    // Calls are found by their "(", which pages hold fewer of than the capitals of "SWF" and
    // "RunContent" together, and each call's arguments, once read, are not searched again: the walk
    // reads the page once.
    void Run()
    {
        for (std::size_t at = FindByte(m_page, '(', 0); at != std::string_view::npos; at = FindByte(m_page, '(', at))
            at = Visit(at);
    }

private:
    // The call whose "(" is at `openAt`; returns where the walk goes on.
    std::size_t Visit(std::size_t openAt)
    {
        const std::size_t last =
            SkipBlanksBack(m_page, openAt, openAt > kBlanksBeforeCall ? openAt - kBlanksBeforeCall : 0);
        if (last == std::string_view::npos || !IsWordByte(m_page[last]))
            return openAt + 1;
        std::size_t nameAt = last + 1;
        while (nameAt > 0 && IsWordByte(m_page[nameAt - 1]))
            --nameAt;
        const std::string_view name = m_page.substr(nameAt, last + 1 - nameAt);
        if (name.ends_with("RunContent")) {
            const bool flashCall = name.ends_with("AC_FL_RunContent");
            if (!flashCall && !name.ends_with("AC_RunContent"))
                return openAt + 1;
            const Arguments args = ReadArguments(m_page, openAt, m_strings);
            AddRunContentMovies(args, flashCall, m_references);
            return args.end;
        }
        // The older FlashObject is left to the pass over ".swf": its movies kept the suffix.
        if (name.ends_with("embedSWF") || name.ends_with("SWFObject")) {
            const Arguments args = ReadArguments(m_page, openAt, m_strings);
            if (!args.values.empty() && args.values.front() && !args.values.front()->empty())
                m_references.Add(*args.values.front());
            return args.end;
        }
        if (EqualsIgnoringAsciiCase(name, "flowplayer") || name == "$f")
            return ReadFlowplayerCall(m_page, openAt, m_strings, m_references, m_rebased);
        if (EqualsIgnoringAsciiCase(name, "mediaelementplayer"))
            return ReadMediaElementCall(m_page, openAt, m_strings, m_references, m_rebased);
        return openAt + 1;
    }

    std::string_view m_page;
    ScriptStrings& m_strings;
    ReferenceList& m_references;
    std::vector<std::size_t>& m_rebased;
};

} // namespace

std::string WithMovieExtension(std::string_view movie)
{
    std::string named(movie);
    named.insert(std::min(named.find('?'), named.size()), ".swf");
    return named;
}

void CollectEmbedCallMovies(std::string_view pageText, ScriptStrings& strings, ReferenceList& references,
                            std::vector<std::size_t>& rebased)
{
    EmbedCallPass(pageText, strings, references, rebased).Run();
}

} // namespace html::script
