#include "cache/EntryMovie.h"

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
    BodyDecoder decoder(codings);
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

// A stored body shorter than its Content-Length was cut short; a longer one is not the response that was sent.
std::optional<Refusal> LengthRefusal(std::optional<std::optional<std::uint64_t>> declared, std::uint64_t stored)
{
    if (!declared || !*declared || **declared == stored)
        return std::nullopt;
    return stored < **declared ? Refusal::CutShort : Refusal::Damaged;
}

} // namespace

Refusable<EntryMovie> FindEntryMovie(StoredResponse response, const std::atomic<bool>* stop, bool checkBody)
{
    if (response.head.status != 200)
        return Refusal::NotAMovie;
    if (response.cutShort)
        return Refusal::CutShort;
    const auto declared = response.head.ContentLength();
    if (declared && !*declared)
        return Refusal::Damaged; // lengths that disagree
    const std::optional<std::uint64_t> length = response.body->Length();
    if (length) {
        if (const auto refusal = LengthRefusal(declared, *length))
            return *refusal;
    }
    std::optional<std::vector<ContentCoding>> codings(std::in_place);
    if (const auto encoding = response.head.Value("Content-Encoding"))
        codings = ParseContentCodings(*encoding);
    if (!codings)
        return Refusal::UnknownCoding;
    if (checkBody) {
        if (const BodyResult verified = response.body->Verify(stop); verified != BodyResult::Done)
            return RefusalOf(verified);
    }

    EntryMovie movie{std::move(response), std::move(*codings), 0};
    if (movie.codings.empty() && length) {
        std::string start;
        if (!movie.response.body->ReadStart(3, start))
            return Refusal::Unreadable;
        if (!HasMovieSignature(start) || *length > kMaxMovieSize)
            return Refusal::NotAMovie;
        movie.size = *length;
        return movie;
    }

    // Read to the end for the length; a body that does not start like a movie stops at its first piece. A small
    // stored block can expand a long way, so the stop flag is looked at for every decoded piece as well.
    std::string start;
    std::uint64_t size = 0;
    bool notAMovie = false;
    const auto count = [&](std::string_view piece) {
        if (Stopping(stop))
            return false;
        if (start.size() < 3) {
            start.append(piece.substr(0, 3 - start.size()));
            notAMovie = start.size() == 3 && !HasMovieSignature(start);
        }
        size += piece.size();
        notAMovie = notAMovie || size > kMaxMovieSize;
        return !notAMovie;
    };
    std::uint64_t stored = 0;
    const BodyResult read = DecodeBody(movie.response, movie.codings, stop, count, stored);
    if (notAMovie)
        return Refusal::NotAMovie;
    if (read != BodyResult::Done)
        return RefusalOf(read);
    if (!HasMovieSignature(start))
        return Refusal::NotAMovie;
    if (!length) {
        if (const auto refusal = LengthRefusal(declared, stored))
            return *refusal;
    }
    movie.size = size;
    return movie;
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
