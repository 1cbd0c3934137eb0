#pragma once
// The script finder's pass over the calls of the embedding libraries and players: AC_FL_RunContent
// and AC_RunContent ("movie"/"src" arguments), swfobject.embedSWF and new SWFObject (first argument),
// which name a movie without its ".swf", and the configurations of Flowplayer and MediaElement.js
// (PlayerConfigs.h), which put movies under another address than the page's.
#include "html/script/ReferenceList.h"
#include "html/script/ScriptStrings.h"

#include <string>
#include <string_view>
#include <vector>

namespace html::script {

// Appends the movie references of those calls in `pageText`. Only arguments that stand for a known
// string count: literals, and parts joined with "+" that `strings` knows. AC_FL_RunContent adds ".swf" as its library
// does (before any query); AC_RunContent adds nothing and counts only when its arguments name Flash.
// The offsets of the literals a player configuration puts under another address go to `rebased`,
// ascending.
void CollectEmbedCallMovies(std::string_view pageText, ScriptStrings& strings, ReferenceList& references,
                            std::vector<std::size_t>& rebased);

// What AC_FL_RunContent's library makes of a movie argument: ".swf" put in front of the query, or
// appended when there is none.
std::string WithMovieExtension(std::string_view movie);

} // namespace html::script
