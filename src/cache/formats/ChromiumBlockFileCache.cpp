// Chromium's block-file cache (net/disk_cache/blockfile), its application cache included, as a row of the format
// table: a folder holding "data_1", whose rows' paths go through it: "<folder>data_1/@0xa0010002", the locator
// being the address of the entry's record (which names the block file it lies in).
#include "cache/formats/AppCache.h"
#include "cache/formats/FileNames.h"

#include <memory>

namespace cache {

namespace {

constexpr std::string_view kAnchor = "data_1";
constexpr std::uint32_t kEntryBlocksMark = 1;

class ChromiumBlockFileCacheFormat final : public ContainerFolderFormat {
public:
    std::string_view Name() const override { return "Chromium block-file cache"; }

    // Every entry record lies in data_1 or in a block file it leads to.
    std::uint32_t FileMark(std::string_view name) const override { return name == kAnchor ? kEntryBlocksMark : 0; }
    FolderVerdict Recognise(const FolderFacts& folder) const override
    {
        if (folder.marks & kEntryBlocksMark)
            return {FolderVerdict::Kind::Read, {}};
        return {};
    }

    std::string_view AnchorName() const override { return kAnchor; }

    void ReadRecords(const std::string& folder, const std::atomic<bool>& stop, RecordSink& sink) const override
    {
        const BlockFileOpened opened = OpenBlockFileFolder(folder);
        if (opened.cache)
            opened.cache->ReadEntries(stop, sink);
        else if (opened.why == Refusal::UnknownVersion)
            sink.NotRead(opened.notRead);
    }

    Refusable<OpenedResponse> OpenRecord(const std::string& anchor, std::string_view locator) const override
    {
        if (LastComponent(anchor) != kAnchor)
            return Refusal::Unreadable;
        BlockFileOpened opened = OpenBlockFileFolder(anchor.substr(0, anchor.size() - kAnchor.size()));
        if (!opened.cache)
            return opened.why;
        auto cache = std::make_shared<const BlockFileCache>(std::move(*opened.cache));
        auto record = cache->OpenEntry(locator);
        if (record)
            record->source = std::move(cache);
        return record;
    }
};

} // namespace

const ContainerFolderFormat& ChromiumBlockFileCache()
{
    static const ChromiumBlockFileCacheFormat format;
    return format;
}

} // namespace cache
