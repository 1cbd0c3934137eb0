// libFuzzer target: a Chromium block-file cache folder, listed entry by entry, each entry found again at its
// locator and, when it holds a movie, streamed. The input is a sparse image of the folder's files: records of
// a name byte (0 "index", 1 to 127 "data_0" to "data_126", 128 to 255 "f_000000" to "f_00007f"), a 32-bit
// offset and a 16-bit length, little-endian, then that many bytes, laid over zeros (the seeds are real
// caches, written so: tests/cache/fuzz/chromium_block_files.seeder).
#include "cache/formats/BlockFileCache.h"
#include "cache/fuzz/ContainerFuzz.h"

#include <cstdint>
#include <cstdio>
#include <map>

namespace {

constexpr std::uint32_t kMaxFileSize = 2u << 20;

std::string FileName(unsigned char id)
{
    if (id == 0)
        return "index";
    char name[16];
    if (id < 128)
        std::snprintf(name, sizeof name, "data_%d", id - 1);
    else
        std::snprintf(name, sizeof name, "f_%06x", id - 128);
    return name;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::map<std::string, std::string> files;
    for (std::size_t at = 0; size - at >= 7;) {
        const std::string name = FileName(data[at]);
        const std::uint32_t offset =
            data[at + 1] | (data[at + 2] << 8) | (data[at + 3] << 16) | (std::uint32_t{data[at + 4]} << 24);
        const std::size_t length = std::min<std::size_t>(data[at + 5] | (data[at + 6] << 8), size - at - 7);
        at += 7;
        if (offset <= kMaxFileSize - length) {
            std::string& file = files[name];
            if (file.size() < offset + length)
                file.resize(offset + length);
            file.replace(offset, length, reinterpret_cast<const char*>(data + at), length);
        }
        at += length;
    }
    auto folder = std::make_shared<cache::MemoryFolderFiles>();
    for (const auto& [name, bytes] : files)
        folder->Add(name, bytes);
    const auto opened = cache::BlockFileCache::Open(folder);
    if (!opened.cache) {
        if (opened.why == cache::Refusal::UnknownVersion && opened.notRead.empty())
            std::abort(); // a version not read is named
        return 0;
    }
    const std::atomic<bool> stop{false};
    fuzz::ExercisedRecords records([&](std::string_view locator) { return opened.cache->OpenEntry(locator); }, false);
    opened.cache->ReadEntries(stop, records);
    return 0;
}
