#pragma once
// Turns a movie reference into an absolute address against the page address. Plain text work: the
// address is never parsed into scheme, host, path and query.
#include <string>
#include <string_view>

namespace html::markup {

// The joined address of `reference` under `base`, after one dot-segment step (NormalizeDots): a
// reference starting with "//" takes the scheme of `base` and its ":" in front, one holding ":"
// anywhere else is taken as it is, one starting with "/" hangs under the site root of `base`,
// anything else under its directory.
std::string ResolveLink(std::string_view base, std::string_view reference);

// Scheme, "//" and host with any port, without a trailing "/": everything before the first "/" that
// is not part of a "//" pair. An address with no single "/" is returned whole.
std::string SiteRootOf(std::string_view address);

// `address` up to and including its last "/"; empty when it has none. A bare site ("http://" or
// "https://" followed by the host alone, i.e. a directory part of 7 bytes or exactly "https://")
// gets "/" appended to the whole address instead.
std::string DirectoryOf(std::string_view address);

// One dot-segment step, the first that applies: remove the first "/./" segment's "./" (climbing
// any ".." units right behind it), or climb the ".." units of the first whole ".." segment.
// Only one step runs, so an address needing both keeps part of its dots.
std::string NormalizeDots(std::string_view address);

struct ClimbResult {
    std::string_view head; // a prefix of the head passed in
    std::string_view rest; // a suffix of the rest passed in
};

// Counts the leading "../" units of `rest` (at offsets 0, 3, ... below 40, so at most 14; a unit's
// ".." must be followed by "/" or end `rest`), drops them from `rest`, and cuts as many directories
// off `head`. The climb never goes above the site root of `head`: units left over are dropped.
// The result views into the arguments.
ClimbResult ClimbParents(std::string_view head, std::string_view rest);

} // namespace html::markup
