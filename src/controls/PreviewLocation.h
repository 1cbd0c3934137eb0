#pragma once
// What a preview location names. Locations are bytes: an absolute URL or a full local path, and
// neither has to be valid UTF-8.
#include <QUrl>

#include <string>

namespace preview {

// A full local path begins at the root.
bool IsLocalPath(const std::string& location);

// True when the location names a movie: its path (for a URL, without query and fragment) ends in
// ".swf" in any case.
bool NamesMovie(const std::string& location);

// The last path component of a local path.
std::string BaseName(const std::string& path);

// The URL for an address given as bytes. Bytes outside printable ASCII are percent-encoded one by
// one, so the request carries the exact bytes whatever their encoding.
QUrl UrlFromBytes(const std::string& address);

} // namespace preview
