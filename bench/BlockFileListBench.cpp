// bench_blockfile_list FOLDER: the movies of the block-file cache in FOLDER as the Local Files list would take
// them (every entry read from its record, its headers, and its body's first bytes or whole decoded body), one
// row per movie on standard output: save-as name, decoded size, row path, address. Timed by
// bench/blockfile_entries.sh against find on the same tree.
#include "cache/MovieSaveName.h"
#include "cache/formats/AppCache.h"

#include <cstdio>
#include <string>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: bench_blockfile_list FOLDER\n");
        return 2;
    }
    std::string folder = argv[1];
    if (folder.back() != '/')
        folder += '/';
    const auto opened = cache::OpenBlockFileFolder(folder);
    if (!opened.cache) {
        std::fprintf(stderr, "%s: %s\n", argv[1], std::string(cache::CacheRefusalText(opened.refusal)).c_str());
        return 1;
    }
    const std::atomic<bool> stop{false};
    opened.cache->ForEachEntry(stop, [&](const cache::StoredEntry& stored) {
        if (stored.refusal != cache::EntryRefusal::None)
            return;
        const auto body = opened.cache->OpenBody(stored);
        const auto movie = body ? cache::FindStoredMovie(*body, stored, &stop) : std::nullopt;
        if (!movie)
            return;
        const std::string name = cache::MovieSaveName(movie->entry.head, movie->entry.address);
        std::printf("%s\t%llu\t%s%s\t%s\n", name.c_str(), static_cast<unsigned long long>(movie->size), folder.c_str(),
                    cache::EntryPathTail(stored).c_str(), movie->entry.address.c_str());
    });
    return 0;
}
