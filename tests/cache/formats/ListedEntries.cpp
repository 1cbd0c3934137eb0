#include "cache/formats/ListedEntries.h"

#include "cache/formats/AppCache.h"
#include "cache/formats/SqlCache.h"

namespace test {

std::optional<std::string> StreamedMovie(const cache::EntryBytes* body, const cache::StoredEntry& stored)
{
    if (body == nullptr)
        return std::nullopt;
    const auto movie = cache::FindStoredMovie(*body, stored);
    if (!movie)
        return std::nullopt;
    std::string bytes;
    const auto result = cache::StreamEntryMovie(*body, *movie, [&](std::string_view piece) {
        bytes.append(piece);
        return true;
    });
    if (result != cache::MovieStreamResult::Done || bytes.size() != movie->size)
        return std::nullopt;
    return bytes;
}

std::vector<ListedEntry> ListBlockFileCache(const std::string& folder, cache::CacheRefusal* refusal)
{
    std::vector<ListedEntry> listed;
    const auto opened = cache::OpenBlockFileFolder(folder);
    if (refusal != nullptr)
        *refusal = opened.refusal;
    if (!opened.cache)
        return listed;
    const std::atomic<bool> stop{false};
    opened.cache->ForEachEntry(stop, [&](cache::StoredEntry stored) {
        const auto body = opened.cache->OpenBody(stored);
        auto movie = StreamedMovie(body.get(), stored);
        listed.push_back({std::move(stored), std::move(movie)});
    });
    return listed;
}

std::vector<ListedEntry> ListSqlCache(const std::string& folder)
{
    std::vector<ListedEntry> listed;
    const std::atomic<bool> stop{false};
    for (const std::string& name : cache::SqlCacheShards(folder)) {
        const auto opened = cache::SqlCacheShard::Open(folder + name);
        if (!opened.shard)
            continue;
        opened.shard->ForEachEntry(stop, [&](cache::StoredEntry stored) {
            const auto body = opened.shard->OpenBody(stored);
            auto movie = StreamedMovie(body.get(), stored);
            listed.push_back({std::move(stored), std::move(movie)});
        });
    }
    return listed;
}

std::vector<const ListedEntry*> WithAddress(const std::vector<ListedEntry>& entries, const std::string& address)
{
    std::vector<const ListedEntry*> found;
    for (const ListedEntry& entry : entries) {
        if (entry.stored.entry.address == address)
            found.push_back(&entry);
    }
    return found;
}

} // namespace test
