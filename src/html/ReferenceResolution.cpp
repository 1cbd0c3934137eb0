#include "html/ReferenceResolution.h"

namespace html {

namespace {

bool IsAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

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

// The split of RFC 3986, appendix B; a scheme must also be well formed to count as one.
Components Split(std::string_view text)
{
    Components parts;
    if (const std::size_t hashAt = text.find('#'); hashAt != std::string_view::npos) {
        parts.fragment = text.substr(hashAt + 1);
        parts.hasFragment = true;
        text = text.substr(0, hashAt);
    }
    if (const std::size_t questionAt = text.find('?'); questionAt != std::string_view::npos) {
        parts.query = text.substr(questionAt + 1);
        parts.hasQuery = true;
        text = text.substr(0, questionAt);
    }
    const std::size_t colonAt = text.find(':');
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

std::string_view Trimmed(std::string_view text)
{
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

void RemoveLastSegment(std::string& output)
{
    const std::size_t slashAt = output.rfind('/');
    output.resize(slashAt == std::string::npos ? 0 : slashAt);
}

} // namespace

std::string RemoveDotSegments(std::string_view input)
{
    std::string output;
    output.reserve(input.size());
    while (!input.empty()) {
        if (input.starts_with("../")) {
            input.remove_prefix(3);
        } else if (input.starts_with("./")) {
            input.remove_prefix(2);
        } else if (input.starts_with("/./")) {
            input.remove_prefix(2);
        } else if (input == "/.") {
            input = "/";
        } else if (input.starts_with("/../")) {
            input.remove_prefix(3);
            RemoveLastSegment(output);
        } else if (input == "/..") {
            input = "/";
            RemoveLastSegment(output);
        } else if (input == "." || input == "..") {
            input = {};
        } else {
            const std::size_t end = input.find('/', 1);
            const std::size_t length = end == std::string_view::npos ? input.size() : end;
            output.append(input.substr(0, length));
            input.remove_prefix(length);
        }
    }
    return output;
}

std::optional<std::string> ResolveReference(std::string_view base, std::string_view reference)
{
    reference = Trimmed(reference);
    std::string cleaned;
    if (reference.find_first_of("\t\n\r") != std::string_view::npos) {
        for (const char c : reference) {
            if (c != '\t' && c != '\n' && c != '\r')
                cleaned += c;
        }
        reference = cleaned;
    }
    const Components r = Split(reference);
    const Components b = Split(Trimmed(base));

    Components t;
    std::string path;
    if (r.hasScheme) {
        t = r;
        path = RemoveDotSegments(r.path);
    } else {
        if (!b.hasScheme)
            return std::nullopt;
        if (r.hasAuthority) {
            t.authority = r.authority;
            t.hasAuthority = true;
            path = RemoveDotSegments(r.path);
            t.query = r.query;
            t.hasQuery = r.hasQuery;
        } else {
            if (r.path.empty()) {
                path = b.path;
                t.query = r.hasQuery ? r.query : b.query;
                t.hasQuery = r.hasQuery || b.hasQuery;
            } else {
                if (r.path.front() == '/') {
                    path = RemoveDotSegments(r.path);
                } else {
                    std::string merged;
                    if (b.hasAuthority && b.path.empty()) {
                        merged = "/";
                    } else if (const std::size_t slashAt = b.path.rfind('/'); slashAt != std::string_view::npos) {
                        merged = b.path.substr(0, slashAt + 1);
                    }
                    merged += r.path;
                    path = RemoveDotSegments(merged);
                }
                t.query = r.query;
                t.hasQuery = r.hasQuery;
            }
            t.authority = b.authority;
            t.hasAuthority = b.hasAuthority;
        }
        t.scheme = b.scheme;
    }
    t.fragment = r.fragment;
    t.hasFragment = r.hasFragment;

    std::string address;
    address.reserve(t.scheme.size() + t.authority.size() + path.size() + t.query.size() + t.fragment.size() + 6);
    address.append(t.scheme).append(":");
    if (t.hasAuthority)
        address.append("//").append(t.authority);
    address.append(path);
    if (t.hasQuery)
        address.append("?").append(t.query);
    if (t.hasFragment)
        address.append("#").append(t.fragment);
    return address;
}

} // namespace html
