#pragma once
// For tests linked with EmptyHomeTestMain.cpp: the whole run, application object included, sees
// only a fresh temporary tree as its home, and after the application object is gone the tree is
// checked once more for files written at shutdown.
#include <string>
#include <vector>

namespace test {

// The run's tree: "home" is HOME, with the XDG folders below it; "runtime" is XDG_RUNTIME_DIR.
const std::string& RunTree();

// Files below the tree, relative to it (folders do not count).
std::vector<std::string> FilesInRunTree();

} // namespace test
