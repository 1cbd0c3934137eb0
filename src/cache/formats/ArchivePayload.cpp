#include "cache/formats/ArchivePayload.h"

#include "cache/formats/ArchiveHeader.h"
#include "platform/Bytes.h"

namespace cache {

namespace {

constexpr std::size_t kMaxChunkLine = 1024;

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

std::optional<BodyCodings> BodyCodingsOf(const ResponseHead& head)
{
    BodyCodings codings;
    if (const auto transfer = head.Value("Transfer-Encoding")) {
        std::string_view rest = *transfer;
        for (;;) {
            const std::size_t comma = rest.find(',');
            const std::string_view item = platform::Trimmed(rest.substr(0, comma), kHeaderBlanks);
            if (platform::EqualsIgnoringAsciiCase(item, "chunked"))
                codings.chunked = true;
            else if (!item.empty() && !platform::EqualsIgnoringAsciiCase(item, "identity"))
                return std::nullopt;
            if (comma == std::string_view::npos)
                break;
            rest.remove_prefix(comma + 1);
        }
    }
    if (const auto encoding = head.Value("Content-Encoding")) {
        auto content = ParseContentCodings(*encoding);
        if (!content)
            return std::nullopt;
        codings.content = std::move(*content);
    }
    return codings;
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

PayloadDecoder::PayloadDecoder(const BodyCodings& codings)
    : m_chunked(codings.chunked)
    , m_decoder(codings.content.empty() ? nullptr : std::make_unique<BodyDecoder>(codings.content))
{}

DecodeResult PayloadDecoder::Feed(std::string_view raw, const DecodedSink& sink)
{
    if (!m_chunked) {
        m_bodyLength += raw.size();
        return Decode(raw, sink);
    }
    DecodeResult decoded = DecodeResult::Ok;
    const DecodeResult dechunked = m_chunks.Feed(raw, [&](std::string_view body) {
        m_bodyLength += body.size();
        decoded = Decode(body, sink);
        return decoded == DecodeResult::Ok;
    });
    return decoded != DecodeResult::Ok ? decoded : dechunked;
}

DecodeResult PayloadDecoder::Finish(const DecodedSink& sink)
{
    if (m_chunked && !m_chunks.Ended())
        return DecodeResult::Damaged;
    if (!m_decoder || m_identity)
        return DecodeResult::Ok;
    bool produced = false;
    const DecodeResult result = m_decoder->Finish([&](std::string_view piece) {
        produced = true;
        return sink(piece);
    });
    if (result == DecodeResult::Damaged && !m_decided && !produced) {
        m_identity = true;
        return HandOn(m_held, sink) ? DecodeResult::Ok : DecodeResult::Stopped;
    }
    return result;
}

DecodeResult PayloadDecoder::Decode(std::string_view body, const DecodedSink& sink)
{
    if (!m_decoder || m_identity)
        return HandOn(body, sink) ? DecodeResult::Ok : DecodeResult::Stopped;
    if (!m_decided) {
        m_held.append(body);
        if (m_held.size() > kDecodedPieceSize) {
            m_decided = true; // too far in to go back: the codings have it
            m_held.clear();
        }
    }
    bool produced = false;
    const DecodeResult result = m_decoder->Feed(body, [&](std::string_view piece) {
        produced = true;
        return sink(piece);
    });
    if (produced) {
        m_decided = true;
        m_held.clear();
    }
    if (result == DecodeResult::Damaged && !m_decided) {
        m_identity = true;
        const std::string held = std::move(m_held);
        m_held.clear();
        return HandOn(held, sink) ? DecodeResult::Ok : DecodeResult::Stopped;
    }
    return result;
}

} // namespace cache
