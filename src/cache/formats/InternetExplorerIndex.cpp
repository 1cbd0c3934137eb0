// The URL records of an index.dat through libmsiecf (libyal): its items are the records the index's hash
// table lists; its recovered items are records in blocks the index has released but not yet overwritten.
#include "cache/formats/InternetExplorerIndex.h"

#include "cache/EntryBytes.h"

#include <libmsiecf.h>

#include <memory>

namespace cache {

namespace {

constexpr std::uint64_t kMaxIndexSize = std::uint64_t{128} << 20; // WinINet's indexes grow to tens of MiB
constexpr std::string_view kSignature = "Client UrlCache MMF Ver ";

// Owners of libmsiecf's and libbfio's handles and errors.
struct ErrorFree {
    void operator()(libmsiecf_error_t* error) const { libmsiecf_error_free(&error); }
};
using Error = std::unique_ptr<libmsiecf_error_t, ErrorFree>;

struct BfioError {
    libbfio_error_t* error = nullptr;
    ~BfioError() { libbfio_error_free(&error); }
    BfioError() = default;
    BfioError(const BfioError&) = delete;
    BfioError& operator=(const BfioError&) = delete;
};

struct HandleFree {
    void operator()(libbfio_handle_t* handle) const
    {
        BfioError error;
        libbfio_handle_free(&handle, &error.error);
    }
};
using Handle = std::unique_ptr<libbfio_handle_t, HandleFree>;

struct FileFree {
    void operator()(libmsiecf_file_t* file) const
    {
        libmsiecf_error_t* error = nullptr;
        libmsiecf_file_close(file, &error); // nothing happens when it was not opened
        libmsiecf_error_free(&error);
        libmsiecf_file_free(&file, &error);
        libmsiecf_error_free(&error);
    }
};
using File = std::unique_ptr<libmsiecf_file_t, FileFree>;

struct ItemFree {
    void operator()(libmsiecf_item_t* item) const
    {
        libmsiecf_error_t* error = nullptr;
        libmsiecf_item_free(&item, &error);
        libmsiecf_error_free(&error);
    }
};
using Item = std::unique_ptr<libmsiecf_item_t, ItemFree>;

// Calls a libmsiecf function that reports through its last argument, dropping the report.
template <class Function, class... Arguments>
bool Call(Function function, Arguments... arguments)
{
    libmsiecf_error_t* error = nullptr;
    const int result = function(arguments..., &error);
    Error owned(error);
    return result == 1;
}

template <class SizeFunction, class TextFunction>
std::optional<std::string> Utf8Of(libmsiecf_item_t* item, SizeFunction sizeOf, TextFunction textOf)
{
    std::size_t size = 0;
    if (!Call(sizeOf, item, &size) || size == 0 || size > kMaxIndexSize)
        return std::nullopt;
    std::string text(size, '\0');
    if (!Call(textOf, item, reinterpret_cast<std::uint8_t*>(text.data()), size))
        return std::nullopt;
    text.resize(text.find('\0')); // the size counts the end mark
    return text;
}

std::string Lowered(std::string_view text)
{
    std::string lowered(text);
    for (char& c : lowered) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return lowered;
}

std::string KeyOf(std::string_view subfolder, std::string_view name)
{
    std::string key = Lowered(subfolder);
    key += '/';
    key += Lowered(name);
    return key;
}

} // namespace

// Fills an index from an opened file (a friend, so that the index keeps no libmsiecf type in its header).
class IndexDatReading {
public:
    static void Fill(InternetExplorerIndex& index, libmsiecf_file_t* file)
    {
        int directories = 0;
        Call(libmsiecf_file_get_number_of_cache_directories, file, &directories);
        for (int at = 0; at < directories; ++at) {
            char name[16] = {};
            index.m_subfolders.emplace_back(
                Call(libmsiecf_file_get_cache_directory_name, file, at, name, sizeof name) ? name : "");
        }
        // Records the hash table lists first; released ones only name files no listed record names.
        int items = 0;
        Call(libmsiecf_file_get_number_of_items, file, &items);
        for (int at = 0; at < items; ++at)
            Add(index, file, at, libmsiecf_file_get_item_by_index);
        int recovered = 0;
        Call(libmsiecf_file_get_number_of_recovered_items, file, &recovered);
        for (int at = 0; at < recovered; ++at)
            Add(index, file, at, libmsiecf_file_get_recovered_item_by_index);
    }

private:
    template <class GetItem>
    static void Add(InternetExplorerIndex& index, libmsiecf_file_t* file, int at, GetItem getItem)
    {
        libmsiecf_item_t* raw = nullptr;
        if (!Call(getItem, file, at, &raw))
            return;
        const Item item(raw);
        std::uint8_t type = 0;
        std::uint8_t flags = 0;
        std::uint8_t directory = 0;
        // A released record that a later one partly overwrote may name anything.
        if (!Call(libmsiecf_item_get_flags, item.get(), &flags) || (flags & LIBMSIECF_ITEM_FLAG_PARTIAL) != 0
            || !Call(libmsiecf_item_get_type, item.get(), &type) || type != LIBMSIECF_ITEM_TYPE_URL
            || !Call(libmsiecf_url_get_cache_directory_index, item.get(), &directory)
            || directory >= index.m_subfolders.size() || index.m_subfolders[directory].empty())
            return;
        auto name = Utf8Of(item.get(), libmsiecf_url_get_utf8_filename_size, libmsiecf_url_get_utf8_filename);
        auto address = Utf8Of(item.get(), libmsiecf_url_get_utf8_location_size, libmsiecf_url_get_utf8_location);
        if (!name || name->empty() || !address || address->empty())
            return;
        index.m_addresses.emplace(KeyOf(index.m_subfolders[directory], *name), std::move(*address));
    }
};

IndexOrRefusal InternetExplorerIndex::ReadFolder(const std::string& folder)
{
    return ReadFile(folder + (folder.ends_with('/') ? "" : "/") + "index.dat");
}

IndexOrRefusal InternetExplorerIndex::ReadFile(const std::string& path)
{
    const auto file = EntryFile::Open(path);
    if (!file)
        return OldCacheRefusal::MissingFile;
    if (file->Size() > kMaxIndexSize)
        return OldCacheRefusal::Damaged;
    std::string bytes;
    if (!file->ReadAt(0, static_cast<std::size_t>(file->Size()), bytes))
        return OldCacheRefusal::CutShort;
    return Parse(bytes);
}

IndexOrRefusal InternetExplorerIndex::Parse(std::string_view bytes)
{
    if (!bytes.starts_with(kSignature))
        return OldCacheRefusal::Damaged;
    const std::string_view version = bytes.substr(kSignature.size(), 3);
    if (version != "5.2" && version != "4.7")
        return OldCacheRefusal::UnknownVersion;

    libbfio_handle_t* rawHandle = nullptr;
    BfioError bfioError;
    if (libbfio_memory_range_initialize(&rawHandle, &bfioError.error) != 1)
        return OldCacheRefusal::Damaged;
    const Handle handle(rawHandle);
    // The range is only read: the handle is opened for reading by libmsiecf.
    auto* start = reinterpret_cast<std::uint8_t*>(const_cast<char*>(bytes.data()));
    if (libbfio_memory_range_set(handle.get(), start, bytes.size(), &bfioError.error) != 1)
        return OldCacheRefusal::Damaged;

    libmsiecf_file_t* rawFile = nullptr;
    if (!Call(libmsiecf_file_initialize, &rawFile))
        return OldCacheRefusal::Damaged;
    const File file(rawFile);
    if (!Call(libmsiecf_file_open_file_io_handle, file.get(), handle.get(), LIBMSIECF_OPEN_READ))
        return OldCacheRefusal::Damaged;

    InternetExplorerIndex index;
    index.m_version = std::string(version);
    IndexDatReading::Fill(index, file.get());
    return index;
}

std::optional<std::string_view> InternetExplorerIndex::AddressOf(std::string_view subfolder,
                                                                 std::string_view fileName) const
{
    const auto found = m_addresses.find(KeyOf(subfolder, fileName));
    if (found == m_addresses.end())
        return std::nullopt;
    return found->second;
}

} // namespace cache
