#pragma once
// Running Debian's browsers headless for the tests that need the caches they write.
#include <string>
#include <vector>

namespace test {

// The path of an installed program; throws, naming what installs it, when it is missing.
std::string FindProgram(const char* name);

// Runs a browser in a process group of its own, with only `environment` and its output in `log`, and waits
// for it; after 60 s the group is killed. Returns the seconds it took; throws with the log's end when the
// browser fails or times out.
double RunBrowser(const std::vector<std::string>& args, const std::vector<std::string>& environment,
                  const std::string& log);

// The last few KiB of a log, for a failure message.
std::string LogTail(const std::string& path);

// The environment a browser runs in: a home of its own, no proxy, UTF-8.
std::vector<std::string> BrowserEnvironment(const std::string& home);

// Headless chromium loading `url` with its profile in `profile` and its disk cache in `cacheFolder`;
// `features` is given to --enable-features when not empty.
std::vector<std::string> ChromiumCommand(const std::string& profile, const std::string& cacheFolder,
                                         const std::string& url, const std::string& features = {});

} // namespace test
