#pragma once
// What list, save-all and scan share: a capture done as the window's worker does it, and the order
// in which the window lists what a capture found.
#include "html/SwfLinks.h"

#include <string>
#include <vector>

namespace cli {

struct Capture {
    int status = 0;                 // kOk, or kCannotOpen / kTransferFailed with the message printed
    std::vector<std::string> rows;  // the movie addresses, greatest first, as the window lists them
};

// Fetches the page at `address` and finds the movies it refers to.
Capture CaptureRows(const std::string& address);

// The window inserts each address of the set at the top of its list: greatest first.
std::vector<std::string> RowsGreatestFirst(const html::SwfLinkSet& links);

} // namespace cli
