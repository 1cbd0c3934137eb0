#include "capture/TypedUrls.h"

#include "capture/RegistryReader.h"

#include <array>

namespace capture {

std::vector<std::string> ReadTypedUrls()
{
    std::vector<std::string> urls;
    CRegistryReader reader;
    if (!reader.Open(RegistryRoot::CurrentUser, platform::kTypedUrlsKey))
        return urls;
    std::array<char, kTypedUrlBufferSize> buffer{};
    for (std::size_t i = 1; i <= kMaxTypedUrls; ++i) {
        if (!reader.GetString("url" + std::to_string(i), buffer.data(), buffer.size()))
            break;
        urls.emplace_back(buffer.data()); // up to the NUL, as the box would show it
    }
    reader.Close();
    return urls;
}

} // namespace capture
