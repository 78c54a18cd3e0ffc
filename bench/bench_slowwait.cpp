// Many fetches that wait a long time on a slow server: what the waiting
// costs in processor time and in resident memory per fetch.
#include "fetch/httpget.h"
#include "support/procstats.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// One thread on 127.0.0.1 that takes every connection and answers each one
// delay after its request came, sleeping in poll() meanwhile: the server
// itself costs next to nothing.
class SlowServer final
{
public:
    explicit SlowServer(std::chrono::milliseconds delay)
        : m_delay(delay)
    {
        m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        sockaddr_in addr {};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof addr;
        if (m_listener < 0 || ::bind(m_listener, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0
            || ::listen(m_listener, 1024) != 0 || ::getsockname(m_listener, reinterpret_cast<sockaddr *>(&addr), &len) != 0)
            throw std::runtime_error("cannot listen on 127.0.0.1");
        m_port = ntohs(addr.sin_port);
        ::pipe2(m_stopPipe, O_CLOEXEC);
        m_thread = std::thread([this] { serve(); });
    }
    ~SlowServer()
    {
        ::write(m_stopPipe[1], "x", 1);
        m_thread.join();
        ::close(m_listener);
        ::close(m_stopPipe[0]);
        ::close(m_stopPipe[1]);
    }
    SlowServer(const SlowServer &) = delete;
    SlowServer &operator=(const SlowServer &) = delete;

    QString url() const { return QStringLiteral("http://127.0.0.1:%1/").arg(m_port); }
    // The processor time of the server's thread, once it has been destroyed.
    static double lastCpuSeconds() { return s_cpuSeconds; }

private:
    struct Client
    {
        int fd;
        Clock::time_point answerAt;
        bool heard = false;
    };

    void serve()
    {
        std::vector<Client> clients;
        for (;;) {
            std::vector<pollfd> fds {{m_stopPipe[0], POLLIN, 0}, {m_listener, POLLIN, 0}};
            Clock::time_point next = Clock::time_point::max();
            for (const Client &c : clients) {
                fds.push_back({c.fd, short(c.heard ? 0 : POLLIN), 0});
                if (c.heard)
                    next = std::min(next, c.answerAt);
            }
            int waitMs = -1;
            if (next != Clock::time_point::max())
                waitMs = int(std::max<long long>(0, std::chrono::duration_cast<std::chrono::milliseconds>(next - Clock::now()).count() + 1));
            ::poll(fds.data(), fds.size(), waitMs);
            if (fds[0].revents)
                break;
            if (fds[1].revents & POLLIN) {
                for (int fd; (fd = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC)) >= 0;)
                    clients.push_back({fd, {}});
            }
            const Clock::time_point now = Clock::now();
            for (size_t i = 0; i < clients.size(); ++i) {
                Client &c = clients[i];
                if (!c.heard && i + 2 < fds.size() && fds[i + 2].fd == c.fd && (fds[i + 2].revents & POLLIN)) {
                    char buf[4096];
                    ::recv(c.fd, buf, sizeof buf, 0);
                    c.heard = true;
                    c.answerAt = now + m_delay;
                }
            }
            for (auto it = clients.begin(); it != clients.end();) {
                if (it->heard && it->answerAt <= now) {
                    static const char reply[] = "HTTP/1.1 200 OK\r\nContent-Length: 4\r\nConnection: close\r\n\r\nlate";
                    ::send(it->fd, reply, sizeof reply - 1, MSG_NOSIGNAL);
                    ::close(it->fd);
                    it = clients.erase(it);
                } else {
                    ++it;
                }
            }
        }
        for (const Client &c : clients)
            ::close(c.fd);
        s_cpuSeconds = procstats::threadCpuSeconds();
    }

    std::chrono::milliseconds m_delay;
    int m_listener = -1;
    int m_port = 0;
    int m_stopPipe[2] = {-1, -1};
    std::thread m_thread;
    static inline std::atomic<double> s_cpuSeconds {0};
};

// Fetches count addresses at once and runs the event loop until all have
// completed; returns how many brought the body.
int fetchAll(const QString &url, int count, const std::function<void()> &whileWaiting = {})
{
    QObject owner;
    QEventLoop loop;
    int completed = 0;
    int answered = 0;
    for (int i = 0; i < count; ++i) {
        auto *get = new THTTPGet(&owner);
        get->URL = url;
        get->OnDoneString = [&](THTTPGet *sender, const QByteArray &body) {
            answered += body == "late" ? 1 : 0;
            if (++completed == count)
                loop.quit();
            sender->deleteLater();
        };
        get->OnError = [&](THTTPGet *sender) {
            if (++completed == count)
                loop.quit();
            sender->deleteLater();
        };
        get->FetchString();
    }
    if (whileWaiting)
        QTimer::singleShot(5000, &loop, whileWaiting);
    if (completed < count)
        loop.exec();
    THTTPGetThread::WaitForAll(10000);
    return answered;
}

void BM_WaitOnASlowServer(benchmark::State &state)
{
    const int count = int(state.range(0));
    const std::chrono::seconds delay(state.range(1));
    for (auto _ : state) {
        double cpu = 0;
        long rssBase = 0;
        long rssWaiting = 0;
        int waiting = 0;
        int answered = 0;
        {
            SlowServer warm(std::chrono::milliseconds(0));
            fetchAll(warm.url(), 1); // the client's one-time set-up
        }
        {
            SlowServer server(delay);
            rssBase = procstats::statusField("VmRSS");
            const double cpuBefore = procstats::processCpuSeconds();
            answered = fetchAll(server.url(), count, [&] {
                waiting = THTTPGetThread::LiveCount();
                rssWaiting = procstats::statusField("VmRSS");
            });
            cpu = procstats::processCpuSeconds() - cpuBefore;
        }
        // The server's own time is not the client's.
        const double serverCpu = SlowServer::lastCpuSeconds();
        if (answered != count || waiting != count) {
            state.SkipWithError("not every fetch waited and brought the body");
            break;
        }
        state.counters["cpu_s_total"] = cpu;
        state.counters["cpu_s_server"] = serverCpu;
        state.counters["cpu_s_fetches"] = cpu - serverCpu;
        state.counters["KiB_per_waiting_fetch"] = double(rssWaiting - rssBase) / count;
    }
}
BENCHMARK(BM_WaitOnASlowServer)->Args({250, 30})->Unit(benchmark::kSecond)->UseRealTime()->Iterations(1);

} // namespace
