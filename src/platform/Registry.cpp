#include "platform/Registry.h"

#include <algorithm>
#include <cctype>

namespace platform {

namespace {
bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
               return std::tolower(x) == std::tolower(y);
           });
}
} // namespace

std::unique_ptr<RegistryKey> OpenCurrentUserKey(std::string_view subkey)
{
    if (EqualsIgnoringAsciiCase(subkey, kShellFoldersKey))
        return OpenShellFoldersKey();
    if (EqualsIgnoringAsciiCase(subkey, kTypedUrlsKey))
        return OpenTypedUrlsKey();
    return nullptr;
}

} // namespace platform
