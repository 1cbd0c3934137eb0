#pragma once
// Where Save All puts a movie: shared by the window's Internet Files page and plumeroc-grab save-all.
#include <optional>
#include <string>
#include <string_view>

namespace capture {

// The destination of the movie at `address` inside `folder`: the folder, a "/" unless the folder
// already ends with one, and the part of the address after its last "/" (the whole address when it
// has none). No destination (nullopt) when that name is empty, "." or "..", which would name the
// folder itself or its parent. An empty folder stands for the current one: the name alone.
std::optional<std::string> SaveAllDestination(std::string_view folder, std::string_view address);

} // namespace capture
