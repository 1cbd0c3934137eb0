#pragma once
// Chromium's block-file cache: "index", the block files "data_0" to "data_3" (and "data_4" on, when one
// fills up) and a file "f_xxxxxx" for each stream or key longer than 16 KiB. Entries are read from their
// own records in the 256-byte block files, not from the index, whose table a crashed browser leaves stale.
// Chrome on Windows keeps this cache to this day; Chromium elsewhere until 2013, and on request since.
#include "cache/formats/FolderFiles.h"
#include "cache/formats/StoredEntry.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace cache {

// Why a whole cache folder cannot be read.
enum class CacheRefusal : std::uint8_t {
    None,
    NotThisFormat,  // the folder holds no cache of this kind
    UnknownVersion, // it does, of a version this reader does not know
    MissingFile,    // it did, but a file every entry needs is gone
};
std::string_view CacheRefusalText(CacheRefusal refusal);

// The address the response of an entry with `key` came from; nothing when it is known nowhere.
using KeyAddress = std::function<std::optional<std::string>(std::string_view key)>;

struct BlockFileOpened;

class BlockFileCache {
public:
    // `keyAddress` defaults to the HTTP cache's keys (AddressOfChromiumKey).
    static BlockFileOpened Open(std::shared_ptr<const FolderFiles> files, KeyAddress keyAddress = {});
    static BlockFileOpened Open(const std::string& folder, KeyAddress keyAddress = {});

    // The index's version (0x20000, 0x20001, 0x30000), or 0 when the folder has no index.
    std::uint32_t Version() const { return m_version; }

    // Every entry record of the 256-byte block files in their order, usable or refused, to `found`. Blocks that
    // hold no entry record are passed over. `stop` is looked at between chunks of blocks.
    void ForEachEntry(const std::atomic<bool>& stop, const std::function<void(StoredEntry)>& found) const;

    // The entry whose record is at `locator` ("@0x...") in `container` ("data_1"); nothing when none lies there.
    std::optional<StoredEntry> EntryAt(std::string_view container, std::string_view locator) const;

    // What the entry's body is read from (its bodyOffset and bodyLength lie inside); nullptr when the entry has
    // none. A file of its own is opened at the first read, which fails if the file has gone since.
    std::shared_ptr<const EntryBytes> OpenBody(const StoredEntry& stored) const;

private:
    BlockFileCache(std::shared_ptr<const FolderFiles> files, KeyAddress keyAddress, std::uint32_t version);

    // Bytes of a block file already read (the chunk of entry blocks being listed): reads inside it are served
    // from it, with no further read of the file.
    struct Window {
        std::uint32_t file = 0;
        std::uint64_t offset = 0;
        std::string_view bytes;
    };
    enum class StreamRead { Read, Missing, Short, Damaged };
    struct Stream {
        StreamRead result = StreamRead::Missing;
        std::string_view bytes; // in the window or in the caller's storage
    };

    std::optional<StoredEntry> ReadEntry(std::uint32_t address, Window window) const;
    Stream ReadStream(std::uint32_t address, std::int32_t size, Window window, std::string& storage) const;
    // Where the body lies, whether it is all there, and its first bytes when they come for free.
    void PlaceBody(std::uint32_t address, StoredEntry& stored, Window window) const;
    // The block file data_`number` when its header is that of a file of `blockSize` blocks.
    std::shared_ptr<const EntryBytes> BlockFile(std::uint32_t number, std::uint32_t blockSize) const;

    std::shared_ptr<const FolderFiles> m_files;
    KeyAddress m_keyAddress;
    std::uint32_t m_version = 0;
    mutable std::map<std::uint32_t, std::int32_t> m_blockFileLimits; // checked block files: their block counts
};

struct BlockFileOpened {
    std::optional<BlockFileCache> cache;
    CacheRefusal refusal = CacheRefusal::None;
};

} // namespace cache
