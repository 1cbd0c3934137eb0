#pragma once
// HTTP servers on 127.0.0.1 for tests, each on a port of its own, running on a thread of its own.
#include <httplib.h>

#include <cstddef>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <thread>

namespace test {

// How long a connection to a loopback server lives.
enum class Connections {
    kOneRequest, // closed after each answer: an idle kept connection (a web engine keeps some) would
                 // hold up the server's end
    kKept,       // kept for further requests, as web servers do, until idle for a second
};

// An httplib server set up by `routes`, listening from construction until destruction. `routes` may
// not set a pre-routing handler: the server counts its connections with one.
class LoopbackServer {
public:
    explicit LoopbackServer(const std::function<void(httplib::Server&)>& routes,
                            Connections connections = Connections::kOneRequest);
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    int Port() const { return m_nPort; }
    std::string Url(const std::string& path) const;

    // How many connections requests came on so far (each from a client port of its own).
    std::size_t ConnectionsSeen();

private:
    httplib::Server m_server;
    int m_nPort = 0;
    std::mutex m_portsMutex;
    std::set<int> m_ports;
    std::thread m_thread;
};

// A TCP socket on a loopback port of its own. Bound only, it refuses connections (and no other program
// can take the port while it lives); listening, it queues them.
class LoopbackSocket {
public:
    explicit LoopbackSocket(bool listening);
    ~LoopbackSocket();
    LoopbackSocket(const LoopbackSocket&) = delete;
    LoopbackSocket& operator=(const LoopbackSocket&) = delete;

    int Fd() const { return m_fd; }
    std::string Url(const std::string& path) const;

private:
    int m_fd = -1;
    int m_nPort = 0;
};

// Accepts each connection, reads the request and closes without answering.
class SilentServer : public LoopbackSocket {
public:
    SilentServer();
    ~SilentServer();

private:
    std::thread m_thread;
};

// Bytes 1..251 repeated: no NUL, and a shifted or repeated chunk does not look like the right one.
std::string PatternBody(std::size_t size);

// Loopback tests must not be sent to a proxy named in the environment.
void ClearProxyEnvironment();

} // namespace test
