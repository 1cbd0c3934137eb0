#pragma once
// A folder as the cache walk sees it: read once, its subfolders and its movies in enumeration order, and what
// its file names tell the stored-response formats.
#include "cache/formats/Formats.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace cache {

struct MovieFile {
    std::string name;
    std::uint64_t size = 0;
};

// A regular file that a format holding many records in one file claims by its name.
struct ContainerFile {
    std::string name;
    const ContainerFileFormat* format = nullptr;
};

struct FolderListing {
    // Entries that are folders themselves (never "." or "..", never links to folders).
    std::vector<std::string> subfolders;
    // Non-empty regular files, or links to one, whose names match "*.swf" in any letter case.
    std::vector<MovieFile> movies;
    // The marks the names of its regular files set for the formats told by their folder (MarkFile).
    FolderMarks marks;
    // Its regular files that are containers of records, in enumeration order.
    std::vector<ContainerFile> containers;
};

class Folder {
public:
    virtual ~Folder() = default;
    virtual const FolderListing& Listing() const = 0;
    // The subfolder `name`, read; nullptr when it cannot be enumerated.
    virtual std::unique_ptr<Folder> OpenSubfolder(const std::string& name) const = 0;
};

// Reads the folder at `path` from the file system; nullptr when it cannot be enumerated (missing,
// unreadable, not a folder).
std::unique_ptr<Folder> OpenDirectory(const std::string& path);

// "*.swf" without regard to letter case.
bool IsMovieName(std::string_view name);

} // namespace cache
