#pragma once
// Environment references inside settings, such as the "%HOME%/.cache" of the cache-folder value.
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// Replaces each %NAME% reference by the value of the environment variable NAME. A "%" with no
// closing "%" after it is ordinary text, and so is the first "%" of "%%". Returns nothing when a
// reference names a variable that is unset or empty (a variable cannot hold an empty value where
// these settings come from, so an empty one counts as unset).
std::optional<std::string> ExpandEnvironmentStrings(std::string_view text);

} // namespace platform
