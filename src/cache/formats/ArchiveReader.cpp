#include "cache/formats/ArchiveReader.h"

#include "platform/Bytes.h"

#include <algorithm>

namespace cache {

namespace {

constexpr std::size_t kHeaderLook = std::size_t{16} * 1024;
// No writer comes near this; a "header" that does not end within it is damage, and the look-ahead stays small.
constexpr std::size_t kMaxHeader = std::size_t{1} << 20;
constexpr std::size_t kMaxArcLine = std::size_t{64} * 1024;
constexpr std::size_t kScanLook = std::size_t{64} * 1024;
constexpr std::string_view kBlankBytes = "\r\n\t ";

} // namespace

std::optional<ArchiveRecord> ArchiveReader::Next()
{
    if (m_inBlock)
        ReadBlock(nullptr);
    for (;;) {
        SkipBlankBytes();
        std::string_view data = m_input.Peek(kHeaderLook);
        if (data.empty()) {
            if (!m_input.Broken())
                return std::nullopt;
            // Bytes that are no gzip member where one should begin: counted, as a record may have been there.
            if (!m_resynchronising)
                ++m_damaged;
            m_resynchronising = true;
            Resume();
            continue;
        }
        const RecordPosition position = m_input.Position();
        std::optional<ArchiveHeader> header;
        std::size_t headerSize = 0;
        if (IsWarcVersionLine(data.substr(0, data.find('\n')))) {
            std::optional<HeaderExtent> extent = FindHeaderEnd(data);
            for (std::size_t look = kHeaderLook * 4; !extent && data.size() >= look / 4 && look <= kMaxHeader;
                 look *= 4) {
                data = m_input.Peek(look);
                extent = FindHeaderEnd(data);
            }
            if (extent) {
                header = ParseWarcHeader(data.substr(0, extent->lines));
                headerSize = extent->whole;
            }
        } else if (m_format != ArchiveFormat::Warc) {
            data = m_input.Peek(kMaxArcLine);
            if (const std::size_t end = data.find('\n'); end != std::string_view::npos) {
                header = ParseArcHeader(platform::Trimmed(data.substr(0, end), "\r"));
                headerSize = end + 1;
            }
        }
        if (!header) {
            Resynchronise();
            continue;
        }
        m_input.Consume(headerSize);
        if (!m_format)
            m_format = header->format;
        m_inBlock = true;
        m_blockLeft = header->blockLength;
        m_end.reset();
        m_resynchronising = false;
        ++m_records;
        return ArchiveRecord{position, std::move(*header)};
    }
}

std::string_view ArchiveReader::PeekBlock(std::size_t wanted)
{
    if (!m_inBlock)
        return {};
    const auto bounded = static_cast<std::size_t>(std::min<std::uint64_t>(wanted, m_blockLeft));
    const std::string_view data = m_input.Peek(bounded);
    return data.substr(0, static_cast<std::size_t>(std::min<std::uint64_t>(data.size(), m_blockLeft)));
}

void ArchiveReader::ConsumeBlock(std::size_t count)
{
    const auto taken = static_cast<std::size_t>(std::min<std::uint64_t>(count, m_blockLeft));
    const std::size_t available = m_input.Peek(taken).size();
    m_input.Consume(std::min(taken, available));
    m_blockLeft -= std::min(taken, available);
}

RecordEnd ArchiveReader::ReadBlock(const std::function<bool(std::string_view)>& sink)
{
    if (!m_inBlock)
        return m_end.value_or(RecordEnd::Complete);
    bool handing = static_cast<bool>(sink);
    while (m_blockLeft > 0) {
        const std::string_view data = m_input.Peek(1);
        if (data.empty())
            break;
        const std::string_view piece =
            data.substr(0, static_cast<std::size_t>(std::min<std::uint64_t>(data.size(), m_blockLeft)));
        if (handing && !sink(piece))
            handing = false;
        m_input.Consume(piece.size());
        m_blockLeft -= piece.size();
    }
    m_inBlock = false;
    if (m_blockLeft > 0)
        m_end = m_input.Broken() ? RecordEnd::Damaged : RecordEnd::CutShort;
    else
        m_end = CheckEnd();
    if (*m_end != RecordEnd::Complete) {
        if (!m_resynchronising)
            ++m_damaged;
        m_resynchronising = true;
    }
    return *m_end;
}

// After a block come the blank lines writers put there, then the next record, the end of a gzip member, or
// the end of the file. Anything else means the record's length was wrong.
RecordEnd ArchiveReader::CheckEnd()
{
    if (m_input.AtMemberBoundary())
        return RecordEnd::Complete;
    SkipBlankBytes();
    if (m_input.AtMemberBoundary())
        return RecordEnd::Complete;
    const std::string_view data = m_input.Peek(8);
    if (data.empty()) {
        // The file ends: whole in a plain file; inside a gzip member, its check sum was never reached.
        if (m_input.Broken() || m_input.ReadFailed())
            return RecordEnd::Damaged;
        return m_input.Compressed() ? RecordEnd::CutShort : RecordEnd::Complete;
    }
    return StartsRecord(data) ? RecordEnd::Complete : RecordEnd::Damaged;
}

// Either kind, whatever the file's first record was: a record's end reads the same wherever reading began.
bool ArchiveReader::StartsRecord(std::string_view data)
{
    if (platform::StartsWithIgnoringAsciiCase(data, "WARC/"))
        return true;
    data = m_input.Peek(kMaxArcLine);
    const std::size_t end = data.find('\n');
    return end != std::string_view::npos && ParseArcHeader(platform::Trimmed(data.substr(0, end), "\r"));
}

void ArchiveReader::SkipBlankBytes()
{
    for (;;) {
        const std::string_view data = m_input.Peek(1);
        const std::size_t blanks = std::min(data.find_first_not_of(kBlankBytes), data.size());
        if (blanks == 0)
            return;
        m_input.Consume(blanks);
    }
}

// Goes forward to the next place a record may start: a gzip member, or a line starting "WARC/" (any line, in
// an ARC file or one whose kind is not known yet).
void ArchiveReader::Resynchronise()
{
    if (!m_resynchronising)
        ++m_damaged;
    m_resynchronising = true;
    m_input.Consume(1);
    for (;;) {
        const std::string_view data = m_input.Peek(kScanLook);
        if (data.empty()) {
            Resume();
            return;
        }
        std::size_t stop = std::min(m_input.NextMemberStart(), data.size());
        for (std::size_t line = data.find('\n'); line != std::string_view::npos && line + 1 < stop;
             line = data.find('\n', line + 1)) {
            if (m_format != ArchiveFormat::Warc
                || platform::StartsWithIgnoringAsciiCase(data.substr(line + 1), "WARC/")) {
                stop = line + 1;
                break;
            }
        }
        if (stop < data.size() || m_input.NextMemberStart() == stop) {
            m_input.Consume(stop);
            return;
        }
        // Keep the last few bytes: "\nWARC/" may lie across the end of what was looked at.
        const std::size_t keep = std::min<std::size_t>(data.size() - 1, 5);
        m_input.Consume(data.size() - keep);
        if (m_input.Peek(keep + 1).size() <= keep) {
            m_input.Consume(keep);
            Resume();
            return;
        }
    }
}

void ArchiveReader::Resume() { m_input.Resume(); }

} // namespace cache
