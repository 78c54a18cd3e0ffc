#pragma once

#include <httplib.h>

#include <QString>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace prqtest {

// One request as a LoopServer received it.
struct RecordedRequest
{
    std::string method;
    std::string target; // as sent, not decoded
    std::string version;
    httplib::Headers headers; // names compare without regard to case
    std::string body;

    std::string requestLine() const; // "GET /x?y HTTP/1.1"
    bool hasHeader(const std::string &name) const;
    std::string header(const std::string &name) const; // empty when absent
};

// Clears the proxy settings of the environment, so that a client in this
// process sends its loopback requests to the loopback servers and nowhere
// else, and keeps the fetches of this process from looking any name up.
// LoopServer does it when it starts.
void keepTrafficOnLoopback();

// An HTTP (or HTTPS) server on 127.0.0.1 and a free port, in this process,
// for tests and benchmarks. Every request is recorded before its handler
// runs; a request that no route takes is recorded and answered 404.
//
//     prqtest::LoopServer server;
//     server.get("/page", [](const httplib::Request &, httplib::Response &res) {
//         res.set_content("hello", "text/plain");
//     });
//     server.start();
//     fetch(server.url("/page"));
//     EXPECT_EQ(server.requests().at(0).header("User-Agent"), "...");
class LoopServer final
{
public:
    using Handler = httplib::Server::Handler;

    LoopServer();
    // HTTPS with the certificate and key in these PEM files.
    LoopServer(const std::string &certFile, const std::string &keyFile);
    ~LoopServer();
    LoopServer(const LoopServer &) = delete;
    LoopServer &operator=(const LoopServer &) = delete;

    // Routes, set before start(); pattern is a regular expression over the
    // decoded path, as in cpp-httplib.
    LoopServer &get(const std::string &pattern, Handler handler);
    LoopServer &post(const std::string &pattern, Handler handler);
    // Any further set-up, before start().
    httplib::Server &server() { return *m_server; }

    // The loopback address to listen on (127.0.0.1 unless set), before
    // start(): a test of several hosts gives each its own address.
    LoopServer &bindTo(const std::string &address);

    // Listens and serves with this many handler threads. Throws
    // std::runtime_error when it cannot listen.
    void start(int handlerThreads = 8);
    // Waits for the handlers that run; idempotent.
    void stop();

    int port() const { return m_port; }
    // "http://ADDRESS:PORT" + path (https for a secure server).
    QString url(const QString &path = QStringLiteral("/")) const;

    std::vector<RecordedRequest> requests() const;
    size_t requestCount() const;

private:
    Handler recording(Handler handler);
    void record(const httplib::Request &req);

    bool m_secure = false;
    std::string m_address = "127.0.0.1";
    std::unique_ptr<httplib::Server> m_server;
    std::thread m_thread;
    std::atomic<bool> m_listenEnded {false};
    int m_port = -1;
    int m_listenSocket = -1;
    mutable std::mutex m_mutex;
    std::vector<RecordedRequest> m_requests;
};

} // namespace prqtest
