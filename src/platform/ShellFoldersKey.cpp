#include "platform/Registry.h"

#include <cstdlib>

namespace platform {

namespace {
// "Cache" names the user's cache folder by environment reference, as the registry value does; the
// reader expands it.
class ShellFoldersKey final : public RegistryKey {
public:
    std::optional<std::string> QueryValue(std::string_view name) const override
    {
        if (name != "Cache")
            return std::nullopt;
        const char* xdg = std::getenv("XDG_CACHE_HOME");
        if (xdg != nullptr && *xdg != '\0')
            return std::string("%XDG_CACHE_HOME%");
        return std::string("%HOME%/.cache");
    }
};
} // namespace

std::unique_ptr<RegistryKey> OpenShellFoldersKey() { return std::make_unique<ShellFoldersKey>(); }

} // namespace platform
