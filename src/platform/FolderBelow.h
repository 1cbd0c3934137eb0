#pragma once
// Opening a file below a folder and never outside it: each component of the relative path is opened relative
// to the one before without following links, so neither "..", nor a link, nor an absolute path leads out.
#include "platform/FileDescriptor.h"

#include <string_view>

namespace platform {

// The regular file at `relative` ("a/b/c.swf") below the folder open at `folder`, for reading. A component that
// names a folder as the last one is opened as that folder's "index.html". Not open when there is no such file,
// a component is empty, "." or "..", or a link or a special file stands in the way.
FileDescriptor OpenFileBelow(int folder, std::string_view relative);

} // namespace platform
