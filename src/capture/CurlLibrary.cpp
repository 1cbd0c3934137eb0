#include "capture/CurlLibrary.h"

#include "platform/Exceptions.h"

#include <dlfcn.h>

#include <string>

namespace capture {

namespace {

// The names libcurl has had since 2006 (libcurl.so.4), built against OpenSSL or against GnuTLS.
constexpr const char* kLibraryNames[] = {"libcurl.so.4", "libcurl-gnutls.so.4"};

template <typename Function>
void Resolve(void* library, const char* name, Function& function)
{
    function = reinterpret_cast<Function>(::dlsym(library, name));
    if (function == nullptr)
        throw CInternetException(std::string("Cannot start the HTTP client: libcurl has no ") + name);
}

CurlLibrary Load()
{
    void* library = nullptr;
    std::string why;
    for (const char* name : kLibraryNames) {
        library = ::dlopen(name, RTLD_NOW | RTLD_LOCAL);
        if (library != nullptr)
            break;
        if (why.empty())
            why = ::dlerror();
    }
    if (library == nullptr)
        throw CInternetException("Cannot start the HTTP client: " + why);
    // Never closed: libcurl and its TLS library end with the program.
    CurlLibrary curl{};
    Resolve(library, "curl_global_init", curl.globalInit);
    Resolve(library, "curl_easy_init", curl.easyInit);
    Resolve(library, "curl_easy_cleanup", curl.easyCleanup);
    Resolve(library, "curl_easy_setopt", curl.easySetopt);
    Resolve(library, "curl_easy_perform", curl.easyPerform);
    Resolve(library, "curl_easy_getinfo", curl.easyGetinfo);
    Resolve(library, "curl_easy_strerror", curl.easyStrerror);
    const CURLcode result = curl.globalInit(CURL_GLOBAL_DEFAULT);
    if (result != CURLE_OK)
        throw CInternetException(std::string("Cannot start the HTTP client: ") + curl.easyStrerror(result));
    return curl;
}

} // namespace

const CurlLibrary& Curl()
{
    static const CurlLibrary curl = Load();
    return curl;
}

} // namespace capture
