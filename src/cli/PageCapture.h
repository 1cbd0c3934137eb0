#pragma once
// list and save-all capture a page as the window does, from the archive when the live page cannot be
// fetched or answers an error status; this adds the tool's way of reporting it.
#include <string>
#include <vector>

namespace cli {

struct PageCapture {
    int status = 0;                // kOk, or kCannotOpen / kTransferFailed with the message printed
    std::vector<std::string> rows; // the movies' addresses, in the order the list shows them
};

// The address rule of "Go", then the capture of the page at the resulting address, with both finders
// or, when `literal`, the markup finder alone. What came from the archive, and what it did not give, is
// said on standard error.
PageCapture CapturePage(const std::string& typedAddress, bool literal);

} // namespace cli
