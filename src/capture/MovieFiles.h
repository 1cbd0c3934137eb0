#pragma once
// The files a movie loads, with the addresses to fetch them from, resolved as Flash Player resolved
// them: against the page that embeds the movie (its address, or the base it gives the movie, "."
// meaning the movie's own folder), and against the movie's own address when there is no page. When
// both apply and differ, both are candidates, the page's first: the first that answers wins.
#include "swf/MovieReading.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace capture {

// What the page that embeds a movie gives it.
struct PageContext {
    std::string pageAddress;         // the page's absolute address
    std::string movieAddress;        // the movie's address as the page names it (empty when it does not)
    std::optional<std::string> base; // the base attribute or param, as the page writes it
    std::string flashVars;           // "name=value&...", as the movie receives them
};

// How a file was named.
enum class NamedBy { Action, Abc, Import, FlashVars };

struct LoadedFile {
    std::string name; // as named (in a pattern, "*" stands for each part built at run time)
    NamedBy namedBy = NamedBy::Action;
    bool embedded = false;               // named by a movie embedded in the movie
    bool pattern = false;                // built at run time: its candidates are patterns too, never fetched
    std::vector<std::string> candidates; // in the order to try; empty when nothing to resolve against
};

// "action", "abc", "import" or "flashvars".
std::string_view NamedByText(NamedBy namedBy);
// The same, or "embedded" for a name from an embedded movie.
std::string_view HowNamed(const LoadedFile& file);

// What the page text at `pageAddress` gives the movie at `movieAddress`: its FlashVars and base
// (none of either when the page does not embed it).
PageContext PageContextFor(std::string_view pageText, std::string pageAddress, std::string_view movieAddress);

// The files `reading` names and the page's FlashVars name (first), resolved. `movieAddress` is the
// movie's own address, when it has one.
std::vector<LoadedFile> ResolveLoadedFiles(const swf::MovieReading& reading,
                                           const std::optional<std::string>& movieAddress,
                                           const std::optional<PageContext>& page);

// Reads `movie` and resolves what it loads; nothing when the bytes are not a movie.
std::optional<std::vector<LoadedFile>> FilesMovieLoads(std::string_view movie,
                                                       const std::optional<std::string>& movieAddress,
                                                       const std::optional<PageContext>& page);

} // namespace capture
