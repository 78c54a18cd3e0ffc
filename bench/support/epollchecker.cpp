#include "epollchecker.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <deque>
#include <map>
#include <unordered_map>

namespace {

struct Request
{
    int row = 0;
    int host = 0;
    bool sent = false;
    std::string reply;
};

} // namespace

EpollCheckResult epollCheck(const std::vector<EpollTarget> &targets, int total, int perHost)
{
    // Hosts by address and port, each with its rows in list order.
    std::map<std::pair<std::string, int>, int> hostOf;
    std::vector<std::deque<int>> waiting;
    std::vector<int> running;
    std::vector<int> hostOfRow(targets.size());
    for (size_t row = 0; row < targets.size(); ++row) {
        const auto key = std::make_pair(targets[row].address, targets[row].port);
        auto it = hostOf.find(key);
        if (it == hostOf.end()) {
            it = hostOf.emplace(key, int(waiting.size())).first;
            waiting.emplace_back();
            running.push_back(0);
        }
        waiting[size_t(it->second)].push_back(int(row));
        hostOfRow[row] = it->second;
    }
    // The hosts that may take a request now, by their next row.
    std::map<int, int> ready;
    const auto refresh = [&](int host) {
        if (!waiting[size_t(host)].empty() && running[size_t(host)] < perHost)
            ready.emplace(waiting[size_t(host)].front(), host);
    };
    for (int h = 0; h < int(waiting.size()); ++h)
        refresh(h);

    EpollCheckResult result;
    const int epoll = ::epoll_create1(EPOLL_CLOEXEC);
    std::unordered_map<int, Request> open;
    int inFlight = 0;
    size_t finished = 0;
    const auto startNext = [&] {
        while (inFlight < total && !ready.empty()) {
            const auto [row, host] = *ready.begin();
            ready.erase(ready.begin());
            waiting[size_t(host)].pop_front();
            ++running[size_t(host)];
            ++inFlight;
            refresh(host);
            const EpollTarget &t = targets[size_t(row)];
            const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
            sockaddr_in addr {};
            addr.sin_family = AF_INET;
            addr.sin_port = htons(uint16_t(t.port));
            ::inet_pton(AF_INET, t.address.c_str(), &addr.sin_addr);
            ::connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr);
            open[fd] = Request {row, host, false, {}};
            epoll_event event {};
            event.events = EPOLLOUT;
            event.data.fd = fd;
            ::epoll_ctl(epoll, EPOLL_CTL_ADD, fd, &event);
        }
    };
    const auto finish = [&](int fd, bool ok) {
        Request &r = open[fd];
        if (ok)
            ++result.answered;
        else
            ++result.failed;
        --running[size_t(r.host)];
        --inFlight;
        ++finished;
        const int host = r.host;
        ::epoll_ctl(epoll, EPOLL_CTL_DEL, fd, nullptr);
        ::close(fd);
        open.erase(fd);
        // Back among the ready ones if it left them while full.
        refresh(host);
    };

    startNext();
    epoll_event events[256];
    char buffer[16384];
    while (finished < targets.size()) {
        const int count = ::epoll_wait(epoll, events, 256, 10000);
        if (count <= 0)
            break;
        for (int i = 0; i < count; ++i) {
            const int fd = events[i].data.fd;
            Request &r = open[fd];
            if (!r.sent) {
                int error = 0;
                socklen_t len = sizeof error;
                ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len);
                const EpollTarget &t = targets[size_t(r.row)];
                const std::string request = "GET " + t.path + " HTTP/1.1\r\nHost: " + t.address + ":" + std::to_string(t.port)
                    + "\r\nUser-Agent: yardstick\r\nAccept: */*\r\n\r\n";
                if (error != 0 || ::send(fd, request.data(), request.size(), MSG_NOSIGNAL) != ssize_t(request.size())) {
                    finish(fd, false);
                    continue;
                }
                r.sent = true;
                epoll_event event {};
                event.events = EPOLLIN;
                event.data.fd = fd;
                ::epoll_ctl(epoll, EPOLL_CTL_MOD, fd, &event);
                continue;
            }
            for (;;) {
                const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
                if (n > 0) {
                    r.reply.append(buffer, size_t(n));
                    continue;
                }
                if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
                    break;
                const size_t bodyAt = r.reply.find("\r\n\r\n");
                finish(fd, r.reply.compare(0, 12, "HTTP/1.1 200") == 0 && bodyAt != std::string::npos && r.reply.size() > bodyAt + 4);
                break;
            }
        }
        startNext();
    }
    ::close(epoll);
    for (const auto &[fd, r] : open)
        ::close(fd);
    return result;
}
