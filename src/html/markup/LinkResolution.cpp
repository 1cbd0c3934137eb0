#include "html/markup/LinkResolution.h"

#include <cstring>

namespace html::markup {

namespace {

constexpr std::size_t kBareSiteLength = 7; // "http://"
constexpr std::string_view kBareSecureSite = "https://";
constexpr std::size_t kParentUnitStride = 3; // "../"
constexpr std::size_t kParentOffsetBound = 40;

std::size_t SiteRootLength(std::string_view address)
{
    std::size_t i = 0;
    while (i < address.size()) {
        if (i + 1 < address.size() && address[i] == '/' && address[i + 1] == '/')
            i += 2;
        else if (address[i] == '/')
            break;
        else
            ++i;
    }
    return i;
}

bool IsParentUnitAt(std::string_view text, std::size_t p)
{
    return p + 1 < text.size() && text[p] == '.' && text[p + 1] == '.' && (p + 2 == text.size() || text[p + 2] == '/');
}

std::string Joined(std::string_view head, std::string_view rest)
{
    std::string joined;
    joined.reserve(head.size() + rest.size());
    joined.append(head).append(rest);
    return joined;
}

std::string Joined(ClimbResult climbed) { return Joined(climbed.head, climbed.rest); }

struct DirectoryPart {
    std::string_view directory;
    bool appendSlash = false; // a bare site: the whole address followed by "/"
};

DirectoryPart DirectoryPartOf(std::string_view address)
{
    const std::size_t lastSlash = address.rfind('/');
    const std::string_view directory =
        lastSlash == std::string_view::npos ? std::string_view{} : address.substr(0, lastSlash + 1);
    if (directory.size() == kBareSiteLength || directory == kBareSecureSite)
        return {address, true};
    return {directory, false};
}

// Where the dot step cuts: the first "/./", else the first "/.." that ends a segment ("/" of each).
struct DotSegments {
    std::size_t singleDotSlash = std::string_view::npos;
    std::size_t parentSlash = std::string_view::npos;
};

DotSegments FindDotSegments(std::string_view address)
{
    // Visit each "/." pair: a page can make an address of a million dots, but not of a million "/.".
    DotSegments found;
    for (std::size_t at = address.find("/."); at != std::string_view::npos; at = address.find("/.", at + 1)) {
        const std::size_t dot = at + 1;
        if (dot + 1 >= address.size())
            break;
        if (address[dot + 1] == '/') {
            found.singleDotSlash = at;
            return found;
        }
        if (found.parentSlash == std::string_view::npos && IsParentUnitAt(address, dot))
            found.parentSlash = at;
    }
    return found;
}

// The dot step on an address the caller no longer needs, so that the common case of no dot
// segment costs no copy.
std::string NormalizedDots(std::string address)
{
    const std::string_view view = address;
    const DotSegments segments = FindDotSegments(view);
    // Single-dot step: the first "./" that is a whole segment.
    if (const std::size_t slashAt = segments.singleDotSlash; slashAt != std::string_view::npos) {
        const std::string_view head = view.substr(0, slashAt + 1);
        const std::string_view rest = view.substr(slashAt + 3);
        if (rest.find("..") != std::string_view::npos)
            return Joined(ClimbParents(head, rest));
        return Joined(head, rest);
    }
    // Parent step: split at the first ".." that is a whole segment.
    if (const std::size_t slashAt = segments.parentSlash; slashAt != std::string_view::npos)
        return Joined(ClimbParents(view.substr(0, slashAt + 1), view.substr(slashAt + 1)));
    return address;
}

} // namespace

std::string SiteRootOf(std::string_view address) { return std::string(address.substr(0, SiteRootLength(address))); }

std::string DirectoryOf(std::string_view address)
{
    const DirectoryPart part = DirectoryPartOf(address);
    return part.appendSlash ? Joined(part.directory, "/") : std::string(part.directory);
}

ClimbResult ClimbParents(std::string_view head, std::string_view rest)
{
    std::size_t count = 0;
    std::size_t p = 0;
    while (p < kParentOffsetBound && IsParentUnitAt(rest, p)) {
        ++count;
        p += kParentUnitStride;
    }
    rest = p < rest.size() ? rest.substr(p) : std::string_view{};

    // The last byte of head (the "/" before the first "..") is not looked at, and no "/" of the
    // site root (the "//" after the scheme) is ever used up.
    const std::size_t floor = SiteRootLength(head);
    std::size_t cut = head.size();
    for (std::size_t i = head.size(); count > 0 && i >= floor + 2; --i) {
        const std::size_t at = i - 2;
        if (head[at] == '/') {
            --count;
            cut = at + 1;
        }
    }
    return {head.substr(0, cut), rest};
}

std::string NormalizeDots(std::string_view address) { return NormalizedDots(std::string(address)); }

std::string ResolveLink(std::string_view base, std::string_view reference)
{
    std::string joined;
    const std::size_t schemeEnd = base.find(':');
    if (reference.starts_with("//") && schemeEnd != std::string_view::npos) {
        // Scheme-relative: the page's scheme and its ":", as a browser reads it.
        joined = Joined(base.substr(0, schemeEnd + 1), reference);
    } else if (reference.find(':') != std::string_view::npos) {
        joined = reference;
    } else if (!reference.empty() && reference.front() == '/') {
        joined = Joined(base.substr(0, SiteRootLength(base)), reference);
    } else {
        const DirectoryPart part = DirectoryPartOf(base);
        joined.reserve(part.directory.size() + 1 + reference.size());
        joined.append(part.directory);
        if (part.appendSlash)
            joined += '/';
        joined.append(reference);
    }
    return NormalizedDots(std::move(joined));
}

} // namespace html::markup
