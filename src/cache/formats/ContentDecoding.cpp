#include "cache/formats/ContentDecoding.h"

#include "cache/formats/ResponseHead.h"
#include "platform/Bytes.h"

#include <brotli/decode.h>
#include <zlib.h>
#include <zstd.h>

#include <algorithm>
#include <memory>
#include <string>

namespace cache {

class BodyDecoder::Stage {
public:
    explicit Stage(std::size_t pieceSize)
        : m_buffer(std::make_unique_for_overwrite<char[]>(pieceSize))
        , m_size(pieceSize)
    {}
    virtual ~Stage() = default;
    Stage(const Stage&) = delete;
    Stage& operator=(const Stage&) = delete;
    // Decodes `input` into `out`; `end` says that no input follows.
    virtual DecodeResult Run(std::string_view input, bool end, const DecodedSink& out) = 0;

protected:
    char* Buffer() const { return m_buffer.get(); }
    std::size_t BufferSize() const { return m_size; }

private:
    std::unique_ptr<char[]> m_buffer; // written by the decoder before it is read: never cleared first
    std::size_t m_size;
};

namespace {

// gzip (any zlib-readable header) and deflate (zlib-wrapped, or raw as some servers send it).
class InflateStage final : public BodyDecoder::Stage {
public:
    InflateStage(bool gzip, std::size_t pieceSize) : Stage(pieceSize), m_gzip(gzip) {}
    ~InflateStage() override
    {
        if (m_started)
            ::inflateEnd(&m_stream);
    }

    DecodeResult Run(std::string_view input, bool end, const DecodedSink& out) override
    {
        if (m_ended)
            return DecodeResult::Ok;
        if (!m_started) {
            // "deflate" is meant to be zlib-wrapped; browsers take a raw stream too, told apart by the header.
            m_sniffed.append(input);
            if (!m_gzip && m_sniffed.size() < 2 && !end)
                return DecodeResult::Ok;
            if (::inflateInit2(&m_stream, m_gzip ? 15 + 32 : (HasZlibHeader() ? 15 : -15)) != Z_OK)
                return DecodeResult::Damaged;
            m_started = true;
            input = m_sniffed;
        }
        const DecodeResult result = Inflate(input, out);
        m_sniffed.clear();
        if (result != DecodeResult::Ok)
            return result;
        return end && !m_ended ? DecodeResult::Damaged : DecodeResult::Ok;
    }

private:
    bool HasZlibHeader() const
    {
        if (m_sniffed.size() < 2)
            return false;
        const unsigned cmf = static_cast<unsigned char>(m_sniffed[0]);
        const unsigned flg = static_cast<unsigned char>(m_sniffed[1]);
        return (cmf & 0x0f) == Z_DEFLATED && (cmf >> 4) <= 7 && (cmf * 256 + flg) % 31 == 0;
    }

    DecodeResult Inflate(std::string_view input, const DecodedSink& out)
    {
        m_stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(input.data()));
        m_stream.avail_in = static_cast<uInt>(input.size());
        do {
            m_stream.next_out = reinterpret_cast<Bytef*>(Buffer());
            m_stream.avail_out = static_cast<uInt>(BufferSize());
            const int status = ::inflate(&m_stream, Z_NO_FLUSH);
            const std::size_t produced = BufferSize() - m_stream.avail_out;
            if (status != Z_OK && status != Z_STREAM_END && status != Z_BUF_ERROR)
                return DecodeResult::Damaged;
            if (produced > 0 && !out(std::string_view(Buffer(), produced)))
                return DecodeResult::Stopped;
            if (status == Z_STREAM_END) {
                m_ended = true;
                return DecodeResult::Ok;
            }
            if (status == Z_BUF_ERROR)
                break; // no progress without more input
        } while (m_stream.avail_in > 0 || m_stream.avail_out == 0);
        return DecodeResult::Ok;
    }

    bool m_gzip;
    bool m_started = false;
    bool m_ended = false;
    std::string m_sniffed; // input held until the stream is set up
    z_stream m_stream{};
};

class BrotliStage final : public BodyDecoder::Stage {
public:
    explicit BrotliStage(std::size_t pieceSize)
        : Stage(pieceSize)
        , m_state(::BrotliDecoderCreateInstance(nullptr, nullptr, nullptr))
    {}

    DecodeResult Run(std::string_view input, bool end, const DecodedSink& out) override
    {
        if (!m_state)
            return DecodeResult::Damaged;
        if (m_ended)
            return DecodeResult::Ok;
        const auto* next = reinterpret_cast<const std::uint8_t*>(input.data());
        std::size_t left = input.size();
        for (;;) {
            auto* target = reinterpret_cast<std::uint8_t*>(Buffer());
            std::size_t room = BufferSize();
            const auto status = ::BrotliDecoderDecompressStream(m_state.get(), &left, &next, &room, &target, nullptr);
            const std::size_t produced = BufferSize() - room;
            if (status == BROTLI_DECODER_RESULT_ERROR)
                return DecodeResult::Damaged;
            if (produced > 0 && !out(std::string_view(Buffer(), produced)))
                return DecodeResult::Stopped;
            if (status == BROTLI_DECODER_RESULT_SUCCESS) {
                m_ended = true;
                return DecodeResult::Ok;
            }
            if (status == BROTLI_DECODER_RESULT_NEEDS_MORE_INPUT)
                break;
        }
        return end ? DecodeResult::Damaged : DecodeResult::Ok;
    }

private:
    struct Destroy {
        void operator()(BrotliDecoderState* state) const { ::BrotliDecoderDestroyInstance(state); }
    };
    std::unique_ptr<BrotliDecoderState, Destroy> m_state;
    bool m_ended = false;
};

class ZstdStage final : public BodyDecoder::Stage {
public:
    explicit ZstdStage(std::size_t pieceSize) : Stage(pieceSize), m_context(::ZSTD_createDCtx())
    {
        // Browsers decode windows of up to 8 MiB only; a larger one never reached their caches intact.
        if (m_context)
            ::ZSTD_DCtx_setParameter(m_context.get(), ZSTD_d_windowLogMax, 23);
    }

    DecodeResult Run(std::string_view input, bool end, const DecodedSink& out) override
    {
        if (!m_context)
            return DecodeResult::Damaged;
        ZSTD_inBuffer in{input.data(), input.size(), 0};
        ZSTD_outBuffer target{};
        do {
            target = ZSTD_outBuffer{Buffer(), BufferSize(), 0};
            const std::size_t status = ::ZSTD_decompressStream(m_context.get(), &target, &in);
            if (::ZSTD_isError(status))
                return DecodeResult::Damaged;
            if (target.pos > 0 && !out(std::string_view(Buffer(), target.pos)))
                return DecodeResult::Stopped;
            if (in.pos > 0 || target.pos > 0) // a call without input says nothing about the last frame
                m_frameEnded = status == 0;
        } while (in.pos < in.size || target.pos == target.size);
        return end && !m_frameEnded ? DecodeResult::Damaged : DecodeResult::Ok;
    }

private:
    struct Free {
        void operator()(ZSTD_DCtx* context) const { ::ZSTD_freeDCtx(context); }
    };
    std::unique_ptr<ZSTD_DCtx, Free> m_context;
    bool m_frameEnded = false;
};

std::unique_ptr<BodyDecoder::Stage> MakeStage(ContentCoding coding, std::size_t pieceSize)
{
    switch (coding) {
    case ContentCoding::Gzip:
        return std::make_unique<InflateStage>(true, pieceSize);
    case ContentCoding::Deflate:
        return std::make_unique<InflateStage>(false, pieceSize);
    case ContentCoding::Brotli:
        return std::make_unique<BrotliStage>(pieceSize);
    case ContentCoding::Zstd:
        return std::make_unique<ZstdStage>(pieceSize);
    }
    return nullptr;
}

} // namespace

std::optional<std::vector<ContentCoding>> ParseContentCodings(std::string_view value)
{
    std::vector<ContentCoding> codings;
    for (;;) {
        const std::size_t comma = value.find(',');
        const std::string_view item = platform::Trimmed(value.substr(0, comma), kHeaderBlanks);
        if (platform::EqualsIgnoringAsciiCase(item, "gzip") || platform::EqualsIgnoringAsciiCase(item, "x-gzip"))
            codings.push_back(ContentCoding::Gzip);
        else if (platform::EqualsIgnoringAsciiCase(item, "deflate"))
            codings.push_back(ContentCoding::Deflate);
        else if (platform::EqualsIgnoringAsciiCase(item, "br"))
            codings.push_back(ContentCoding::Brotli);
        else if (platform::EqualsIgnoringAsciiCase(item, "zstd"))
            codings.push_back(ContentCoding::Zstd);
        else if (!item.empty() && !platform::EqualsIgnoringAsciiCase(item, "identity"))
            return std::nullopt;
        if (comma == std::string_view::npos)
            return codings;
        value.remove_prefix(comma + 1);
    }
}

BodyDecoder::BodyDecoder(const std::vector<ContentCoding>& codings, UndecodableStart undecodable,
                         std::size_t pieceSize)
    : m_tolerant(undecodable == UndecodableStart::PassesAsIs && !codings.empty())
{
    for (auto coding = codings.rbegin(); coding != codings.rend(); ++coding)
        m_stages.push_back(MakeStage(*coding, std::clamp<std::size_t>(pieceSize, 1, kDecodedPieceSize)));
}

BodyDecoder::~BodyDecoder() = default;
BodyDecoder::BodyDecoder(BodyDecoder&&) noexcept = default;
BodyDecoder& BodyDecoder::operator=(BodyDecoder&&) noexcept = default;

DecodeResult BodyDecoder::Feed(std::string_view raw, const DecodedSink& sink)
{
    return m_tolerant ? Tolerate(raw, false, sink) : Pass(0, raw, false, sink);
}

DecodeResult BodyDecoder::Finish(const DecodedSink& sink)
{
    return m_tolerant ? Tolerate({}, true, sink) : Pass(0, {}, true, sink);
}

// The first bytes are held until the codings have decoded something: if they fail before that, the body was
// stored decoded and the held bytes pass as they are.
DecodeResult BodyDecoder::Tolerate(std::string_view raw, bool end, const DecodedSink& sink)
{
    if (m_identity)
        return Pass(m_stages.size(), raw, end, sink);
    if (!m_decided) {
        m_held.append(raw);
        if (m_held.size() > kDecodedPieceSize) {
            m_decided = true; // too far in to go back: the codings have it
            m_held.clear();
        }
    }
    bool produced = false;
    const DecodeResult result = Pass(0, raw, end, [&](std::string_view piece) {
        produced = true;
        return sink(piece);
    });
    if (produced) {
        m_decided = true;
        m_held.clear();
    }
    if (result != DecodeResult::Damaged || m_decided)
        return result;
    m_identity = true;
    const std::string held = std::move(m_held);
    m_held.clear();
    return Pass(m_stages.size(), held, end, sink);
}

DecodeResult BodyDecoder::Pass(std::size_t stage, std::string_view input, bool end, const DecodedSink& sink)
{
    if (stage == m_stages.size()) {
        for (std::size_t at = 0; at < input.size(); at += kDecodedPieceSize) {
            if (!sink(input.substr(at, kDecodedPieceSize)))
                return DecodeResult::Stopped;
        }
        return DecodeResult::Ok;
    }
    // What the next stage reports travels back through this one's sink.
    DecodeResult downstream = DecodeResult::Ok;
    const DecodedSink next = [&](std::string_view piece) {
        downstream = Pass(stage + 1, piece, false, sink);
        return downstream == DecodeResult::Ok;
    };
    const DecodeResult result = m_stages[stage]->Run(input, end, next);
    if (result == DecodeResult::Stopped)
        return downstream == DecodeResult::Ok ? DecodeResult::Stopped : downstream;
    if (result != DecodeResult::Ok || !end)
        return result;
    return Pass(stage + 1, {}, true, sink);
}

} // namespace cache
