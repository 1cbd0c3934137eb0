#pragma once
// A loopback site made of a real folder: every GET of "/<path>" answers the file at <folder>/<path>, and 404
// for anything else (a path that climbs out of the folder included). Routes a test adds before it come first,
// for the redirects, errors and broken answers it needs.
#include <httplib.h>

#include <string>

namespace test {

void ServeFolder(httplib::Server& server, const std::string& folder);

} // namespace test
