#include "support/loopserver.h"

#include "fetch/hostresolver.h"

#include <sys/socket.h>

#include <cstdlib>

#include <chrono>
#include <stdexcept>

namespace prqtest {

namespace {
// cpp-httplib listens with a backlog of 5; hundreds of clients connecting at
// once would see their connections dropped and retried a second later.
constexpr int kListenBacklog = 1024;
} // namespace

void keepTrafficOnLoopback()
{
    for (const char *name : {"http_proxy", "https_proxy", "all_proxy", "HTTP_PROXY", "HTTPS_PROXY", "ALL_PROXY"})
        ::unsetenv(name);
    // No name is looked up: localhost is the loopback address and every
    // other name is unknown, unless a test installed names of its own.
    if (dynamic_cast<const SystemHostResolver *>(HostResolver::current().get()))
        HostResolver::install(std::make_shared<FixedHostResolver>(QHash<QString, QByteArray> {{QStringLiteral("localhost"), "127.0.0.1"}}));
}

std::string RecordedRequest::requestLine() const
{
    return method + ' ' + target + ' ' + version;
}

bool RecordedRequest::hasHeader(const std::string &name) const
{
    return headers.find(name) != headers.end();
}

std::string RecordedRequest::header(const std::string &name) const
{
    const auto it = headers.find(name);
    return it == headers.end() ? std::string() : it->second;
}

LoopServer::LoopServer()
    : m_server(std::make_unique<httplib::Server>())
{
}

LoopServer::LoopServer(const std::string &certFile, const std::string &keyFile)
    : m_secure(true)
    , m_server(std::make_unique<httplib::SSLServer>(certFile.c_str(), keyFile.c_str()))
{
}

LoopServer::~LoopServer()
{
    stop();
}

LoopServer::Handler LoopServer::recording(Handler handler)
{
    return [this, handler = std::move(handler)](const httplib::Request &req, httplib::Response &res) {
        record(req);
        handler(req, res);
    };
}

void LoopServer::record(const httplib::Request &req)
{
    RecordedRequest r {req.method, req.target, req.version, req.headers, req.body};
    std::lock_guard<std::mutex> lock(m_mutex);
    m_requests.push_back(std::move(r));
}

LoopServer &LoopServer::get(const std::string &pattern, Handler handler)
{
    m_server->Get(pattern, recording(std::move(handler)));
    return *this;
}

LoopServer &LoopServer::post(const std::string &pattern, Handler handler)
{
    m_server->Post(pattern, recording(std::move(handler)));
    return *this;
}

LoopServer &LoopServer::bindTo(const std::string &address)
{
    m_address = address;
    return *this;
}

void LoopServer::start(int handlerThreads)
{
    keepTrafficOnLoopback();
    if (m_secure && !m_server->is_valid())
        throw std::runtime_error("LoopServer: the certificate or key cannot be used");
    // Registered last, so that they take only what no route took.
    const Handler unrouted = recording([](const httplib::Request &, httplib::Response &res) {
        res.status = 404;
    });
    m_server->Get(".*", unrouted);
    m_server->Post(".*", unrouted);
    m_server->Put(".*", unrouted);
    m_server->Delete(".*", unrouted);
    m_server->Options(".*", unrouted);
    m_server->Patch(".*", unrouted);

    const auto threads = static_cast<size_t>(handlerThreads);
    m_server->new_task_queue = [threads] { return new httplib::ThreadPool(threads); };
    // A connection the client keeps is not waited for long when the server
    // stops.
    m_server->set_keep_alive_timeout(1);
    // Replies go out at once, as servers of the web send them on kept
    // connections: with Nagle's delay, a reply written in two parts waits
    // for the client's delayed acknowledgement (40 ms) on every reused
    // connection.
    m_server->set_tcp_nodelay(true);
    m_server->set_socket_options([this](socket_t sock) {
        httplib::default_socket_options(sock);
        m_listenSocket = sock;
    });
    if (m_address.rfind("127.", 0) != 0)
        throw std::runtime_error("LoopServer: only loopback addresses");
    m_port = m_server->bind_to_any_port(m_address);
    if (m_port <= 0)
        throw std::runtime_error("LoopServer: cannot listen on " + m_address);
    // Listening again on a listening socket only changes its backlog.
    ::listen(m_listenSocket, kListenBacklog);
    m_thread = std::thread([this] {
        m_server->listen_after_bind();
        m_listenEnded = true;
    });
    while (!m_server->is_running() && !m_listenEnded)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (!m_server->is_running()) {
        m_thread.join();
        throw std::runtime_error("LoopServer: cannot serve on " + m_address);
    }
}

void LoopServer::stop()
{
    if (!m_thread.joinable())
        return;
    m_server->stop();
    m_thread.join();
}

QString LoopServer::url(const QString &path) const
{
    return QStringLiteral("%1://%2:%3%4")
        .arg(m_secure ? QStringLiteral("https") : QStringLiteral("http"))
        .arg(QString::fromStdString(m_address))
        .arg(m_port)
        .arg(path);
}

std::vector<RecordedRequest> LoopServer::requests() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_requests;
}

size_t LoopServer::requestCount() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_requests.size();
}

} // namespace prqtest
