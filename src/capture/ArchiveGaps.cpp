#include "capture/ArchiveGaps.h"

#include "cache/ArchiveMovies.h"
#include "cache/EntryMovie.h"
#include "cache/formats/ArchivePayload.h"
#include "cache/formats/PayloadDigest.h"
#include "html/MovieAddress.h"
#include "html/PageText.h"
#include "html/movies/MovieLinks.h"
#include "html/script/ReferenceResolution.h"
#include "platform/Bytes.h"
#include "swf/MovieReading.h"

#include <algorithm>
#include <cctype>

namespace capture {

namespace {

// Longer chains are loops or traps, not a site's moves.
constexpr int kMostRedirects = 10;

std::string Lowered(std::string_view text)
{
    std::string lowered(text);
    std::transform(lowered.begin(), lowered.end(), lowered.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lowered;
}

bool IsPage(const cache::ResponseHead& head)
{
    const std::optional<std::string> type = head.Value("Content-Type");
    if (!type)
        return false;
    const std::string media = Lowered(platform::Trimmed(std::string_view(*type).substr(0, type->find(';'))));
    return media == "text/html" || media == "application/xhtml+xml";
}

// The page text of a response: its decoded body up to the page buffer's limit.
std::optional<std::string> PageTextOf(const cache::StoredResponse& response, const std::atomic<bool>* stop)
{
    std::optional<std::vector<cache::ContentCoding>> codings(std::in_place);
    if (const auto encoding = response.head.Value("Content-Encoding"))
        codings = cache::ParseContentCodings(*encoding);
    if (!codings)
        return std::nullopt;
    html::PageText text;
    const cache::BodyResult read = cache::DecodeStoredBody(
        response, *codings,
        [&](std::string_view piece) {
            text.Append(piece);
            return !text.Ended();
        },
        stop);
    // A page cut short still names what it names.
    if (read == cache::BodyResult::Unreadable)
        return std::nullopt;
    return std::move(text).Take();
}

// A revisit holds its address when it repeats a response that did: one without an HTTP head, or with 2xx or 304.
bool RevisitHolds(cache::ArchiveReader& reader, const cache::ArchiveHeader& header)
{
    std::string_view start;
    if (const auto head = cache::PeekHttpHead(reader, header, start))
        return (head->head.status >= 200 && head->head.status < 300) || head->head.status == 304;
    return !start.starts_with("HTTP/");
}

std::string Joined(const std::vector<std::string>& parts)
{
    std::string joined;
    for (const std::string& part : parts)
        joined.append(part).append(1, '\n');
    return joined;
}

} // namespace

std::string ArchivedAddressKey(std::string_view address)
{
    const std::size_t schemeEnd = address.find("://");
    if (schemeEnd == std::string_view::npos)
        return std::string(address);
    const std::string scheme = Lowered(address.substr(0, schemeEnd));
    std::string_view rest = address.substr(schemeEnd + 3);
    rest = rest.substr(0, rest.find('#'));
    const std::size_t authorityEnd = std::min(rest.find_first_of("/?"), rest.size());
    std::string authority = Lowered(rest.substr(0, authorityEnd));
    std::string_view path = rest.substr(authorityEnd);
    const std::string_view defaultPort = scheme == "http" ? ":80" : scheme == "https" ? ":443" : "";
    if (!defaultPort.empty() && authority.ends_with(defaultPort))
        authority.resize(authority.size() - defaultPort.size());
    std::string key = scheme + "://" + authority;
    if (!path.starts_with('/'))
        key += '/';
    return key.append(path);
}

cache::ArchiveFileResult ArchiveGaps::ReadRecords(cache::ArchiveInput& input, const std::string& file,
                                                  const std::atomic<bool>* stop)
{
    cache::ArchiveReader reader(input);
    bool stopped = false;
    while (const auto record = reader.Next()) {
        if (cache::Stopping(stop)) {
            stopped = true;
            break;
        }
        const cache::ArchiveHeader& header = record->header;
        const std::string& address = header.targetUri;
        if (header.format == cache::ArchiveFormat::Warc && header.type == "revisit") {
            if (RevisitHolds(reader, header) && reader.ReadBlock(nullptr) == cache::RecordEnd::Complete)
                Hold(address);
            continue;
        }
        auto response = cache::RecordResponse(reader, header);
        if (!response)
            continue;
        const int status = response->head.status;
        const bool cutShort = response->cutShort;
        std::optional<std::string> leadsTo;
        if (status >= 300 && status < 400) {
            if (const auto location = response->head.Value("Location"))
                leadsTo = html::script::ResolveReference(address, *location);
        }
        bool movie = false;
        cache::PayloadDigest digest;
        if (status == 200 && IsPage(response->head)) {
            if (const auto text = PageTextOf(*response, stop))
                ReadPage(*text, address);
        } else if (status == 200) {
            movie = static_cast<bool>(cache::FindEntryMovie(
                std::move(*response),
                [&](std::string_view piece) {
                    digest.Update(piece);
                    return true;
                },
                stop));
        }
        // Only a whole record holds what it names.
        if (reader.ReadBlock(nullptr) != cache::RecordEnd::Complete || cutShort)
            continue;
        if (leadsTo)
            m_redirects.emplace(ArchivedAddressKey(address), *leadsTo);
        else if (status >= 200 && status < 400)
            Hold(address);
        if (movie && m_moviesOnce.insert(ArchivedAddressKey(address) + ' ' + digest.Finish().sha256).second)
            m_movies.push_back({file, record->position, address});
    }
    cache::ArchiveFileResult result = reader.Result();
    result.stopped = stopped;
    return result;
}

void ArchiveGaps::Hold(const std::string& address)
{
    m_held.insert(ArchivedAddressKey(address));
    // Pages name movies without their queries (a movie's row drops them): a capture with one holds the movie.
    if (html::HasMoviePath(address))
        m_held.insert(ArchivedAddressKey(html::MovieRowOf(address)));
}

void ArchiveGaps::Name(std::vector<std::string> candidates, std::string how, const std::string& namedIn)
{
    if (candidates.empty() || !m_namedOnce.insert(Joined(candidates)).second)
        return;
    m_named.push_back({std::move(candidates), std::move(how), namedIn});
}

void ArchiveGaps::ReadPage(std::string_view text, const std::string& address)
{
    html::SwfLinkSet movies;
    html::FindMovieLinks(movies, address, text);
    for (const std::string& movie : movies) {
        Name({movie}, "page", address);
        // The FlashVars the page gives the movie name files of their own; its address and base are where the
        // movie's own names resolve.
        PageContext page = PageContextFor(text, address, movie);
        NameLoadedFiles(ResolveLoadedFiles(swf::MovieReading{}, movie, page), address);
        page.flashVars.clear();
        page.movieAddress.clear();
        auto& pages = m_pagesOf[ArchivedAddressKey(movie)];
        const bool known = std::any_of(pages.begin(), pages.end(), [&](const PageContext& other) {
            return other.pageAddress == page.pageAddress && other.base == page.base;
        });
        if (!known)
            pages.push_back(std::move(page));
    }
}

void ArchiveGaps::NameLoadedFiles(const std::vector<LoadedFile>& files, const std::string& namedIn)
{
    for (const LoadedFile& file : files) {
        // A name built at run time cannot be fetched as it is.
        if (!file.pattern)
            Name(file.candidates, std::string(HowNamed(file)), namedIn);
    }
}

void ArchiveGaps::ReadMovies(const std::function<void(const std::string&)>& passedOver, const std::atomic<bool>* stop)
{
    for (const MovieRecord& movie : m_movies) {
        if (cache::Stopping(stop))
            return;
        std::string bytes;
        bool tooLarge = false;
        const cache::BodyResult read = cache::StreamArchiveMovie(
            movie.file, movie.position,
            [&](std::string_view piece) {
                tooLarge = bytes.size() + piece.size() > kLargestMovieRead;
                if (!tooLarge)
                    bytes.append(piece);
                return !tooLarge;
            },
            stop);
        if (tooLarge) {
            passedOver(movie.address);
            continue;
        }
        if (read != cache::BodyResult::Done)
            continue;
        const auto reading = swf::ReadMovie(bytes);
        if (!reading)
            continue;
        const auto pages = m_pagesOf.find(ArchivedAddressKey(html::MovieRowOf(movie.address)));
        if (pages == m_pagesOf.end()) {
            NameLoadedFiles(ResolveLoadedFiles(*reading, movie.address, std::nullopt), movie.address);
            continue;
        }
        for (const PageContext& page : pages->second)
            NameLoadedFiles(ResolveLoadedFiles(*reading, movie.address, page), movie.address);
    }
}

std::optional<std::string> ArchiveGaps::Unheld(const std::string& address) const
{
    std::string at = address;
    for (int hop = 0; hop <= kMostRedirects; ++hop) {
        const std::string key = ArchivedAddressKey(at);
        if (m_held.contains(key))
            return std::nullopt;
        const auto next = m_redirects.find(key);
        if (next == m_redirects.end())
            break;
        at = next->second;
    }
    return at;
}

std::vector<ArchiveGap> ArchiveGaps::Gaps() const
{
    std::vector<ArchiveGap> gaps;
    std::unordered_set<std::string> listed;
    for (const Named& named : m_named) {
        // A player takes the first address that answers: one held is enough.
        std::vector<std::string> unheld;
        for (const std::string& candidate : named.candidates) {
            auto end = Unheld(candidate);
            if (!end) {
                unheld.clear();
                break;
            }
            unheld.push_back(std::move(*end));
        }
        for (std::string& address : unheld) {
            if (listed.insert(ArchivedAddressKey(address)).second)
                gaps.push_back({std::move(address), named.how, named.namedIn});
        }
    }
    return gaps;
}

} // namespace capture
