#include "cache/formats/ArchiveInput.h"

#include "cache/formats/EntryBytes.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>

namespace cache {

namespace {

constexpr std::size_t kRawBlock = std::size_t{256} * 1024;
constexpr std::size_t kDataBlock = std::size_t{256} * 1024;
constexpr char kGzipMagic[] = "\x1f\x8b\x08"; // the two magic bytes and deflate, the only method gzip has

class FdSource final : public ArchiveSource {
public:
    explicit FdSource(platform::FileDescriptor fd) : m_fd(std::move(fd)) {}

    std::ptrdiff_t Read(char* into, std::size_t size) override
    {
        for (;;) {
            const ssize_t count = ::read(m_fd.Get(), into, size);
            if (count >= 0 || errno != EINTR)
                return count;
        }
    }

    bool Seek(std::uint64_t offset) override
    {
        return ::lseek(m_fd.Get(), static_cast<off_t>(offset), SEEK_SET) == static_cast<off_t>(offset);
    }

private:
    platform::FileDescriptor m_fd;
};

class BytesSource final : public ArchiveSource {
public:
    explicit BytesSource(std::string_view bytes) : m_bytes(bytes) {}

    std::ptrdiff_t Read(char* into, std::size_t size) override
    {
        const std::size_t count = std::min(size, m_bytes.size() - m_at);
        std::memcpy(into, m_bytes.data() + m_at, count);
        m_at += count;
        return static_cast<std::ptrdiff_t>(count);
    }

    bool Seek(std::uint64_t offset) override
    {
        if (offset > m_bytes.size())
            return false;
        m_at = static_cast<std::size_t>(offset);
        return true;
    }

private:
    std::string_view m_bytes;
    std::size_t m_at = 0;
};

} // namespace

std::string FormatRecordPosition(const RecordPosition& position)
{
    std::string text = "@" + std::to_string(position.offset);
    if (position.inside != 0)
        text += "+" + std::to_string(position.inside);
    return text;
}

std::optional<RecordPosition> ParseRecordPosition(std::string_view text)
{
    if (!text.starts_with('@'))
        return std::nullopt;
    text.remove_prefix(1);
    const std::size_t plus = text.find('+');
    const auto offset = ParseDecimal(text.substr(0, plus));
    if (!offset)
        return std::nullopt;
    if (plus == std::string_view::npos)
        return RecordPosition{*offset, 0};
    const auto inside = ParseDecimal(text.substr(plus + 1));
    if (!inside || *inside == 0) // one spelling for each position
        return std::nullopt;
    return RecordPosition{*offset, *inside};
}

std::unique_ptr<ArchiveSource> DescriptorSource(platform::FileDescriptor fd)
{
    return std::make_unique<FdSource>(std::move(fd));
}

std::unique_ptr<ArchiveSource> MemorySource(std::string_view bytes) { return std::make_unique<BytesSource>(bytes); }

ArchiveInput::ArchiveInput(std::unique_ptr<ArchiveSource> source)
    : m_source(std::move(source))
    , m_raw(kRawBlock, '\0')
    , m_data(kDataBlock, '\0')
{}

std::optional<ArchiveInput> ArchiveInput::Open(const std::string& path)
{
    platform::FileDescriptor fd(path == "-" ? ::dup(STDIN_FILENO)
                                            : ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY));
    struct stat info {};
    if (!fd.IsOpen() || ::fstat(fd.Get(), &info) != 0 || S_ISDIR(info.st_mode))
        return std::nullopt;
    if (S_ISREG(info.st_mode))
        ::posix_fadvise(fd.Get(), 0, 0, POSIX_FADV_SEQUENTIAL);
    return ArchiveInput(DescriptorSource(std::move(fd)));
}

std::string_view ArchiveInput::Peek(std::size_t wanted)
{
    if (m_end - m_begin < wanted)
        Fill(wanted);
    return std::string_view(m_data).substr(m_begin, m_end - m_begin);
}

void ArchiveInput::Consume(std::size_t count)
{
    count = std::min(count, m_end - m_begin);
    m_begin += count;
    m_next += count;
    Prune();
}

// The first start kept is that of the member holding the next unread byte.
void ArchiveInput::Prune()
{
    while (m_starts.size() >= 2 && m_starts[1].at <= m_next)
        m_starts.pop_front();
}

RecordPosition ArchiveInput::Position() const
{
    if (!m_compressed)
        return {m_next, 0};
    // Between members, the next one begins where the raw bytes stand.
    if (m_starts.empty() || (m_lastMemberEnd == m_next && m_starts.front().at < m_next))
        return {RawOffset(), 0};
    const MemberStart& member = m_starts.front();
    return {member.offset, m_next - member.at};
}

std::size_t ArchiveInput::NextMemberStart() const
{
    // After Prune only the first two starts can be the next one.
    const std::uint64_t buffered = m_end - m_begin;
    for (std::size_t i = 0; i < std::min<std::size_t>(m_starts.size(), 2); ++i) {
        const MemberStart& start = m_starts[i];
        if (start.at >= m_next)
            return start.at - m_next <= buffered ? static_cast<std::size_t>(start.at - m_next) : std::string_view::npos;
    }
    return std::string_view::npos;
}

bool ArchiveInput::AtMemberBoundary() const
{
    return m_compressed && (m_lastMemberEnd == m_next || NextMemberStart() == 0);
}

void ArchiveInput::Resume()
{
    if (!m_broken)
        return;
    m_broken = false;
    m_inMember = false;
    // Look for the next member's first bytes after the place where the last one failed.
    if (m_rawBegin < m_rawEnd)
        ++m_rawBegin;
    for (;;) {
        const std::string_view raw = std::string_view(m_raw).substr(m_rawBegin, m_rawEnd - m_rawBegin);
        const std::size_t found = raw.find(std::string_view(kGzipMagic, 3));
        if (found != std::string_view::npos) {
            m_rawBegin += found;
            return;
        }
        m_rawBegin = std::max(m_rawBegin, m_rawEnd - std::min<std::size_t>(m_rawEnd - m_rawBegin, 2));
        if (!FillRaw()) {
            m_rawBegin = m_rawEnd;
            return;
        }
    }
}

bool ArchiveInput::Seek(const RecordPosition& position)
{
    if (!Sniff() || (!m_compressed && position.inside != 0) || !m_source->Seek(position.offset))
        return false;
    Reset(position.offset);
    for (std::uint64_t left = position.inside; left > 0;) {
        const std::string_view data = Peek(1);
        if (data.empty())
            return false;
        const auto step = static_cast<std::size_t>(std::min<std::uint64_t>(left, data.size()));
        Consume(step);
        left -= step;
    }
    return !Peek(1).empty();
}

void ArchiveInput::Reset(std::uint64_t fileOffset)
{
    m_sourceEnded = m_readFailed = m_broken = m_inMember = false;
    m_rawBegin = m_rawEnd = 0;
    m_rawOffset = fileOffset;
    m_begin = m_end = 0;
    m_next = m_compressed ? 0 : fileOffset;
    m_starts.clear();
    m_lastMemberEnd.reset();
}

bool ArchiveInput::FillRaw()
{
    if (m_sourceEnded || m_readFailed)
        return false;
    if (m_rawBegin > 0) {
        std::memmove(m_raw.data(), m_raw.data() + m_rawBegin, m_rawEnd - m_rawBegin);
        m_rawOffset += m_rawBegin;
        m_rawEnd -= m_rawBegin;
        m_rawBegin = 0;
    }
    const std::ptrdiff_t count = m_source->Read(m_raw.data() + m_rawEnd, m_raw.size() - m_rawEnd);
    if (count < 0)
        m_readFailed = true;
    else if (count == 0)
        m_sourceEnded = true;
    else
        m_rawEnd += static_cast<std::size_t>(count);
    return count > 0;
}

// gzip or not is told by the first bytes, never by the name: writers name gzip files ".warc" too.
bool ArchiveInput::Sniff()
{
    if (m_sniffed)
        return true;
    while (m_rawEnd - m_rawBegin < 2 && FillRaw()) {
    }
    if (m_readFailed)
        return false;
    m_sniffed = true;
    m_compressed = std::string_view(m_raw).substr(m_rawBegin, m_rawEnd - m_rawBegin).starts_with("\x1f\x8b");
    return true;
}

bool ArchiveInput::Fill(std::size_t wanted)
{
    if (!Sniff())
        return false;
    while (m_end - m_begin < wanted) {
        const std::size_t available = m_end - m_begin;
        const std::size_t missing = std::max(wanted - available, kDataBlock / 4);
        if (m_begin > 0 && m_data.size() - m_end < missing) {
            std::memmove(m_data.data(), m_data.data() + m_begin, available);
            m_begin = 0;
            m_end = available;
        }
        if (m_data.size() - m_end < missing)
            m_data.resize(m_end + missing);
        if (!DecodeMore())
            return false;
    }
    return true;
}

bool ArchiveInput::StartMember()
{
    while (m_rawEnd - m_rawBegin < 3 && FillRaw()) {
    }
    const std::string_view raw = std::string_view(m_raw).substr(m_rawBegin, m_rawEnd - m_rawBegin);
    if (raw.empty())
        return false;
    if (!raw.starts_with(std::string_view(kGzipMagic, 3))) {
        m_broken = true;
        return false;
    }
    z_stream& zip = m_zip->stream;
    if (!m_zip->ready) {
        if (::inflateInit2(&zip, 16 + MAX_WBITS) != Z_OK)
            return false;
        m_zip->ready = true;
    } else if (::inflateReset(&zip) != Z_OK) {
        return false;
    }
    m_inMember = true;
    m_starts.push_back({m_next + (m_end - m_begin), RawOffset()});
    Prune();
    return true;
}

void ArchiveInput::EndMember()
{
    m_inMember = false;
    m_lastMemberEnd = m_next + (m_end - m_begin);
}

bool ArchiveInput::DecodeMore()
{
    if (m_broken || m_readFailed)
        return false;
    if (!m_compressed) {
        // The bytes read while sniffing come first; then straight from the source.
        if (m_rawBegin < m_rawEnd) {
            const std::size_t count = std::min(m_rawEnd - m_rawBegin, m_data.size() - m_end);
            std::memcpy(m_data.data() + m_end, m_raw.data() + m_rawBegin, count);
            m_rawBegin += count;
            m_end += count;
            return true;
        }
        if (m_sourceEnded)
            return false;
        const std::ptrdiff_t count = m_source->Read(m_data.data() + m_end, m_data.size() - m_end);
        if (count < 0)
            m_readFailed = true;
        if (count <= 0) {
            m_sourceEnded = true;
            return false;
        }
        m_end += static_cast<std::size_t>(count);
        return true;
    }
    if (!m_inMember && !StartMember())
        return false;
    for (;;) {
        if (m_rawBegin == m_rawEnd && !FillRaw()) {
            m_inMember = false; // the file ends inside a member: what it gave is all there is
            return false;
        }
        z_stream& zip = m_zip->stream;
        zip.next_in = reinterpret_cast<Bytef*>(m_raw.data() + m_rawBegin);
        zip.avail_in = static_cast<uInt>(m_rawEnd - m_rawBegin);
        zip.next_out = reinterpret_cast<Bytef*>(m_data.data() + m_end);
        zip.avail_out = static_cast<uInt>(m_data.size() - m_end);
        const int status = ::inflate(&zip, Z_NO_FLUSH);
        const std::size_t produced = m_data.size() - m_end - zip.avail_out;
        m_rawBegin = m_rawEnd - zip.avail_in;
        m_end += produced;
        if (status == Z_STREAM_END) {
            EndMember();
            return true;
        }
        if (status != Z_OK && status != Z_BUF_ERROR) {
            m_broken = true;
            return produced > 0;
        }
        if (produced > 0)
            return true;
    }
}

} // namespace cache
