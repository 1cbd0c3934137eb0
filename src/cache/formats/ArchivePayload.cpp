#include "cache/formats/ArchivePayload.h"

#include "cache/formats/ArchiveHeader.h"
#include "cache/formats/StoredBody.h"
#include "platform/Bytes.h"

#include <memory>

namespace cache {

namespace {

constexpr std::size_t kMaxChunkLine = 1024;
// Heads longer than this hold no movie worth the look-ahead; most fit the first look.
constexpr std::size_t kMaxHttpHead = std::size_t{256} * 1024;
constexpr std::size_t kHttpHeadLook = std::size_t{16} * 1024;

// Hands `data` on in pieces of at most kDecodedPieceSize bytes.
bool HandOn(std::string_view data, const DecodedSink& sink)
{
    for (std::size_t at = 0; at < data.size(); at += kDecodedPieceSize) {
        if (!sink(data.substr(at, kDecodedPieceSize)))
            return false;
    }
    return true;
}

// "1a2b", "1a2b;name=value", with blanks around: the size of the chunk. Nothing for anything else.
std::optional<std::uint64_t> ChunkSize(std::string_view line)
{
    line = platform::Trimmed(line.substr(0, line.find(';')), " \t\r\n");
    if (line.empty() || line.size() > 15)
        return std::nullopt;
    std::uint64_t size = 0;
    for (const char c : line) {
        const int digit = platform::HexDigitValue(c);
        if (digit < 0)
            return std::nullopt;
        size = size * 16 + static_cast<std::uint64_t>(digit);
    }
    return size;
}

} // namespace

std::optional<HttpHead> ReadHttpHead(std::string_view block, bool wholeBlock)
{
    if (!block.starts_with("HTTP/"))
        return std::nullopt;
    const auto extent = FindHeaderEnd(block);
    if (!extent && !wholeBlock)
        return std::nullopt;
    auto head = ParseResponseHead(block.substr(0, extent ? extent->lines : block.size()));
    if (!head)
        return std::nullopt;
    return HttpHead{std::move(*head), extent ? extent->whole : block.size()};
}

std::optional<bool> ChunkedTransfer(const ResponseHead& head)
{
    bool chunked = false;
    if (const auto transfer = head.Value("Transfer-Encoding")) {
        std::string_view rest = *transfer;
        for (;;) {
            const std::size_t comma = rest.find(',');
            const std::string_view item = platform::Trimmed(rest.substr(0, comma), kHeaderBlanks);
            if (platform::EqualsIgnoringAsciiCase(item, "chunked"))
                chunked = true;
            else if (!item.empty() && !platform::EqualsIgnoringAsciiCase(item, "identity"))
                return std::nullopt;
            if (comma == std::string_view::npos)
                break;
            rest.remove_prefix(comma + 1);
        }
    }
    return chunked;
}

DecodeResult ChunkedDecoder::Feed(std::string_view raw, const DecodedSink& sink)
{
    DecodeResult result = DecodeResult::Ok;
    while (!raw.empty() && result == DecodeResult::Ok) {
        switch (m_state) {
        case State::Plain:
            return HandOn(raw, sink) ? DecodeResult::Ok : DecodeResult::Stopped;
        case State::Done:
            return DecodeResult::Ok; // what follows the last chunk and its trailer is no part of the body
        case State::Size:
        case State::Trailer: {
            const std::size_t end = raw.find('\n');
            const std::string_view taken = raw.substr(0, end == std::string_view::npos ? raw.size() : end + 1);
            m_line.append(taken);
            raw.remove_prefix(taken.size());
            if (end != std::string_view::npos || m_line.size() > kMaxChunkLine) {
                if (!EndSizeLine(sink, result))
                    return result;
            }
            break;
        }
        case State::Data: {
            const auto size = static_cast<std::size_t>(std::min<std::uint64_t>(m_left, raw.size()));
            if (!HandOn(raw.substr(0, size), sink))
                return DecodeResult::Stopped;
            raw.remove_prefix(size);
            m_left -= size;
            if (m_left == 0)
                m_state = State::DataCr;
            break;
        }
        case State::DataCr:
            // A chunk's data ends with CR LF; a writer that left out either is forgiven.
            if (raw.front() == '\r')
                raw.remove_prefix(1);
            m_state = State::DataLf;
            break;
        case State::DataLf:
            if (raw.front() == '\n')
                raw.remove_prefix(1);
            m_state = State::Size;
            break;
        }
    }
    return result;
}

// A whole line has come (or too long a one): a chunk size, or in the trailer a field or its end.
bool ChunkedDecoder::EndSizeLine(const DecodedSink& sink, DecodeResult& result)
{
    std::string line = std::move(m_line);
    m_line.clear();
    if (m_state == State::Trailer) {
        if (platform::Trimmed(line, "\r\n").empty())
            m_state = State::Done;
        return true;
    }
    const auto size = line.size() <= kMaxChunkLine ? ChunkSize(line) : std::nullopt;
    if (!size) {
        if (m_sawChunk) {
            result = DecodeResult::Damaged;
            return false;
        }
        m_state = State::Plain; // never chunked: the line is the body's start
        if (!HandOn(line, sink)) {
            result = DecodeResult::Stopped;
            return false;
        }
        return true;
    }
    m_sawChunk = true;
    m_left = *size;
    m_state = *size == 0 ? State::Trailer : State::Data;
    return true;
}

std::optional<HttpHead> PeekHttpHead(ArchiveReader& reader, const ArchiveHeader& header, std::string_view& start)
{
    for (std::size_t look = kHttpHeadLook;; look *= 4) {
        start = reader.PeekBlock(look);
        auto head = ReadHttpHead(start, start.size() == header.blockLength);
        if (head || !start.starts_with("HTTP/") || start.size() < look || look >= kMaxHttpHead)
            return head;
    }
}

namespace {

// What comes before a record's body, and how the body is coded for its way.
struct RecordHead {
    ResponseHead head;
    std::size_t length = 0; // the bytes of the block before the body
    bool chunked = false;
    bool cutShort = false;
};

Refusable<RecordHead> ReadRecordHead(ArchiveReader& reader, const ArchiveHeader& header)
{
    const bool resource = header.format == ArchiveFormat::Warc && header.type == "resource";
    if (header.type != "response" && !resource)
        return Refusal::NotAResponse;
    RecordHead found;
    found.cutShort = header.Field("WARC-Truncated").has_value(); // the writer itself says it cut the record short
    if (resource) {
        found.head.status = 200;
        if (!header.contentType.empty())
            found.head.headers.emplace_back("Content-Type", header.contentType);
        return found;
    }
    std::string_view start;
    auto http = PeekHttpHead(reader, header, start);
    if (!http)
        return Refusal::NotAResponse;
    const auto chunked = ChunkedTransfer(http->head);
    if (!chunked)
        return Refusal::UnknownCoding;
    found.head = std::move(http->head);
    found.length = http->length;
    found.chunked = *chunked;
    if (found.chunked) {
        found.head.headers.EraseIf([](const HeaderList::Field& field) {
            return platform::EqualsIgnoringAsciiCase(field.first, "Content-Length");
        });
    }
    return found;
}

// The rest of the current record's block, dechunked: Done only when the record is whole.
BodyResult ReadRecordBody(ArchiveReader& reader, bool chunked, const BodySink& sink, const std::atomic<bool>* stop)
{
    ChunkedDecoder chunks;
    DecodeResult dechunked = DecodeResult::Ok;
    bool stopped = false;
    const auto give = [&](std::string_view piece) {
        stopped = !sink(piece);
        return !stopped;
    };
    const RecordEnd end = reader.ReadBlock([&](std::string_view raw) {
        if (Stopping(stop)) {
            stopped = true;
            return false;
        }
        if (chunked) {
            dechunked = chunks.Feed(raw, give);
            return dechunked == DecodeResult::Ok;
        }
        for (std::size_t at = 0; at < raw.size(); at += kBodyPieceSize) {
            if (!give(raw.substr(at, kBodyPieceSize)))
                return false;
        }
        return true;
    });
    if (stopped)
        return BodyResult::Stopped;
    if (end != RecordEnd::Complete || dechunked != DecodeResult::Ok || (chunked && !chunks.Ended()))
        return BodyResult::Damaged;
    return BodyResult::Done;
}

// The body of the record a scan is reading: read where the stream stands, once.
class StreamedRecordBody final : public StoredBody {
public:
    StreamedRecordBody(ArchiveReader& reader, bool chunked) : m_reader(reader), m_chunked(chunked) {}

    std::optional<std::uint64_t> Length() const override { return std::nullopt; }

    bool ReadStart(std::size_t count, std::string& out) const override
    {
        out.clear();
        if (m_read)
            return false;
        // Looked at, not taken: the body is still to be read. Chunk lines take a few bytes more.
        const std::string_view start = m_reader.PeekBlock(count + 64);
        if (!m_chunked) {
            out.assign(start.substr(0, count));
            return true;
        }
        ChunkedDecoder chunks;
        chunks.Feed(start, [&](std::string_view piece) {
            out.append(piece.substr(0, count - out.size()));
            return out.size() < count;
        });
        return true;
    }

    BodyResult Read(const BodySink& sink, const std::atomic<bool>* stop) const override
    {
        if (m_read)
            return BodyResult::Unreadable;
        m_read = true;
        return ReadRecordBody(m_reader, m_chunked, sink, stop);
    }

private:
    ArchiveReader& m_reader;
    bool m_chunked;
    mutable bool m_read = false;
};

// The body of a record opened by its place: each read seeks back to the record.
class SeekingRecordBody final : public StoredBody {
public:
    SeekingRecordBody(ArchiveInput& input, const RecordPosition& position, const RecordHead& head,
                      std::optional<std::uint64_t> length)
        : m_input(&input)
        , m_position(position)
        , m_headLength(head.length)
        , m_chunked(head.chunked)
        , m_length(length)
    {}

    std::optional<std::uint64_t> Length() const override { return m_length; }

    BodyResult Read(const BodySink& sink, const std::atomic<bool>* stop) const override
    {
        if (!m_input->Seek(m_position))
            return BodyResult::Unreadable;
        ArchiveReader reader(*m_input);
        const auto record = reader.Next();
        if (!record || record->position != m_position || reader.PeekBlock(m_headLength).size() < m_headLength)
            return BodyResult::Unreadable;
        reader.ConsumeBlock(m_headLength);
        return ReadRecordBody(reader, m_chunked, sink, stop);
    }

private:
    ArchiveInput* m_input;
    RecordPosition m_position;
    std::size_t m_headLength;
    bool m_chunked;
    std::optional<std::uint64_t> m_length;
};

StoredResponse ResponseOf(const ArchiveHeader& header, RecordHead& head, std::unique_ptr<StoredBody> body)
{
    StoredResponse response;
    response.address = header.targetUri;
    response.head = std::move(head.head);
    response.cutShort = head.cutShort;
    response.encodingMayBeUndone = true;
    response.body = std::move(body);
    return response;
}

} // namespace

Refusable<StoredResponse> RecordResponse(ArchiveReader& reader, const ArchiveHeader& header)
{
    auto head = ReadRecordHead(reader, header);
    if (!head)
        return head.Why();
    reader.ConsumeBlock(head->length);
    return ResponseOf(header, *head, std::make_unique<StreamedRecordBody>(reader, head->chunked));
}

Refusable<StoredResponse> RecordResponseAt(ArchiveInput& input, const RecordPosition& position)
{
    if (!input.Seek(position))
        return Refusal::Unreadable;
    ArchiveReader reader(input);
    const auto record = reader.Next();
    if (!record || record->position != position)
        return Refusal::Unreadable;
    auto head = ReadRecordHead(reader, record->header);
    if (!head)
        return head.Why();
    std::optional<std::uint64_t> length;
    if (!head->chunked && record->header.blockLength >= head->length)
        length = record->header.blockLength - head->length;
    auto body = std::make_unique<SeekingRecordBody>(input, position, *head, length);
    return ResponseOf(record->header, *head, std::move(body));
}

} // namespace cache
