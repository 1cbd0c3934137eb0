// libFuzzer target: one shard of Chromium's SQLite cache (the input is the database file), listed row by row,
// each entry found again at its locator and, when it holds a movie, streamed (the seeds are shards Debian's
// chromium writes at fuzz time: tests/cache/fuzz/chromium_sql_cache.seeder).
#include "cache/formats/SqlCache.h"
#include "cache/fuzz/ContainerFuzz.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto opened =
        cache::SqlCacheShard::OpenImage(std::string_view(reinterpret_cast<const char*>(data), size), "sqldb0");
    if (!opened.shard)
        return 0;
    const std::atomic<bool> stop{false};
    fuzz::ExercisedRecords records(
        [&](std::string_view locator) -> cache::Refusable<cache::OpenedResponse> {
            const auto place = cache::ParseSqlLocator(locator);
            if (!place || place->first != opened.shard->Name())
                std::abort(); // the shard's locators name it
            return opened.shard->OpenEntry(place->second);
        },
        true);
    opened.shard->ReadEntries(stop, records);
    return 0;
}
