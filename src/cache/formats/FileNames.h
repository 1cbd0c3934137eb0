#pragma once
// Reading the names in paths, as the formats tell their folders and files by them.
#include <algorithm>
#include <string_view>
#include <utility>

namespace cache {

// Hexadecimal digits only, in the one letter case given.
inline bool IsHexDigits(std::string_view text, bool upperCase)
{
    return std::all_of(text.begin(), text.end(), [upperCase](char c) {
        return (c >= '0' && c <= '9') || (upperCase ? (c >= 'A' && c <= 'F') : (c >= 'a' && c <= 'f'));
    });
}

// The last component of a path, with or without a "/" at its end.
inline std::string_view LastComponent(std::string_view path)
{
    if (!path.empty() && path.back() == '/')
        path.remove_suffix(1);
    return path.substr(path.rfind('/') + 1);
}

// The folder part of a path (ending in "/", or empty) and its last component.
inline std::pair<std::string_view, std::string_view> SplitLastComponent(std::string_view path)
{
    const std::size_t slash = path.rfind('/');
    if (slash == std::string_view::npos)
        return {{}, path};
    return {path.substr(0, slash + 1), path.substr(slash + 1)};
}

} // namespace cache
