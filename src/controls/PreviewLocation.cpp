#include "controls/PreviewLocation.h"

#include "platform/Bytes.h"

namespace preview {

bool IsLocalPath(const std::string& location) { return !location.empty() && location.front() == '/'; }

bool NamesMovie(const std::string& location)
{
    std::string_view path = location;
    if (!IsLocalPath(location))
        path = path.substr(0, path.find_first_of("?#"));
    return platform::EndsWithIgnoringAsciiCase(path, ".swf");
}

std::string BaseName(const std::string& path) { return path.substr(path.rfind('/') + 1); }

QUrl UrlFromBytes(const std::string& address)
{
    const std::string encoded =
        platform::PercentEncoded(address, [](unsigned char byte) { return byte <= 0x20 || byte >= 0x7f; });
    return QUrl::fromEncoded(QByteArray::fromStdString(encoded), QUrl::TolerantMode);
}

} // namespace preview
