#pragma once

#include "loadserver.h"

#include <QString>

#include <sys/types.h>

#include <vector>

// A LoadServer in a process of its own (this test program, started again),
// for tests that starve this process of a resource: a server in the same
// process would run short with it, as no real server does.
class ChildLoadServer final
{
public:
    explicit ChildLoadServer(const LoadServer::Options &options);
    ~ChildLoadServer();
    ChildLoadServer(const ChildLoadServer &) = delete;
    ChildLoadServer &operator=(const ChildLoadServer &) = delete;

    bool started() const { return !m_ports.empty(); }
    QString url(int host, const QString &path) const;

    struct Counts
    {
        long requests = -1;
        int mostHeld = -1;
    };
    // Stops the server and says what it counted.
    Counts stop();

private:
    pid_t m_pid = -1;
    int m_control = -1; // closed to stop the child
    int m_report = -1; // what the child says
    std::vector<int> m_ports;
};

// The child's side; runs from the test LoadServerChild.DISABLED_Serve.
void serveAsChild();
