#pragma once
// list and save-all capture a page as the window does; this adds the tool's way of reporting a
// capture that failed.
#include "html/SwfLinkSet.h"

#include <string>

namespace cli {

struct PageCapture {
    int status = 0;         // kOk, or kCannotOpen / kTransferFailed with the message printed
    html::SwfLinkSet links; // the movies found
};

// The address rule of "Go", then the capture of the page at the resulting address, with both finders
// or, when `literal`, the markup finder alone.
PageCapture CapturePage(const std::string& typedAddress, bool literal);

} // namespace cli
