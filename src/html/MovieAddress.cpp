#include "html/MovieAddress.h"

#include "platform/Bytes.h"

#include <algorithm>
#include <array>

namespace html {

namespace {

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }
bool IsAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsHex(char c) { return IsDigit(c) || (Lower(c) >= 'a' && Lower(c) <= 'f'); }

// Bytes no row may hold (they only get into an address through a badly cut or undecoded text), and
// the two that need a closer look.
enum ByteClass : unsigned char { kPlain, kForbidden, kAmpersand, kPercent };
constexpr std::array<ByteClass, 256> MakeByteClasses()
{
    std::array<ByteClass, 256> classes{};
    for (int c = 0; c <= 0x20; ++c)
        classes[static_cast<std::size_t>(c)] = kForbidden;
    for (const unsigned char c : std::string_view("\x7f\"'`<>{}\\"))
        classes[c] = kForbidden;
    classes['&'] = kAmpersand;
    classes['%'] = kPercent;
    return classes;
}
constexpr std::array<ByteClass, 256> kByteClasses = MakeByteClasses();

// "&name;" or "&#...": a character reference nobody decoded.
bool IsReferenceAt(std::string_view text, std::size_t at)
{
    std::size_t i = at + 1;
    if (i < text.size() && text[i] == '#')
        return true;
    while (i < text.size() && (IsAlpha(text[i]) || IsDigit(text[i])))
        ++i;
    return i > at + 1 && i < text.size() && text[i] == ';';
}

// A host name, IPv4 address or bracketed IPv6 address, with any user and port.
bool IsPlausibleAuthority(std::string_view authority)
{
    if (const std::size_t atSign = authority.rfind('@'); atSign != std::string_view::npos)
        authority.remove_prefix(atSign + 1);
    if (authority.starts_with('[')) {
        const std::size_t close = authority.find(']');
        if (close == std::string_view::npos || close == 1)
            return false;
        authority.remove_prefix(close + 1);
        return authority.empty() || authority.front() == ':';
    }
    std::size_t hostLength = 0;
    while (hostLength < authority.size() && authority[hostLength] != ':') {
        const char c = authority[hostLength];
        if (!(IsAlpha(c) || IsDigit(c) || c == '-' || c == '.' || c == '_' || static_cast<unsigned char>(c) >= 0x80))
            return false;
        ++hostLength;
    }
    if (hostLength == 0 || authority.front() == '.' || authority.front() == '-')
        return false;
    for (std::size_t i = hostLength + 1; i < authority.size(); ++i) {
        if (!IsDigit(authority[i]))
            return false;
    }
    return true;
}

std::size_t PathEnd(std::string_view address) { return std::min(address.find('?'), address.find('#')); }

} // namespace

bool IsPlausibleMovieAddress(std::string_view address)
{
    if (address.empty() || address.size() > kMaximumAddressLength)
        return false;
    for (std::size_t i = 0; i < address.size(); ++i) {
        const ByteClass byteClass = kByteClasses[static_cast<unsigned char>(address[i])];
        if (byteClass == kPlain)
            continue;
        if (byteClass == kForbidden)
            return false;
        if (byteClass == kAmpersand && IsReferenceAt(address, i))
            return false;
        if (byteClass == kPercent) {
            if (i + 2 >= address.size() || !IsHex(address[i + 1]) || !IsHex(address[i + 2]))
                return false;
            // An encoded scheme or angle bracket: markup or an address written into a value.
            const char hex = Lower(address[i + 2]);
            if (StartsEncodedSchemeEnd(address.substr(i)) || (address[i + 1] == '3' && (hex == 'c' || hex == 'e')))
                return false;
        }
    }
    std::size_t afterScheme = 0;
    if (platform::StartsWithIgnoringAsciiCase(address, "http://"))
        afterScheme = 7;
    else if (platform::StartsWithIgnoringAsciiCase(address, "https://"))
        afterScheme = 8;
    else if (platform::StartsWithIgnoringAsciiCase(address, "ftp://"))
        afterScheme = 6;
    else if (platform::StartsWithIgnoringAsciiCase(address, "file://"))
        return true; // a page saved on disk names its movies by file address; the host may be empty
    else
        return false;
    const std::string_view rest = address.substr(afterScheme);
    const std::size_t authorityEnd = std::min({rest.find('/'), PathEnd(rest), rest.size()});
    // A path opening with "//" is a scheme-relative reference ("//cdn/x.swf") joined as a path.
    return IsPlausibleAuthority(rest.substr(0, authorityEnd)) && rest.substr(authorityEnd, 2) != "//";
}

bool StartsEncodedSchemeEnd(std::string_view text)
{
    return platform::StartsWithIgnoringAsciiCase(text, "%3a%2f%2f")
        || platform::StartsWithIgnoringAsciiCase(text, "%3a//");
}

bool HasMoviePath(std::string_view address)
{
    const std::string_view path = address.substr(0, PathEnd(address));
    return platform::EndsWithIgnoringAsciiCase(path, ".swf");
}

void CutToMovieRow(std::string& address)
{
    const std::size_t pathEnd = PathEnd(address);
    if (pathEnd == std::string::npos)
        return;
    address.resize(HasMoviePath(address) ? pathEnd : std::min(address.find('#'), address.size()));
}

std::string MovieRowOf(std::string_view address)
{
    const std::size_t pathEnd = PathEnd(address);
    if (HasMoviePath(address))
        return std::string(address.substr(0, pathEnd));
    return std::string(address.substr(0, address.find('#')));
}

} // namespace html
