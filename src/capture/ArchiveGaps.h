#pragma once
// What a web archive's pages and movies name that none of its records holds: the list an archivist hands a
// crawler to close the gaps. The movies each HTML page names (both finders, against the page's own address)
// and the FlashVars files it gives them, then the files each archived movie loads (FilesMovieLoads, against
// the pages that embed it and its own address). Files are read twice: first every record, for what is held,
// what the pages name and where the movies lie; then only the movie records. What is kept grows with the
// number of records, never with their bodies: pages are read up to their first MiB, movies one at a time.
#include "cache/formats/ArchiveInput.h"
#include "cache/formats/ArchiveReader.h"
#include "capture/MovieFiles.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace capture {

// Movies longer than this are not read for the files they load.
inline constexpr std::uint64_t kLargestMovieRead = std::uint64_t{64} << 20;

struct ArchiveGap {
    std::string address;
    std::string how;     // "page" for a movie a page names; HowNamed's words for what a movie or its page loads
    std::string namedIn; // the page or movie that names it first
};

// The form of an address that records and names are matched in: scheme and host in lower case, no default
// port, no fragment, "/" for an empty path.
std::string ArchivedAddressKey(std::string_view address);

class ArchiveGaps {
public:
    // Reads every record of `input`, which is the file at `file` (its movies are read again from there).
    cache::ArchiveFileResult ReadRecords(cache::ArchiveInput& input, const std::string& file,
                                         const std::atomic<bool>* stop = nullptr);

    // Reads the movies the records held, for the files they load. A movie longer than kLargestMovieRead is
    // handed to `passedOver` instead, by its address.
    void ReadMovies(const std::function<void(const std::string&)>& passedOver, const std::atomic<bool>* stop = nullptr);

    // What no record holds, in the order first named, each address once. An address held by a redirect stands
    // for the address it leads to.
    std::vector<ArchiveGap> Gaps() const;

private:
    struct Named {
        std::vector<std::string> candidates; // one file's addresses, in the order a player tries them
        std::string how;
        std::string namedIn;
    };
    struct MovieRecord {
        std::string file;
        cache::RecordPosition position;
        std::string address;
    };

    void Hold(const std::string& address);
    void Name(std::vector<std::string> candidates, std::string how, const std::string& namedIn);
    void ReadPage(std::string_view text, const std::string& address);
    void NameLoadedFiles(const std::vector<LoadedFile>& files, const std::string& namedIn);
    // Where a chain of redirects from `address` ends; nothing when it ends at a held address.
    std::optional<std::string> Unheld(const std::string& address) const;

    std::unordered_set<std::string> m_held;                              // keys
    std::unordered_map<std::string, std::string> m_redirects;            // key -> the address it leads to
    std::unordered_map<std::string, std::vector<PageContext>> m_pagesOf; // a movie's key -> the pages embedding it
    std::vector<Named> m_named;
    std::unordered_set<std::string> m_namedOnce; // candidates, joined
    std::vector<MovieRecord> m_movies;           // each movie once (address and digest)
    std::unordered_set<std::string> m_moviesOnce;
};

} // namespace capture
