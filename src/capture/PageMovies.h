#pragma once
// The movies "Go" lists for an address: those of the live page; or, when the page cannot be fetched or
// answers an error status (400 and above), those of the archive's latest capture of it (ArchivedPage.h).
// A page that answers normally is never replaced; when the archive has no capture either, an error page
// is read as it came, and a page that could not be fetched lists nothing.
#include "capture/ArchivedPage.h"
#include "capture/Capture.h"

#include <atomic>
#include <optional>
#include <string>
#include <vector>

namespace capture {

struct PageMovies {
    // The addresses of the rows, in the order of the page's movie set; nothing when no page was read
    // (the list stays as it was).
    std::optional<std::vector<std::string>> rows;
    long status = 0;                      // of the live page; 0 when no answer came
    std::string error;                    // why the live page could not be fetched
    bool archiveAsked = false;            // the archive was asked for the page
    std::optional<ArchivedPage> archived; // when the rows come from the archive
    std::string archiveProblem;           // what the archive did not give, naming it
};

// The live page, then the archive of wayback::Archive() unless it is off. A live transfer that breaks off
// throws CInternetException, as CapturePage does.
PageMovies FindPageMovies(const std::string& address, Finders finders = Finders::Both,
                          const std::atomic<bool>* abort = nullptr);

} // namespace capture
