// write_chromium_caches OUT: has Debian's chromium write its block-file and SQLite caches of the test movie page
// and copies them to OUT/blockfile/ and OUT/sql/: the seeds of the container fuzz targets, made at fuzz time.
#include "support/RealChromiumCaches.h"

#include <cstdio>
#include <exception>
#include <filesystem>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: write_chromium_caches OUT\n");
        return 2;
    }
    try {
        const test::RealChromiumCaches caches;
        const std::filesystem::path out = argv[1];
        for (const auto& run : caches.Runs()) {
            std::filesystem::create_directories(out / run.backend);
            std::filesystem::copy(run.cacheFolder, out / run.backend,
                                  std::filesystem::copy_options::recursive
                                      | std::filesystem::copy_options::overwrite_existing);
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "write_chromium_caches: %s\n", error.what());
        return 1;
    }
    return 0;
}
