// libFuzzer target: one shard of Chromium's SQLite cache (the input is the database file), listed row by row,
// each entry found again at its locator and, when it holds a movie, streamed (the seeds are shards Debian's
// chromium writes at fuzz time: tests/cache/fuzz/chromium_sql_cache.seeds).
#include "cache/formats/SqlCache.h"
#include "cache/fuzz/StoredEntryFuzz.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto opened =
        cache::SqlCacheShard::OpenImage(std::string_view(reinterpret_cast<const char*>(data), size), "sqldb0");
    if (!opened.shard)
        return 0;
    const std::atomic<bool> stop{false};
    opened.shard->ForEachEntry(stop, [&](const cache::StoredEntry& stored) {
        fuzz::ExerciseStoredEntry(stored, opened.shard->EntryAt(stored.locator), opened.shard->OpenBody(stored), true);
    });
    return 0;
}
