#pragma once
// The files of one cache folder, by name, opened read-only as the readers ask for them: from the disk, or from
// memory for the fuzz targets.
#include "cache/formats/EntryBytes.h"

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace cache {

class FolderFiles {
public:
    virtual ~FolderFiles() = default;
    // The file `name` of the folder; nullptr when it is missing or not a regular file. The same file may be
    // handed out again for the next call with the same name.
    virtual std::shared_ptr<const EntryBytes> Open(const std::string& name) const = 0;
    // Which files every file handed out so far is, whatever path names it: what a copy must never write over.
    virtual std::vector<FileIdentity> Identities() const = 0;
};

// A folder on the disk. Files whose names start with "data_" or are "index" (the few a block-file cache reads
// again and again) stay open while the object lives; others are opened afresh on each call. Not thread-safe.
class DiskFolderFiles final : public FolderFiles {
public:
    // Nothing when `path` is not a folder that can be opened.
    static std::optional<DiskFolderFiles> OpenFolder(const std::string& path);
    std::shared_ptr<const EntryBytes> Open(const std::string& name) const override;
    std::vector<FileIdentity> Identities() const override;

private:
    explicit DiskFolderFiles(platform::FileDescriptor folder) : m_folder(std::move(folder)) {}

    platform::FileDescriptor m_folder;
    mutable std::map<std::string, std::shared_ptr<const EntryBytes>, std::less<>> m_kept;
    mutable std::vector<FileIdentity> m_handedOut; // with repeats: files opened afresh come again
};

// Files in memory, as a fuzz target unpacks them from its input.
class MemoryFolderFiles final : public FolderFiles {
public:
    void Add(std::string name, std::string_view bytes) { m_files[std::move(name)] = bytes; }
    std::shared_ptr<const EntryBytes> Open(const std::string& name) const override;
    std::vector<FileIdentity> Identities() const override { return {}; }

private:
    std::map<std::string, std::string_view, std::less<>> m_files;
};

} // namespace cache
