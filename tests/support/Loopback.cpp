#include "support/Loopback.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <mutex>
#include <stdexcept>

namespace test {

namespace {
std::string LoopbackUrl(int port, const std::string& path) { return "http://127.0.0.1:" + std::to_string(port) + path; }
} // namespace

LoopbackServer::LoopbackServer(const std::function<void(httplib::Server&)>& routes, Connections connections)
{
    routes(m_server);
    m_server.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response&) {
        const std::lock_guard lock(m_portsMutex);
        m_ports.insert(req.remote_port);
        return httplib::Server::HandlerResponse::Unhandled;
    });
    if (connections == Connections::kKept) {
        m_server.set_keep_alive_max_count(100000);
        m_server.set_keep_alive_timeout(1);
        // As web servers do: otherwise each answer after the first waits for the client's delayed ACK.
        m_server.set_tcp_nodelay(true);
    } else {
        m_server.set_keep_alive_max_count(1);
    }
    m_nPort = m_server.bind_to_any_port("127.0.0.1");
    if (m_nPort <= 0)
        throw std::runtime_error("cannot bind a loopback port");
    m_thread = std::thread([this] { m_server.listen_after_bind(); });
}

LoopbackServer::~LoopbackServer()
{
    // stop() only reaches a server whose loop has started.
    while (!m_server.is_running())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    m_server.stop();
    m_thread.join();
}

std::string LoopbackServer::Url(const std::string& path) const { return LoopbackUrl(m_nPort, path); }

std::size_t LoopbackServer::ConnectionsSeen()
{
    const std::lock_guard lock(m_portsMutex);
    return m_ports.size();
}

LoopbackSocket::LoopbackSocket(bool listening)
{
    m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    auto* generic = reinterpret_cast<sockaddr*>(&address);
    if (m_fd < 0 || ::bind(m_fd, generic, length) != 0 || (listening && ::listen(m_fd, 8) != 0)
        || ::getsockname(m_fd, generic, &length) != 0)
        throw std::runtime_error("cannot bind a loopback port");
    m_nPort = ntohs(address.sin_port);
}

LoopbackSocket::~LoopbackSocket() { ::close(m_fd); }

std::string LoopbackSocket::Url(const std::string& path) const { return LoopbackUrl(m_nPort, path); }

SilentServer::SilentServer() : LoopbackSocket(true)
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

SilentServer::~SilentServer()
{
    ::shutdown(Fd(), SHUT_RDWR);
    m_thread.join();
}

std::string PatternBody(std::size_t size)
{
    std::string body(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        body[i] = static_cast<char>(1 + i % 251);
    return body;
}

void ClearProxyEnvironment()
{
    for (const char* name : {"http_proxy", "https_proxy", "all_proxy", "HTTPS_PROXY", "ALL_PROXY"})
        ::unsetenv(name);
}

} // namespace test
