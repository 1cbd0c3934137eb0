#pragma once
// The run's libcurl easy handles. A transfer borrows one and gives it back when it ends, with its
// connections, DNS answers and TLS sessions, so that the next transfer to the same host goes over the
// same connection. A handle serves one thread at a time and may pass from thread to thread; libcurl
// 7.88 cannot share one connection cache between threads safely (CURL_LOCK_DATA_CONNECT), so each
// handle keeps its own.
#include "capture/CurlLibrary.h"

#include <memory>

namespace capture {

class HandlePool;

struct CurlEasyCleanup {
    void operator()(CURL* handle) const noexcept { Curl().easyCleanup(handle); } // loaded: a handle exists
};
using CurlEasy = std::unique_ptr<CURL, CurlEasyCleanup>;

class PooledCurl {
public:
    // Sets up what every transfer of a handle shares; throws CInternetException when it cannot.
    using Configure = void (*)(CURL* handle);

    // An idle handle that `configure` set up, or a new one, set up now. Handles are never reset:
    // libcurl 7.88 refuses a new receive buffer size on a handle whose last transfer kept its buffer.
    // Throws CInternetException when libcurl cannot start, gives no handle or cannot set it up.
    explicit PooledCurl(Configure configure);
    // Gives the handle back.
    ~PooledCurl();
    PooledCurl(const PooledCurl&) = delete;
    PooledCurl& operator=(const PooledCurl&) = delete;

    CURL* Get() const { return m_handle.get(); }

private:
    HandlePool& m_pool; // the run's, closed with the program
    Configure m_configure;
    CurlEasy m_handle;
};

} // namespace capture
