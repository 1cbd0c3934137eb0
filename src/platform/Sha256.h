#pragma once
// SHA-256 of bytes, by OpenSSL's libcrypto.
#include <string>
#include <string_view>

namespace platform {

// The digest in lower-case hexadecimal (64 characters).
std::string Sha256Hex(std::string_view bytes);

} // namespace platform
