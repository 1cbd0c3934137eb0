#include "cache/formats/FolderFiles.h"

#include <fcntl.h>

#include <algorithm>

namespace cache {

namespace {

bool KeptOpen(std::string_view name) { return name == "index" || name.starts_with("data_"); }

} // namespace

std::optional<DiskFolderFiles> DiskFolderFiles::OpenFolder(const std::string& path)
{
    platform::FileDescriptor folder(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folder.IsOpen())
        return std::nullopt;
    return DiskFolderFiles(std::move(folder));
}

std::shared_ptr<const EntryBytes> DiskFolderFiles::Open(const std::string& name) const
{
    // A name is one component: nothing outside the folder can be reached through it.
    if (name.empty() || name.find('/') != std::string::npos || name == "." || name == "..")
        return nullptr;
    const bool keep = KeptOpen(name);
    if (keep) {
        if (const auto kept = m_kept.find(name); kept != m_kept.end())
            return kept->second;
    }
    std::shared_ptr<const EntryBytes> opened;
    if (auto file = EntryFile::OpenAt(m_folder.Get(), name.c_str())) {
        m_handedOut.push_back(file->Identity());
        opened = std::make_shared<EntryFile>(std::move(*file));
    }
    if (keep)
        m_kept.emplace(name, opened); // a missing file is remembered as missing
    return opened;
}

std::vector<FileIdentity> DiskFolderFiles::Identities() const
{
    std::vector<FileIdentity> files;
    for (const FileIdentity& file : m_handedOut) {
        if (std::find(files.begin(), files.end(), file) == files.end())
            files.push_back(file);
    }
    return files;
}

std::shared_ptr<const EntryBytes> MemoryFolderFiles::Open(const std::string& name) const
{
    const auto found = m_files.find(name);
    if (found == m_files.end())
        return nullptr;
    return std::make_shared<MemoryEntryBytes>(found->second);
}

} // namespace cache
