// Chromium's SQLite cache (net/disk_cache/sql) as a row of the format table: a folder holding its stand-in
// "index" and the shards "sqldb0", "sqldb1", ..., whose rows' paths go through the index:
// "<folder>index/sqldb1@17", the locator naming the shard and the entry's row in it.
#include "cache/formats/FileNames.h"
#include "cache/formats/SqlCache.h"

#include <sys/stat.h>

#include <memory>

namespace cache {

namespace {

constexpr std::string_view kAnchor = "index";
constexpr std::uint32_t kIndexMark = 1;
constexpr std::uint32_t kShardMark = 2;

class ChromiumSqlCacheFormat final : public ContainerFolderFormat {
public:
    std::string_view Name() const override { return "Chromium SQLite cache"; }

    std::uint32_t FileMark(std::string_view name) const override
    {
        if (name == kAnchor)
            return kIndexMark;
        return IsSqlShardName(name) ? kShardMark : 0;
    }
    FolderVerdict Recognise(const FolderFacts& folder) const override
    {
        if ((folder.marks & (kIndexMark | kShardMark)) == (kIndexMark | kShardMark))
            return {FolderVerdict::Kind::Read, {}};
        return {};
    }

    std::string_view AnchorName() const override { return kAnchor; }

    void ReadRecords(const std::string& folder, const std::atomic<bool>& stop, RecordSink& sink) const override
    {
        if (!IsSqlCacheFolder(folder))
            return;
        // One line for the folder however many of its shards are of a schema not read.
        std::string notRead;
        for (const std::string& name : SqlCacheShards(folder)) {
            const SqlShardOpened opened = SqlCacheShard::Open(folder + name);
            if (opened.shard) {
                if (!opened.shard->ReadEntries(stop, sink))
                    return;
            } else if (opened.why == Refusal::UnknownVersion && notRead.empty()) {
                notRead = "shards of " + opened.notRead;
            }
        }
        if (!notRead.empty())
            sink.NotRead(notRead);
    }

    Refusable<OpenedResponse> OpenRecord(const std::string& anchor, std::string_view locator) const override
    {
        const auto place = ParseSqlLocator(locator);
        if (!place || LastComponent(anchor) != kAnchor)
            return Refusal::Unreadable;
        const std::string folder = anchor.substr(0, anchor.size() - kAnchor.size());
        if (!IsSqlCacheFolder(folder))
            return Refusal::Unreadable;
        SqlShardOpened opened = SqlCacheShard::Open(folder + place->first);
        if (!opened.shard)
            return opened.why;
        auto shard = std::make_shared<const SqlCacheShard>(std::move(*opened.shard));
        auto record = shard->OpenEntry(place->second);
        if (!record)
            return record;
        record->source = std::move(shard);
        // The row's path goes through the index: a copy must not write over it either.
        struct stat info {};
        if (::stat(anchor.c_str(), &info) == 0)
            record->files.push_back({info.st_dev, info.st_ino});
        return record;
    }
};

} // namespace

const ContainerFolderFormat& ChromiumSqlCache()
{
    static const ChromiumSqlCacheFormat format;
    return format;
}

} // namespace cache
