#include "html/script/ReferenceResolution.h"

#include "platform/Bytes.h"

#include <algorithm>

namespace html::script {

namespace {

bool IsAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

struct Components {
    std::string_view scheme;
    std::string_view authority;
    std::string_view path;
    std::string_view query;
    std::string_view fragment;
    bool hasScheme = false;
    bool hasAuthority = false;
    bool hasQuery = false;
    bool hasFragment = false;
};

// The split of RFC 3986, appendix B; a scheme must also be well formed to count as one. One walk
// finds the first ":", "/", "?" and "#".
Components Split(std::string_view text)
{
    Components parts;
    std::size_t colonAt = std::string_view::npos;
    std::size_t questionAt = std::string_view::npos;
    std::size_t hashAt = text.size();
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '#') {
            hashAt = i;
            break;
        }
        if (c == '?' && questionAt == std::string_view::npos)
            questionAt = i;
        else if (c == ':' && colonAt == std::string_view::npos && questionAt == std::string_view::npos)
            colonAt = i;
        else if (c == '/' && colonAt == std::string_view::npos)
            colonAt = 0; // a "/" before any ":": no scheme
    }
    if (hashAt < text.size()) {
        parts.fragment = text.substr(hashAt + 1);
        parts.hasFragment = true;
        text = text.substr(0, hashAt);
    }
    if (questionAt != std::string_view::npos) {
        parts.query = text.substr(questionAt + 1);
        parts.hasQuery = true;
        text = text.substr(0, questionAt);
    }
    if (colonAt != std::string_view::npos && colonAt > 0 && IsAlpha(text[0])) {
        bool wellFormed = true;
        for (std::size_t i = 1; i < colonAt && wellFormed; ++i) {
            const char c = text[i];
            wellFormed = IsAlpha(c) || IsDigit(c) || c == '+' || c == '-' || c == '.';
        }
        if (wellFormed) {
            parts.scheme = text.substr(0, colonAt);
            parts.hasScheme = true;
            text = text.substr(colonAt + 1);
        }
    }
    if (text.starts_with("//")) {
        const std::size_t end = text.find('/', 2);
        parts.authority = text.substr(2, end == std::string_view::npos ? std::string_view::npos : end - 2);
        parts.hasAuthority = true;
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end);
    }
    parts.path = text;
    return parts;
}

// The blanks HTML drops around an attribute's address.
constexpr std::string_view kHtmlBlanks = " \t\n\r\f";

// Drops the last segment of what was appended to `output` after `floor`, with its "/".
void RemoveLastSegment(std::string& output, std::size_t floor)
{
    const std::size_t slashAt = output.rfind('/');
    output.resize(slashAt == std::string::npos || slashAt < floor ? floor : slashAt);
}

// RFC 3986's remove_dot_segments, its output appended to `output`.
void AppendWithoutDotSegments(std::string& output, std::string_view input)
{
    const std::size_t floor = output.size();
    while (!input.empty()) {
        if (input.starts_with("../")) {
            input.remove_prefix(3);
        } else if (input.starts_with("./") || input.starts_with("/./")) {
            input.remove_prefix(2); // "./" goes; of "/./" the "/" stays
        } else if (input == "/.") {
            input = "/";
        } else if (input.starts_with("/../")) {
            input.remove_prefix(3);
            RemoveLastSegment(output, floor);
        } else if (input == "/..") {
            input = "/";
            RemoveLastSegment(output, floor);
        } else if (input == "." || input == "..") {
            input = {};
        } else {
            const std::size_t end = input.find('/', 1);
            const std::size_t length = end == std::string_view::npos ? input.size() : end;
            output.append(input.substr(0, length));
            input.remove_prefix(length);
        }
    }
}

// Appends the path made of `head` and `tail` without its dot segments. Most paths have none and are
// copied as they are.
void AppendPath(std::string& output, std::string_view head, std::string_view tail)
{
    const bool mayHoldDots = head.find("/.") != std::string_view::npos || tail.find("/.") != std::string_view::npos
        || (head.empty() ? tail.starts_with('.') : head.starts_with('.') || tail.starts_with('.'));
    if (!mayHoldDots) {
        output.append(head).append(tail);
        return;
    }
    std::string joined;
    joined.reserve(head.size() + tail.size());
    joined.append(head).append(tail);
    AppendWithoutDotSegments(output, joined);
}

} // namespace

std::string RemoveDotSegments(std::string_view path)
{
    std::string output;
    AppendWithoutDotSegments(output, path);
    return output;
}

ReferenceResolver::ReferenceResolver(std::string_view base) : m_base(platform::Trimmed(base, kHtmlBlanks))
{
    const Components b = Split(m_base);
    m_scheme = b.scheme;
    m_authority = b.authority;
    m_path = b.path;
    m_query = b.query;
    m_hasScheme = b.hasScheme;
    m_hasAuthority = b.hasAuthority;
    m_hasQuery = b.hasQuery;
}

std::optional<std::string> ReferenceResolver::Resolve(std::string_view reference) const
{
    reference = platform::Trimmed(reference, kHtmlBlanks);
    // Browsers drop tabs and line breaks inside an address and send a blank as "%20".
    std::string cleaned;
    const auto isBreak = [](char c) { return c == '\t' || c == '\n' || c == '\r'; };
    if (std::any_of(reference.begin(), reference.end(), [&](char c) { return c == ' ' || isBreak(c); })) {
        std::string unbroken(reference);
        std::erase_if(unbroken, isBreak);
        cleaned = platform::PercentEncoded(unbroken, [](unsigned char c) { return c == ' '; });
        reference = cleaned;
    }
    const Components r = Split(reference);
    if (!r.hasScheme && !m_hasScheme)
        return std::nullopt;

    std::string address;
    address.reserve(m_base.size() + reference.size() + 8);
    address.append(r.hasScheme ? r.scheme : m_scheme).append(":");
    if (r.hasScheme || r.hasAuthority) {
        if (r.hasAuthority)
            address.append("//").append(r.authority);
    } else if (m_hasAuthority) {
        address.append("//").append(m_authority);
    }

    bool hasQuery = r.hasQuery;
    std::string_view query = r.query;
    if (r.hasScheme || r.hasAuthority || r.path.starts_with('/')) {
        AppendPath(address, {}, r.path);
    } else if (r.path.empty()) {
        address.append(m_path);
        if (!r.hasQuery) {
            hasQuery = m_hasQuery;
            query = m_query;
        }
    } else if (m_hasAuthority && m_path.empty()) {
        AppendPath(address, "/", r.path);
    } else {
        const std::size_t slashAt = m_path.rfind('/');
        AppendPath(address, slashAt == std::string_view::npos ? std::string_view{} : m_path.substr(0, slashAt + 1),
                   r.path);
    }
    if (hasQuery)
        address.append("?").append(query);
    if (r.hasFragment)
        address.append("#").append(r.fragment);
    return address;
}

std::optional<std::string> ResolveReference(std::string_view base, std::string_view reference)
{
    return ReferenceResolver(base).Resolve(reference);
}

} // namespace html::script
