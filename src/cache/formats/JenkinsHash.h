#pragma once
// Bob Jenkins' 1996 hash (lookup2) with an initial value of 0, as both of Firefox's caches use it: the first
// cache for its keys, cache2 for its metadata and chunks (CacheHash::Hash).
#include <cstdint>
#include <string_view>

namespace cache {

std::uint32_t JenkinsHash(std::string_view data);

} // namespace cache
