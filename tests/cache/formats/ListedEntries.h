#pragma once
// What the Chromium container readers give for a whole cache folder, each entry with its movie's decoded bytes
// when it holds one: the view the tests of these readers compare.
#include "cache/formats/BlockFileCache.h"
#include "cache/formats/StoredEntry.h"

#include <optional>
#include <string>
#include <vector>

namespace test {

struct ListedEntry {
    cache::StoredEntry stored;
    std::optional<std::string> movie; // the decoded movie, when the entry is one and streams whole
};

// Every entry of the block-file cache in `folder` (an application cache's too); nothing when the folder is
// refused. `refusal` (when given) gets the reason.
std::vector<ListedEntry> ListBlockFileCache(const std::string& folder, cache::CacheRefusal* refusal = nullptr);

// Every entry of every shard of the SQLite cache in `folder`.
std::vector<ListedEntry> ListSqlCache(const std::string& folder);

// The movie of `stored` read from `body`, streamed to its end; nothing when it is no movie or does not stream.
std::optional<std::string> StreamedMovie(const cache::EntryBytes* body, const cache::StoredEntry& stored);

// The entries whose address is `address`.
std::vector<const ListedEntry*> WithAddress(const std::vector<ListedEntry>& entries, const std::string& address);

} // namespace test
