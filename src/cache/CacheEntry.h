#pragma once
// What the browser-cache readers take from one entry file: the address, the response and where its body lies.
#include "cache/formats/EntryBytes.h"
#include "cache/formats/ResponseHead.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace cache {

inline constexpr std::size_t kBodyStartLength = 16;

struct CacheEntry {
    std::string address;          // the URL the response came from
    ResponseHead head;            // status line and headers as stored
    std::uint64_t bodyOffset = 0; // the body as the server sent it (still content-encoded) ...
    std::uint64_t bodyLength = 0; // ... lies here in the file
    bool cutShort = false;        // the browser itself marked the response as broken off
    std::string bodyStart;        // the body's first kBodyStartLength bytes or fewer, when a read had them anyway

    std::optional<std::uint32_t> bodyCrc32; // Chromium: a CRC-32 of the stored body, when it kept one
    std::vector<std::uint16_t> chunkHashes; // Firefox: a hash of each 256 KiB chunk of the stored data ...
    std::uint64_t hashedLength = 0;         // ... which runs this far from the file's start
};

// A Firefox cache2 entry: the body, then the metadata (chunk hashes, header, key, elements), then its offset.
// Nothing when the file is not a complete, undamaged entry of a version this reader knows.
std::optional<CacheEntry> ReadFirefoxEntry(const EntryBytes& entry);

// Whether the chunks of a Firefox entry's stored data still match their hashes (a full read).
bool FirefoxChunksMatch(const EntryBytes& entry, const CacheEntry& read);

// A Chromium Simple Cache "_0" file: header, key, stream 1 (the body), its end record, stream 0 (the pickled
// response info), maybe the key's SHA-256, and the last end record. Nothing likewise.
std::optional<CacheEntry> ReadChromiumEntry(const EntryBytes& entry);

} // namespace cache
