#include "capture/CurlHandlePool.h"

#include "platform/Exceptions.h"

#include <algorithm>
#include <mutex>
#include <utility>
#include <vector>

namespace capture {

namespace {

// The window borrows two at most at one time (the capture's and Save's); more wait for nothing.
constexpr std::size_t kMostIdle = 4;

} // namespace

class HandlePool {
public:
    HandlePool() { m_idle.reserve(kMostIdle); } // so that giving back never allocates

    CurlEasy Take(PooledCurl::Configure configure)
    {
        {
            const std::lock_guard lock(m_mutex);
            const auto match = std::find_if(m_idle.rbegin(), m_idle.rend(),
                                            [&](const Idle& idle) { return idle.configure == configure; });
            if (match != m_idle.rend()) {
                CurlEasy handle = std::move(match->handle);
                m_idle.erase(std::next(match).base());
                return handle;
            }
        }
        CurlEasy handle(Curl().easyInit());
        if (!handle)
            throw CInternetException("Cannot open an HTTP session");
        configure(handle.get());
        return handle;
    }

    void Give(PooledCurl::Configure configure, CurlEasy handle)
    {
        const std::lock_guard lock(m_mutex);
        if (m_idle.size() < kMostIdle)
            m_idle.push_back({configure, std::move(handle)});
        // Otherwise it closes when this call ends, outside the lock.
    }

private:
    struct Idle {
        PooledCurl::Configure configure;
        CurlEasy handle;
    };
    std::mutex m_mutex;
    std::vector<Idle> m_idle; // the most recently given back last
};

namespace {

HandlePool& ThePool()
{
    // libcurl starts first, so the pool's handles are closed before the TLS library ends at exit.
    Curl();
    static HandlePool pool;
    return pool;
}

} // namespace

PooledCurl::PooledCurl(Configure configure)
    : m_pool(ThePool())
    , m_configure(configure)
    , m_handle(m_pool.Take(configure))
{}

PooledCurl::~PooledCurl()
{
    if (m_handle)
        m_pool.Give(m_configure, std::move(m_handle));
}

} // namespace capture
