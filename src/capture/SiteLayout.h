#pragma once
// Where a file of a site goes in a saved copy: "<host>/<path>" as the site had it, the layout offline Flash
// players and web archives use, so that a movie's relative loads find their files on disk.
//   host    lower case, with ":<port>" when the port is not the scheme's own (as wget writes it);
//   path    each segment percent-decoded, except the bytes a name cannot hold or that would read as
//           something else ("/", "?", "%", NUL, control bytes), which keep their escape in upper case;
//           an empty last segment ("/", "/games/") is "index.html", as web servers answer a folder;
//   query   kept after a "?" in the last name, with "%", "/" and control bytes percent-encoded, so that
//           percent-decoding what follows the "?" gives the query back byte for byte;
//   length  a name longer than the file system takes (255 bytes) keeps its first 200 bytes, then "~", 16
//           hexadecimal digits of the SHA-256 of the whole name, then its suffix ("~9f...e1.swf").
// An address is refused, never made safe, when its host or a segment could reach outside the copy: an
// empty host, "." or "..", a "/" or a byte no host name has, a segment that is or decodes to "." or "..".
#include <optional>
#include <string>
#include <string_view>

namespace capture {

inline constexpr std::size_t kLongestSavedName = 255;
// A folder's own answer (a path ending in "/", or a file whose name a folder needs) goes in it as this.
inline constexpr std::string_view kFolderFileName = "index.html";
// The copy's manifest, in the copy's top folder, where no host folder can take its name.
inline constexpr std::string_view kManifestName = "plumeroc-manifest.json";

struct SavedName {
    std::string path;    // "<host>/<segment>/.../<name>", relative to the copy; empty when refused
    std::string refusal; // why there is no path
};

// The saved path of the absolute http(s) address `address` (its fragment is never part of it).
SavedName SavedNameOf(std::string_view address);

// The saved path below a host folder of an address's path and query ("/games/a.swf?level=2"), as
// SavedNameOf writes it; nothing when it is refused, with the reason in `refusal` when given.
std::optional<std::string> SavedPathOf(std::string_view pathAndQuery, std::string* refusal = nullptr);

} // namespace capture
