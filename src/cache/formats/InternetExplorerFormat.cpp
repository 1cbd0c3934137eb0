// Internet Explorer's cache as a row of the format table: a "Content.IE5" folder (or IE 4's "Temporary Internet
// Files") holding an index.dat gives the plain movie files of its subfolders the addresses the index names.
// Windows 8 and later keep the cache's files in the same layout but its index in the WebCache database
// (WebCacheV01.dat, an ESE database), which is not read: such a folder is reported, its files still listed.
#include "cache/formats/FileNames.h"
#include "cache/formats/InternetExplorerIndex.h"
#include "cache/formats/StoredFormat.h"
#include "platform/Bytes.h"

#include <filesystem>
#include <system_error>

namespace cache {

namespace {

constexpr std::uint32_t kIndexMark = 1;
constexpr std::string_view kIndexName = "index.dat";
constexpr std::string_view kNoIndex =
    "no index.dat (Windows 8 and later keep the addresses in WebCacheV01.dat, which is not read)";

std::string NotReadReason(Refusal why)
{
    switch (why) {
    case Refusal::UnknownVersion:
        return "an index.dat of an unknown version";
    case Refusal::Damaged:
    case Refusal::CutShort:
        return "a damaged index.dat";
    default:
        return "an index.dat that cannot be read";
    }
}

// The names below `folder` of one kind: its real subfolders (no links), or every name but those.
std::vector<std::string> NamesIn(const std::filesystem::path& folder, bool subfolders)
{
    std::vector<std::string> names;
    std::error_code error;
    for (auto entry = std::filesystem::directory_iterator(folder, error);
         !error && entry != std::filesystem::directory_iterator(); entry.increment(error)) {
        std::error_code typeError;
        const bool isFolder = entry->symlink_status(typeError).type() == std::filesystem::file_type::directory;
        if (!typeError && isFolder == subfolders)
            names.push_back(entry->path().filename().native());
    }
    return names;
}

class InternetExplorerFormat final : public AddressIndexFormat {
public:
    std::string_view Name() const override { return "Internet Explorer index"; }

    // Mounted Windows disks may show the names in either case.
    std::uint32_t FileMark(std::string_view name) const override
    {
        return platform::EqualsIgnoringAsciiCase(name, kIndexName) ? kIndexMark : 0;
    }
    FolderVerdict Recognise(const FolderFacts& folder) const override
    {
        const bool indexed = (folder.marks & kIndexMark) != 0;
        if (platform::EqualsIgnoringAsciiCase(folder.name, "Content.IE5"))
            return indexed ? FolderVerdict{FolderVerdict::Kind::Read, {}}
                           : FolderVerdict{FolderVerdict::Kind::NotRead, kNoIndex};
        // Internet Explorer 4 kept its index in the cache folder itself.
        if (indexed && platform::EqualsIgnoringAsciiCase(folder.name, "Temporary Internet Files"))
            return {FolderVerdict::Kind::Read, {}};
        if (platform::EqualsIgnoringAsciiCase(folder.name, "IE")
            && platform::EqualsIgnoringAsciiCase(LastComponent(folder.parentPath), "INetCache"))
            return indexed ? FolderVerdict{FolderVerdict::Kind::Read, {}}
                           : FolderVerdict{FolderVerdict::Kind::NotRead, kNoIndex};
        return {};
    }

    void ReadAddresses(const std::string& folder, const std::atomic<bool>& stop, AddressSink& sink) const override
    {
        const auto index = InternetExplorerIndex::ReadFolder(folder);
        if (!index) {
            if (index.Why() != Refusal::MissingFile) // gone since the walk: nothing to say
                sink.NotRead(NotReadReason(index.Why()));
            return;
        }
        if (index->Size() == 0)
            return;
        for (const std::string& subfolder : NamesIn(folder, true)) {
            if (stop.load(std::memory_order_relaxed))
                return;
            const std::string subpath = folder + subfolder + "/";
            for (const std::string& name : NamesIn(subpath, false)) {
                if (!platform::EndsWithIgnoringAsciiCase(name, ".swf"))
                    continue;
                if (const auto address = index->AddressOf(subfolder, name))
                    sink.Address(subpath + name, std::string(*address));
            }
        }
    }
};

} // namespace

const AddressIndexFormat& InternetExplorerCache()
{
    static const InternetExplorerFormat format;
    return format;
}

} // namespace cache
