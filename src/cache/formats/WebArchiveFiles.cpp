// Web archives as a format of the table: every WARC or ARC file (plain or gzip) is a container of records,
// wherever it lies. A record's locator is its place in the file, "@<offset>" or "@<offset>+<distance>"
// (FormatRecordPosition), so a row's path "<file>/@<offset>" names the file and the record at once. The file
// is read as a stream; opening one record inflates its gzip member from the member's start, never the file.
#include "cache/formats/ArchivePayload.h"
#include "cache/formats/StoredFormat.h"
#include "platform/Bytes.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <ctime>
#include <memory>

namespace cache {

namespace {

// Opens a file to read, leaving its access time alone where its owner allows it; a pipe never blocks the open.
platform::FileDescriptor OpenArchiveFile(const std::string& path, struct stat& info)
{
    constexpr int kFlags = O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY;
    platform::FileDescriptor fd(::open(path.c_str(), kFlags | O_NOATIME));
    if (!fd.IsOpen() && errno == EPERM)
        fd = platform::FileDescriptor(::open(path.c_str(), kFlags));
    if (!fd.IsOpen() || ::fstat(fd.Get(), &info) != 0 || !S_ISREG(info.st_mode))
        return {};
    return fd;
}

// The capture time (YYYYMMDDhhmmss, UTC) in nanoseconds since 1970: when the record's response was stored.
// Records without one count as written when the file was.
std::int64_t WrittenAt(std::string_view date, const struct stat& file)
{
    const auto number = [&](std::size_t at, std::size_t digits) {
        int value = 0;
        for (std::size_t i = at; i < at + digits; ++i)
            value = value * 10 + (date[i] - '0');
        return value;
    };
    if (date.size() != 14 || date.find_first_not_of("0123456789") != std::string_view::npos)
        return ModificationTime(file);
    std::tm time{};
    time.tm_year = number(0, 4) - 1900;
    time.tm_mon = number(4, 2) - 1;
    time.tm_mday = number(6, 2);
    time.tm_hour = number(8, 2);
    time.tm_min = number(10, 2);
    time.tm_sec = number(12, 2);
    return std::int64_t{::timegm(&time)} * 1'000'000'000;
}

class WebArchiveFormat final : public ContainerFileFormat {
public:
    std::string_view Name() const override { return "web archive"; }

    // Named as crawlers name them; whether a file is gzip is told by its bytes, not its name.
    bool IsContainerName(std::string_view name) const override
    {
        for (const std::string_view suffix : {".warc", ".warc.gz", ".arc", ".arc.gz"}) {
            if (name.size() > suffix.size() && platform::EndsWithIgnoringAsciiCase(name, suffix))
                return true;
        }
        return false;
    }

    void ReadRecords(const std::string& file, const std::atomic<bool>& stop, RecordSink& sink) const override
    {
        struct stat info {};
        platform::FileDescriptor fd = OpenArchiveFile(file, info);
        if (!fd.IsOpen())
            return;
        ::posix_fadvise(fd.Get(), 0, 0, POSIX_FADV_SEQUENTIAL);
        ArchiveInput input(DescriptorSource(std::move(fd)));
        ArchiveReader reader(input);
        while (const auto record = reader.Next()) {
            if (stop.load(std::memory_order_relaxed))
                return;
            // Revisits hold no bytes of their own: the record they repeat has its own row where it lies.
            auto response = RecordResponse(reader, record->header);
            const std::string locator = FormatRecordPosition(record->position);
            if (!response) {
                if (response.Why() != Refusal::NotAResponse)
                    sink.Refused(locator, response.Why());
                continue;
            }
            if (!sink.Response(locator, *response, WrittenAt(record->header.date, info)))
                return;
        }
        if (reader.Records() == 0)
            sink.NotRead(reader.ReadFailed() ? "it cannot be read" : "it holds no WARC or ARC record");
    }

    Refusable<OpenedResponse> OpenRecord(const std::string& file, std::string_view locator) const override
    {
        const auto position = ParseRecordPosition(locator);
        if (!position)
            return Refusal::Unreadable;
        struct stat info {};
        platform::FileDescriptor fd = OpenArchiveFile(file, info);
        if (!fd.IsOpen())
            return Refusal::Unreadable;
        auto input = std::make_shared<ArchiveInput>(DescriptorSource(std::move(fd)));
        auto response = RecordResponseAt(*input, *position);
        if (!response)
            return response.Why();
        return OpenedResponse{input, std::move(*response), {{info.st_dev, info.st_ino}}};
    }
};

} // namespace

const ContainerFileFormat& WebArchiveFiles()
{
    static const WebArchiveFormat format;
    return format;
}

} // namespace cache
