#include "wayback/RawCapture.h"

#include "platform/Bytes.h"

#include <algorithm>

namespace wayback {

namespace {

constexpr std::string_view kRawMark = "id_/";

// Where the scheme and host of `address` end (0 when it has no scheme).
std::size_t HostEnd(std::string_view address)
{
    const std::size_t scheme = address.find("://");
    if (scheme == std::string_view::npos)
        return 0;
    const std::size_t path = address.find('/', scheme + 3);
    return path == std::string_view::npos ? address.size() : path;
}

} // namespace

std::string RawCaptureAddress(std::string_view archive, std::string_view timestamp, std::string_view original)
{
    std::string address(archive);
    address += "/web/";
    address += timestamp;
    address += kRawMark;
    address += original;
    return address;
}

std::string OriginalAddress(std::string_view archive, const std::string& address)
{
    auto raw = archive.empty() ? std::nullopt : ReadRawCaptureAddress(archive, address);
    if (!raw)
        return address;
    return std::move(raw->original);
}

bool IsBelowArchive(std::string_view archive, std::string_view address)
{
    const std::size_t host = HostEnd(archive);
    if (archive.empty() || host == 0 || address.size() < archive.size()
        || !platform::EqualsIgnoringAsciiCase(address.substr(0, host), archive.substr(0, host))
        || address.substr(host, archive.size() - host) != archive.substr(host))
        return false;
    const std::string_view rest = address.substr(archive.size());
    return rest.empty() || rest.front() == '/' || rest.front() == '?';
}

std::optional<RawCapture> ReadRawCaptureAddress(std::string_view archive, std::string_view address)
{
    if (!IsBelowArchive(archive, address))
        return std::nullopt;
    std::string_view rest = address.substr(archive.size());
    if (!rest.starts_with("/web/"))
        return std::nullopt;
    rest.remove_prefix(5);
    const std::size_t digits = std::min(rest.find_first_not_of("0123456789"), rest.size());
    if (digits == 0 || digits > 14 || !rest.substr(digits).starts_with(kRawMark))
        return std::nullopt;
    RawCapture capture{std::string(rest.substr(0, digits)), std::string(rest.substr(digits + kRawMark.size()))};
    if (capture.original.empty())
        return std::nullopt;
    return capture;
}

} // namespace wayback
