#pragma once

#include <QString>

#include <atomic>
#include <chrono>
#include <deque>
#include <memory>
#include <string>
#include <thread>
#include <vector>

// Many loopback hosts (127.0.0.1, 127.0.0.2, ...) served by one thread over
// epoll, for loads that a thread per connection would not carry: each
// request is answered a fixed delay after its head arrived, with a fixed
// body, and the connection is then closed (or kept for the next request).
// It counts the requests it holds (head read, answer not yet sent), in all
// and per host, and the most it ever held.
class LoadServer final
{
public:
    struct Options
    {
        int hosts = 1;
        std::chrono::milliseconds delay {0}; // hours: the requests are never answered
        int bodySize = 16;
        bool keepAlive = false;
    };

    explicit LoadServer(const Options &options);
    ~LoadServer();
    LoadServer(const LoadServer &) = delete;
    LoadServer &operator=(const LoadServer &) = delete;

    // host counts from 0: host 0 is 127.0.0.1.
    std::string address(int host) const;
    int port(int host) const { return m_ports.at(size_t(host)); }
    QString url(int host, const QString &path) const;

    long connections() const { return m_connections.load(); }
    long requests() const { return m_requests.load(); }
    long requests(int host) const { return m_hosts[size_t(host)].requests.load(); }
    int held() const { return m_held.load(); }
    int mostHeld() const { return m_mostHeld.load(); }
    int mostHeld(int host) const { return m_hosts[size_t(host)].mostHeld.load(); }
    // Connections it has closed after the peer went away before its answer.
    long abandoned() const { return m_abandoned.load(); }
    void resetCounts();
    // The processor time of the server's thread so far.
    double cpuSeconds() const;

private:
    struct Host
    {
        std::atomic<long> requests {0};
        std::atomic<int> held {0};
        std::atomic<int> mostHeld {0};
    };
    struct Connection;

    void serve();
    void accept(int listener, int host);
    void read(int fd);
    void answerDue();
    void write(int fd);
    void close(int fd, bool abandoned);

    const Options m_options;
    std::string m_reply;
    std::vector<int> m_listeners;
    std::vector<int> m_ports;
    std::unique_ptr<Host[]> m_hosts;
    int m_epoll = -1;
    int m_stopFd = -1;
    std::thread m_thread;
    std::atomic<long> m_connections {0};
    std::atomic<long> m_requests {0};
    std::atomic<int> m_held {0};
    std::atomic<int> m_mostHeld {0};
    std::atomic<long> m_abandoned {0};

    // The server's thread alone.
    struct Due
    {
        std::chrono::steady_clock::time_point at;
        int fd;
        unsigned long serial; // of the connection, which a reused descriptor does not have
    };
    std::vector<std::unique_ptr<Connection>> m_open; // by descriptor
    std::deque<Due> m_due; // one delay for all: due in the order they came
    unsigned long m_serial = 0;
};
