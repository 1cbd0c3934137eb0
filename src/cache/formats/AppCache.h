#pragma once
// Chrome's application cache (HTML5 AppCache, 2010 to 2021, content/browser/appcache): "Application
// Cache/Cache" is a block-file cache whose keys are response ids, and the SQLite database "Application
// Cache/Index" gives each response id its address (table Entries).
#include "cache/formats/BlockFileCache.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>

namespace cache {

// The addresses of the Index's Entries by response id, read without writing or leaving files beside it.
// Nothing when the database cannot be read.
std::optional<std::map<std::int64_t, std::string>> ReadAppCacheIndex(const std::string& indexPath);

// The application cache in `folder` (the "Application Cache" folder): its block-file cache, each key's address
// from the Index. MissingFile when the Index is gone or unreadable.
BlockFileOpened OpenAppCache(const std::string& folder);

// The block-file cache in `folder`, an application cache's when `folder` is "<...>/Application Cache/Cache/"
// beside an Index, an HTTP cache's otherwise.
BlockFileOpened OpenBlockFileFolder(const std::string& folder);

} // namespace cache
