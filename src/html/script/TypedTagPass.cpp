#include "html/script/TypedTagPass.h"

#include "html/MovieAddress.h"
#include "html/script/ScriptText.h"
#include "html/script/TagAttributes.h"
#include "html/script/TextEscapes.h"

#include <cstring>

namespace html::script {

namespace {

constexpr std::string_view kFlashType = "application/x-shockwave-flash";
constexpr std::string_view kFlashClassId = "clsid:d27cdb6e-ae6d-11cf-96b8-444553540000";

struct Tag {
    std::vector<TagAttribute> attributes;
    std::size_t end = 0; // offset after its ">", or the page's end
};

// The attributes of a tag whose name ends at `at`.
void ReadAttributes(std::string_view page, std::size_t at, Tag& tag)
{
    tag.end = ReadTagAttributes(page, at, tag.attributes);
}

std::optional<std::string_view> AttributeValue(const Tag& tag, std::string_view lowerName)
{
    for (const TagAttribute& attribute : tag.attributes) {
        if (attribute.name.size() == lowerName.size() && Lower(attribute.name.front()) == lowerName.front()
            && EqualsIgnoringAsciiCase(attribute.name, lowerName))
            return attribute.value;
    }
    return std::nullopt;
}

std::string Decoded(std::string_view value) { return DecodeCharacterReferences(value); }

bool AttributeIs(const Tag& tag, std::string_view lowerName, std::string_view lowerValue)
{
    const std::optional<std::string_view> value = AttributeValue(tag, lowerName);
    if (!value)
        return false;
    // Values are short and rarely hold a reference: decode only when one may be there.
    const std::string decoded = value->find('&') == std::string_view::npos ? std::string() : Decoded(*value);
    std::string_view trimmed = decoded.empty() ? *value : std::string_view(decoded);
    while (!trimmed.empty() && IsBlank(trimmed.front()))
        trimmed.remove_prefix(1);
    while (!trimmed.empty() && IsBlank(trimmed.back()))
        trimmed.remove_suffix(1);
    return EqualsIgnoringAsciiCase(trimmed, lowerValue);
}

enum class TagName { kOther, kBase, kEmbed, kObject, kObjectEnd, kParam };

// The two bytes after "<" of the tags looked at, in lower case, as one number.
constexpr unsigned TagKey(char first, char second)
{
    return static_cast<unsigned>(static_cast<unsigned char>(first)) << 8 | static_cast<unsigned char>(second);
}

// The name of the tag whose "<" stands at `at`, and where it ends. The first two bytes rule out
// nearly every other tag with one well-predicted test.
TagName NameAt(std::string_view page, std::size_t at, std::size_t& nameEnd)
{
    if (at + 2 >= page.size())
        return TagName::kOther;
    const unsigned key = TagKey(Lower(page[at + 1]), Lower(page[at + 2]));
    if (key != TagKey('b', 'a') && key != TagKey('e', 'm') && key != TagKey('o', 'b') && key != TagKey('p', 'a')
        && key != TagKey('/', 'o'))
        return TagName::kOther;
    struct Known {
        std::string_view name;
        TagName tag;
    };
    static constexpr Known kKnown[] = {{"base", TagName::kBase},
                                       {"embed", TagName::kEmbed},
                                       {"object", TagName::kObject},
                                       {"/object", TagName::kObjectEnd},
                                       {"param", TagName::kParam}};
    const std::string_view rest = page.substr(at + 1);
    for (const Known& known : kKnown) {
        if (!StartsWithIgnoringAsciiCase(rest, known.name))
            continue;
        if (rest.size() > known.name.size()) {
            const char after = rest[known.name.size()];
            if (!IsBlank(after) && after != '/' && after != '>')
                return TagName::kOther;
        }
        nameEnd = at + 1 + known.name.size();
        return known.tag;
    }
    return TagName::kOther;
}

class TypedTagPass {
public:
    explicit TypedTagPass(std::string_view page) : m_page(page) {}

    TypedTagFindings Run()
    {
        FindBase();
        // A Flash tag names its type or class id: look for those, not at every tag of the page.
        // Their first bytes ("x" of the type, ":" of "clsid:") are rare in pages, so the searches
        // seldom stop; the type's "x" is taken in lower case only, as pages write it. The two are
        // taken in page order, so that a tag or object read once is not read again.
        constexpr char kFirsts[] = {'x', ':'};
        std::size_t next[2];
        for (std::size_t i = 0; i < 2; ++i)
            next[i] = FindByte(m_page, kFirsts[i], 0);
        for (;;) {
            const std::size_t which = next[1] < next[0] ? 1 : 0;
            const std::size_t at = next[which];
            if (at == std::string_view::npos)
                break;
            if (at >= m_done) {
                // One byte rules out most stops before the whole name is compared.
                const std::string_view rest = m_page.substr(at);
                const bool classId = kFirsts[which] == ':';
                if (rest.size() > 1 && (classId ? Lower(rest[1]) == 'd' : rest[1] == '-')
                    && (classId ? StartsWithIgnoringAsciiCase(rest, kFlashClassId.substr(5))
                                : StartsWithIgnoringAsciiCase(rest, kFlashType.substr(12))))
                    VisitTagAround(at);
            }
            next[which] = FindByte(m_page, kFirsts[which], std::max(at + 1, m_done));
        }
        return std::move(m_findings);
    }

private:
    // The first <base> with an href, looked for in the head only: pages put it there, and walking
    // every tag of the body would cost more than all the rest of the script finder.
    void FindBase()
    {
        for (std::size_t at = FindByte(m_page, '<', 0); at != std::string_view::npos;
             at = FindByte(m_page, '<', at + 1)) {
            // One byte rules out most tags: only <base>, <body> and </head> matter here.
            const char first = at + 1 < m_page.size() ? Lower(m_page[at + 1]) : '\0';
            if (first != 'b' && first != '/')
                continue;
            const std::string_view rest = m_page.substr(at + 1);
            if (StartsWithIgnoringAsciiCase(rest, "body") || StartsWithIgnoringAsciiCase(rest, "/head"))
                return;
            std::size_t nameEnd = 0;
            if (first != 'b' || NameAt(m_page, at, nameEnd) != TagName::kBase)
                continue;
            ReadAttributes(m_page, nameEnd, m_tag);
            at = m_tag.end - 1;
            if (const std::optional<std::string_view> href = AttributeValue(m_tag, "href")) {
                m_findings.baseHref = Decoded(*href);
                return;
            }
        }
    }

    // The type or class id at `at` belongs to a Flash <embed> or <object> when the tag around it is
    // one; an object's params are read up to its "</object>".
    void VisitTagAround(std::size_t at)
    {
        const char* const data = m_page.data();
        const void* open = memrchr(data + m_done, '<', at - m_done);
        m_done = at;
        if (!open)
            return;
        const auto openAt = static_cast<std::size_t>(static_cast<const char*>(open) - data);
        std::size_t nameEnd = 0;
        const TagName name = NameAt(m_page, openAt, nameEnd);
        if (name != TagName::kEmbed && name != TagName::kObject)
            return;
        if (name == TagName::kEmbed) {
            if (const std::size_t swfEnd = SwfInTag(openAt); swfEnd != std::string_view::npos) {
                m_done = std::max(at + 1, swfEnd);
                return;
            }
        }
        ReadAttributes(m_page, nameEnd, m_tag);
        if (m_tag.end <= at)
            return; // the tag closed before the type: it was text after the tag
        std::size_t next = m_tag.end;
        if (name == TagName::kEmbed) {
            if (AttributeIs(m_tag, "type", kFlashType))
                Add(AttributeValue(m_tag, "src"));
        } else {
            // Found by its type, or by its class id.
            const bool typed = AttributeIs(m_tag, "type", kFlashType);
            if (typed)
                Add(AttributeValue(m_tag, "data"));
            if (typed || m_page[at] == ':')
                next = ReadObjectContent(next);
        }
        m_done = std::max(m_done, next);
    }

    // An object's movie is its first <param> named "movie" or "src"; objects and embeds nested in it
    // name theirs by type. Reads from `at`, after the object's tag, to the object's end, and returns
    // where it stopped.
    std::size_t ReadObjectContent(std::size_t at)
    {
        std::size_t depth = 1;
        bool movieFound = false;
        for (;;) {
            const std::size_t tagAt = FindByte(m_page, '<', at);
            if (tagAt == std::string_view::npos)
                return m_page.size();
            std::size_t nameEnd = 0;
            const TagName inner = NameAt(m_page, tagAt, nameEnd);
            at = tagAt + 1;
            if (inner == TagName::kObjectEnd) {
                if (--depth == 0)
                    return at;
                continue;
            }
            if (inner == TagName::kOther || inner == TagName::kBase)
                continue;
            if (inner == TagName::kObject)
                ++depth;
            // What names a ".swf" is left to the pass over ".swf"; a param doing so is most
            // likely the movie.
            if (inner == TagName::kParam && movieFound)
                continue;
            if (inner != TagName::kObject) {
                if (const std::size_t swfEnd = SwfInTag(tagAt); swfEnd != std::string_view::npos) {
                    movieFound = movieFound || inner == TagName::kParam;
                    at = swfEnd;
                    continue;
                }
            }
            ReadAttributes(m_page, nameEnd, m_tag);
            at = m_tag.end;
            if (inner == TagName::kParam) {
                if (AttributeIs(m_tag, "name", "movie") || AttributeIs(m_tag, "name", "src")) {
                    Add(AttributeValue(m_tag, "value"));
                    movieFound = true;
                }
            } else if (AttributeIs(m_tag, "type", kFlashType)) {
                Add(AttributeValue(m_tag, inner == TagName::kObject ? "data" : "src"));
            }
        }
    }

    // Where the ".swf" ends that the tag opened at `at` holds before its first ">", or npos: a movie
    // it names so is left to the pass over the page's ".swf", and the tag is not read here. The caller
    // goes on from there, never walking the same stretch twice.
    std::size_t SwfInTag(std::size_t at) const
    {
        // Tags are short: one walk looks for both, without a call per byte searched.
        const std::size_t n = m_page.size();
        for (std::size_t i = at; i < n && m_page[i] != '>'; ++i) {
            if (m_page[i] == '.' && m_page.substr(i, 4) == ".swf")
                return i + 4;
        }
        return std::string_view::npos;
    }

    void Add(std::optional<std::string_view> value)
    {
        // A value naming a ".swf" is left to the pass over the page's ".swf", which reads it the same.
        if (value && !value->empty() && !HasMoviePath(*value)) {
            if (value->find('&') == std::string_view::npos)
                m_findings.references.AddFromPage(*value);
            else
                m_findings.references.Add(Decoded(*value));
        }
    }

    std::string_view m_page;
    Tag m_tag;
    std::size_t m_done = 0; // the search for the current anchor has read up to here
    TypedTagFindings m_findings;
};

} // namespace

TypedTagFindings CollectTypedTags(std::string_view pageText) { return TypedTagPass(pageText).Run(); }

} // namespace html::script
