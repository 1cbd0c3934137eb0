#pragma once
// Where the user's cache folder is.
#include <optional>
#include <string>

namespace cache {

// The "Cache" shell folder of the current user with its environment references expanded and "/"
// appended (even when it already ends in one). Nothing when the setting is missing or a reference
// cannot be expanded: then there is nothing to scan.
std::optional<std::string> LookUpCacheFolder();

} // namespace cache
