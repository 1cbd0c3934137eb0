#pragma once
// The files of one Firefox first-cache folder as the reader sees them: the map, the three block files and the
// separate files in "X/XX/" subfolders, by their paths below the folder. A folder on disk is one source; the
// fuzz target gives another from memory.
#include "cache/formats/EntryBytes.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace cache::cache1 {

class CacheFiles {
public:
    virtual ~CacheFiles() = default;
    // The regular file at `relativePath`, or nothing when there is none.
    virtual std::shared_ptr<const EntryBytes> Open(const std::string& relativePath) const = 0;
    // Its length, without opening it; nothing likewise.
    virtual std::optional<std::uint64_t> SizeOf(const std::string& relativePath) const = 0;
    // The names in the subfolder `relativePath` ("" for the folder itself); none when it is missing.
    virtual std::vector<std::string> List(const std::string& relativePath) const = 0;
};

// The folder at `path`, opened once; nothing when it cannot be opened. Files below it are opened relative to it
// as EntryFile opens them (a link, a pipe or a device is no file); ".." and absolute paths are refused.
std::unique_ptr<CacheFiles> OpenCacheFolder(const std::string& path);

// The bytes of `length` at `offset` in a file read front to back, served from windows of a few blocks' reads.
// Reading records in ascending order through one of these costs one read per window, not one per record.
class WindowReader {
public:
    explicit WindowReader(std::shared_ptr<const EntryBytes> file) : m_file(std::move(file)) {}

    // The bytes, or fewer where the file ends first; nothing when `offset` is past its end or a read fails.
    // The view is good until the next call.
    std::optional<std::string_view> Read(std::uint64_t offset, std::size_t length);
    std::uint64_t Size() const { return m_file->Size(); }

private:
    std::shared_ptr<const EntryBytes> m_file;
    std::uint64_t m_start = 0;
    std::string m_window;
};

// A part of another file: a body inside a block file.
class SliceBytes final : public EntryBytes {
public:
    SliceBytes(std::shared_ptr<const EntryBytes> whole, std::uint64_t offset, std::uint64_t length)
        : m_whole(std::move(whole))
        , m_offset(offset)
        , m_length(length)
    {}
    std::uint64_t Size() const override { return m_length; }
    bool ReadAt(std::uint64_t offset, std::size_t length, std::string& out) const override
    {
        return Holds(offset, length) && m_whole->ReadAt(m_offset + offset, length, out);
    }
    std::optional<FileIdentity> FileOf() const override { return m_whole->FileOf(); }

private:
    std::shared_ptr<const EntryBytes> m_whole;
    std::uint64_t m_offset;
    std::uint64_t m_length;
};

} // namespace cache::cache1
