#include "cache/formats/BlockFileCache.h"

#include "cache/formats/BlockFileLayout.h"
#include "cache/formats/ChromiumResponseInfo.h"

#include <algorithm>
#include <cstdio>
#include <set>
#include <vector>

namespace cache {

namespace {

using blockfile::Address;

constexpr std::uint64_t kChunkBlocks = 4096;  // 1 MiB of entry blocks per read while listing
constexpr std::uint64_t kMarginBlocks = 256;  // and 64 KiB before and after it
constexpr std::int32_t kMaxKey = 1 << 20;     // addresses of a few KiB at most in practice
constexpr std::int32_t kMaxStream0 = 1 << 20; // headers and certificates: a few KiB in practice
constexpr std::uint32_t kEntryBlockSize = blockfile::kEntrySize;
// What the movie check looks at first: three bytes of a body sent as it is; of a coded one, what decodes to three.
constexpr std::size_t kBodyStartLength = 16;
constexpr std::size_t kCodedStartLength = 512;

std::string DataFileName(std::uint32_t number) { return "data_" + std::to_string(number); }

std::string VersionText(std::uint32_t version)
{
    char text[24];
    std::snprintf(text, sizeof text, "%u.%u", version >> 16, version & 0xFFFFu);
    return text;
}

// A file of the folder opened at its first use: a body the movie check turns away by its head opens nothing.
// Not thread-safe.
class LazyFile final : public EntryBytes {
public:
    LazyFile(std::shared_ptr<const FolderFiles> files, std::string name)
        : m_files(std::move(files))
        , m_name(std::move(name))
    {}
    std::uint64_t Size() const override
    {
        const EntryBytes* file = File();
        return file != nullptr ? file->Size() : 0;
    }
    bool ReadAt(std::uint64_t offset, std::size_t length, std::string& out) const override
    {
        const EntryBytes* file = File();
        return file != nullptr && file->ReadAt(offset, length, out);
    }

private:
    const EntryBytes* File() const
    {
        if (!m_opened) {
            m_file = m_files->Open(m_name);
            m_opened = true;
        }
        return m_file.get();
    }

    std::shared_ptr<const FolderFiles> m_files;
    std::string m_name;
    mutable bool m_opened = false;
    mutable std::shared_ptr<const EntryBytes> m_file;
};

// A body in one range of a file of the cache, which it keeps open.
class BlockFileBody final : public ExtentBody {
public:
    BlockFileBody(std::shared_ptr<const EntryBytes> file, std::uint64_t offset, std::uint64_t length, std::string start)
        : ExtentBody(*file, offset, length, std::move(start))
        , m_file(std::move(file))
    {}

private:
    std::shared_ptr<const EntryBytes> m_file;
};

} // namespace

BlockFileCache::BlockFileCache(std::shared_ptr<const FolderFiles> files, KeyAddress keyAddress, std::uint32_t version)
    : m_files(std::move(files))
    , m_keyAddress(std::move(keyAddress))
    , m_version(version)
{
    if (!m_keyAddress) {
        m_keyAddress = [](std::string_view key) -> Refusable<std::string> {
            const std::string_view address = AddressOfChromiumKey(key);
            if (address.empty())
                return Refusal::NotAResponse;
            return std::string(address);
        };
    }
}

BlockFileOpened BlockFileCache::Open(std::shared_ptr<const FolderFiles> files, KeyAddress keyAddress)
{
    BlockFileOpened opened;
    std::uint32_t version = 0;
    std::string bytes;
    const auto index = files->Open("index");
    if (index) {
        if (!index->ReadAt(0, blockfile::kIndexHeaderSize, bytes)
            || LittleEndian32(bytes, 0) != blockfile::kIndexMagic) {
            opened.why = Refusal::NotAResponse;
            return opened;
        }
        version = LittleEndian32(bytes, 4);
        if (!blockfile::IsKnownIndexVersion(version)) {
            opened.why = Refusal::UnknownVersion;
            opened.notRead = "an index of version " + VersionText(version);
            return opened;
        }
    }
    // Every entry record lies in data_1 or the files it leads to.
    const auto first = files->Open("data_1");
    const auto header = first && first->ReadAt(0, 24, bytes) ? blockfile::ParseBlockFileHeader(bytes) : std::nullopt;
    if (!header || header->entrySize != static_cast<std::int32_t>(kEntryBlockSize)) {
        opened.why = index ? Refusal::MissingFile : Refusal::NotAResponse;
        return opened;
    }
    if (!blockfile::IsKnownBlockFileVersion(header->version)) {
        opened.why = Refusal::UnknownVersion;
        opened.notRead = "block files of version " + VersionText(header->version);
        return opened;
    }
    opened.cache = BlockFileCache(std::move(files), std::move(keyAddress), version);
    return opened;
}

BlockFileOpened BlockFileCache::Open(const std::string& folder, KeyAddress keyAddress)
{
    auto files = DiskFolderFiles::OpenFolder(folder);
    if (!files)
        return {std::nullopt, Refusal::Unreadable, {}};
    return Open(std::make_shared<DiskFolderFiles>(std::move(*files)), std::move(keyAddress));
}

std::shared_ptr<const EntryBytes> BlockFileCache::BlockFile(std::uint32_t number, std::uint32_t blockSize) const
{
    auto checked = m_blockFiles.find(number);
    if (checked == m_blockFiles.end()) {
        auto file = m_files->Open(DataFileName(number));
        std::string bytes;
        const auto header = file && file->ReadAt(0, 24, bytes) ? blockfile::ParseBlockFileHeader(bytes) : std::nullopt;
        const bool usable = header && blockfile::IsKnownBlockFileVersion(header->version) && header->entrySize > 0
            && header->thisFile == static_cast<std::int16_t>(number);
        checked = m_blockFiles.emplace(number, CheckedBlockFile{std::move(file), usable ? header->entrySize : 0}).first;
    }
    if (!checked->second.file || checked->second.blockSize != static_cast<std::int32_t>(blockSize))
        return nullptr;
    return checked->second.file;
}

BlockFileCache::Stream BlockFileCache::ReadStream(std::uint32_t value, std::int32_t size, Window window,
                                                  std::string& storage) const
{
    const Address address(value);
    const auto length = static_cast<std::uint64_t>(size);
    if (!address.Initialized())
        return {StreamRead::Missing, {}}; // recorded but never written out
    if (length > address.Capacity())
        return {StreamRead::Damaged, {}};
    // The window is of the 256-byte block file: an address of other blocks in it is no stream of it, as
    // BlockFile() below finds when the window is not at hand (opening the entry again).
    if (!address.IsSeparateFile() && address.FileNumber() == window.file && address.BlockSize() == kEntryBlockSize
        && address.FileOffset() >= window.offset && address.FileOffset() - window.offset <= window.bytes.size()
        && length <= window.bytes.size() - (address.FileOffset() - window.offset))
        return {StreamRead::Read,
                window.bytes.substr(static_cast<std::size_t>(address.FileOffset() - window.offset),
                                    static_cast<std::size_t>(length))};
    std::shared_ptr<const EntryBytes> file;
    if (address.IsSeparateFile()) {
        file = m_files->Open(address.FileName());
        if (file && file->Size() < length)
            return {StreamRead::Short, {}};
    } else {
        file = BlockFile(address.FileNumber(), address.BlockSize());
    }
    if (!file || !file->Holds(address.FileOffset(), length)
        || !file->ReadAt(address.FileOffset(), static_cast<std::size_t>(length), storage))
        return {StreamRead::Missing, {}};
    return {StreamRead::Read, storage};
}

std::optional<Refusal> BlockFileCache::PlaceBody(std::uint32_t value, std::uint64_t length, Window window, bool open,
                                                 StoredResponse& response) const
{
    const Address address(value);
    if (length == 0) {
        response.body = std::make_unique<ExtentBody>(std::vector<ExtentBody::Extent>{});
        return std::nullopt;
    }
    if (!address.Initialized())
        return Refusal::CutShort;
    if (length > address.Capacity())
        return Refusal::Damaged;
    const std::uint64_t offset = address.FileOffset();
    // The movie check looks at three bytes of a body sent as it is, at a few hundred of a coded one: kept when
    // they come for free.
    const bool coded = response.headLost || response.head.Value("Content-Encoding");
    const auto wanted =
        static_cast<std::size_t>(std::min<std::uint64_t>(coded ? kCodedStartLength : kBodyStartLength, length));
    std::string start;
    if (address.IsSeparateFile()) {
        if (!open) {
            auto lazy = std::make_shared<LazyFile>(m_files, address.FileName());
            response.body = std::make_unique<BlockFileBody>(std::move(lazy), offset, length, std::string());
            return std::nullopt;
        }
        // The open that checks the file's length reads its first bytes too: the movie check needs no other.
        auto file = m_files->Open(address.FileName());
        if (!file)
            return Refusal::MissingFile;
        if (file->Size() < length)
            return Refusal::CutShort;
        if (!file->ReadAt(0, wanted, start))
            return Refusal::Unreadable;
        response.body = std::make_unique<BlockFileBody>(std::move(file), offset, length, std::move(start));
        return std::nullopt;
    }
    auto file = BlockFile(address.FileNumber(), address.BlockSize());
    if (!file || !file->Holds(offset, length))
        return Refusal::MissingFile;
    // Elsewhere, the movie check reads no more of it than it needs: a pread costs as much as copying some KiB,
    // and the bodies of a 1 or 4 KiB block file lie that far apart.
    if (address.FileNumber() == window.file && offset >= window.offset
        && offset - window.offset + wanted <= window.bytes.size())
        start = window.bytes.substr(static_cast<std::size_t>(offset - window.offset), wanted);
    response.body = std::make_unique<BlockFileBody>(std::move(file), offset, length, std::move(start));
    return std::nullopt;
}

std::optional<BlockFileCache::Entry>
BlockFileCache::ReadEntry(std::uint32_t value, const blockfile::EntryRecord& record, Window window, bool openBody) const
{
    const Address address(value);
    const std::string_view firstBlock =
        window.bytes.substr(static_cast<std::size_t>(address.FileOffset() - window.offset), kEntryBlockSize);
    if (!blockfile::RecordLooksSane(record) || blockfile::BlocksForKey(record.keyLength) != address.Blocks())
        return std::nullopt;
    // A record hash, where the browser wrote one, tells an entry from other bytes; without it the key hash does.
    const bool hashed = record.selfHash != 0;
    if (hashed && kChecksumsCount
        && ChromiumPersistentHash(firstBlock.substr(0, blockfile::kSelfHashOffset)) != record.selfHash)
        return std::nullopt;

    const std::int64_t written = blockfile::UnixNanoseconds(record.creationTime);
    const auto refuse = [&](Refusal why) -> std::optional<Entry> {
        if (!hashed)
            return std::nullopt;
        return Entry{why, written};
    };
    if (record.keyLength > kMaxKey)
        return refuse(Refusal::Damaged);

    std::string keyStorage, stream0Storage;
    std::string_view key;
    if (!record.longKey.Initialized()) {
        std::string_view blocks = firstBlock;
        if (address.Blocks() > 1) {
            const Stream whole =
                ReadStream(value, static_cast<std::int32_t>(address.Blocks() * kEntryBlockSize), window, keyStorage);
            if (whole.result != StreamRead::Read)
                return refuse(Refusal::Damaged);
            blocks = whole.bytes;
        }
        const auto keyLength = static_cast<std::size_t>(record.keyLength);
        if (blocks[blockfile::kInlineKeyOffset + keyLength] != '\0')
            return refuse(Refusal::Damaged);
        key = blocks.substr(blockfile::kInlineKeyOffset, keyLength);
    } else {
        // A long key is stored with its NUL; in a file of its own, the file is exactly that long.
        const Address keyAddress = record.longKey;
        if (keyAddress.IsSeparateFile()) {
            const auto file = m_files->Open(keyAddress.FileName());
            if (file && file->Size() != static_cast<std::uint64_t>(record.keyLength) + 1)
                return refuse(Refusal::Damaged);
        }
        const Stream stream = ReadStream(keyAddress.Value(), record.keyLength, window, keyStorage);
        if (stream.result != StreamRead::Read)
            return refuse(Refusal::MissingFile);
        key = stream.bytes;
    }
    if (kChecksumsCount && ChromiumPersistentHash(key) != record.hash)
        return refuse(Refusal::Damaged);
    // From here on the record is an entry's: its refusals are listed.
    const auto entryRefusal = [&](Refusal why) { return std::optional<Entry>(Entry{why, written}); };

    if (!blockfile::StreamsLookSane(record))
        return entryRefusal(Refusal::Damaged);
    if (record.flags & blockfile::kChildEntry)
        return entryRefusal(Refusal::NotAResponse); // a piece of a sparse entry's data
    if (record.state != 0)
        return entryRefusal(Refusal::Dropped);
    auto origin = m_keyAddress(key);
    if (!origin)
        return entryRefusal(origin.Why());

    StoredResponse response;
    response.address = std::move(*origin);
    // Stream 0: the response info. Lost with its block file, it leaves the body to speak for itself.
    if (record.dataSize[0] == 0)
        return entryRefusal(Refusal::NotAResponse);
    if (record.dataSize[0] > kMaxStream0)
        return entryRefusal(Refusal::Damaged);
    const Stream stream0 = ReadStream(record.dataAddress[0].Value(), record.dataSize[0], window, stream0Storage);
    switch (stream0.result) {
    case StreamRead::Read: {
        auto info = ReadChromiumResponseInfo(stream0.bytes);
        if (!info)
            return entryRefusal(info.Why());
        response.head = std::move(info->head);
        response.cutShort = info->cutShort;
        break;
    }
    case StreamRead::Missing:
    case StreamRead::Short:
        response.headLost = true;
        break;
    case StreamRead::Damaged:
        return entryRefusal(Refusal::Damaged);
    }

    // Stream 1: the body as the server sent it, where the record says and as long as it says.
    const auto length = static_cast<std::uint64_t>(record.dataSize[1]);
    const bool open = openBody || !HeadRefusal(response, length);
    if (const auto refusal = PlaceBody(record.dataAddress[1].Value(), length, window, open, response))
        return entryRefusal(*refusal);
    return Entry{std::move(response), written};
}

void BlockFileCache::ReadEntries(const std::atomic<bool>& stop, RecordSink& sink) const
{
    std::set<std::uint32_t> visited;
    std::string blocks;
    for (std::uint32_t number = 1; visited.insert(number).second;) {
        const auto file = BlockFile(number, kEntryBlockSize);
        if (!file)
            return;
        std::string bytes;
        if (!file->ReadAt(0, 24, bytes))
            return;
        const auto header = blockfile::ParseBlockFileHeader(bytes);
        if (!header)
            return;
        const std::uint64_t stored = file->Size() > blockfile::kBlockHeaderSize
            ? (file->Size() - blockfile::kBlockHeaderSize) / kEntryBlockSize
            : 0;
        // Block numbers have 16 bits; a file never holds more than its header can track.
        const std::uint64_t count = std::min<std::uint64_t>(
            {stored, std::uint64_t{0x10000}, static_cast<std::uint64_t>(std::max(header->maxEntries, 0))});
        std::uint64_t free = 0; // the first block that no entry read so far takes
        for (std::uint64_t chunk = 0; chunk < count; chunk += kChunkBlocks) {
            // Each chunk of records is read with the blocks around it: their keys, heads and small bodies lie
            // within a few dozen blocks of them, so nearly every entry needs no read of its own.
            const std::uint64_t first = chunk > kMarginBlocks ? chunk - kMarginBlocks : 0;
            const std::uint64_t end = std::min(count, chunk + kChunkBlocks + kMarginBlocks);
            if (!file->ReadAt(blockfile::kBlockHeaderSize + first * kEntryBlockSize,
                              static_cast<std::size_t>((end - first) * kEntryBlockSize), blocks))
                return;
            const Window window{number, blockfile::kBlockHeaderSize + first * kEntryBlockSize, blocks};
            for (std::uint64_t at = std::max(chunk, free); at < std::min(count, chunk + kChunkBlocks); ++at) {
                const std::string_view block = std::string_view(blocks).substr(
                    static_cast<std::size_t>((at - first) * kEntryBlockSize), kEntryBlockSize);
                // Most blocks are free or hold some stream's data: their rankings field already tells.
                if (!Address(LittleEndian32(block, 8)).SaneForRankings())
                    continue;
                const blockfile::EntryRecord record = blockfile::ParseEntryRecord(block);
                if (!blockfile::RecordLooksSane(record))
                    continue;
                const std::uint32_t taken = blockfile::BlocksForKey(record.keyLength);
                if (at + taken > count)
                    continue;
                const auto address = Address::ForEntry(number, static_cast<std::uint32_t>(at), taken);
                auto entry = ReadEntry(address.Value(), record, window, false);
                if (!entry)
                    continue;
                free = at + taken;
                const std::string locator = blockfile::EntryLocator(address);
                if (!entry->response)
                    sink.Refused(locator, entry->response.Why());
                else if (!sink.Response(locator, *entry->response, entry->written))
                    return;
            }
            if (stop.load(std::memory_order_relaxed))
                return;
        }
        const int next = header->nextFile;
        if (next < blockfile::kFirstAdditionalFile || next > blockfile::kMaxBlockFile)
            return;
        number = static_cast<std::uint32_t>(next);
    }
}

Refusable<OpenedResponse> BlockFileCache::OpenEntry(std::string_view locator) const
{
    const auto address = blockfile::ParseEntryLocator(locator);
    if (!address)
        return Refusal::Unreadable;
    const auto file = BlockFile(address->FileNumber(), kEntryBlockSize);
    std::string block;
    if (!file || !file->ReadAt(address->FileOffset(), kEntryBlockSize, block))
        return Refusal::Unreadable;
    const Window window{address->FileNumber(), address->FileOffset(), block};
    auto entry = ReadEntry(address->Value(), blockfile::ParseEntryRecord(block), window, true);
    if (!entry)
        return Refusal::Unreadable; // no entry lies there (any more)
    if (!entry->response)
        return entry->response.Why();
    OpenedResponse opened;
    opened.response = std::move(*entry->response);
    opened.files = m_files->Identities();
    return opened;
}

} // namespace cache
