#pragma once

#include "fetch/fetchrequest.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QObject>
#include <QSet>
#include <QString>
#include <QTimer>

#include <deque>
#include <map>
#include <vector>

class FormState;
class THTTPGet;

// How hard a check-only run may press: requests in flight in all and to any
// one host, and how a host that answers 429 is waited for.
struct CheckQueueLimits
{
    int total = 32;
    int perHost = 4;
    int retries = 2; // further tries of a check answered 429
    int defaultPauseSeconds = 5; // a 429 without a readable Retry-After
    int maxPauseSeconds = 60; // a longer Retry-After is cut to this
    // Many checks on one thread; the walk's own engine, a thread for each,
    // is there to be measured against.
    FetchEngine engine = FetchEngine::Shared;
};

// The reachability checks of every row of the list, sent as fast as the
// limits allow instead of one row per timer tick. Each check is the window's
// own "gethttp" request (newRequest), run on the shared fetch engine, and its
// final answer goes through the window's routing (getstr, geterror), so the
// cells, the record, the count and the finish message come out exactly as in
// a paced walk. Rows are started in list order as far as the per-host limit
// lets them.
//
// A reply of 429 pauses its host for the reply's Retry-After (within the
// limits) and puts the check back at the front of its host's line, at most
// `retries` times; the answer after that is recorded as it is.
class CheckQueue final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CheckQueue)

public:
    CheckQueue(FormState &form, CheckQueueLimits limits, QObject *parent = nullptr);
    ~CheckQueue() override;

    // Queues a check of every row of the list as it stands, and starts.
    void start();

    int total() const { return m_total; }
    int done() const { return m_done; }
    bool finished() const { return m_done == m_total; }
    int inFlight() const { return m_running; }

signals:
    // Every check has been answered and routed.
    void allDone();

private:
    struct Host
    {
        std::deque<int> waiting; // rows, in list order
        int running = 0;
        QDeadlineTimer pausedUntil;
        bool paused = false;
        int readyRow = -1; // its key in m_ready while it is there
    };

    void pump();
    // Puts the host in m_ready, under its next row, when it may take one
    // more request now; takes it out otherwise.
    void refresh(int host);
    // Ends the pauses that are over, and arms m_wake for the next one.
    void wakePaused();
    void completed(int row, int host, THTTPGet *sender, bool success, const QByteArray &body);

    FormState &m_form;
    const CheckQueueLimits m_limits;
    std::vector<Host> m_hosts;
    // The hosts that may take a request now, by their next row: the first
    // is the one whose row comes first in the list.
    std::map<int, int> m_ready;
    std::vector<int> m_paused;
    std::vector<int> m_tries;
    QSet<THTTPGet *> m_requests; // started, not yet completed
    QTimer m_wake; // ends the earliest pause
    int m_total = 0;
    int m_done = 0;
    int m_running = 0;
    bool m_pumping = false;
    bool m_pumpAgain = false;
};
