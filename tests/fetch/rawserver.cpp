#include "rawserver.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <stdexcept>

namespace {

int listenOnLoopback(int backlog, int *port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        throw std::runtime_error("socket");
    sockaddr_in addr {};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (::bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0 || ::listen(fd, backlog) != 0
        || ::getsockname(fd, reinterpret_cast<sockaddr *>(&addr), &len) != 0) {
        ::close(fd);
        throw std::runtime_error("cannot listen on 127.0.0.1");
    }
    *port = ntohs(addr.sin_port);
    return fd;
}

} // namespace

std::string RawServer::Connection::target() const
{
    const size_t first = m_head.find(' ');
    const size_t second = first == std::string::npos ? first : m_head.find(' ', first + 1);
    return second == std::string::npos ? std::string() : m_head.substr(first + 1, second - first - 1);
}

bool RawServer::Connection::send(std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t n = ::send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

void RawServer::Connection::stall()
{
    std::unique_lock<std::mutex> lock(m_server.m_mutex);
    m_server.m_stopped.wait(lock, [this] { return m_server.m_stopping; });
}

RawServer::RawServer(Script script)
    : m_script(std::move(script))
{
    m_listener = listenOnLoopback(64, &m_port);
    m_acceptor = std::thread([this] { acceptLoop(); });
}

RawServer::~RawServer()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
    }
    m_stopped.notify_all();
    ::shutdown(m_listener, SHUT_RDWR); // wakes the blocked accept
    m_acceptor.join();
    ::close(m_listener);
    for (std::thread &t : m_connections)
        t.join();
}

QString RawServer::url(const QString &path) const
{
    return QStringLiteral("http://127.0.0.1:%1").arg(m_port) + path;
}

std::vector<std::string> RawServer::heads() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_heads;
}

void RawServer::acceptLoop()
{
    for (;;) {
        const int fd = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
        std::lock_guard<std::mutex> lock(m_mutex);
        if (fd < 0 || m_stopping) {
            if (fd >= 0)
                ::close(fd);
            return;
        }
        m_connections.emplace_back([this, fd] { serve(fd); });
    }
}

void RawServer::serve(int fd)
{
    timeval timeout {5, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    Connection connection(*this, fd);
    char buffer[4096];
    while (connection.m_head.find("\r\n\r\n") == std::string::npos) {
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0)
            break;
        connection.m_head.append(buffer, static_cast<size_t>(n));
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_heads.push_back(connection.m_head);
    }
    m_script(connection);
    ::shutdown(fd, SHUT_RDWR);
    ::close(fd);
}

SilentListener::SilentListener()
{
    m_fd = listenOnLoopback(16, &m_port);
}

SilentListener::~SilentListener()
{
    ::close(m_fd);
}

int closedPort()
{
    int port = 0;
    ::close(listenOnLoopback(1, &port));
    return port;
}
