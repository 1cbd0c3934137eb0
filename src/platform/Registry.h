#pragma once
// A small stand-in for the current user's registry: the two keys the program reads, served from
// their natural Linux sources. Keys are read-only; nothing is ever written back.
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

inline constexpr std::string_view kTypedUrlsKey = "Software\\Microsoft\\Internet Explorer\\TypedURLs";
inline constexpr std::string_view kShellFoldersKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";

// One open key: its values by name, as raw bytes.
class RegistryKey {
public:
    virtual ~RegistryKey() = default;
    // The value's bytes, or nothing when the key has no such value.
    virtual std::optional<std::string> QueryValue(std::string_view name) const = 0;
};

// Opens a subkey below the current user's root; nullptr when it cannot be opened (unknown key, or
// no source behind it on this machine). Subkey names compare without regard to ASCII case, as the
// registry's do.
std::unique_ptr<RegistryKey> OpenCurrentUserKey(std::string_view subkey);

// The sources behind the two keys (each in a file of its own).
std::unique_ptr<RegistryKey> OpenShellFoldersKey();
std::unique_ptr<RegistryKey> OpenTypedUrlsKey();

} // namespace platform
