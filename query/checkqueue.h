#pragma once

#include "fetch/fetchrequest.h"
#include "query/hostqueue.h"

#include <QObject>

class FormState;

using CheckQueueLimits = HostQueueLimits;

// The reachability checks of every row of the list, sent through a per-host
// queue as fast as the limits allow instead of one row per timer tick. Each
// check is the window's own "gethttp" request (newRequest), run on the shared
// fetch engine (many checks on one thread), and its final
// answer goes through the window's routing (getstr, geterror), so the cells,
// the record, the count and the finish message come out exactly as in a
// paced walk. Rows are started in list order as far as the per-host limit
// lets them; a 429 pauses its host and the check is tried again.
class CheckQueue final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CheckQueue)

public:
    CheckQueue(FormState &form, CheckQueueLimits limits, QObject *parent = nullptr);
    ~CheckQueue() override;

    // The engine of the checks; the shared one unless set before start().
    // A thread for each check is there to be measured against.
    void setFetchEngine(FetchEngine engine) { m_engine = engine; }
    // Queues a check of every row of the list as it stands, and starts.
    void start();

    int total() const { return m_total; }
    int done() const { return m_done; }
    bool finished() const { return m_done == m_total; }
    int inFlight() const { return m_queue.inFlight(); }
    // The queue the checks go through, for requests made on their behalf
    // (soft-404 probes) under the same limits.
    HostQueue &hostQueue() { return m_queue; }

signals:
    // Every check has been answered and routed.
    void allDone();

private:
    FormState &m_form;
    HostQueue m_queue;
    FetchEngine m_engine = FetchEngine::Shared;
    int m_total = 0;
    int m_done = 0;
};
