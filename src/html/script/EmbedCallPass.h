#pragma once
// The script finder's pass over the calls of the embedding libraries that name a movie without its
// ".swf": AC_FL_RunContent and AC_RunContent ("movie"/"src" arguments), swfobject.embedSWF and
// new SWFObject (first argument).
#include "html/script/ReferenceList.h"

#include <string>
#include <string_view>

namespace html::script {

// Appends the movie references of those calls in `pageText`. Only arguments written as literals, or
// as literals joined with "+", count. AC_FL_RunContent adds ".swf" as its library does (before any
// query); AC_RunContent adds nothing and counts only when its arguments name Flash.
void CollectEmbedCallMovies(std::string_view pageText, ReferenceList& references);

// What AC_FL_RunContent's library makes of a movie argument: ".swf" put in front of the query, or
// appended when there is none.
std::string WithMovieExtension(std::string_view movie);

} // namespace html::script
