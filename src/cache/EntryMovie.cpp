#include "cache/EntryMovie.h"

#include <algorithm>

namespace cache {

namespace {

bool HasMovieSignature(std::string_view start)
{
    return start.size() >= 3 && (start[0] == 'F' || start[0] == 'C' || start[0] == 'Z') && start[1] == 'W'
        && start[2] == 'S';
}

Refusal RefusalOf(BodyResult result)
{
    switch (result) {
    case BodyResult::Unreadable:
        return Refusal::Unreadable;
    case BodyResult::Stopped:
        return Refusal::Stopped;
    case BodyResult::Done:
    case BodyResult::Damaged:
        break;
    }
    return Refusal::Damaged;
}

// Reads the whole stored body through the decoder (none for identity bodies), handing each decoded piece to
// `sink`; `stored` counts the stored bytes read.
BodyResult DecodeBody(const StoredResponse& response, const std::vector<ContentCoding>& codings,
                      const std::atomic<bool>* stop, const DecodedSink& sink, std::uint64_t& stored)
{
    stored = 0;
    if (codings.empty()) {
        return response.body->Read(
            [&](std::string_view piece) {
                stored += piece.size();
                return sink(piece);
            },
            stop);
    }
    BodyDecoder decoder(codings,
                        response.encodingMayBeUndone ? UndecodableStart::PassesAsIs : UndecodableStart::Damaged);
    DecodeResult decoded = DecodeResult::Ok;
    const BodyResult read = response.body->Read(
        [&](std::string_view piece) {
            stored += piece.size();
            decoded = decoder.Feed(piece, sink);
            return decoded == DecodeResult::Ok;
        },
        stop);
    if (read == BodyResult::Unreadable || (read == BodyResult::Stopped && decoded == DecodeResult::Ok))
        return read;
    if (decoded == DecodeResult::Ok)
        decoded = decoder.Finish(sink);
    if (decoded == DecodeResult::Stopped)
        return BodyResult::Stopped;
    return decoded == DecodeResult::Ok ? BodyResult::Done : BodyResult::Damaged;
}

// The codings the body was sent with: from its Content-Encoding, or, when the head was lost, from its first
// bytes (gzip's magic: servers gzipped movies too). Nothing for a coding that cannot be undone.
std::optional<std::vector<ContentCoding>> CodingsOf(const StoredResponse& response)
{
    if (response.headLost) {
        std::string start;
        std::vector<ContentCoding> codings;
        if (response.body->ReadStart(2, start) && start == "\x1f\x8b")
            codings.push_back(ContentCoding::Gzip);
        return codings;
    }
    if (const auto encoding = response.head.Value("Content-Encoding"))
        return ParseContentCodings(*encoding);
    return std::vector<ContentCoding>{};
}

// A coded body is first looked at from its start alone, growing until it decodes to three bytes: a few
// hundred stored bytes nearly always.
constexpr std::size_t kFirstProbe = 512;
constexpr std::size_t kLastProbe = std::size_t{32} * 1024;
constexpr std::size_t kProbePiece = 64;

// Whether the decoded body starts like a movie, told from as short a start of the stored body as decodes to
// three bytes; nothing when no start up to kLastProbe does (long headers, data that does not decode), for the
// whole read to tell.
std::optional<bool> DecodedStartIsMovie(const StoredBody& body, const std::vector<ContentCoding>& codings)
{
    std::string raw;
    for (std::size_t want = kFirstProbe; want <= kLastProbe; want *= 8) {
        if (!body.ReadStart(want, raw))
            return std::nullopt;
        BodyDecoder decoder(codings, UndecodableStart::Damaged, kProbePiece);
        std::string start;
        decoder.Feed(raw, [&](std::string_view piece) {
            start.append(piece.substr(0, 3 - start.size()));
            return start.size() < 3;
        });
        if (start.size() == 3)
            return HasMovieSignature(start);
        if (raw.size() < want)
            return std::nullopt; // the whole body, and not three bytes from it
    }
    return std::nullopt;
}

// Holds the first decoded bytes until they can be told to start like a movie, then hands them on.
class MovieStart {
public:
    explicit MovieStart(const DecodedSink* take) : m_take(take) {}

    // False once the bytes are no movie's, or `take` asks to stop.
    bool Take(std::string_view piece)
    {
        m_size += piece.size();
        if (m_size > kMaxMovieSize)
            return Refuse();
        if (m_signed)
            return Pass(piece);
        m_start.append(piece.substr(0, 3 - std::min<std::size_t>(m_start.size(), 3)));
        if (m_start.size() < 3) {
            m_held.append(piece);
            return true;
        }
        if (!HasMovieSignature(m_start))
            return Refuse();
        m_signed = true;
        const std::string held = std::move(m_held);
        return Pass(held) && Pass(piece);
    }

    bool NotAMovie() const { return m_notAMovie; }
    bool Signed() const { return m_signed; }
    bool Stopped() const { return m_stopped; }
    std::uint64_t Size() const { return m_size; }

private:
    bool Refuse()
    {
        m_notAMovie = true;
        return false;
    }
    bool Pass(std::string_view piece)
    {
        if (m_take == nullptr || piece.empty() || (*m_take)(piece))
            return true;
        m_stopped = true;
        return false;
    }

    const DecodedSink* m_take;
    std::string m_start;
    std::string m_held; // the pieces before the third byte: a few bytes at most
    bool m_signed = false;
    bool m_notAMovie = false;
    bool m_stopped = false;
    std::uint64_t m_size = 0;
};

Refusable<EntryMovie> Find(StoredResponse response, const std::atomic<bool>* stop, bool checkBody,
                           const DecodedSink* take)
{
    const std::optional<std::uint64_t> length = response.body->Length();
    if (const auto refusal = HeadRefusal(response, length))
        return *refusal;
    auto codings = CodingsOf(response);
    if (!codings)
        return Refusal::UnknownCoding;
    if (checkBody) {
        if (const BodyResult verified = response.body->Verify(stop); verified != BodyResult::Done)
            return RefusalOf(verified);
    }

    EntryMovie movie{std::move(response), std::move(*codings), 0};
    if (movie.codings.empty() && length && take == nullptr) {
        std::string start;
        if (!movie.response.body->ReadStart(3, start))
            return Refusal::Unreadable;
        if (!HasMovieSignature(start) || *length > kMaxMovieSize)
            return Refusal::NotAMovie;
        movie.size = *length;
        return movie;
    }

    // A body that may have been stored decoded is left to the whole read, which tells the two apart.
    if (!movie.codings.empty() && !movie.response.encodingMayBeUndone) {
        if (const auto startsLikeMovie = DecodedStartIsMovie(*movie.response.body, movie.codings);
            startsLikeMovie && !*startsLikeMovie)
            return Refusal::NotAMovie;
    }

    // Read to the end for the length; a body that does not start like a movie stops at its first piece. A small
    // stored block can expand a long way, so the stop flag is looked at for every decoded piece as well.
    MovieStart start(take);
    const auto count = [&](std::string_view piece) { return !Stopping(stop) && start.Take(piece); };
    std::uint64_t stored = 0;
    const BodyResult read = DecodeBody(movie.response, movie.codings, stop, count, stored);
    if (start.NotAMovie())
        return Refusal::NotAMovie;
    if (start.Stopped())
        return Refusal::Stopped;
    if (read != BodyResult::Done)
        return RefusalOf(read);
    if (!start.Signed())
        return Refusal::NotAMovie;
    if (!length) {
        // Only a body of no known length is held against its declared one here: HeadRefusal did the others.
        std::optional<std::optional<std::uint64_t>> declared;
        if (!movie.response.headLost)
            declared = movie.response.head.ContentLength();
        if (const auto refusal = LengthRefusal(declared, stored))
            return *refusal;
    }
    movie.size = start.Size();
    return movie;
}

} // namespace

Refusable<EntryMovie> FindEntryMovie(StoredResponse response, const std::atomic<bool>* stop, bool checkBody)
{
    return Find(std::move(response), stop, checkBody, nullptr);
}

Refusable<EntryMovie> FindEntryMovie(StoredResponse response, const DecodedSink& take, const std::atomic<bool>* stop)
{
    return Find(std::move(response), stop, false, &take);
}

BodyResult DecodeStoredBody(const StoredResponse& response, const std::vector<ContentCoding>& codings,
                            const DecodedSink& sink, const std::atomic<bool>* stop)
{
    std::uint64_t stored = 0;
    return DecodeBody(response, codings, stop, sink, stored);
}

Refusable<std::uint64_t> StreamStoredBody(const StoredResponse& response, const DecodedSink& sink,
                                          const std::atomic<bool>* stop)
{
    if (response.head.status != 200)
        return Refusal::NotAResponse;
    if (response.cutShort)
        return Refusal::CutShort;
    const auto declared = response.head.ContentLength();
    if (declared && !*declared)
        return Refusal::Damaged;
    std::optional<std::vector<ContentCoding>> codings(std::in_place);
    if (const auto encoding = response.head.Value("Content-Encoding"))
        codings = ParseContentCodings(*encoding);
    if (!codings)
        return Refusal::UnknownCoding;
    if (const BodyResult verified = response.body->Verify(stop); verified != BodyResult::Done)
        return RefusalOf(verified);
    std::uint64_t decoded = 0;
    std::uint64_t stored = 0;
    const BodyResult read = DecodeBody(
        response, *codings, stop,
        [&](std::string_view piece) {
            decoded += piece.size();
            return sink(piece);
        },
        stored);
    if (read != BodyResult::Done)
        return RefusalOf(read);
    if (const auto refusal = LengthRefusal(declared, stored))
        return *refusal;
    return decoded;
}

BodyResult StreamEntryMovie(const EntryMovie& movie, const DecodedSink& sink, const std::atomic<bool>* stop)
{
    std::uint64_t handed = 0;
    const auto counted = [&](std::string_view piece) {
        handed += piece.size();
        return handed <= movie.size && !Stopping(stop) && sink(piece);
    };
    std::uint64_t stored = 0;
    const BodyResult result = DecodeBody(movie.response, movie.codings, stop, counted, stored);
    if (handed != movie.size && (result == BodyResult::Done || handed > movie.size))
        return BodyResult::Damaged;
    return result;
}

} // namespace cache
