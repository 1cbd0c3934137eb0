#include "cache/formats/ArchiveMovies.h"

#include "cache/formats/ArchivePayload.h"
#include "platform/Bytes.h"

namespace cache {

namespace {

// Heads longer than this hold no movie worth the look-ahead; most fit the first look.
constexpr std::size_t kMaxHttpHead = std::size_t{256} * 1024;
constexpr std::size_t kHttpHeadLook = std::size_t{16} * 1024;
// A movie longer than this cannot be one: the signature's length field has 32 bits.
constexpr std::uint64_t kMaxArchivedMovie = std::uint64_t{1} << 32;

bool HasMovieSignature(std::string_view start)
{
    return start.size() >= 3 && (start[0] == 'F' || start[0] == 'C' || start[0] == 'Z') && start[1] == 'W'
        && start[2] == 'S';
}

bool Stopping(const std::atomic<bool>* stop) { return stop != nullptr && stop->load(std::memory_order_relaxed); }

std::string RecordId(std::string_view value)
{
    value = platform::Trimmed(value);
    if (value.size() >= 2 && value.front() == '<' && value.back() == '>')
        value = value.substr(1, value.size() - 2);
    return std::string(value);
}

std::string CaptureKey(std::string_view address, std::string_view date)
{
    return std::string(address).append(1, ' ').append(date);
}

// The HTTP head at the start of the block, looked for in a small look-ahead first.
std::optional<HttpHead> PeekHttpHead(ArchiveReader& reader, const ArchiveHeader& header, std::string_view& start)
{
    for (std::size_t look = kHttpHeadLook;; look *= 4) {
        start = reader.PeekBlock(look);
        auto head = ReadHttpHead(start, start.size() == header.blockLength);
        if (head || !start.starts_with("HTTP/") || start.size() < look || look >= kMaxHttpHead)
            return head;
    }
}

struct MovieBody {
    std::uint64_t size = 0;
    PayloadDigest::Values digests;
    ResponseHead head;
};

// Takes decoded pieces: holds the first bytes until the signature can be told, then digests and counts them
// and hands them to `copy`.
class MovieTaker {
public:
    MovieTaker(const DecodedSink& copy, const std::atomic<bool>* stop) : m_copy(copy), m_stop(stop) {}

    bool Take(std::string_view piece)
    {
        if (Stopping(m_stop)) {
            m_verdict = ArchiveMovieRead::Stopped;
            return false;
        }
        if (!m_signed) {
            m_start.append(piece);
            if (m_start.size() < 3)
                return true;
            if (!HasMovieSignature(m_start)) {
                m_verdict = ArchiveMovieRead::NoMovie;
                return false;
            }
            m_signed = true;
            const std::string start = std::move(m_start);
            return Pass(start);
        }
        return Pass(piece);
    }

    // The decoded payload has ended.
    bool Signed() const { return m_signed; }
    bool Handed() const { return m_handed; }
    ArchiveMovieRead Verdict() const { return m_verdict; }
    MovieBody Finish() { return {m_size, m_digest.Finish(), {}}; }

private:
    bool Pass(std::string_view piece)
    {
        m_size += piece.size();
        if (m_size > kMaxArchivedMovie) {
            m_verdict = m_handed ? ArchiveMovieRead::Damaged : ArchiveMovieRead::NoMovie;
            return false;
        }
        m_digest.Update(piece);
        if (m_copy) {
            m_handed = true;
            if (!m_copy(piece)) {
                m_verdict = ArchiveMovieRead::Stopped;
                return false;
            }
        }
        return true;
    }

    const DecodedSink& m_copy;
    const std::atomic<bool>* m_stop;
    std::string m_start;
    bool m_signed = false;
    bool m_handed = false;
    std::uint64_t m_size = 0;
    PayloadDigest m_digest;
    ArchiveMovieRead m_verdict = ArchiveMovieRead::Done;
};

// The movie of the record whose header `reader` has just given, read from its block; `copy` (when set) gets
// the decoded bytes once they are known to start like a movie.
ArchiveMovieRead ReadMovieBody(ArchiveReader& reader, const ArchiveHeader& header, const DecodedSink& copy,
                               const std::atomic<bool>* stop, MovieBody& body)
{
    const bool resource = header.format == ArchiveFormat::Warc && header.type == "resource";
    if ((header.type != "response" && !resource) || header.Field("WARC-Truncated"))
        return ArchiveMovieRead::NoMovie; // the writer itself says it cut the record short
    BodyCodings codings;
    std::optional<std::uint64_t> declared;
    if (!resource) {
        std::string_view start;
        const auto head = PeekHttpHead(reader, header, start);
        if (!head || head->head.status != 200)
            return ArchiveMovieRead::NoMovie;
        auto found = BodyCodingsOf(head->head);
        if (!found)
            return ArchiveMovieRead::NoMovie;
        codings = std::move(*found);
        body.head = head->head;
        if (const auto length = head->head.ContentLength(); length && !codings.chunked) {
            if (!*length)
                return ArchiveMovieRead::NoMovie;
            declared = **length;
        }
        reader.ConsumeBlock(head->length);
    }

    PayloadDecoder decoder(codings);
    MovieTaker taker(copy, stop);
    const DecodedSink take = [&](std::string_view piece) { return taker.Take(piece); };
    DecodeResult decoded = DecodeResult::Ok;
    const RecordEnd end = reader.ReadBlock([&](std::string_view raw) {
        decoded = decoder.Feed(raw, take);
        return decoded == DecodeResult::Ok;
    });
    if (decoded == DecodeResult::Ok)
        decoded = decoder.Finish(take);
    if (taker.Verdict() != ArchiveMovieRead::Done)
        return taker.Verdict();
    const ArchiveMovieRead broken = taker.Handed() ? ArchiveMovieRead::Damaged : ArchiveMovieRead::NoMovie;
    if (end != RecordEnd::Complete || decoded != DecodeResult::Ok || !taker.Signed()
        || (declared && decoder.BodyLength() != *declared))
        return broken;
    const MovieBody finished = taker.Finish();
    body.size = finished.size;
    body.digests = finished.digests;
    return ArchiveMovieRead::Done;
}

// A revisit names the response it repeats; its own head, when it has one, says 200 or 304.
bool RevisitHeadFits(ArchiveReader& reader, const ArchiveHeader& header)
{
    std::string_view start;
    if (const auto head = PeekHttpHead(reader, header, start))
        return head->head.status == 200 || head->head.status == 304;
    return !start.starts_with("HTTP/");
}

} // namespace

ArchiveMovieScan::FileResult ArchiveMovieScan::Scan(ArchiveInput& input, const std::string& file,
                                                    const MovieSink& found, const std::atomic<bool>* stop)
{
    ArchiveReader reader(input);
    FileResult result;
    while (auto record = reader.Next()) {
        if (Stopping(stop)) {
            result.stopped = true;
            break;
        }
        const ArchiveHeader& header = record->header;
        ArchiveMovie movie;
        if (header.format == ArchiveFormat::Warc && header.type == "revisit") {
            const auto referred = ReferredMovie(header);
            if (!referred || !RevisitHeadFits(reader, header) || reader.ReadBlock(nullptr) != RecordEnd::Complete)
                continue;
            movie = m_movies[*referred];
        } else {
            MovieBody body;
            const ArchiveMovieRead read = ReadMovieBody(reader, header, nullptr, stop, body);
            if (read == ArchiveMovieRead::Stopped) {
                result.stopped = true;
                break;
            }
            if (read != ArchiveMovieRead::Done)
                continue;
            movie.payloadFile = file;
            movie.payloadPosition = record->position;
            movie.size = body.size;
            movie.digests = std::move(body.digests);
            movie.head = std::move(body.head);
        }
        movie.address = header.targetUri;
        movie.date = header.date;
        movie.type = header.type;
        movie.file = file;
        movie.position = record->position;
        Remember(header, movie);
        if (!found(movie)) {
            result.stopped = true;
            break;
        }
    }
    result.records = reader.Records();
    result.damaged = reader.Damaged();
    result.readFailed = reader.ReadFailed();
    return result;
}

void ArchiveMovieScan::Remember(const ArchiveHeader& header, const ArchiveMovie& movie)
{
    std::size_t index = m_movies.size();
    if (movie.type == "revisit") {
        index = *ReferredMovie(header);
    } else {
        m_movies.push_back(movie);
        m_byCapture.emplace(CaptureKey(movie.address, movie.date), index);
        if (const auto written = header.Field("WARC-Payload-Digest"))
            if (auto digest = NormalizedDigest(*written))
                m_byDigest.emplace(std::move(*digest), index);
        m_byDigest.emplace("sha1:" + movie.digests.sha1, index);
        m_byDigest.emplace("sha256:" + movie.digests.sha256, index);
    }
    // A revisit can be referred to in turn.
    if (const auto id = header.Field("WARC-Record-ID"))
        m_byRecord.emplace(RecordId(*id), index);
}

std::optional<std::size_t> ArchiveMovieScan::ReferredMovie(const ArchiveHeader& revisit) const
{
    if (const auto id = revisit.Field("WARC-Refers-To")) {
        if (const auto found = m_byRecord.find(RecordId(*id)); found != m_byRecord.end())
            return found->second;
    }
    const auto address = revisit.Field("WARC-Refers-To-Target-URI");
    const auto date = revisit.Field("WARC-Refers-To-Date");
    if (address && date) {
        std::string_view uri = platform::Trimmed(*address);
        if (uri.size() >= 2 && uri.front() == '<' && uri.back() == '>')
            uri = uri.substr(1, uri.size() - 2);
        const auto found = m_byCapture.find(CaptureKey(uri, CaptureTimestamp(*date)));
        if (found != m_byCapture.end())
            return found->second;
    }
    if (const auto written = revisit.Field("WARC-Payload-Digest")) {
        if (const auto digest = NormalizedDigest(*written)) {
            if (const auto found = m_byDigest.find(*digest); found != m_byDigest.end())
                return found->second;
        }
    }
    return std::nullopt;
}

ArchiveMovieRead StreamArchiveMovie(const std::string& path, const RecordPosition& position, const DecodedSink& sink,
                                    const std::atomic<bool>* stop)
{
    auto input = ArchiveInput::Open(path);
    if (!input)
        return ArchiveMovieRead::Unreadable;
    return StreamArchiveMovie(*input, position, sink, stop);
}

ArchiveMovieRead StreamArchiveMovie(ArchiveInput& input, const RecordPosition& position, const DecodedSink& sink,
                                    const std::atomic<bool>* stop)
{
    if (!input.Seek(position))
        return ArchiveMovieRead::Unreadable;
    ArchiveReader reader(input);
    const auto record = reader.Next();
    if (!record || record->position != position)
        return ArchiveMovieRead::NoMovie;
    MovieBody body;
    return ReadMovieBody(reader, record->header, sink, stop, body);
}

} // namespace cache
