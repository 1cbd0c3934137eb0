#pragma once
// Random access to the bytes of one browser cache entry, never past its end, and the number formats
// the entries use.
#include "platform/FileDescriptor.h"

#include <sys/stat.h>

#include <bit>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

namespace cache {

// Which file a file is, whatever path names it: what a copy compares so that it never writes over a file it
// reads.
struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;

    friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

class EntryBytes {
public:
    virtual ~EntryBytes() = default;
    virtual std::uint64_t Size() const = 0;
    // Replaces `out` with the `length` bytes at `offset`. False, with nothing allocated, when the range does not
    // lie inside the entry; false as well when the read comes back short (the file shrank) or fails.
    virtual bool ReadAt(std::uint64_t offset, std::size_t length, std::string& out) const = 0;

    // The file the bytes are read from, when they are a file's; nothing for bytes in memory.
    virtual std::optional<FileIdentity> FileOf() const { return std::nullopt; }

    // Whether `length` bytes at `offset` lie inside the entry, checked without overflow.
    bool Holds(std::uint64_t offset, std::uint64_t length) const
    {
        return offset <= Size() && length <= Size() - offset;
    }
};

// An entry already in memory: what the fuzz targets feed the readers.
class MemoryEntryBytes final : public EntryBytes {
public:
    explicit MemoryEntryBytes(std::string_view bytes) : m_bytes(bytes) {}
    std::uint64_t Size() const override { return m_bytes.size(); }
    bool ReadAt(std::uint64_t offset, std::size_t length, std::string& out) const override
    {
        if (!Holds(offset, length))
            return false;
        out.assign(m_bytes.substr(static_cast<std::size_t>(offset), length));
        return true;
    }

private:
    std::string_view m_bytes;
};

// An entry file, opened read-only. Links are not followed, a pipe never blocks the open, and the access time
// is left alone where the file's owner allows it. The size is taken once, at the open.
class EntryFile final : public EntryBytes {
public:
    // Nothing when `path` cannot be opened or is not a regular file.
    static std::optional<EntryFile> Open(const std::string& path);
    // The same for `name` inside the open folder `folderFd`.
    static std::optional<EntryFile> OpenAt(int folderFd, const char* name);

    std::uint64_t Size() const override { return static_cast<std::uint64_t>(m_info.st_size); }
    bool ReadAt(std::uint64_t offset, std::size_t length, std::string& out) const override;

    std::optional<FileIdentity> FileOf() const override { return Identity(); }

    const struct stat& Info() const { return m_info; }
    FileIdentity Identity() const { return {m_info.st_dev, m_info.st_ino}; }
    int Fd() const { return m_fd.Get(); }

private:
    EntryFile(platform::FileDescriptor fd, const struct stat& info) : m_fd(std::move(fd)), m_info(info) {}

    platform::FileDescriptor m_fd;
    struct stat m_info {};
};

// Fuzzing builds let inputs past the browsers' checksums, so that mutations reach the parsing behind them.
#ifdef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
inline constexpr bool kChecksumsCount = false;
#else
inline constexpr bool kChecksumsCount = true;
#endif

// Fixed-width numbers at `at` in `bytes`; the caller has checked that they lie inside.
inline std::uint32_t BigEndian32(std::string_view bytes, std::size_t at)
{
    // One load and a byte swap: a crashed cache's search reads a header from every block.
    std::uint32_t value = 0;
    std::memcpy(&value, bytes.data() + at, sizeof value);
    return std::endian::native == std::endian::big ? value : __builtin_bswap32(value);
}

inline std::uint16_t BigEndian16(std::string_view bytes, std::size_t at)
{
    return static_cast<std::uint16_t>((static_cast<unsigned char>(bytes[at]) << 8)
                                      | static_cast<unsigned char>(bytes[at + 1]));
}

inline std::uint32_t LittleEndian32(std::string_view bytes, std::size_t at)
{
    std::uint32_t value = 0;
    std::memcpy(&value, bytes.data() + at, sizeof value);
    return std::endian::native == std::endian::little ? value : __builtin_bswap32(value);
}

inline std::uint64_t LittleEndian64(std::string_view bytes, std::size_t at)
{
    return LittleEndian32(bytes, at) | (std::uint64_t{LittleEndian32(bytes, at + 4)} << 32);
}

// A number written in decimal digits and nothing else (no sign, no blanks), as lengths and offsets are written.
inline std::optional<std::uint64_t> ParseDecimal(std::string_view text)
{
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

} // namespace cache
