#include "cache/formats/StoredEntry.h"

namespace cache {

std::string_view RefusalText(EntryRefusal refusal)
{
    switch (refusal) {
    case EntryRefusal::None:
        return "usable";
    case EntryRefusal::CutShort:
        return "cut short";
    case EntryRefusal::Damaged:
        return "damaged";
    case EntryRefusal::MissingFile:
        return "its data lies in a missing or short file";
    case EntryRefusal::NotHttp:
        return "not an HTTP response";
    case EntryRefusal::Doomed:
        return "dropped by the browser";
    case EntryRefusal::NoAddress:
        return "its address is not known";
    case EntryRefusal::UnknownVersion:
        return "of an unknown version";
    }
    return "unknown";
}

std::string EntryPathTail(const StoredEntry& stored) { return stored.container + "/" + stored.locator; }

std::optional<EntryPath> SplitEntryPath(std::string_view path)
{
    const std::size_t slash = path.rfind('/');
    if (slash == std::string_view::npos || slash == 0 || path.size() - slash < 3 || path[slash + 1] != '@')
        return std::nullopt;
    const std::size_t folderEnd = path.rfind('/', slash - 1);
    if (folderEnd == std::string_view::npos || folderEnd + 1 == slash)
        return std::nullopt;
    return EntryPath{std::string(path.substr(0, folderEnd + 1)),
                     std::string(path.substr(folderEnd + 1, slash - folderEnd - 1)),
                     std::string(path.substr(slash + 1))};
}

std::optional<EntryMovie> FindStoredMovie(const EntryBytes& body, const StoredEntry& stored,
                                          const std::atomic<bool>* stop)
{
    if (stored.refusal != EntryRefusal::None)
        return std::nullopt;
    if (!stored.headLost)
        return FindEntryMovie(body, stored.entry, stop);
    // Without headers the first bytes tell: a movie's signature, or gzip's, which servers used for movies too.
    const auto wanted = static_cast<std::size_t>(std::min<std::uint64_t>(3, stored.entry.bodyLength));
    std::string start = stored.entry.bodyStart;
    if (start.size() < wanted && !body.ReadAt(stored.entry.bodyOffset, wanted, start))
        return std::nullopt;
    std::vector<ContentCoding> codings;
    if (start.size() >= 2 && start[0] == '\x1f' && start[1] == '\x8b')
        codings.push_back(ContentCoding::Gzip);
    return FindBodyMovie(body, stored.entry, std::move(codings), stop);
}

} // namespace cache
