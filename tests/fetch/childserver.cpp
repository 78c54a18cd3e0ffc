#include "childserver.h"

#include "fetchtesting.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>

namespace {

using namespace std::chrono_literals;

const char kOptionsVariable[] = "PRQ_CHILD_SERVER";
// The descriptors the child finds its two pipes on.
constexpr int kChildReport = 3;
constexpr int kChildControl = 4;

// One line from fd, without its end; empty at the end of the stream.
std::string readLine(int fd)
{
    std::string line;
    char c = 0;
    while (::read(fd, &c, 1) == 1 && c != '\n')
        line += c;
    return line;
}

} // namespace

ChildLoadServer::ChildLoadServer(const LoadServer::Options &options)
{
    int report[2] = {-1, -1};
    int control[2] = {-1, -1};
    if (::pipe2(report, O_CLOEXEC) != 0 || ::pipe2(control, O_CLOEXEC) != 0)
        return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, report[1], kChildReport);
    posix_spawn_file_actions_adddup2(&actions, control[0], kChildControl);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    const std::string variable = std::string(kOptionsVariable) + "=" + std::to_string(options.hosts) + " "
        + std::to_string(options.delay.count()) + " " + std::to_string(options.bodySize);
    m_pid = spawnThisTest("LoadServerChild.DISABLED_Serve", {variable}, &actions);
    const bool spawned = m_pid > 0;
    posix_spawn_file_actions_destroy(&actions);
    ::close(report[1]);
    ::close(control[0]);
    m_report = report[0];
    m_control = control[1];
    if (!spawned) {
        m_pid = -1;
        return;
    }
    const std::string ports = readLine(m_report);
    size_t at = 0;
    while (at < ports.size()) {
        size_t end = ports.find(' ', at);
        if (end == std::string::npos)
            end = ports.size();
        m_ports.push_back(std::stoi(ports.substr(at, end - at)));
        at = end + 1;
    }
}

ChildLoadServer::~ChildLoadServer()
{
    stop();
}

QString ChildLoadServer::url(int host, const QString &path) const
{
    return QStringLiteral("http://127.0.0.%1:%2").arg(host + 1).arg(m_ports.at(size_t(host))) + path;
}

ChildLoadServer::Counts ChildLoadServer::stop()
{
    Counts counts;
    if (m_pid <= 0)
        return counts;
    ::close(m_control);
    const std::string line = readLine(m_report);
    std::sscanf(line.c_str(), "%ld %d", &counts.requests, &counts.mostHeld);
    int status = 0;
    ::waitpid(m_pid, &status, 0);
    ::close(m_report);
    m_pid = -1;
    return counts;
}

void serveAsChild()
{
    const QByteArray options = qgetenv(kOptionsVariable);
    if (options.isEmpty())
        GTEST_SKIP() << "only as the child of a test";
    LoadServer::Options o;
    long delayMs = 0;
    ASSERT_EQ(std::sscanf(options.constData(), "%d %ld %d", &o.hosts, &delayMs, &o.bodySize), 3);
    o.delay = std::chrono::milliseconds(delayMs);
    LoadServer server(o);
    std::string ports;
    for (int h = 0; h < o.hosts; ++h)
        ports += (h ? " " : "") + std::to_string(server.port(h));
    ports += '\n';
    ASSERT_EQ(::write(kChildReport, ports.data(), ports.size()), ssize_t(ports.size()));
    // Serves until the parent closes its end.
    char c = 0;
    while (::read(kChildControl, &c, 1) > 0) {
    }
    const std::string counts = std::to_string(server.requests()) + " " + std::to_string(server.mostHeld()) + "\n";
    ASSERT_EQ(::write(kChildReport, counts.data(), counts.size()), ssize_t(counts.size()));
}

TEST(LoadServerChild, DISABLED_Serve)
{
    serveAsChild();
}
