#pragma once
// What every Chromium cache backend stores the same way: the key hash (base::PersistentHash), the response
// info pickled into stream 0 (net/http/http_response_info.cc, base/pickle.h) and the HTTP cache's keys
// (net/http/http_cache.cc, GenerateCacheKey).
#include "cache/ResponseHead.h"

#include <cstdint>
#include <optional>
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
// the headers are read. Nothing when it is not one.
std::optional<ChromiumResponseInfo> ReadChromiumResponseInfo(std::string_view stream0);

// Whether stream 0 is a pickled response info of a version newer than those ReadChromiumResponseInfo reads.
bool IsNewerChromiumResponseInfo(std::string_view stream0);

// The address an HTTP cache key stands for: "<url>", "<upload id>/<url>", "<credentials>/<upload id>/<url>",
// each with the URL possibly after a "_dk_<site> <site> " isolation prefix. Empty when nothing is left.
std::string_view AddressOfChromiumKey(std::string_view key);

} // namespace cache
