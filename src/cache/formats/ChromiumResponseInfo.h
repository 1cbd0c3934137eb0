#pragma once
// What every Chromium cache backend stores the same way: the key hash (base::PersistentHash), the response
// info pickled into stream 0 (net/http/http_response_info.cc, base/pickle.h) and the HTTP cache's keys
// (net/http/http_cache.cc, GenerateCacheKey).
#include "cache/formats/Refusal.h"
#include "cache/formats/ResponseHead.h"

#include <cstdint>
#include <string_view>

namespace cache {

// Paul Hsieh's SuperFastHash, which Chromium keeps as base::PersistentHash for keys and records. The last odd
// bytes count as signed, as a char is on the platforms Chromium is built for here.
std::uint32_t ChromiumPersistentHash(std::string_view data);

struct ChromiumResponseInfo {
    ResponseHead head;
    bool cutShort = false; // the browser marked the response as broken off before its end
};

// Stream 0 of an HTTP cache entry: a pickled HttpResponseInfo of versions 1 to 3, of which only the flags and
// the headers are read. NotAResponse when it holds something else (compiled code, a service worker's record),
// UnknownVersion for a response info newer than version 3, Damaged for one whose fields run past its end.
Refusable<ChromiumResponseInfo> ReadChromiumResponseInfo(std::string_view stream0);

// The address an HTTP cache key stands for: "<url>", "<upload id>/<url>", "<credentials>/<upload id>/<url>",
// each with the URL possibly after a "_dk_<site> <site> " isolation prefix. Empty when nothing is left, or
// when what is left cannot be an address (an application cache's response id).
std::string_view AddressOfChromiumKey(std::string_view key);

} // namespace cache
