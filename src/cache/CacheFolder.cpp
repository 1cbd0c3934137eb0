#include "cache/CacheFolder.h"

#include "platform/Environment.h"
#include "platform/Registry.h"

namespace cache {

std::optional<std::string> LookUpCacheFolder()
{
    const auto key = platform::OpenCurrentUserKey(platform::kShellFoldersKey);
    if (!key)
        return std::nullopt;
    const auto value = key->QueryValue("Cache");
    if (!value)
        return std::nullopt;
    auto folder = platform::ExpandEnvironmentStrings(*value);
    if (!folder)
        return std::nullopt;
    folder->push_back('/');
    return folder;
}

} // namespace cache
