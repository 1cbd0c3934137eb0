#pragma once
// libcurl, loaded at the first transfer rather than with the program. The commands that only read the disk
// (a cache folder's listing, a web archive, a movie's facts) then start without it and the three dozen
// libraries it brings, whose loading takes longer than such a command's whole work on a small folder.
#include <curl/curl.h>

#include <type_traits>

namespace capture {

struct CurlLibrary {
    CURLcode (*globalInit)(long flags);
    CURL* (*easyInit)();
    void (*easyCleanup)(CURL* handle);
    CURLcode (*easySetopt)(CURL* handle, CURLoption option, ...);
    CURLcode (*easyPerform)(CURL* handle);
    CURLcode (*easyGetinfo)(CURL* handle, CURLINFO info, ...);
    const char* (*easyStrerror)(CURLcode code);
};

// The library, loaded and started once (curl_global_init, which must precede every handle and is not
// thread-safe). Throws CInternetException when it cannot be loaded or started; the next call tries again.
const CurlLibrary& Curl();

// What curl_easy_setopt reads after the option: a long, a curl_off_t, or a pointer to data or to a function.
// Through the loaded function nothing converts an int or a bool, whose upper bits it would read as well.
template <typename T>
concept CurlOptionValue =
    std::is_same_v<T, long> || std::is_same_v<T, curl_off_t> || std::is_pointer_v<T> || std::is_null_pointer_v<T>;

inline CURLcode SetCurlOption(CURL* handle, CURLoption option, CurlOptionValue auto value)
{
    return Curl().easySetopt(handle, option, value);
}

} // namespace capture
