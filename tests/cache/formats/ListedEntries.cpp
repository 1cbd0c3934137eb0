#include "cache/formats/ListedEntries.h"

#include "cache/EntryMovie.h"

#include <stdexcept>

namespace test {

namespace {

const cache::ContainerFolderFormat& Named(std::string_view name)
{
    const auto* format = cache::FormatNamed<cache::ContainerFolderFormat>(name);
    if (format == nullptr)
        throw std::runtime_error("no format " + std::string(name) + " in the table");
    return *format;
}

class Collected final : public cache::RecordSink {
public:
    explicit Collected(ListedCache& listed) : m_listed(listed) {}

    bool Response(std::string_view locator, cache::StoredResponse& response, std::int64_t written) override
    {
        ListedEntry& entry = m_listed.entries.emplace_back();
        entry.locator = locator;
        entry.address = response.address;
        entry.head = response.head;
        entry.headLost = response.headLost;
        entry.storedLength = response.body->Length();
        entry.written = written;
        entry.movie = StreamedMovie(std::move(response), false, &entry.notAMovie);
        return true;
    }
    void Refused(std::string_view locator, cache::Refusal why) override
    {
        ListedEntry& entry = m_listed.entries.emplace_back();
        entry.locator = locator;
        entry.refused = why;
    }
    void NotRead(std::string_view reason) override { m_listed.notRead.emplace_back(reason); }

private:
    ListedCache& m_listed;
};

} // namespace

const cache::ContainerFolderFormat& BlockFileFormat() { return Named("Chromium block-file cache"); }
const cache::ContainerFolderFormat& SqlFormat() { return Named("Chromium SQLite cache"); }

ListedCache ListFolder(const cache::ContainerFolderFormat& format, const std::string& folder)
{
    ListedCache listed;
    Collected sink(listed);
    const std::atomic<bool> stop{false};
    format.ReadRecords(folder.ends_with('/') ? folder : folder + '/', stop, sink);
    return listed;
}

std::optional<std::string> StreamedMovie(cache::StoredResponse response, bool checkBody,
                                         std::optional<cache::Refusal>* why)
{
    auto movie = cache::FindEntryMovie(std::move(response), nullptr, checkBody);
    if (!movie) {
        if (why != nullptr)
            *why = movie.Why();
        return std::nullopt;
    }
    std::string bytes;
    const auto result = cache::StreamEntryMovie(*movie, [&](std::string_view piece) {
        bytes.append(piece);
        return true;
    });
    if (result != cache::BodyResult::Done || bytes.size() != movie->size)
        return std::nullopt;
    return bytes;
}

cache::Refusable<cache::OpenedResponse> OpenRecord(const cache::ContainerFolderFormat& format,
                                                   const std::string& folder, const std::string& locator)
{
    const std::string base = folder.ends_with('/') ? folder : folder + '/';
    return format.OpenRecord(base + std::string(format.AnchorName()), locator);
}

std::vector<const ListedEntry*> WithAddress(const std::vector<ListedEntry>& entries, const std::string& address)
{
    std::vector<const ListedEntry*> found;
    for (const ListedEntry& entry : entries) {
        if (!entry.refused && entry.address == address)
            found.push_back(&entry);
    }
    return found;
}

} // namespace test
