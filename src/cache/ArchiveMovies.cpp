#include "cache/ArchiveMovies.h"

#include "cache/EntryMovie.h"
#include "cache/formats/ArchivePayload.h"
#include "platform/Bytes.h"

namespace cache {

namespace {

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
    bool stopped = false;
    while (auto record = reader.Next()) {
        if (Stopping(stop)) {
            stopped = true;
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
            auto response = RecordResponse(reader, header);
            if (!response)
                continue;
            PayloadDigest digest;
            auto checked = FindEntryMovie(
                std::move(*response),
                [&](std::string_view piece) {
                    digest.Update(piece);
                    return true;
                },
                stop);
            if (!checked) {
                if (checked.Why() != Refusal::Stopped)
                    continue;
                stopped = true;
                break;
            }
            movie.payloadFile = file;
            movie.payloadPosition = record->position;
            movie.size = checked->size;
            movie.digests = digest.Finish();
            if (header.type == "response")
                movie.head = std::move(checked->response.head);
        }
        movie.address = header.targetUri;
        movie.date = header.date;
        movie.type = header.type;
        movie.file = file;
        movie.position = record->position;
        Remember(header, movie);
        if (!found(movie)) {
            stopped = true;
            break;
        }
    }
    FileResult result = reader.Result();
    result.stopped = stopped;
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

BodyResult StreamArchiveMovie(const std::string& path, const RecordPosition& position, const DecodedSink& sink,
                              const std::atomic<bool>* stop)
{
    auto input = ArchiveInput::Open(path);
    if (!input)
        return BodyResult::Unreadable;
    return StreamArchiveMovie(*input, position, sink, stop);
}

BodyResult StreamArchiveMovie(ArchiveInput& input, const RecordPosition& position, const DecodedSink& sink,
                              const std::atomic<bool>* stop)
{
    auto response = RecordResponseAt(input, position);
    if (!response)
        return BodyResult::Unreadable;
    const auto movie = FindEntryMovie(std::move(*response), stop);
    if (!movie)
        return movie.Why() == Refusal::Stopped ? BodyResult::Stopped : BodyResult::Unreadable;
    return StreamEntryMovie(*movie, sink, stop);
}

} // namespace cache
