#pragma once
// A page the live web no longer gives, read from the archive instead: its latest capture with status 200,
// fetched raw (the bytes the site sent), its movies found and resolved against the page's original
// address, and for each movie the archive's raw capture of it nearest in time to the page's capture (of the
// address with a query, when the archive holds none without), so that preview and Save fetch the movie
// from the archive. A movie the archive never captured keeps its
// original address: its row looks like a live one, and tells that the archive does not have it.
#include "capture/Capture.h"

#include <atomic>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace capture {

struct ArchivedPage {
    std::string timestamp;         // of the page's capture
    std::string original;          // the page's address as the archive holds it
    std::vector<std::string> rows; // in the order of the page's movie set: raw captures, or original addresses
    std::size_t notCaptured = 0;   // movies the archive holds no capture of
};

// The page at `address` from `archive`. Nothing when the archive holds no capture of it or could not be
// asked; `problem` then says what the archive did not give, in one line naming it (and also when some
// movie could not be looked up: its row then asks the archive for the capture nearest the page's time).
std::optional<ArchivedPage> ReadArchivedPage(const std::string& archive, const std::string& address, Finders finders,
                                             std::string& problem, const std::atomic<bool>* abort = nullptr);

} // namespace capture
