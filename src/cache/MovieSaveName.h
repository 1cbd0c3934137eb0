#pragma once
// The file name a browser's Save As would propose for a movie found in its cache.
#include "cache/formats/ResponseHead.h"

#include <optional>
#include <string>
#include <string_view>

namespace cache {

// Content-Disposition's file name when the response has a usable one, else the last segment of the address's
// path; ".swf" added unless the name ends in ".swf" in any case; "movie.swf" when nothing is left. Names are
// cut to 255 bytes, the most a Linux file name can hold, keeping whole UTF-8 characters and the suffix.
std::string MovieSaveName(const ResponseHead& head, std::string_view address);

// The name a Content-Disposition value gives: "filename*" (RFC 5987: UTF-8 or ISO-8859-1, percent-encoded)
// before "filename" (token or quoted string, taken as it is). Folder parts ("/" or "\") are dropped and blanks
// trimmed; nothing when no usable name is left.
std::optional<std::string> ContentDispositionFileName(std::string_view value);

// The last segment of the address's path (query and fragment aside), percent-decoded as browsers do: escapes
// of control bytes stay, and the segment stays escaped when decoding would not give UTF-8. Folder parts and
// blanks are dropped as above; empty when nothing is left.
std::string AddressFileName(std::string_view address);

} // namespace cache
