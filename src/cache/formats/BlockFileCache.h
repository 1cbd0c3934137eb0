#pragma once
// Chromium's block-file cache: "index", the block files "data_0" to "data_3" (and "data_4" on, when one
// fills up) and a file "f_xxxxxx" for each stream or key longer than 16 KiB. Entries are read from their
// own records in the 256-byte block files, not from the index, whose table a crashed browser leaves stale.
// Chrome on Windows keeps this cache to this day; Chromium elsewhere until 2013, and on request since.
#include "cache/formats/BlockFileLayout.h"
#include "cache/formats/FolderFiles.h"
#include "cache/formats/StoredFormat.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace cache {

// The address the response of an entry with `key` came from, or why there is none.
using KeyAddress = std::function<Refusable<std::string>(std::string_view key)>;

struct BlockFileOpened;

class BlockFileCache {
public:
    // `keyAddress` defaults to the HTTP cache's keys (AddressOfChromiumKey).
    static BlockFileOpened Open(std::shared_ptr<const FolderFiles> files, KeyAddress keyAddress = {});
    static BlockFileOpened Open(const std::string& folder, KeyAddress keyAddress = {});

    // The index's version (0x20000, 0x20001, 0x30000), or 0 when the folder has no index.
    std::uint32_t Version() const { return m_version; }

    // Every entry record of the 256-byte block files in their order, to `sink`: a response for each entry that
    // holds one, with its creation time and its record's address as the locator ("@0xa0010002"), a refusal for
    // the others. Blocks that hold no entry record are passed over. A body that lies in a file of its own is
    // opened only when its head does not already rule out a movie. `stop` is looked at between chunks of blocks.
    void ReadEntries(const std::atomic<bool>& stop, RecordSink& sink) const;

    // The entry whose record is at `locator`, its body's file opened, with every file it reads from.
    Refusable<OpenedResponse> OpenEntry(std::string_view locator) const;

private:
    BlockFileCache(std::shared_ptr<const FolderFiles> files, KeyAddress keyAddress, std::uint32_t version);

    // Bytes of a block file already read (the entry block file being listed): reads inside it are served from
    // it, with no further read of the file.
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
    struct Entry {
        Refusable<StoredResponse> response;
        std::int64_t written = 0;
    };

    // Nothing when the blocks at `address` hold no entry record.
    std::optional<Entry> ReadEntry(std::uint32_t address, const blockfile::EntryRecord& record, Window window,
                                   bool openBody) const;
    Stream ReadStream(std::uint32_t address, std::int32_t size, Window window, std::string& storage) const;
    // The body where the record says, as long as it says; why not, when it is not there.
    std::optional<Refusal> PlaceBody(std::uint32_t address, std::uint64_t length, Window window, bool open,
                                     StoredResponse& response) const;
    // The block file data_`number` when its header is that of a file of `blockSize` blocks.
    std::shared_ptr<const EntryBytes> BlockFile(std::uint32_t number, std::uint32_t blockSize) const;

    std::shared_ptr<const FolderFiles> m_files;
    KeyAddress m_keyAddress;
    std::uint32_t m_version = 0;
    // Block files checked so far, by number: the file, and the size of its blocks (0 when its header is not one
    // of a block file of that number). Looked up for every entry's streams, without naming the file again.
    struct CheckedBlockFile {
        std::shared_ptr<const EntryBytes> file;
        std::int32_t blockSize = 0;
    };
    mutable std::map<std::uint32_t, CheckedBlockFile> m_blockFiles;
};

struct BlockFileOpened {
    std::optional<BlockFileCache> cache;
    Refusal why = Refusal::Damaged;
    std::string notRead; // for UnknownVersion: which version, in a few words ("an index of version 4.0")
};

} // namespace cache
