#include "cache/StoreReading.h"

#include "cache/EntryMovie.h"
#include "cache/MovieSaveName.h"
#include "cache/RowPath.h"
#include "platform/FileDescriptor.h"
#include "platform/Overloaded.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <set>
#include <tuple>
#include <utility>

namespace cache {

namespace {

// The row of a response that holds a movie; nothing for any other.
std::optional<EntryMovieRow> RowOf(StoredResponse response, std::string path, std::int64_t written,
                                   const std::atomic<bool>& stop)
{
    auto movie = FindEntryMovie(std::move(response), &stop);
    if (!movie)
        return std::nullopt;
    EntryMovieRow row;
    row.row.name = MovieSaveName(movie->response.head, movie->response.address);
    row.row.size = std::to_string(movie->size);
    row.row.path = std::move(path);
    row.row.address = std::move(movie->response.address);
    row.written = written;
    return row;
}

// Every file of the folder that the format names is one entry.
void ReadEntryFiles(int folderFd, const std::string& folder, const EntryFilesFormat& format,
                    const std::atomic<bool>& stop, StoreVisitor& visitor)
{
    std::vector<char> buffer(std::size_t{64} * 1024);
    for (;;) {
        const ssize_t filled = ::getdents64(folderFd, buffer.data(), buffer.size());
        if (filled <= 0)
            return;
        for (ssize_t at = 0; at < filled;) {
            const auto* entry = reinterpret_cast<const dirent64*>(buffer.data() + at);
            at += entry->d_reclen;
            if ((entry->d_type != DT_REG && entry->d_type != DT_UNKNOWN) || !format.IsEntryName(entry->d_name))
                continue;
            if (stop.load(std::memory_order_relaxed))
                return;
            // OpenAt refuses anything but a regular file, so an unknown type needs no look of its own.
            const auto file = EntryFile::OpenAt(folderFd, entry->d_name);
            if (!file)
                continue;
            auto response = format.ReadEntry(*file);
            if (!response)
                continue;
            visitor.Response(folder + entry->d_name, *response, ModificationTime(file->Info()));
        }
    }
}

// The records of one container, handed on with paths that go through its anchor file.
class RecordRows final : public RecordSink {
public:
    RecordRows(std::string anchor, const std::atomic<bool>& stop, StoreVisitor& visitor, const UnreadStore& store)
        : m_anchor(std::move(anchor))
        , m_stop(stop)
        , m_visitor(visitor)
        , m_store(store)
    {}

    bool Response(std::string_view locator, StoredResponse& response, std::int64_t written) override
    {
        m_visitor.Response(RecordRowPath(m_anchor, locator), response, written);
        return !m_stop.load(std::memory_order_relaxed);
    }
    void Refused(std::string_view, Refusal) override {}
    void NotRead(std::string_view reason) override
    {
        UnreadStore unread = m_store;
        unread.reason = reason;
        m_visitor.Unread(std::move(unread));
    }

private:
    std::string m_anchor;
    const std::atomic<bool>& m_stop;
    StoreVisitor& m_visitor;
    const UnreadStore& m_store;
};

// The rows: a movie's for each response that holds one.
class RowFinder final : public StoreVisitor {
public:
    RowFinder(const std::atomic<bool>& stop, const FindingSink& found) : m_stop(stop), m_found(found) {}

    void Response(std::string path, StoredResponse& response, std::int64_t written) override
    {
        if (auto row = RowOf(std::move(response), std::move(path), written, m_stop))
            m_found(std::move(*row));
    }
    void PlainAddress(PlainFileAddress address) override { m_found(std::move(address)); }
    void Unread(UnreadStore store) override { m_found(std::move(store)); }

private:
    const std::atomic<bool>& m_stop;
    const FindingSink& m_found;
};

using StoreIdentity = std::tuple<dev_t, ino_t, const StoredFormat*>;

// Reads one store; `read` holds the stores already read.
void ReadStore(const FoundStore& store, const std::atomic<bool>& stop, StoreVisitor& visitor,
               std::set<StoreIdentity>& read)
{
    const StoredFormat* described = &Describe(store.format);
    const UnreadStore unread{store.path, std::string(described->Name()), store.notRead};
    if (!store.notRead.empty()) {
        visitor.Unread(unread);
        return;
    }
    // Folders are opened for their identity (and entry files are read relative to them); files are looked at.
    platform::FileDescriptor fd(::open(store.path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    struct stat info {};
    if (!fd.IsOpen() || ::fstat(fd.Get(), &info) != 0 || !read.emplace(info.st_dev, info.st_ino, described).second)
        return;
    std::visit(platform::Overloaded{
                   [&](const EntryFilesFormat* format) {
                       if (S_ISDIR(info.st_mode))
                           ReadEntryFiles(fd.Get(), store.path, *format, stop, visitor);
                   },
                   [&](const ContainerFolderFormat* format) {
                       RecordRows rows(store.path + std::string(format->AnchorName()), stop, visitor, unread);
                       format->ReadRecords(store.path, stop, rows);
                   },
                   [&](const ContainerFileFormat* format) {
                       RecordRows rows(store.path, stop, visitor, unread);
                       format->ReadRecords(store.path, stop, rows);
                   },
                   [&](const AddressIndexFormat* format) {
                       format->ReadAddresses(store.path, stop, [&](std::string path, std::string address) {
                           visitor.PlainAddress(PlainFileAddress{std::move(path), std::move(address)});
                       });
                   },
               },
               store.format);
}

} // namespace

void VisitStores(const std::vector<FoundStore>& stores, const std::atomic<bool>& stop, StoreVisitor& visitor)
{
    std::set<StoreIdentity> read;
    for (const FoundStore& store : stores) {
        if (stop.load(std::memory_order_relaxed))
            return;
        ReadStore(store, stop, visitor, read);
    }
}

void ReadStores(const std::vector<FoundStore>& stores, const std::atomic<bool>& stop, const FindingSink& found)
{
    RowFinder rows(stop, found);
    VisitStores(stores, stop, rows);
}

} // namespace cache
