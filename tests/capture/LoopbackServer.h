#pragma once
// HTTP servers on 127.0.0.1 for tests, each on a port of its own, running on a thread of its own.
#include <httplib.h>

#include "support/TempFolder.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <stdexcept>
#include <string>
#include <thread>

namespace test {

// An httplib server set up by `routes`, listening from construction until destruction.
class LoopbackServer {
public:
    explicit LoopbackServer(const std::function<void(httplib::Server&)>& routes)
    {
        routes(m_server);
        m_nPort = m_server.bind_to_any_port("127.0.0.1");
        if (m_nPort <= 0)
            throw std::runtime_error("cannot bind a loopback port");
        m_thread = std::thread([this] { m_server.listen_after_bind(); });
    }
    ~LoopbackServer()
    {
        // stop() only reaches a server whose loop has started.
        while (!m_server.is_running())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        m_server.stop();
        m_thread.join();
    }
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    int Port() const { return m_nPort; }
    std::string Url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(m_nPort) + path; }

private:
    httplib::Server m_server;
    int m_nPort = 0;
    std::thread m_thread;
};

// A TCP socket on a loopback port of its own. Bound only, it refuses connections (and no other program
// can take the port while it lives); listening, it queues them.
class LoopbackSocket {
public:
    explicit LoopbackSocket(bool listening)
    {
        m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (m_fd < 0 || ::bind(m_fd, reinterpret_cast<sockaddr*>(&address), length) != 0
            || (listening && ::listen(m_fd, 8) != 0)
            || ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            throw std::runtime_error("cannot bind a loopback port");
        m_nPort = ntohs(address.sin_port);
    }
    ~LoopbackSocket() { ::close(m_fd); }
    LoopbackSocket(const LoopbackSocket&) = delete;
    LoopbackSocket& operator=(const LoopbackSocket&) = delete;

    int Fd() const { return m_fd; }
    std::string Url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(m_nPort) + path; }

private:
    int m_fd = -1;
    int m_nPort = 0;
};

// Accepts each connection, reads the request and closes without answering.
class SilentServer : public LoopbackSocket {
public:
    SilentServer() : LoopbackSocket(true)
    {
        m_thread = std::thread([this] {
            // Ends when the destructor shuts the socket down and accept fails.
            for (int client; (client = ::accept(Fd(), nullptr, nullptr)) >= 0;) {
                char request[4096];
                (void)::recv(client, request, sizeof request, 0);
                ::close(client);
            }
        });
    }
    ~SilentServer()
    {
        ::shutdown(Fd(), SHUT_RDWR);
        m_thread.join();
    }

private:
    std::thread m_thread;
};

// A fresh temporary folder, removed with everything in it; its path as a filesystem path.
class TempDir : public testing_support::TempFolder {
public:
    std::filesystem::path Path() const { return TempFolder::Path(); }
};

inline std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteFile(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

// Bytes 1..251 repeated: no NUL, and a shifted or repeated chunk does not look like the right one.
inline std::string PatternBody(std::size_t size)
{
    std::string body(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        body[i] = static_cast<char>(1 + i % 251);
    return body;
}

// Loopback tests must not be sent to a proxy named in the environment.
inline void ClearProxyEnvironment()
{
    for (const char* name : {"http_proxy", "https_proxy", "all_proxy", "HTTPS_PROXY", "ALL_PROXY"})
        ::unsetenv(name);
}

} // namespace test
