#pragma once

#include <QString>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

// A TCP server on 127.0.0.1 whose answers a test writes byte for byte, for
// replies that no HTTP server library would produce: bodies cut off, bad
// lengths, silence.
class RawServer final
{
public:
    class Connection
    {
    public:
        const std::string &head() const { return m_head; } // the request up to its blank line
        std::string target() const; // from the request line
        bool send(std::string_view bytes); // false when the peer has gone
        void stall(); // until the server stops

    private:
        friend class RawServer;
        Connection(RawServer &server, int fd)
            : m_server(server)
            , m_fd(fd)
        {
        }
        RawServer &m_server;
        int m_fd;
        std::string m_head;
    };

    // script runs on a thread of its own for each connection, once its
    // request head has been read; the connection closes when it returns.
    using Script = std::function<void(Connection &)>;

    explicit RawServer(Script script);
    ~RawServer();
    RawServer(const RawServer &) = delete;
    RawServer &operator=(const RawServer &) = delete;

    int port() const { return m_port; }
    QString url(const QString &path) const;
    std::vector<std::string> heads() const;

private:
    void acceptLoop();
    void serve(int fd);

    Script m_script;
    int m_listener = -1;
    int m_port = 0;
    std::thread m_acceptor;
    mutable std::mutex m_mutex;
    std::condition_variable m_stopped;
    bool m_stopping = false;
    std::vector<std::thread> m_connections;
    std::vector<std::string> m_heads;
};

// A socket on 127.0.0.1 that listens and never accepts: connections
// complete in the kernel and then hear nothing.
class SilentListener final
{
public:
    SilentListener();
    ~SilentListener();
    SilentListener(const SilentListener &) = delete;
    SilentListener &operator=(const SilentListener &) = delete;
    int port() const { return m_port; }

private:
    int m_fd = -1;
    int m_port = 0;
};

// A loopback port that nothing listens on.
int closedPort();
