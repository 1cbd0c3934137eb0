#pragma once
// What a row of the movie list may be, and the form a found address is listed in. Applied to both
// finders' results: a row must be a whole address a browser could fetch, never a piece of markup.
#include <cstddef>
#include <string>
#include <string_view>

namespace html {

// Longer addresses are not taken for movies: browsers and servers of the Flash era refused them.
inline constexpr std::size_t kMaximumAddressLength = 2048;

// True when `address` is a whole web address: http, https, ftp or file with "//" and a host name
// (ftp and http need one) and a path that does not open with "//" (a scheme-relative reference joined
// as a path), at most kMaximumAddressLength bytes, and none of blanks or control bytes,
// quotes, angle brackets, braces or backslashes, a character reference left undecoded ("&quot;",
// "&#47;"), a broken percent escape, a percent-encoded scheme ("http%3A%2F%2F", "http%3A//") or angle
// bracket ("%3Curl%3E").
bool IsPlausibleMovieAddress(std::string_view address);

// True when `text` starts with a percent-encoded "://": "%3A%2F%2F" (encodeURIComponent) or "%3A//"
// (JavaScript's escape()), in either case.
bool StartsEncodedSchemeEnd(std::string_view text);

// True when the path of `address` (up to its query or fragment) ends in ".swf", in any letter case.
bool HasMoviePath(std::string_view address);

// The row of a resolved address: one with a movie path loses its query and fragment, like the
// markup finder's rows; any other keeps its query (get.php?id=7) and loses only the fragment.
std::string MovieRowOf(std::string_view address);

// MovieRowOf in place.
void CutToMovieRow(std::string& address);

} // namespace html
