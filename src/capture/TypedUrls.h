#pragma once
// The typed-address history as the address box lists it.
#include <cstddef>
#include <string>
#include <vector>

namespace capture {

inline constexpr std::size_t kMaxTypedUrls = 24;
inline constexpr std::size_t kTypedUrlBufferSize = 1024;

// Values "url1", "url2", ... of the current user's typed-address key, in that order: at most
// kMaxTypedUrls, ending at the first value that is missing or does not fit kTypedUrlBufferSize
// bytes with its NUL. Values are returned as they stand, usable addresses or not. Empty when the
// key cannot be opened.
std::vector<std::string> ReadTypedUrls();

} // namespace capture
