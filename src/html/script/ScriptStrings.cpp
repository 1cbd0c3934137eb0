#include "html/script/ScriptStrings.h"

#include "html/script/TextEscapes.h"

namespace html::script {

namespace {

// Parts looked at in front of a value; a longer chain is taken for code, not an address.
constexpr std::size_t kJoinedPartLimit = 16;
// How far an assigned literal is read; a value longer than this names no movie folder.
constexpr std::size_t kAssignedValueLimit = 4096;

// Whether the name before a "=" at these bytes begins a statement ("var a =", "; a =", "{ a ="): not a
// property ("o.a ="), a query ("?a=") or an attribute after another ("x='1' a=").
bool StartsStatement(std::string_view page, std::size_t nameAt)
{
    std::size_t at = nameAt;
    while (at > 0 && (page[at - 1] == ' ' || page[at - 1] == '\t'))
        --at;
    if (at == 0)
        return true;
    const char before = page[at - 1];
    if (before == '\n' || before == '\r' || before == ';' || before == '{' || before == '}' || before == '('
        || before == ',' || before == ')')
        return true;
    const std::string_view keyword = DottedNameBefore(page, at, at > 8 ? at - 8 : 0);
    return keyword == "var" || keyword == "let" || keyword == "const" || keyword == "else";
}

// Whether the script's expression ends at `at`: what may follow a plain literal value, a comment included.
bool EndsExpression(std::string_view page, std::size_t at)
{
    if (at >= page.size())
        return true;
    const char c = page[at];
    return c == ';' || c == ',' || c == ')' || c == '}' || c == '\n' || c == '\r' || c == '<'
        || (c == '/' && at + 1 < page.size() && (page[at + 1] == '/' || page[at + 1] == '*'));
}

} // namespace

ScriptStrings::ScriptStrings(std::string_view page, std::string_view pageAddress) : m_page(page)
{
    const std::size_t schemeEnd = pageAddress.find("://");
    if (schemeEnd == std::string_view::npos || schemeEnd == 0)
        return;
    m_scheme = pageAddress.substr(0, schemeEnd);
    std::string_view authority = pageAddress.substr(schemeEnd + 3);
    authority = authority.substr(0, authority.find_first_of("/?#"));
    if (const std::size_t atSign = authority.rfind('@'); atSign != std::string_view::npos)
        authority.remove_prefix(atSign + 1);
    m_host = authority;
    const std::size_t portAt = authority.starts_with('[') ? authority.find("]:") : authority.rfind(':');
    m_hostname = authority.substr(
        0, portAt == std::string_view::npos ? authority.size() : portAt + (authority.starts_with('[') ? 1 : 0));
}

std::optional<std::string> ScriptStrings::LocationPart(std::string_view name) const
{
    bool inDocument = false;
    if (name.starts_with("window."))
        name.remove_prefix(7);
    if (name.starts_with("document.")) {
        name.remove_prefix(9);
        inDocument = true;
    }
    if (m_scheme.empty())
        return std::nullopt;
    if (name == "location.host")
        return m_host;
    if (name == "location.hostname" || (inDocument && name == "domain"))
        return m_hostname;
    if (name == "location.protocol")
        return m_scheme + ":";
    if (name == "location.origin")
        return m_scheme + "://" + m_host;
    return std::nullopt;
}

std::optional<std::string> ScriptStrings::ValueOf(std::string_view name)
{
    if (std::optional<std::string> location = LocationPart(name))
        return location;
    if (name.find('.') != std::string_view::npos)
        return std::nullopt;
    if (!m_assignmentsRead)
        ReadAssignments();
    const auto found = m_assigned.find(name);
    return found == m_assigned.end() ? std::nullopt : found->second;
}

void ScriptStrings::ReadAssignments()
{
    m_assignmentsRead = true;
    TagContext context(m_page);
    const std::size_t n = m_page.size();
    for (std::size_t at = FindByte(m_page, '=', 0); at != std::string_view::npos; at = FindByte(m_page, '=', at + 1)) {
        if (at + 1 < n && (m_page[at + 1] == '=' || m_page[at + 1] == '>')) {
            ++at; // "==", "===" or "=>"
            continue;
        }
        const char before = at > 0 ? m_page[at - 1] : '\0';
        if (before == '!' || before == '<' || before == '>')
            continue;
        const bool compound = before != '\0' && std::string_view("+-*/%&|^").find(before) != std::string_view::npos;
        const std::size_t nameEnd = SkipBlanksBack(m_page, compound ? at - 1 : at, 0);
        if (nameEnd == std::string_view::npos)
            continue;
        const std::string_view name = DottedNameBefore(m_page, nameEnd + 1, 0);
        if (name.empty() || name.find('.') != std::string_view::npos)
            continue;
        const auto nameAt = static_cast<std::size_t>(name.data() - m_page.data());
        if (context.InsideTag(nameAt) || !StartsStatement(m_page, nameAt))
            continue;
        std::optional<std::string> value;
        if (!compound) {
            const std::optional<JoinedLiterals> literal =
                ReadJoinedLiterals(m_page, at + 1, std::min(n, at + 1 + kAssignedValueLimit));
            if (literal && EndsExpression(m_page, SkipBlanks(m_page, literal->end, n)))
                value = literal->value;
        }
        if (const auto entry = m_assigned.find(name); entry != m_assigned.end()) {
            if (entry->second != value)
                entry->second = std::nullopt;
        } else {
            m_assigned.emplace(std::string(name), std::move(value));
        }
    }
}

std::optional<JoinedLiterals> ScriptStrings::Read(std::size_t at, std::size_t limit)
{
    JoinedLiterals joined;
    for (std::size_t parts = 0; parts < kJoinedPartLimit; ++parts) {
        at = SkipBlanks(m_page, at, limit);
        if (const std::optional<Literal> literal = ReadLiteral(m_page, at, limit)) {
            joined.value += DecodeScriptEscapes(literal->body);
            joined.end = literal->end;
        } else {
            const std::string_view name = DottedNameAt(m_page, at, limit);
            const std::size_t after = SkipBlanks(m_page, at + name.size(), limit);
            if (name.empty() || (after < limit && (m_page[after] == '(' || m_page[after] == '[')))
                return std::nullopt;
            std::optional<std::string> value = ValueOf(name);
            if (!value)
                return std::nullopt;
            joined.value += *value;
            joined.end = at + name.size();
        }
        const std::size_t next = SkipBlanks(m_page, joined.end, limit);
        if (next == limit || m_page[next] != '+')
            return joined;
        at = next + 1;
    }
    return std::nullopt;
}

std::optional<std::string> ScriptStrings::PrefixBefore(std::size_t quoteAt, std::size_t floor)
{
    // Read from right to left: each part goes in front of those read before it.
    std::string prefix;
    std::size_t at = SkipBlanksBack(m_page, quoteAt, floor);
    for (std::size_t count = 0; at != std::string_view::npos && m_page[at] == '+'; ++count) {
        const std::size_t lastAt = SkipBlanksBack(m_page, at, floor);
        if (lastAt == std::string_view::npos || count == kJoinedPartLimit)
            return std::nullopt;
        std::size_t partAt = 0;
        if (const std::optional<Literal> literal = ReadLiteralBackward(m_page, lastAt, floor)) {
            prefix.insert(0,
                          literal->body.find('\\') == std::string_view::npos ? std::string(literal->body)
                                                                             : DecodeScriptEscapes(literal->body));
            partAt = literal->begin;
        } else {
            const std::string_view name = DottedNameBefore(m_page, lastAt + 1, floor);
            const std::optional<std::string> value = name.empty() ? std::nullopt : ValueOf(name);
            if (!value)
                return std::nullopt;
            prefix.insert(0, *value);
            partAt = static_cast<std::size_t>(name.data() - m_page.data());
        }
        at = SkipBlanksBack(m_page, partAt, floor);
    }
    return prefix;
}

} // namespace html::script
