// libFuzzer target: a Firefox first-cache folder packed into one input (each file as a one-byte name length,
// the name, a four-byte little-endian length and the bytes), listed, every entry opened again at its row's
// place, and bodies that hold movies streamed as the Local Files list would copy them. Broken promises between
// the steps stop the run. Seeds are packed from the real caches at fuzz time (firefox_cache1.seeds).
#include "cache/EntryMovie.h"
#include "cache/formats/FirefoxCache1.h"
#include "cache/formats/FirefoxCache1Files.h"

#include <cstdint>
#include <cstdlib>
#include <map>
#include <set>

namespace {

class MemoryFiles final : public cache::cache1::CacheFiles {
public:
    explicit MemoryFiles(std::map<std::string, std::string_view> files) : m_files(std::move(files)) {}

    std::shared_ptr<const cache::EntryBytes> Open(const std::string& path) const override
    {
        const auto found = m_files.find(path);
        if (found == m_files.end())
            return nullptr;
        return std::make_shared<const cache::MemoryEntryBytes>(found->second);
    }

    std::optional<std::uint64_t> SizeOf(const std::string& path) const override
    {
        const auto found = m_files.find(path);
        if (found == m_files.end())
            return std::nullopt;
        return found->second.size();
    }

    std::vector<std::string> List(const std::string& folder) const override
    {
        std::string prefix = folder;
        if (!prefix.empty() && prefix.back() != '/')
            prefix += '/';
        std::set<std::string> names;
        for (const auto& [path, bytes] : m_files) {
            if (path.size() > prefix.size() && path.starts_with(prefix))
                names.insert(path.substr(prefix.size(), path.find('/', prefix.size()) - prefix.size()));
        }
        return {names.begin(), names.end()};
    }

private:
    std::map<std::string, std::string_view> m_files;
};

std::map<std::string, std::string_view> Unpack(std::string_view input)
{
    std::map<std::string, std::string_view> files;
    while (input.size() >= 5) {
        const std::size_t nameLength = static_cast<unsigned char>(input[0]);
        if (input.size() < 1 + nameLength + 4)
            break;
        std::string name(input.substr(1, nameLength));
        std::uint32_t length = 0;
        for (std::size_t i = 4; i-- > 0;)
            length = (length << 8) | static_cast<unsigned char>(input[1 + nameLength + i]);
        input.remove_prefix(1 + nameLength + 4);
        const std::string_view bytes = input.substr(0, length);
        input.remove_prefix(bytes.size());
        files.emplace(std::move(name), bytes);
    }
    return files;
}

void ExerciseMovie(const cache::FirefoxCache1& cache, const cache::FirefoxCache1Entry& entry)
{
    const auto bytes = cache.BodyBytes(entry);
    if (!bytes)
        return;
    if (bytes->Size() != entry.body.length)
        std::abort(); // the body handed out is as long as the record says
    cache.StreamBody(entry, [](std::string_view) { return true; });
    auto response = cache.ResponseOf(entry);
    if (!response)
        std::abort(); // bytes to read make a response
    const auto movie = cache::FindEntryMovie(std::move(*response), nullptr, true);
    if (!movie)
        return;
    std::uint64_t total = 0;
    const auto result = cache::StreamEntryMovie(*movie, [&](std::string_view piece) {
        total += piece.size();
        return true;
    });
    if (result != cache::BodyResult::Done || total != movie->size)
        std::abort(); // a movie once found streams to the length it was found with
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    auto files = std::make_unique<MemoryFiles>(Unpack(std::string_view(reinterpret_cast<const char*>(data), size)));
    const auto cache = cache::FirefoxCache1::Open(std::move(files), "/fuzz/Cache");
    if (!cache)
        return 0;
    cache->Enumerate([&](const cache::FirefoxCache1Entry& entry) {
        if (!entry.refusal && (entry.address.empty() || !entry.head))
            std::abort(); // a readable entry has an address and a response head
        const auto row = cache::ParseCache1RowPath(cache->RowPath(entry));
        if (!row || row->container != entry.container || row->block != entry.block)
            std::abort(); // the row's path names the entry's place
        if (!entry.refusal) {
            const auto again = cache->EntryAt(entry.container, entry.block);
            if (!again || again->key != entry.key || again->refusal || again->body.length != entry.body.length)
                std::abort(); // a listed entry opens at its place as it was listed
        }
        ExerciseMovie(*cache, entry);
    });
    return 0;
}
