#pragma once

#include <QDeadlineTimer>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>
#include <QTimer>

#include <deque>
#include <functional>
#include <memory>
#include <set>
#include <utility>
#include <vector>

class THTTPGet;

// How hard the requests of a run may press: in flight in all and to any one
// host, and how a host that answers 429 is waited for.
struct HostQueueLimits
{
    int total = 32;
    int perHost = 4;
    int retries = 2; // further tries of a request answered 429
    int defaultPauseSeconds = 5; // a 429 without a readable Retry-After
    int maxPauseSeconds = 60; // a longer Retry-After is cut to this
};

// Requests sent as fast as the limits allow: at most `total` in flight and
// at most `perHost` to any one host (hosts told apart by name, not port).
// Each request has an order; requests start in that order as far as the
// host limits let them, so a host with work never waits behind another's.
//
// A reply of 429 pauses its host for the reply's Retry-After (within the
// limits) and puts the request back at the front of its host's line, at
// most `retries` times; the answer after that is handed over as it is. A
// host may also be held (nothing of it starts until it is let go) or spaced
// (a least time between the starts of two of its requests).
//
// Main thread only. Requests are started with FetchString, whose event
// processing may run completions and other commands inside; the queue
// takes that re-entrance.
class HostQueue final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(HostQueue)

public:
    // Builds the request when its turn comes; never started by the maker.
    using Make = std::function<std::unique_ptr<THTTPGet>()>;
    // The final answer of a request. The handler takes the request over and
    // releases it (FinishedRequest); success is the fetch's own outcome.
    using Done = std::function<void(THTTPGet *sender, bool success, const QByteArray &body)>;

    explicit HostQueue(HostQueueLimits limits, QObject *parent = nullptr);
    // Requests still in flight are destroyed: their handlers never run.
    ~HostQueue() override;

    static QString hostKey(const QString &address);

    // Queues a request of address; kick() starts what the limits allow.
    // After each handler of its requests the queue kicks itself, so a
    // handler that adds need not.
    void add(quint64 order, const QString &address, Make make, Done done);
    void kick();
    // Nothing of host starts until let go; those in flight go on.
    void hold(const QString &host);
    void letGo(const QString &host);
    // At least ms between the starts of two requests to host (0: none).
    void setSpacing(const QString &host, int ms);
    // Forgets every request not yet started; those in flight still answer.
    void dropWaiting();

    int waiting() const { return m_waiting; }
    int inFlight() const { return m_running; }
    bool idle() const { return m_waiting == 0 && m_running == 0; }
    const HostQueueLimits &limits() const { return m_limits; }

signals:
    // Nothing waits and nothing is in flight; told after the last handler.
    void becameIdle();

private:
    struct Job
    {
        quint64 order = 0;
        Make make;
        Done done;
        int tries = 0;
    };
    struct Host
    {
        QString key;
        std::deque<Job> waiting; // in order, but for jobs put back
        int running = 0;
        bool held = false;
        QDeadlineTimer pausedUntil; // a 429's pause, or the spacing's
        bool paused = false;
        int spacingMs = 0;
        bool inReady = false;
        quint64 readyOrder = 0; // its key in m_ready while it is there
    };

    int hostIndex(const QString &key);
    void refresh(int host);
    void pauseHost(int host, qint64 ms);
    void wakePaused();
    void completed(int host, Job job, THTTPGet *sender, bool success, const QByteArray &body);

    const HostQueueLimits m_limits;
    std::vector<Host> m_hosts;
    QHash<QString, int> m_hostOf;
    // The hosts that may take a request now, by the order of their next
    // request: the first is the one whose request comes first.
    std::set<std::pair<quint64, int>> m_ready;
    std::vector<int> m_paused;
    QSet<THTTPGet *> m_requests; // started, not yet completed
    QTimer m_wake; // ends the earliest pause
    int m_waiting = 0;
    int m_running = 0;
    bool m_pumping = false;
    bool m_pumpAgain = false;
};
