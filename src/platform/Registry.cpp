#include "platform/Registry.h"

#include "platform/Bytes.h"

namespace platform {

std::unique_ptr<RegistryKey> OpenCurrentUserKey(std::string_view subkey)
{
    if (EqualsIgnoringAsciiCase(subkey, kShellFoldersKey))
        return OpenShellFoldersKey();
    if (EqualsIgnoringAsciiCase(subkey, kTypedUrlsKey))
        return OpenTypedUrlsKey();
    return nullptr;
}

} // namespace platform
