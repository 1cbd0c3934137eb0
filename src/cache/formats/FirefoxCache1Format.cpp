// Firefox's first cache as a row of the format table: a folder holding "_CACHE_MAP_" or a block file is one,
// and a row's path goes through the file holding the entry's record ("<folder>_CACHE_001_/@17",
// "<folder>9/36/DD708m01/@0"), as FirefoxCache1::RowPath writes it.
#include "cache/formats/FirefoxCache1.h"
#include "cache/formats/StoredFormat.h"

#include <charconv>
#include <cstdio>

namespace cache {

namespace {

constexpr std::uint32_t kMapMark = 1;
constexpr std::uint32_t kBlockFileMark = 2;
constexpr std::int64_t kNanosecondsPerSecond = 1'000'000'000;

std::string NotReadReason(const FirefoxCache1& cache, Refusal why)
{
    if (why == Refusal::UnknownVersion) {
        const std::uint32_t version = cache.MapVersion();
        char text[48];
        std::snprintf(text, sizeof text, "a map of version %u.%u", static_cast<unsigned>(version >> 16),
                      static_cast<unsigned>(version & 0xFFFFu));
        return text;
    }
    return "a damaged map, and no record of a known version in its block files";
}

class FirefoxCache1Format final : public ContainerFolderFormat {
public:
    std::string_view Name() const override { return "Firefox first cache"; }

    std::uint32_t FileMark(std::string_view name) const override
    {
        if (!FirefoxCache1::IsCacheFileName(name))
            return 0;
        return name == "_CACHE_MAP_" ? kMapMark : kBlockFileMark;
    }
    FolderVerdict Recognise(const FolderFacts& folder) const override
    {
        if ((folder.marks & (kMapMark | kBlockFileMark)) != 0)
            return {FolderVerdict::Kind::Read, {}};
        return {};
    }

    // A row's path with its record's block taken off: a block file, or a separate record's file.
    bool IsRecordFilePath(std::string_view path) const override
    {
        return ParseCache1RowPath(std::string(path) + "/@0").has_value();
    }

    void ReadRecords(const std::string& folder, const std::atomic<bool>& stop, RecordSink& sink) const override
    {
        const auto cache = FirefoxCache1::Open(folder);
        if (!cache)
            return; // gone since the walk
        if (const auto whole = cache->FolderRefusal()) {
            sink.NotRead(NotReadReason(*cache, *whole));
            return;
        }
        bool ended = false;
        std::string locator; // one buffer for every entry's
        cache->Enumerate(
            [&](FirefoxCache1Entry&& entry) {
                if (ended)
                    return;
                locator.assign(entry.container).append("/@");
                char digits[16];
                locator.append(digits, std::to_chars(digits, digits + sizeof digits, entry.block).ptr);
                if (entry.refusal) {
                    sink.Refused(locator, *entry.refusal);
                    return;
                }
                // When the browser last fetched it: a cache entry is rewritten then, as an entry file would be.
                const std::int64_t written = std::int64_t{entry.lastFetched} * kNanosecondsPerSecond;
                auto response = cache->ResponseOf(std::move(entry));
                if (!response) {
                    sink.Refused(locator, Refusal::Unreadable);
                    return;
                }
                ended = !sink.Response(locator, *response, written);
            },
            &stop);
    }

    Refusable<OpenedResponse> OpenRecord(const std::string& file, std::string_view locator) const override
    {
        auto opened = OpenCache1Row(file + "/" + std::string(locator));
        if (!opened)
            return opened.Why();
        auto held = std::make_shared<OpenedCache1Entry>(std::move(*opened));
        auto response = held->cache.ResponseOf(held->entry);
        if (!response)
            return Refusal::Unreadable;
        std::vector<FileIdentity> files = held->cache.BodyFiles(held->entry);
        return OpenedResponse{std::move(held), std::move(*response), std::move(files)};
    }
};

} // namespace

const ContainerFolderFormat& FirefoxFirstCache()
{
    static const FirefoxCache1Format format;
    return format;
}

} // namespace cache
