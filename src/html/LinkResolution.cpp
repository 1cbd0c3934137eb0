#include "html/LinkResolution.h"

namespace html {

namespace {

constexpr std::size_t kBareSiteLength = 7;         // "http://"
constexpr std::string_view kBareSecureSite = "https://";
constexpr std::size_t kParentUnitStride = 3;       // "../"
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
    return p + 1 < text.size() && text[p] == '.' && text[p + 1] == '.' &&
           (p + 2 == text.size() || text[p + 2] == '/');
}

std::string Joined(std::string_view head, std::string_view rest)
{
    std::string joined;
    joined.reserve(head.size() + rest.size());
    joined.append(head).append(rest);
    return joined;
}

std::string Joined(ClimbResult climbed) { return Joined(climbed.head, climbed.rest); }

} // namespace

std::string SiteRootOf(std::string_view address) { return std::string(address.substr(0, SiteRootLength(address))); }

std::string DirectoryOf(std::string_view address)
{
    const std::size_t lastSlash = address.rfind('/');
    const std::string_view directory =
        lastSlash == std::string_view::npos ? std::string_view{} : address.substr(0, lastSlash + 1);
    if (directory.size() == kBareSiteLength || directory == kBareSecureSite)
        return Joined(address, "/");
    return std::string(directory);
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

std::string NormalizeDots(std::string_view address)
{
    // Single-dot step: the first "./" that is a whole segment.
    if (const std::size_t slashAt = address.find("/./"); slashAt != std::string_view::npos) {
        const std::string_view head = address.substr(0, slashAt + 1);
        const std::string_view rest = address.substr(slashAt + 3);
        if (rest.find("..") != std::string_view::npos)
            return Joined(ClimbParents(head, rest));
        return Joined(head, rest);
    }
    // Parent step: split at the first ".." that is a whole segment.
    for (std::size_t slashAt = address.find("/.."); slashAt != std::string_view::npos;
         slashAt = address.find("/..", slashAt + 1)) {
        if (IsParentUnitAt(address, slashAt + 1))
            return Joined(ClimbParents(address.substr(0, slashAt + 1), address.substr(slashAt + 1)));
    }
    return std::string(address);
}

std::string ResolveLink(std::string_view base, std::string_view reference)
{
    if (reference.find(':') != std::string_view::npos)
        return NormalizeDots(reference);
    if (!reference.empty() && reference.front() == '/')
        return NormalizeDots(Joined(SiteRootOf(base), reference));
    return NormalizeDots(Joined(DirectoryOf(base), reference));
}

} // namespace html
