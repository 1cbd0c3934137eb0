#include "platform/Registry.h"

namespace platform {

// Replaced by the browser-history source (Firefox and Chromium-family profiles).
std::unique_ptr<RegistryKey> OpenTypedUrlsKey() { return nullptr; }

} // namespace platform
