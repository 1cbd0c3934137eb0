#pragma once
// Whole files read and written by tests. Both throw when the file cannot be read or written, so a
// missing file fails the test that expected it rather than reading as empty.
#include <string>
#include <vector>

namespace test {

std::string ReadFile(const std::string& path);
// Creates or replaces the file, and the folders above it.
void WriteFile(const std::string& path, const std::string& bytes);
// Every file below `folder`, as full paths (folders themselves do not count).
std::vector<std::string> FilesBelow(const std::string& folder);

} // namespace test
