#pragma once
// What a page hands one of its movies: its FlashVars and its base, from the <embed> or <object> that
// shows it (attributes and <param>s) or from the SWFObject call that writes one (swfobject.embedSWF,
// and new SWFObject with addVariable and addParam).
#include <optional>
#include <string>
#include <string_view>

namespace html::script {

struct MovieParameters {
    std::string movieAddress;        // the movie's address as the page names it, resolved
    std::string flashVars;           // "name=value&...", as the movie receives them
    std::optional<std::string> base; // the base attribute or param, as the page writes it
};

// The parameters the page at `pageAddress` gives the movie at `movieAddress` (an absolute address),
// or, when no embedding resolves to it, to the one movie of the page with the same file name.
// Nothing when the page does not embed it.
std::optional<MovieParameters> FindMovieParameters(std::string_view pageText, std::string_view pageAddress,
                                                   std::string_view movieAddress);

} // namespace html::script
