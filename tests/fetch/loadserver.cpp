#include "loadserver.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <pthread.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <stdexcept>

namespace {

using Clock = std::chrono::steady_clock;

void raiseMost(std::atomic<int> &most, int now)
{
    for (int seen = most.load(); now > seen && !most.compare_exchange_weak(seen, now);) {
    }
}

// Listener descriptors are told apart from connections by this tag in the
// high half of the event data.
constexpr uint64_t kListenerTag = uint64_t(1) << 32;

} // namespace

struct LoadServer::Connection
{
    int host = 0;
    unsigned long serial = 0;
    std::string head;
    bool held = false; // a request is waiting for its answer
    std::string out; // what is still to be written
};

LoadServer::LoadServer(const Options &options)
    : m_options(options)
    , m_hosts(new Host[size_t(options.hosts)])
{
    m_reply = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: " + std::to_string(options.bodySize) + "\r\n"
        + (options.keepAlive ? "" : "Connection: close\r\n") + "\r\n" + std::string(size_t(options.bodySize), 'x');
    m_epoll = ::epoll_create1(EPOLL_CLOEXEC);
    m_stopFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    epoll_event stop {};
    stop.events = EPOLLIN;
    stop.data.u64 = uint64_t(m_stopFd);
    ::epoll_ctl(m_epoll, EPOLL_CTL_ADD, m_stopFd, &stop);
    for (int h = 0; h < options.hosts; ++h) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        sockaddr_in addr {};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK + uint32_t(h));
        socklen_t len = sizeof addr;
        if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0 || ::listen(fd, 4096) != 0
            || ::getsockname(fd, reinterpret_cast<sockaddr *>(&addr), &len) != 0)
            throw std::runtime_error("cannot listen on " + address(h));
        m_listeners.push_back(fd);
        m_ports.push_back(ntohs(addr.sin_port));
        epoll_event event {};
        event.events = EPOLLIN;
        event.data.u64 = kListenerTag | uint64_t(h);
        ::epoll_ctl(m_epoll, EPOLL_CTL_ADD, fd, &event);
    }
    m_thread = std::thread([this] { serve(); });
}

LoadServer::~LoadServer()
{
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(m_stopFd, &one, sizeof one);
    m_thread.join();
    for (size_t fd = 0; fd < m_open.size(); ++fd) {
        if (m_open[fd])
            ::close(int(fd));
    }
    for (const int fd : m_listeners)
        ::close(fd);
    ::close(m_stopFd);
    ::close(m_epoll);
}

std::string LoadServer::address(int host) const
{
    return "127.0.0." + std::to_string(host + 1);
}

QString LoadServer::url(int host, const QString &path) const
{
    return QStringLiteral("http://%1:%2").arg(QString::fromStdString(address(host))).arg(port(host)) + path;
}

void LoadServer::resetCounts()
{
    m_requests = 0;
    m_connections = 0;
    m_mostHeld = m_held.load();
    for (int h = 0; h < m_options.hosts; ++h) {
        m_hosts[size_t(h)].requests = 0;
        m_hosts[size_t(h)].mostHeld = m_hosts[size_t(h)].held.load();
    }
}

double LoadServer::cpuSeconds() const
{
    clockid_t clock {};
    timespec t {};
    if (pthread_getcpuclockid(const_cast<std::thread &>(m_thread).native_handle(), &clock) != 0 || clock_gettime(clock, &t) != 0)
        return 0;
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

void LoadServer::serve()
{
    pthread_setname_np(pthread_self(), "loadserver");
    epoll_event events[256];
    for (;;) {
        int waitMs = -1;
        if (!m_due.empty()) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(m_due.front().at - Clock::now()).count();
            waitMs = int(std::clamp<long long>(left, 0, INT_MAX));
        }
        const int count = ::epoll_wait(m_epoll, events, 256, waitMs);
        for (int i = 0; i < count; ++i) {
            const uint64_t data = events[i].data.u64;
            if (data == uint64_t(m_stopFd))
                return;
            if (data & kListenerTag) {
                const int host = int(data & 0xFFFFFFFF);
                accept(m_listeners[size_t(host)], host);
            } else if (events[i].events & EPOLLOUT) {
                write(int(data));
            } else {
                read(int(data));
            }
        }
        answerDue();
    }
}

void LoadServer::accept(int listener, int host)
{
    for (;;) {
        const int fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0)
            return;
        if (size_t(fd) >= m_open.size())
            m_open.resize(size_t(fd) + 1);
        auto connection = std::make_unique<Connection>();
        connection->host = host;
        connection->serial = ++m_serial;
        ++m_connections;
        m_open[size_t(fd)] = std::move(connection);
        epoll_event event {};
        event.events = EPOLLIN | EPOLLRDHUP;
        event.data.u64 = uint64_t(fd);
        ::epoll_ctl(m_epoll, EPOLL_CTL_ADD, fd, &event);
    }
}

void LoadServer::read(int fd)
{
    Connection *c = m_open[size_t(fd)].get();
    if (!c)
        return;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)) {
            close(fd, c->held);
            return;
        }
        if (n < 0)
            break;
        if (!c->held)
            c->head.append(buffer, size_t(n));
    }
    if (c->held || c->head.find("\r\n\r\n") == std::string::npos)
        return;
    c->held = true;
    c->head.clear();
    ++m_requests;
    Host &host = m_hosts[size_t(c->host)];
    ++host.requests;
    raiseMost(host.mostHeld, ++host.held);
    raiseMost(m_mostHeld, ++m_held);
    m_due.push_back(Due {Clock::now() + m_options.delay, fd, c->serial});
}

void LoadServer::answerDue()
{
    const Clock::time_point now = Clock::now();
    while (!m_due.empty() && m_due.front().at <= now) {
        const Due due = m_due.front();
        m_due.pop_front();
        Connection *c = size_t(due.fd) < m_open.size() ? m_open[size_t(due.fd)].get() : nullptr;
        if (!c || c->serial != due.serial || !c->held)
            continue; // the peer went away meanwhile
        c->held = false;
        --m_hosts[size_t(c->host)].held;
        --m_held;
        c->out = m_reply;
        write(due.fd);
    }
}

void LoadServer::write(int fd)
{
    Connection *c = m_open[size_t(fd)].get();
    if (!c)
        return;
    while (!c->out.empty()) {
        const ssize_t n = ::send(fd, c->out.data(), c->out.size(), MSG_NOSIGNAL);
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            epoll_event event {};
            event.events = EPOLLOUT | EPOLLRDHUP;
            event.data.u64 = uint64_t(fd);
            ::epoll_ctl(m_epoll, EPOLL_CTL_MOD, fd, &event);
            return;
        }
        if (n <= 0) {
            close(fd, false);
            return;
        }
        c->out.erase(0, size_t(n));
    }
    if (!m_options.keepAlive) {
        close(fd, false);
        return;
    }
    epoll_event event {};
    event.events = EPOLLIN | EPOLLRDHUP;
    event.data.u64 = uint64_t(fd);
    ::epoll_ctl(m_epoll, EPOLL_CTL_MOD, fd, &event);
}

void LoadServer::close(int fd, bool abandoned)
{
    Connection *c = m_open[size_t(fd)].get();
    if (c && c->held) {
        --m_hosts[size_t(c->host)].held;
        --m_held;
    }
    if (abandoned)
        ++m_abandoned;
    m_open[size_t(fd)].reset();
    ::epoll_ctl(m_epoll, EPOLL_CTL_DEL, fd, nullptr);
    ::close(fd);
}
