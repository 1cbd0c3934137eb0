#include "cache/formats/BlockFileCache.h"

#include "cache/ChromiumResponseInfo.h"
#include "cache/formats/BlockFileLayout.h"

#include <set>

namespace cache {

namespace {

using blockfile::Address;

constexpr std::size_t kChunkBlocks = 1024;    // 256 KiB of entry blocks per read while listing
constexpr std::int32_t kMaxKey = 1 << 20;     // addresses of a few KiB at most in practice
constexpr std::int32_t kMaxStream0 = 1 << 20; // headers and certificates: a few KiB in practice
constexpr std::uint32_t kEntryBlockSize = blockfile::kEntrySize;

std::string DataFileName(std::uint32_t number) { return "data_" + std::to_string(number); }

// A file of the folder opened at its first use: a movie check that the first bytes the listing read already
// answered opens nothing. Not thread-safe.
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

} // namespace

std::string_view CacheRefusalText(CacheRefusal refusal)
{
    switch (refusal) {
    case CacheRefusal::None:
        return "readable";
    case CacheRefusal::NotThisFormat:
        return "not a cache of this kind";
    case CacheRefusal::UnknownVersion:
        return "a cache of a version Plumeroc does not read";
    case CacheRefusal::MissingFile:
        return "a cache whose main files are missing";
    }
    return "unknown";
}

BlockFileCache::BlockFileCache(std::shared_ptr<const FolderFiles> files, KeyAddress keyAddress, std::uint32_t version)
    : m_files(std::move(files))
    , m_keyAddress(std::move(keyAddress))
    , m_version(version)
{
    if (!m_keyAddress) {
        m_keyAddress = [](std::string_view key) -> std::optional<std::string> {
            const std::string_view address = AddressOfChromiumKey(key);
            if (address.empty())
                return std::nullopt;
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
            opened.refusal = CacheRefusal::NotThisFormat;
            return opened;
        }
        version = LittleEndian32(bytes, 4);
        if (!blockfile::IsKnownIndexVersion(version)) {
            opened.refusal = CacheRefusal::UnknownVersion;
            return opened;
        }
    }
    // Every entry record lies in data_1 or the files it leads to.
    const auto first = files->Open("data_1");
    const auto header = first && first->ReadAt(0, 24, bytes) ? blockfile::ParseBlockFileHeader(bytes) : std::nullopt;
    if (!header || header->entrySize != static_cast<std::int32_t>(kEntryBlockSize)) {
        opened.refusal = index ? CacheRefusal::MissingFile : CacheRefusal::NotThisFormat;
        return opened;
    }
    if (!blockfile::IsKnownBlockFileVersion(header->version)) {
        opened.refusal = CacheRefusal::UnknownVersion;
        return opened;
    }
    opened.cache = BlockFileCache(std::move(files), std::move(keyAddress), version);
    return opened;
}

BlockFileOpened BlockFileCache::Open(const std::string& folder, KeyAddress keyAddress)
{
    auto files = DiskFolderFiles::OpenFolder(folder);
    if (!files)
        return {std::nullopt, CacheRefusal::NotThisFormat};
    return Open(std::make_shared<DiskFolderFiles>(std::move(*files)), std::move(keyAddress));
}

std::shared_ptr<const EntryBytes> BlockFileCache::BlockFile(std::uint32_t number, std::uint32_t blockSize) const
{
    auto file = m_files->Open(DataFileName(number));
    if (!file)
        return nullptr;
    auto limit = m_blockFileLimits.find(number);
    if (limit == m_blockFileLimits.end()) {
        std::string bytes;
        const auto header = file->ReadAt(0, 24, bytes) ? blockfile::ParseBlockFileHeader(bytes) : std::nullopt;
        const bool usable = header && blockfile::IsKnownBlockFileVersion(header->version) && header->entrySize > 0
            && header->thisFile == static_cast<std::int16_t>(number);
        limit = m_blockFileLimits.emplace(number, usable ? header->entrySize : 0).first;
    }
    if (limit->second != static_cast<std::int32_t>(blockSize))
        return nullptr;
    return file;
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
    if (!address.IsSeparateFile() && address.FileNumber() == window.file && address.FileOffset() >= window.offset
        && address.FileOffset() - window.offset <= window.bytes.size()
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

void BlockFileCache::PlaceBody(std::uint32_t value, StoredEntry& stored, Window window) const
{
    const Address body(value);
    const std::uint64_t length = stored.entry.bodyLength;
    if (length == 0) {
        stored.entry.bodyOffset = 0;
        stored.bodyFile = stored.container;
        return;
    }
    if (!body.Initialized()) {
        stored.refusal = EntryRefusal::CutShort;
        return;
    }
    if (length > body.Capacity()) {
        stored.refusal = EntryRefusal::Damaged;
        return;
    }
    stored.bodyFile = body.FileName();
    stored.entry.bodyOffset = body.FileOffset();
    const std::size_t start = static_cast<std::size_t>(std::min<std::uint64_t>(kBodyStartLength, length));
    if (body.IsSeparateFile()) {
        // The open that checks the file's length reads its first bytes too: the movie check needs no other.
        const auto file = m_files->Open(stored.bodyFile);
        if (file && file->Size() < length)
            stored.refusal = EntryRefusal::CutShort;
        else if (!file || !file->ReadAt(0, start, stored.entry.bodyStart))
            stored.refusal = EntryRefusal::MissingFile;
        return;
    }
    const auto file = BlockFile(body.FileNumber(), body.BlockSize());
    if (!file || !file->Holds(stored.entry.bodyOffset, length)) {
        stored.refusal = EntryRefusal::MissingFile;
        return;
    }
    if (body.FileNumber() == window.file && stored.entry.bodyOffset >= window.offset
        && stored.entry.bodyOffset - window.offset + start <= window.bytes.size())
        stored.entry.bodyStart =
            window.bytes.substr(static_cast<std::size_t>(stored.entry.bodyOffset - window.offset), start);
}

std::optional<StoredEntry> BlockFileCache::ReadEntry(std::uint32_t value, Window window) const
{
    const Address address(value);
    const std::string_view firstBlock =
        window.bytes.substr(static_cast<std::size_t>(address.FileOffset() - window.offset), kEntryBlockSize);
    const blockfile::EntryRecord record = blockfile::ParseEntryRecord(firstBlock);
    if (!blockfile::RecordLooksSane(record) || blockfile::BlocksForKey(record.keyLength) != address.Blocks())
        return std::nullopt;
    // A record hash, where the browser wrote one, tells an entry from other bytes; without it the key hash does.
    const bool hashed = record.selfHash != 0;
    if (hashed && kChecksumsCount
        && ChromiumPersistentHash(firstBlock.substr(0, blockfile::kSelfHashOffset)) != record.selfHash)
        return std::nullopt;

    StoredEntry stored;
    stored.container = DataFileName(address.FileNumber());
    stored.locator = blockfile::EntryLocator(address);
    stored.written = blockfile::UnixNanoseconds(record.creationTime);
    stored.keyHash = record.hash;
    const auto refuse = [&](EntryRefusal refusal) -> std::optional<StoredEntry> {
        if (!hashed)
            return std::nullopt;
        stored.refusal = refusal;
        return stored;
    };
    if (record.keyLength > kMaxKey)
        return refuse(EntryRefusal::Damaged);

    std::string keyStorage, stream0Storage;
    std::string_view key;
    if (!record.longKey.Initialized()) {
        std::string_view blocks = firstBlock;
        if (address.Blocks() > 1) {
            const Stream whole =
                ReadStream(value, static_cast<std::int32_t>(address.Blocks() * kEntryBlockSize), window, keyStorage);
            if (whole.result != StreamRead::Read)
                return refuse(EntryRefusal::Damaged);
            blocks = whole.bytes;
        }
        const auto keyLength = static_cast<std::size_t>(record.keyLength);
        if (blocks[blockfile::kInlineKeyOffset + keyLength] != '\0')
            return refuse(EntryRefusal::Damaged);
        key = blocks.substr(blockfile::kInlineKeyOffset, keyLength);
    } else {
        // A long key is stored with its NUL; in a file of its own, the file is exactly that long.
        const Address keyAddress = record.longKey;
        if (keyAddress.IsSeparateFile()) {
            const auto file = m_files->Open(keyAddress.FileName());
            if (file && file->Size() != static_cast<std::uint64_t>(record.keyLength) + 1)
                return refuse(EntryRefusal::Damaged);
        }
        const Stream stream = ReadStream(keyAddress.Value(), record.keyLength, window, keyStorage);
        if (stream.result != StreamRead::Read)
            return refuse(EntryRefusal::MissingFile);
        key = stream.bytes;
    }
    if (kChecksumsCount && ChromiumPersistentHash(key) != record.hash)
        return refuse(EntryRefusal::Damaged);
    stored.refusal = EntryRefusal::None;

    if (!blockfile::StreamsLookSane(record)) {
        stored.refusal = EntryRefusal::Damaged;
        return stored;
    }
    if (record.flags & blockfile::kChildEntry) {
        stored.refusal = EntryRefusal::NotHttp;
        return stored;
    }
    if (record.state != 0) {
        stored.refusal = EntryRefusal::Doomed;
        return stored;
    }
    auto origin = m_keyAddress(key);
    if (!origin) {
        stored.refusal = EntryRefusal::NoAddress;
        return stored;
    }
    stored.entry.address = std::move(*origin);

    // Stream 0: the response info. Lost with its block file, it leaves the body to speak for itself.
    if (record.dataSize[0] == 0 || record.dataSize[0] > kMaxStream0) {
        stored.refusal = record.dataSize[0] == 0 ? EntryRefusal::NotHttp : EntryRefusal::Damaged;
        return stored;
    }
    const Stream stream0 = ReadStream(record.dataAddress[0].Value(), record.dataSize[0], window, stream0Storage);
    switch (stream0.result) {
    case StreamRead::Read:
        if (auto info = ReadChromiumResponseInfo(stream0.bytes)) {
            stored.entry.head = std::move(info->head);
            stored.entry.cutShort = info->cutShort;
        } else {
            stored.refusal =
                IsNewerChromiumResponseInfo(stream0.bytes) ? EntryRefusal::UnknownVersion : EntryRefusal::NotHttp;
            return stored;
        }
        break;
    case StreamRead::Missing:
    case StreamRead::Short:
        stored.headLost = true;
        break;
    case StreamRead::Damaged:
        stored.refusal = EntryRefusal::Damaged;
        return stored;
    }

    // Stream 1: the body as the server sent it, where the record says and as long as it says.
    stored.entry.bodyLength = static_cast<std::uint64_t>(record.dataSize[1]);
    PlaceBody(record.dataAddress[1].Value(), stored, window);
    if (stored.refusal == EntryRefusal::None && stored.entry.cutShort)
        stored.refusal = EntryRefusal::CutShort;
    return stored;
}

void BlockFileCache::ForEachEntry(const std::atomic<bool>& stop, const std::function<void(StoredEntry)>& found) const
{
    std::set<std::uint32_t> visited;
    std::string chunk;
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
        const std::uint64_t blocks = std::min<std::uint64_t>(
            {stored, std::uint64_t{0x10000}, static_cast<std::uint64_t>(std::max(header->maxEntries, 0))});
        std::uint64_t free = 0; // the first block that no entry read so far takes
        for (std::uint64_t start = 0; start < blocks; start += kChunkBlocks) {
            if (stop.load(std::memory_order_relaxed))
                return;
            const auto count = static_cast<std::size_t>(std::min<std::uint64_t>(kChunkBlocks, blocks - start));
            if (!file->ReadAt(blockfile::kBlockHeaderSize + start * kEntryBlockSize, count * kEntryBlockSize, chunk))
                return;
            for (std::size_t i = 0; i < count; ++i) {
                const std::uint64_t at = start + i;
                if (at < free)
                    continue;
                const std::string_view block = std::string_view(chunk).substr(i * kEntryBlockSize, kEntryBlockSize);
                const blockfile::EntryRecord record = blockfile::ParseEntryRecord(block);
                if (!blockfile::RecordLooksSane(record))
                    continue; // most blocks: free, or data of some stream
                const std::uint32_t taken = blockfile::BlocksForKey(record.keyLength);
                if (at + taken > blocks)
                    continue;
                const auto address = Address::ForEntry(number, static_cast<std::uint32_t>(at), taken);
                const Window window{number, blockfile::kBlockHeaderSize + start * kEntryBlockSize, chunk};
                if (auto entry = ReadEntry(address.Value(), window)) {
                    found(std::move(*entry));
                    free = at + taken;
                }
            }
        }
        const int next = header->nextFile;
        if (next < blockfile::kFirstAdditionalFile || next > blockfile::kMaxBlockFile)
            return;
        number = static_cast<std::uint32_t>(next);
    }
}

std::optional<StoredEntry> BlockFileCache::EntryAt(std::string_view container, std::string_view locator) const
{
    const auto number = blockfile::BlockFileNumber(container);
    const auto address = blockfile::ParseEntryLocator(locator);
    if (!number || !address || address->FileNumber() != static_cast<std::uint32_t>(*number))
        return std::nullopt;
    const auto file = BlockFile(address->FileNumber(), kEntryBlockSize);
    std::string block;
    if (!file || !file->ReadAt(address->FileOffset(), kEntryBlockSize, block))
        return std::nullopt;
    return ReadEntry(address->Value(), Window{address->FileNumber(), address->FileOffset(), block});
}

std::shared_ptr<const EntryBytes> BlockFileCache::OpenBody(const StoredEntry& stored) const
{
    if (stored.bodyFile.empty())
        return nullptr;
    if (stored.bodyFile.starts_with("f_"))
        return std::make_shared<LazyFile>(m_files, stored.bodyFile);
    return m_files->Open(stored.bodyFile);
}

} // namespace cache
