#pragma once
// What a container-folder format of the table gives for a whole cache folder, each entry with its movie's
// decoded bytes when it holds one: the view the tests of the Chromium block-file and SQLite formats compare.
#include "cache/formats/Formats.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace test {

struct ListedEntry {
    std::string locator;
    std::optional<cache::Refusal> refused; // the reader's refusal; the fields below are empty then
    std::string address;
    cache::ResponseHead head;
    bool headLost = false;
    std::optional<std::uint64_t> storedLength;
    std::int64_t written = 0;
    std::optional<cache::Refusal> notAMovie; // why the movie check turned a response away
    std::optional<std::string> movie;        // the decoded movie, when it is one and streams whole
};

struct ListedCache {
    std::vector<ListedEntry> entries;
    std::vector<std::string> notRead; // what the format said of a cache it does not read
};

const cache::ContainerFolderFormat& BlockFileFormat();
const cache::ContainerFolderFormat& SqlFormat();

// Every record of the cache in `folder` (ending in "/"), read as the Local Files list reads it.
ListedCache ListFolder(const cache::ContainerFolderFormat& format, const std::string& folder);
inline std::vector<ListedEntry> ListBlockFileCache(const std::string& folder)
{
    return ListFolder(BlockFileFormat(), folder).entries;
}
inline std::vector<ListedEntry> ListSqlCache(const std::string& folder)
{
    return ListFolder(SqlFormat(), folder).entries;
}

// The movie of `response` through the movie check, streamed to its end; `why` gets the check's refusal.
std::optional<std::string> StreamedMovie(cache::StoredResponse response, bool checkBody = false,
                                         std::optional<cache::Refusal>* why = nullptr);

// The record at `locator` of the cache in `folder`, opened as a copy opens it.
cache::Refusable<cache::OpenedResponse> OpenRecord(const cache::ContainerFolderFormat& format,
                                                   const std::string& folder, const std::string& locator);

// The entries whose address is `address`.
std::vector<const ListedEntry*> WithAddress(const std::vector<ListedEntry>& entries, const std::string& address);

} // namespace test
