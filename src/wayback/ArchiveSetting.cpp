#include "wayback/ArchiveSetting.h"

#include "platform/Bytes.h"

#include <algorithm>
#include <mutex>

namespace wayback {

namespace {

std::mutex g_mutex;
std::string g_archive{kDefaultArchive};

} // namespace

std::string Archive()
{
    const std::lock_guard lock(g_mutex);
    return g_archive;
}

void SetArchive(std::string address)
{
    const std::lock_guard lock(g_mutex);
    g_archive = std::move(address);
}

std::optional<std::string> ReadArchiveOption(std::string_view value)
{
    if (value == "off")
        return std::string();
    std::size_t hostStart = 0;
    for (const std::string_view scheme : {"http://", "https://"}) {
        if (platform::StartsWithIgnoringAsciiCase(value, scheme))
            hostStart = scheme.size();
    }
    if (hostStart == 0)
        return std::nullopt;
    while (value.size() > hostStart && value.back() == '/')
        value.remove_suffix(1);
    const std::string_view rest = value.substr(hostStart);
    const bool hasHost = !rest.empty() && rest.front() != '/';
    // Queries are added to the archive's address, and a line break or blank would split a request.
    const bool plain = rest.find_first_of("?#") == std::string_view::npos
        && std::ranges::none_of(rest, [](char c) { return static_cast<unsigned char>(c) <= 0x20; });
    if (!hasHost || !plain)
        return std::nullopt;
    return std::string(value);
}

} // namespace wayback
