#include "html/script/SwfSuffixPass.h"

#include "html/MovieAddress.h"
#include "html/script/ScriptStrings.h"
#include "html/script/ScriptText.h"
#include "html/script/TextEscapes.h"

#include <algorithm>
#include <array>
#include <iterator>

namespace html::script {

namespace {

// A reference's raw text can be six times its address (every "/" written "\u002F").
constexpr std::size_t kRawReferenceLimit = 6 * kMaximumAddressLength;
// Escapes nest at most this deep: entity-written JSON holding a percent-encoded address.
constexpr int kEscapeLayers = 3;

constexpr std::array<bool, 256> MakeTable(std::string_view bytes, bool withBlanksAndControls)
{
    std::array<bool, 256> table{};
    if (withBlanksAndControls) {
        for (int c = 0; c <= 0x20; ++c)
            table[static_cast<std::size_t>(c)] = true;
    }
    for (const char c : bytes)
        table[static_cast<unsigned char>(c)] = true;
    return table;
}

// Bytes that end a value in the raw page. ";", "&", "\" and "%" are not among them: they belong to
// the escapes that are undone afterwards.
constexpr std::array<bool, 256> kRawStops = MakeTable("\"'`()<>=,{}[]|", true);
// Once escapes are undone, a ";" ends a value too.
constexpr std::array<bool, 256> kDecodedStops = MakeTable("\"'`()<>=,{}[]|;", true);
// What may follow ".swf" for it to end a name: the end of a value, a query or fragment, an escape.
constexpr std::array<bool, 256> kAfterSuffix = MakeTable("\"'`?#&;,)]}<>\\%|", true);

bool IsStop(const std::array<bool, 256>& table, char c) { return table[static_cast<unsigned char>(c)]; }

struct Value {
    std::string_view text;       // into the page, or into `made`
    std::string made;            // the text once escapes were undone
    char opening = 0;            // the byte before the value, once escapes are undone
    bool decoded = false;        // the opening came out of an escape: the value sits inside another string
    bool quotedByEntity = false; // that escape was a character reference ("&quot;")
};

// Undoes the escapes of a raw value layer by layer; each layer may show a quote or "=" that ends
// the value further right. Most values hold no escape and stay views into the page.
void Unescape(Value& value)
{
    for (int layer = 0; layer < kEscapeLayers; ++layer) {
        if (!HoldsAnyOf(value.text, "&\\%"))
            return;
        std::string decoded;
        bool references = false;
        if (value.text.find('&') != std::string_view::npos) {
            decoded = DecodeCharacterReferences(value.text);
            references = decoded != value.text;
        }
        if (!references) {
            if (value.text.find('\\') != std::string_view::npos)
                decoded = DecodeScriptEscapes(value.text);
            else if (HasEncodedAddress(value.text))
                decoded = DecodePercentEscapes(value.text);
            else
                return;
        }
        std::size_t stopAt = decoded.size();
        while (stopAt > 0 && !IsStop(kDecodedStops, decoded[stopAt - 1]))
            --stopAt;
        if (stopAt > 0) {
            value.opening = decoded[stopAt - 1];
            value.decoded = true;
            value.quotedByEntity = references;
            decoded.erase(0, stopAt);
        }
        value.made = std::move(decoded);
        value.text = value.made;
    }
}

class SwfSuffixPass {
public:
    SwfSuffixPass(std::string_view page, ScriptStrings& strings, const std::vector<std::size_t>& rebased,
                  ReferenceList& references, ReferenceList& notLinks)
        : m_page(page)
        , m_strings(strings)
        , m_rebased(rebased)
        , m_references(references)
        , m_notLinks(notLinks)
        , m_context(page)
    {}

    void Run()
    {
        const char* const data = m_page.data();
        const std::size_t n = m_page.size();
        for (std::size_t at = 0; at + 4 <= n;) {
            const std::size_t dotAt = FindByte(m_page, '.', at);
            if (dotAt == std::string_view::npos || dotAt + 4 > n)
                return;
            at = dotAt + 1;
            if (Lower(data[dotAt + 1]) != 's' || Lower(data[dotAt + 2]) != 'w' || Lower(data[dotAt + 3]) != 'f')
                continue;
            Visit(dotAt);
            at = dotAt + 4;
        }
    }

private:
    // One ".swf" at `dotAt`. Reads back no further than the previous ".swf", so that the walks of
    // all suffixes together read each byte once.
    void Visit(std::size_t dotAt)
    {
        const std::size_t end = dotAt + 4;
        const std::size_t floor = std::max(m_previousEnd, dotAt > kRawReferenceLimit ? dotAt - kRawReferenceLimit : 0);
        m_previousEnd = end;
        if (end < m_page.size() && !IsStop(kAfterSuffix, m_page[end]))
            return;
        std::size_t start = dotAt;
        while (start > floor && !IsStop(kRawStops, m_page[start - 1]))
            --start;
        if (start == 0 || !IsStop(kRawStops, m_page[start - 1]))
            return; // the walk ran into its bound: no whole value
        std::size_t openingAt = start - 1;
        if (IsBlank(m_page[openingAt])) {
            // A quoted name with blanks in it ("New Folder/a.swf"), closed right after its ".swf": a
            // path, or the value of an attribute that holds addresses (not a title or alt text).
            const std::size_t quoteAt = QuoteAcrossBlanks(openingAt, floor);
            if (quoteAt != std::string_view::npos && end < m_page.size() && m_page[end] == m_page[quoteAt]
                && (m_page.substr(quoteAt, end - quoteAt).find('/') != std::string_view::npos
                    || IsAddressAttributeValue(quoteAt, floor))) {
                openingAt = quoteAt;
                start = quoteAt + 1;
            }
        }
        Value value{m_page.substr(start, end - start), {}, m_page[openingAt]};
        Unescape(value);

        if (!value.decoded && IsBlank(value.opening)) {
            // An unquoted attribute value written after "= ".
            const std::size_t before = SkipBlanksBack(m_page, openingAt, floor);
            if (before == std::string_view::npos || m_page[before] != '=')
                return;
            value.opening = '=';
        }
        if (!IsQuote(value.opening) && value.opening != '=' && !IsElementTextAddress(value))
            return; // prose, a call's bare argument, a style's url(...)
        if (value.quotedByEntity && !m_context.InsideTag(start))
            return; // "&quot;" in text: a code sample shown on the page, not a value
        const bool rawQuote = !value.decoded && IsQuote(value.opening);
        const std::size_t beforeOpening = SkipBlanksBack(m_page, openingAt, floor);
        if (rawQuote && IsWordEnd(beforeOpening, floor))
            return; // a name quoted in prose: the movie is "intro.swf"
        if (rawQuote && !m_rebased.empty() && std::binary_search(m_rebased.begin(), m_rebased.end(), start))
            return; // a player's configuration puts it under another address
        const bool joined = beforeOpening != std::string_view::npos && m_page[beforeOpening] == '+';
        if (joined && rawQuote) {
            std::optional<std::string> prefix = m_strings.PrefixBefore(openingAt, floor);
            // Whatever address the piece seems to name on its own is wrong.
            AddNotLink(value);
            if (!prefix)
                return; // part of a string built with a variable whose value is unknown
            if (!prefix->empty()) {
                value.made = std::move(*prefix) + std::string(value.text);
                value.text = value.made;
            }
        }
        if (value.text.size() <= 4)
            return; // ".swf" alone names nothing
        // A page names a movie in its <param> and its <embed>: one reference is enough. The one added
        // last is the likeliest.
        for (std::size_t back = 1; back <= m_recent.size(); ++back) {
            if (value.text == m_recent[(m_nextRecent - back) % m_recent.size()])
                return;
        }
        if (value.made.empty())
            m_references.AddFromPage(value.text);
        else
            m_references.Add(std::move(value.made));
        m_recent[m_nextRecent++ % m_recent.size()] = m_references.All().back();
    }

    // The quote that opens a value holding blanks, walking back from the blank at `blankAt` over
    // bytes that are no stop or are blanks other than line breaks; npos when there is none.
    std::size_t QuoteAcrossBlanks(std::size_t blankAt, std::size_t floor) const
    {
        for (std::size_t at = blankAt; at > floor; --at) {
            const char c = m_page[at - 1];
            if (IsQuote(c))
                return at - 1;
            if (c == '\n' || c == '\r' || (IsStop(kRawStops, c) && c != ' ' && c != '\t'))
                return std::string_view::npos;
        }
        return std::string_view::npos;
    }

    // Whether the quote at `quoteAt` opens the value of src, data, value or href.
    bool IsAddressAttributeValue(std::size_t quoteAt, std::size_t floor) const
    {
        const std::size_t equalsAt = SkipBlanksBack(m_page, quoteAt, floor);
        if (equalsAt == std::string_view::npos || m_page[equalsAt] != '=')
            return false;
        const std::size_t nameEnd = SkipBlanksBack(m_page, equalsAt, floor);
        if (nameEnd == std::string_view::npos)
            return false;
        std::size_t nameAt = nameEnd + 1;
        while (nameAt > floor && IsWordByte(m_page[nameAt - 1]))
            --nameAt;
        const std::string_view name = m_page.substr(nameAt, nameEnd + 1 - nameAt);
        return EqualsIgnoringAsciiCase(name, "src") || EqualsIgnoringAsciiCase(name, "data")
            || EqualsIgnoringAsciiCase(name, "value") || EqualsIgnoringAsciiCase(name, "href");
    }

    // Whether the byte at `before` (the last before a quote, blanks aside) ends a word other than a
    // keyword: JavaScript and attributes put a value after punctuation, prose after a word.
    bool IsWordEnd(std::size_t before, std::size_t floor) const
    {
        if (before == std::string_view::npos || !IsWordByte(m_page[before]))
            return false;
        const std::string_view word = DottedNameBefore(m_page, before + 1, floor);
        static constexpr std::string_view kKeywords[] = {"return", "case", "in", "of", "typeof", "yield", "else"};
        return std::find(std::begin(kKeywords), std::end(kKeywords), word) == std::end(kKeywords);
    }

    // An absolute address that is the whole text of an element inside an escaped value: XML in a
    // FlashVars value, "%3Curl%3Ehttp%3A//host/a.swf%3C/url%3E".
    static bool IsElementTextAddress(const Value& value)
    {
        return value.decoded && value.opening == '>'
            && (StartsWithIgnoringAsciiCase(value.text, "http://")
                || StartsWithIgnoringAsciiCase(value.text, "https://"));
    }

    void AddNotLink(const Value& value)
    {
        if (!m_notLinks.All().empty() && m_notLinks.All().back() == value.text)
            return;
        if (value.made.empty())
            m_notLinks.AddFromPage(value.text);
        else
            m_notLinks.Add(value.made); // a copy: the value goes on
    }

    std::string_view m_page;
    ScriptStrings& m_strings;
    const std::vector<std::size_t>& m_rebased;
    ReferenceList& m_references;
    ReferenceList& m_notLinks;
    TagContext m_context;
    std::array<std::string_view, 4> m_recent; // the references added last (a power of two: the index wraps)
    std::size_t m_nextRecent = 0;
    std::size_t m_previousEnd = 0;
};

} // namespace

void CollectSwfSuffixValues(std::string_view pageText, ScriptStrings& strings, const std::vector<std::size_t>& rebased,
                            ReferenceList& references, ReferenceList& notLinks)
{
    SwfSuffixPass(pageText, strings, rebased, references, notLinks).Run();
}

} // namespace html::script
