#include "cache/formats/BlockFileLayout.h"

#include <charconv>
#include <cstdio>
#include <limits>

namespace cache::blockfile {

namespace {

constexpr std::uint32_t kReservedBits = 0x0C000000u;
constexpr std::uint64_t kWindowsToUnixMicroseconds = 11'644'473'600'000'000ull;

std::int32_t Signed32(std::string_view bytes, std::size_t at)
{
    return static_cast<std::int32_t>(LittleEndian32(bytes, at));
}

std::int16_t Signed16(std::string_view bytes, std::size_t at)
{
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[at])
                                                                | (static_cast<unsigned char>(bytes[at + 1]) << 8)));
}

} // namespace

bool IsKnownIndexVersion(std::uint32_t version)
{
    return version == 0x20000 || version == 0x20001 || version == 0x30000;
}

bool IsKnownBlockFileVersion(std::uint32_t version) { return version == 0x20000 || version == 0x30000; }

Address Address::ForEntry(std::uint32_t file, std::uint32_t start, std::uint32_t blocks)
{
    return Address(0x80000000u | (2u << 28) | ((blocks - 1) << 24) | (file << 16) | (start & 0xFFFFu));
}

std::uint32_t Address::BlockSize() const
{
    switch (static_cast<FileType>(Type())) {
    case FileType::Rankings:
        return 36;
    case FileType::Block256:
        return 256;
    case FileType::Block1K:
        return 1024;
    case FileType::Block4K:
        return 4096;
    case FileType::External:
        break;
    }
    return 0;
}

std::string Address::FileName() const
{
    char name[16];
    if (IsSeparateFile())
        std::snprintf(name, sizeof name, "f_%06x", FileNumber());
    else
        std::snprintf(name, sizeof name, "data_%u", FileNumber());
    return name;
}

bool Address::Sane() const
{
    if (!Initialized())
        return m_value == 0;
    if (Type() > static_cast<std::uint32_t>(FileType::Block4K))
        return false;
    return IsSeparateFile() || (m_value & kReservedBits) == 0;
}

std::uint64_t Address::FileOffset() const
{
    return IsSeparateFile() ? 0 : kBlockHeaderSize + std::uint64_t{StartBlock()} * BlockSize();
}

std::uint64_t Address::Capacity() const
{
    return IsSeparateFile() ? std::numeric_limits<std::uint64_t>::max() : std::uint64_t{Blocks()} * BlockSize();
}

std::string EntryLocator(Address address)
{
    // "@0x" and eight lower-case digits, written by hand: every entry listed gets one.
    std::string text = "@0x00000000";
    for (std::size_t digit = 0, value = address.Value(); digit < 8; ++digit, value >>= 4)
        text[text.size() - 1 - digit] = "0123456789abcdef"[value & 0xF];
    return text;
}

std::optional<Address> ParseEntryLocator(std::string_view locator)
{
    if (locator.size() != 11 || !locator.starts_with("@0x"))
        return std::nullopt;
    std::uint32_t value = 0;
    const char* end = locator.data() + locator.size();
    const auto [stop, error] = std::from_chars(locator.data() + 3, end, value, 16);
    if (error != std::errc() || stop != end)
        return std::nullopt;
    const Address address(value);
    if (!address.SaneForEntry())
        return std::nullopt;
    return address;
}

std::optional<int> BlockFileNumber(std::string_view name)
{
    if (!name.starts_with("data_") || name.size() < 6 || name.size() > 8 || (name[5] == '0' && name.size() > 6))
        return std::nullopt;
    int number = 0;
    const char* end = name.data() + name.size();
    const auto [stop, error] = std::from_chars(name.data() + 5, end, number);
    if (error != std::errc() || stop != end || number > kMaxBlockFile)
        return std::nullopt;
    return number;
}

EntryRecord ParseEntryRecord(std::string_view block)
{
    EntryRecord record;
    record.hash = LittleEndian32(block, 0);
    record.next = Address(LittleEndian32(block, 4));
    record.rankings = Address(LittleEndian32(block, 8));
    record.reuseCount = Signed32(block, 12);
    record.refetchCount = Signed32(block, 16);
    record.state = Signed32(block, 20);
    record.creationTime = LittleEndian64(block, 24);
    record.keyLength = Signed32(block, 32);
    record.longKey = Address(LittleEndian32(block, 36));
    for (std::size_t i = 0; i < kStreams; ++i) {
        record.dataSize[i] = Signed32(block, 40 + 4 * i);
        record.dataAddress[i] = Address(LittleEndian32(block, 56 + 4 * i));
    }
    record.flags = LittleEndian32(block, 72);
    record.selfHash = LittleEndian32(block, kSelfHashOffset);
    return record;
}

bool RecordLooksSane(const EntryRecord& record)
{
    if (!record.rankings.SaneForRankings() || record.keyLength <= 0)
        return false;
    if (record.reuseCount < 0 || record.refetchCount < 0 || record.state < 0 || record.state > 2)
        return false;
    if (record.next.Initialized() && !record.next.SaneForEntry())
        return false;
    const bool longKey = record.keyLength > kMaxInlineKey;
    if (longKey != record.longKey.Initialized() || !record.longKey.Sane())
        return false;
    // A long key lies in blocks up to the largest block run, beyond it in a file of its own.
    return !longKey || record.longKey.IsSeparateFile() == (record.keyLength >= kMaxBlockData);
}

bool StreamsLookSane(const EntryRecord& record)
{
    for (std::size_t i = 0; i < kStreams; ++i) {
        const std::int32_t size = record.dataSize[i];
        const Address address = record.dataAddress[i];
        if (size < 0 || (size == 0 && address.Initialized()) || !address.Sane())
            return false;
        if (size > 0 && address.IsSeparateFile() != (size > kMaxBlockData))
            return false;
    }
    return true;
}

std::uint32_t BlocksForKey(std::int32_t keyLength)
{
    constexpr std::int32_t kFirstBlockKey = static_cast<std::int32_t>(kEntrySize - kInlineKeyOffset);
    if (keyLength < kFirstBlockKey || keyLength > kMaxInlineKey)
        return 1;
    return static_cast<std::uint32_t>((keyLength - kFirstBlockKey) / 256 + 2);
}

std::int64_t UnixNanoseconds(std::uint64_t windowsMicroseconds)
{
    if (windowsMicroseconds <= kWindowsToUnixMicroseconds)
        return 0;
    const std::uint64_t unixMicroseconds = windowsMicroseconds - kWindowsToUnixMicroseconds;
    if (unixMicroseconds > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max() / 1000))
        return 0;
    return static_cast<std::int64_t>(unixMicroseconds) * 1000;
}

std::optional<BlockFileHeader> ParseBlockFileHeader(std::string_view bytes)
{
    if (bytes.size() < 24 || LittleEndian32(bytes, 0) != kBlockMagic)
        return std::nullopt;
    BlockFileHeader header;
    header.version = LittleEndian32(bytes, 4);
    header.thisFile = Signed16(bytes, 8);
    header.nextFile = Signed16(bytes, 10);
    header.entrySize = Signed32(bytes, 12);
    header.maxEntries = Signed32(bytes, 20);
    return header;
}

} // namespace cache::blockfile
