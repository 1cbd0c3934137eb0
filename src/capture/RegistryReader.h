#pragma once
// Owner of one open key of the registry layer, used for the typed-address history.
#include "platform/Registry.h"

#include <cstddef>
#include <memory>
#include <string_view>

namespace capture {

// The roots a key can be opened below; only the current user's exists here.
enum class RegistryRoot { CurrentUser };

class CRegistryReader {
public:
    CRegistryReader() = default;
    CRegistryReader(const CRegistryReader&) = delete;
    CRegistryReader& operator=(const CRegistryReader&) = delete;
    ~CRegistryReader();

    // Closes any key held, then opens `subkey` below `root`. False when it cannot be opened.
    bool Open(RegistryRoot root, std::string_view subkey);

    // False at once when no key is open. Otherwise empties `buffer`, then copies the named value
    // with its terminating NUL into it; a missing value, or one of `size` bytes or more, gives false.
    bool GetString(std::string_view name, char* buffer, std::size_t size) const;

    void Close();

private:
    std::unique_ptr<platform::RegistryKey> m_key;
};

} // namespace capture
