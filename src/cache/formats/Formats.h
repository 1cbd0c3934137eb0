#pragma once
// The table of stored-response formats: the one place that lists them. Everything above this folder reaches a
// format through here. Adding a format is a file of its own in this folder and one row in FormatTable.cpp.
#include "cache/formats/StoredFormat.h"

#include <cstdint>
#include <string_view>
#include <vector>

namespace cache {

// Every format, in the order the walk asks them about a folder.
const std::vector<Format>& StoredFormats();

const StoredFormat& Describe(Format format);
inline std::string_view FormatName(Format format) { return Describe(format).Name(); }

// The formats told by their folder, in table order, each with its row.
struct FolderFormatRow {
    const FolderFormat* folder;
    Format format;
};
const std::vector<FolderFormatRow>& FolderFormats();
const std::vector<const ContainerFileFormat*>& ContainerFileFormats();

// The marks a folder's file names set: one word per FolderFormats() row, or none while no name set any.
using FolderMarks = std::vector<std::uint32_t>;
void MarkFile(std::string_view name, FolderMarks& marks);

// The entry-files format of the regular file at `path`, told by its names; null for any other file.
const EntryFilesFormat* EntryFilesFormatOf(std::string_view path);

// The container format whose record file or container file is the regular file at `path`, told by its names; a
// row whose pointer is null when there is none.
Format ContainerFormatOf(std::string_view path);

// The format named `name` (StoredFormat::Name); null when none is.
const StoredFormat* FormatNamed(std::string_view name);
template <class Layout>
const Layout* FormatNamed(std::string_view name)
{
    for (const Format& format : StoredFormats()) {
        if (const auto* const* found = std::get_if<const Layout*>(&format); found && (*found)->Name() == name)
            return *found;
    }
    return nullptr;
}

// Whether the row holds a format at all (rows default to a null pointer).
bool HoldsFormat(Format format);

} // namespace cache
