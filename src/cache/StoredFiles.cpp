#include "cache/StoredFiles.h"

#include "cache/EntryMovie.h"
#include "cache/RowPath.h"
#include "platform/FileDescriptor.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

namespace cache {

namespace {

class Indexer final : public StoreVisitor {
public:
    using Found = std::function<void(std::string address, std::string path, std::int64_t written)>;
    explicit Indexer(Found found) : m_found(std::move(found)) {}

    void Response(std::string path, StoredResponse& response, std::int64_t written) override
    {
        if (response.head.status == 200 && !response.cutShort && !response.address.empty())
            m_found(std::move(response.address), std::move(path), written);
    }
    void PlainAddress(PlainFileAddress address) override
    {
        m_found(std::move(address.address), std::move(address.path), 0);
    }
    void Unread(UnreadStore) override {}

private:
    Found m_found;
};

StoredFiles::Copy CopyPlainFile(const std::string& path, const std::function<bool(std::string_view)>& sink)
{
    const platform::FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (!file.IsOpen())
        return {false, "unreadable"};
    std::vector<char> buffer(kDecodedPieceSize);
    for (;;) {
        const ssize_t got = ::read(file.Get(), buffer.data(), buffer.size());
        if (got < 0)
            return {false, "unreadable"};
        if (got == 0)
            return {true, {}};
        if (!sink(std::string_view(buffer.data(), static_cast<std::size_t>(got))))
            return {false, "stopped"};
    }
}

} // namespace

StoredFiles StoredFiles::Read(const LocalListSource& source, const std::atomic<bool>& stop)
{
    std::vector<FoundStore> stores = WalkLocalFolder(source).stores;
    if (source.outsideCaches) {
        const char* home = std::getenv("HOME");
        for (auto& outside : FindOutsideCacheStores(home != nullptr ? home : ""))
            stores.push_back(std::move(outside));
    }
    StoredFiles files;
    Indexer indexer([&files](std::string address, std::string path, std::int64_t written) {
        auto [at, added] = files.m_files.try_emplace(std::move(address), Stored{path, written});
        if (!added && at->second.written < written)
            at->second = {std::move(path), written};
    });
    VisitStores(stores, stop, indexer);
    return files;
}

const std::string* StoredFiles::Find(std::string_view address) const
{
    const auto found = m_files.find(std::string(address));
    return found == m_files.end() ? nullptr : &found->second.path;
}

StoredFiles::Copy StoredFiles::Stream(const std::string& path, const std::function<bool(std::string_view)>& sink,
                                      const std::atomic<bool>* stop)
{
    const RowTarget target = ResolveRowPath(path);
    if (target.kind == RowTarget::Kind::PlainFile)
        return CopyPlainFile(path, sink);
    auto opened = OpenRowResponse(target);
    if (!opened)
        return {false, std::string(RefusalText(opened.Why()))};
    const auto streamed = StreamStoredBody(opened->response, sink, stop);
    if (!streamed)
        return {false, std::string(RefusalText(streamed.Why()))};
    return {true, {}};
}

} // namespace cache
