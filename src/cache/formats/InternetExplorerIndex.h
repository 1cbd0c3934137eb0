#pragma once
// Internet Explorer's cache index (WinINet's URL cache, "index.dat" in "Content.IE5" and in the "Temporary
// Internet Files" of each user, format 5.2 from Internet Explorer 5 to 9, and 4.7 before): which address each
// file in the cache's subfolders came from. The cached files themselves are plain files ("name[1].swf"); only
// their addresses are here.
#include "cache/formats/Refusal.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace cache {

class InternetExplorerIndex {
public:
    // The index of a cache folder: `folder`/index.dat. MissingFile when there is none.
    static Refusable<InternetExplorerIndex> ReadFolder(const std::string& folder);
    // The index file at `path`. MissingFile when it is not a regular file; UnknownVersion for an index of another
    // format version; Damaged when it cannot be read as one; Unreadable when a read fails.
    static Refusable<InternetExplorerIndex> ReadFile(const std::string& path);
    static Refusable<InternetExplorerIndex> Parse(std::string_view bytes);

    // The address of the cached file `fileName` in the cache subfolder `subfolder` ("ENG3X4ZR"), letter case
    // aside, as a mounted Windows disk may show either; nothing when the index names no such file. A file that
    // only a released record names still gets that record's address.
    std::optional<std::string_view> AddressOf(std::string_view subfolder, std::string_view fileName) const;

    // "5.2".
    const std::string& Version() const { return m_version; }
    // The cache subfolders the index lists, in its order.
    const std::vector<std::string>& Subfolders() const { return m_subfolders; }
    // How many files the index names.
    std::size_t Size() const { return m_addresses.size(); }

private:
    InternetExplorerIndex() = default;
    friend class IndexDatReading;

    std::string m_version;
    std::vector<std::string> m_subfolders;
    std::unordered_map<std::string, std::string> m_addresses; // "subfolder/name" in lower case -> address
};

} // namespace cache
