#include "cache/formats/Formats.h"

#include "platform/Overloaded.h"

#include <algorithm>

namespace cache {

// Each format's file defines its accessor.
const EntryFilesFormat& FirefoxCache2();
const EntryFilesFormat& ChromiumSimpleCache();
const ContainerFolderFormat& ChromiumBlockFileCache();
const ContainerFolderFormat& ChromiumSqlCache();
const ContainerFileFormat& WebArchiveFiles();

const std::vector<Format>& StoredFormats()
{
    static const std::vector<Format> table{
        &FirefoxCache2(),
        &ChromiumSimpleCache(),
        &ChromiumBlockFileCache(),
        &ChromiumSqlCache(),
        &WebArchiveFiles(),
    };
    return table;
}

const StoredFormat& Describe(Format format)
{
    return *std::visit([](const auto* layout) -> const StoredFormat* { return layout; }, format);
}

bool HoldsFormat(Format format)
{
    return std::visit([](const auto* layout) { return layout != nullptr; }, format);
}

namespace {

std::string_view NameOf(std::string_view path) { return path.substr(path.rfind('/') + 1); }

} // namespace

const std::vector<FolderFormatRow>& FolderFormats()
{
    static const std::vector<FolderFormatRow> rows = [] {
        std::vector<FolderFormatRow> found;
        for (const Format& format : StoredFormats()) {
            const FolderFormat* folder =
                std::visit(platform::Overloaded{
                               [](const ContainerFileFormat*) -> const FolderFormat* { return nullptr; },
                               [](const auto* told) -> const FolderFormat* { return told; },
                           },
                           format);
            if (folder != nullptr)
                found.push_back({folder, format});
        }
        return found;
    }();
    return rows;
}

const std::vector<const ContainerFileFormat*>& ContainerFileFormats()
{
    static const std::vector<const ContainerFileFormat*> formats = [] {
        std::vector<const ContainerFileFormat*> found;
        for (const Format& format : StoredFormats()) {
            if (const auto* const* file = std::get_if<const ContainerFileFormat*>(&format))
                found.push_back(*file);
        }
        return found;
    }();
    return formats;
}

void MarkFile(std::string_view name, FolderMarks& marks)
{
    const auto& rows = FolderFormats();
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (const std::uint32_t bits = rows[i].folder->FileMark(name); bits != 0) {
            marks.resize(rows.size());
            marks[i] |= bits;
        }
    }
}

const EntryFilesFormat* EntryFilesFormatOf(std::string_view path)
{
    for (const Format& format : StoredFormats()) {
        if (const auto* const* entries = std::get_if<const EntryFilesFormat*>(&format);
            entries && (*entries)->IsEntryPath(path))
            return *entries;
    }
    return nullptr;
}

Format ContainerFormatOf(std::string_view path)
{
    const std::string_view name = NameOf(path);
    for (const Format& format : StoredFormats()) {
        const bool holds =
            std::visit(platform::Overloaded{
                           [&](const ContainerFolderFormat* folder) { return folder->AnchorName() == name; },
                           [&](const ContainerFileFormat* file) { return file->IsContainerName(name); },
                           [](const auto*) { return false; },
                       },
                       format);
        if (holds)
            return format;
    }
    return Format{};
}

const StoredFormat* FormatNamed(std::string_view name)
{
    const auto& table = StoredFormats();
    const auto found =
        std::find_if(table.begin(), table.end(), [&](const Format& format) { return FormatName(format) == name; });
    return found == table.end() ? nullptr : &Describe(*found);
}

} // namespace cache
