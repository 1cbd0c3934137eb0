#pragma once
// The stores of responses the walk passes: folders of a browser's cache, container files such as web archives,
// each with its row of the format table. Today's browsers keep their caches below the user's cache folder,
// except those of Snap and Flatpak programs, found here too.
#include "cache/formats/Formats.h"

#include <string>
#include <vector>

namespace cache {

struct FoundStore {
    std::string path; // a folder's path, ending in "/"; or a container file's path
    Format format;
    std::string notRead; // when the walk told the store from its names but does not read it: why

    friend bool operator==(const FoundStore&, const FoundStore&) = default;
};

// The stores below the cache homes of Snap packages (HOME/snap/<name>/common/.cache) and Flatpak applications
// (HOME/.var/app/<id>/cache), which lie outside the user's cache folder. `home` is the home folder's path.
std::vector<FoundStore> FindOutsideCacheStores(const std::string& home);

} // namespace cache
