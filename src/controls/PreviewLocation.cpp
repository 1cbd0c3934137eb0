#include "controls/PreviewLocation.h"

#include <algorithm>
#include <cctype>

namespace preview {

bool IsLocalPath(const std::string& location) { return !location.empty() && location.front() == '/'; }

bool NamesMovie(const std::string& location)
{
    std::string_view path = location;
    if (!IsLocalPath(location))
        path = path.substr(0, path.find_first_of("?#"));
    constexpr std::string_view kSuffix = ".swf";
    if (path.size() < kSuffix.size())
        return false;
    const std::string_view tail = path.substr(path.size() - kSuffix.size());
    return std::equal(tail.begin(), tail.end(), kSuffix.begin(),
                      [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) == b; });
}

std::string BaseName(const std::string& path) { return path.substr(path.rfind('/') + 1); }

QUrl UrlFromBytes(const std::string& address)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    QByteArray encoded;
    encoded.reserve(static_cast<qsizetype>(address.size()));
    for (const char c : address) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte >= 0x7f) {
            encoded += '%';
            encoded += kHex[byte >> 4];
            encoded += kHex[byte & 0x0f];
        } else {
            encoded += c;
        }
    }
    return QUrl::fromEncoded(encoded, QUrl::TolerantMode);
}

} // namespace preview
