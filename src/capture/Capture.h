#pragma once
// One capture, from the address the user gave to the rows of the movie list: the address rule of
// "Go", fetching the page, finding its movies and the order the list shows them in. The window's
// worker and plumeroc-grab's list and save-all both go through here.
#include "html/SwfLinkSet.h"

#include <atomic>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace capture {

// "http://" in front of an address that does not begin with "http" (compared case-sensitively);
// nothing else is changed.
std::string AddressToCapture(std::string typed);

// Which finders look at a page: both (the markup finder's plausible links and the movies named in
// scripts, escaped attributes and typed embeds), or the markup finder alone, byte for byte.
enum class Finders { Both, MarkupOnly };

// The movies the page text refers to, resolved against the page's address.
html::SwfLinkSet FindMovies(std::string_view pageAddress, std::string_view pageText, Finders finders = Finders::Both);

// Fetches the page at `address` and finds its movies. Nothing when the page could not be opened,
// with the reason in `error` when given. A transfer that breaks off throws CInternetException.
// While `abort` is set and turns true, the transfer ends as a failure.
std::optional<html::SwfLinkSet> CapturePage(const std::string& address, Finders finders = Finders::Both,
                                            const std::atomic<bool>* abort = nullptr, std::string* error = nullptr);

// The order the list shows: each address of the set goes in at the top in turn, so the greatest
// comes first.
std::vector<std::string> RowsInListOrder(const html::SwfLinkSet& links);

} // namespace capture
