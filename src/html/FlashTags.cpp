#include "html/FlashTags.h"

#include "html/ScriptText.h"
#include "html/TextEscapes.h"

#include <cstring>

namespace html {

namespace {

using namespace script;

constexpr std::string_view kFlashType = "application/x-shockwave-flash";
constexpr std::string_view kFlashClassId = "clsid:d27cdb6e-ae6d-11cf-96b8-444553540000";
// Nested objects deeper than this are taken as not Flash: real pages nest two.
constexpr std::size_t kObjectDepthLimit = 64;

struct Attribute {
    std::string_view name;
    std::string_view value;  // as written, character references not undone
};

struct Tag {
    std::vector<Attribute> attributes;
    std::size_t end = 0;  // offset after its ">", or the page's end
};

// The attributes of a tag whose name ends at `at`, read as an HTML tokenizer does.
void ReadAttributes(std::string_view page, std::size_t at, Tag& tag)
{
    tag.attributes.clear();
    const std::size_t n = page.size();
    for (;;) {
        while (at < n && (IsBlank(page[at]) || page[at] == '/'))
            ++at;
        if (at >= n || page[at] == '>')
            break;
        const std::size_t nameAt = at;
        while (at < n && !IsBlank(page[at]) && page[at] != '/' && page[at] != '>' && (page[at] != '=' || at == nameAt))
            ++at;
        Attribute attribute{page.substr(nameAt, at - nameAt), {}};
        at = SkipBlanks(page, at, n);
        if (at < n && page[at] == '=') {
            at = SkipBlanks(page, at + 1, n);
            if (at < n && (page[at] == '"' || page[at] == '\'')) {
                const char* close = static_cast<const char*>(std::memchr(page.data() + at + 1, page[at], n - at - 1));
                const std::size_t closeAt = close ? static_cast<std::size_t>(close - page.data()) : n;
                attribute.value = page.substr(at + 1, closeAt - at - 1);
                at = std::min(closeAt + 1, n);
            } else {
                const std::size_t valueAt = at;
                while (at < n && !IsBlank(page[at]) && page[at] != '>')
                    ++at;
                attribute.value = page.substr(valueAt, at - valueAt);
            }
        }
        tag.attributes.push_back(attribute);
    }
    tag.end = std::min(at + 1, n);
}

std::optional<std::string_view> AttributeValue(const Tag& tag, std::string_view lowerName)
{
    for (const Attribute& attribute : tag.attributes) {
        if (EqualsIgnoringCase(attribute.name, lowerName))
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
    const std::string decoded = Decoded(*value);
    std::string_view trimmed = decoded;
    while (!trimmed.empty() && IsBlank(trimmed.front()))
        trimmed.remove_prefix(1);
    while (!trimmed.empty() && IsBlank(trimmed.back()))
        trimmed.remove_suffix(1);
    return EqualsIgnoringCase(trimmed, lowerValue);
}

enum class TagName { kOther, kBase, kEmbed, kObject, kObjectEnd, kParam };

// The name of the tag whose "<" stands at `at`, and where it ends.
TagName NameAt(std::string_view page, std::size_t at, std::size_t& nameEnd)
{
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
    if (rest.empty())
        return TagName::kOther;
    const char first = Lower(rest.front());
    if (first != 'b' && first != 'e' && first != 'o' && first != '/' && first != 'p')
        return TagName::kOther;  // most tags are ruled out by their first byte
    for (const Known& known : kKnown) {
        if (StartsWithIgnoringCase(rest, known.name) &&
            (rest.size() == known.name.size() || IsBlank(rest[known.name.size()]) || rest[known.name.size()] == '/' ||
             rest[known.name.size()] == '>')) {
            nameEnd = at + 1 + known.name.size();
            return known.tag;
        }
    }
    return TagName::kOther;
}

class FlashTagPass {
public:
    explicit FlashTagPass(std::string_view page) : m_page(page) {}

    FlashTagFindings Run()
    {
        const char* const data = m_page.data();
        const std::size_t n = m_page.size();
        for (std::size_t at = 0; at < n;) {
            const void* open = std::memchr(data + at, '<', n - at);
            if (!open)
                break;
            const auto openAt = static_cast<std::size_t>(static_cast<const char*>(open) - data);
            std::size_t nameEnd = 0;
            const TagName name = NameAt(m_page, openAt, nameEnd);
            if (name == TagName::kOther) {
                at = openAt + 1;
                continue;
            }
            ReadAttributes(m_page, nameEnd, m_tag);
            Visit(name);
            at = m_tag.end;
        }
        return std::move(m_findings);
    }

private:
    void Add(std::optional<std::string_view> value)
    {
        if (value && !value->empty())
            m_findings.references.push_back(Decoded(*value));
    }

    void Visit(TagName name)
    {
        switch (name) {
        case TagName::kBase:
            if (!m_findings.baseHref) {
                if (const std::optional<std::string_view> href = AttributeValue(m_tag, "href"))
                    m_findings.baseHref = Decoded(*href);
            }
            break;
        case TagName::kEmbed:
            if (AttributeIs(m_tag, "type", kFlashType))
                Add(AttributeValue(m_tag, "src"));
            break;
        case TagName::kObject: {
            const bool typed = AttributeIs(m_tag, "type", kFlashType);
            if (typed)
                Add(AttributeValue(m_tag, "data"));
            if (m_objects.size() < kObjectDepthLimit)
                m_objects.push_back(typed || AttributeIs(m_tag, "classid", kFlashClassId));
            break;
        }
        case TagName::kObjectEnd:
            if (!m_objects.empty())
                m_objects.pop_back();
            break;
        case TagName::kParam:
            if (!m_objects.empty() && m_objects.back() &&
                (AttributeIs(m_tag, "name", "movie") || AttributeIs(m_tag, "name", "src")))
                Add(AttributeValue(m_tag, "value"));
            break;
        case TagName::kOther:
            break;
        }
    }

    std::string_view m_page;
    Tag m_tag;
    std::vector<bool> m_objects;  // for each open <object>: whether it plays Flash
    FlashTagFindings m_findings;
};

} // namespace

FlashTagFindings CollectFlashTags(std::string_view pageText) { return FlashTagPass(pageText).Run(); }

} // namespace html
