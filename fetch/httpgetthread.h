#pragma once

#include "fetch/fetchrequest.h"

#include <functional>
#include <memory>

class TFetchEngine;
class TTransfer;

// One fetch on a thread of its own, over one libcurl easy handle and a multi
// handle of its own. Its completion, and its progress after every block of
// body, are marshalled synchronously to the application's thread. It releases
// itself after its completion has been reported, or found to have no one to
// report to.
class THTTPGetThread final
{
public:
    Q_DISABLE_COPY_MOVE(THTTPGetThread)

    // Starts a worker for the fetch on a thread of its own, taking the node;
    // the worker holds a slot of its engine's gate and gives it back as it
    // ends. Returns false, leaving the node, when no worker could be started:
    // nothing runs then and nothing will be reported.
    static bool Launch(TFetchNode &fetch);

    // Fetches live on every engine, in the whole process.
    static int LiveCount();
    // Processes the application's events until no fetch is live or waits,
    // or the time is up.
    static bool WaitForAll(int timeoutMs);
    // For the end of the application: stops every fetch, reports nothing
    // more, and waits (without running events) until none is live or the
    // time is up. Fetches started afterwards run normally.
    static bool StopAll(int timeoutMs);

private:
    THTTPGetThread();
    ~THTTPGetThread();

    void Run() noexcept;
    // Drives the transfer to its end, and ends it when it is stopped or
    // falls idle.
    void Transfer();
    bool Drive(void *multi, bool *idle);
    // Runs call on the application's thread, unless the component has been
    // destroyed, and waits for it; a shortage of memory is waited out.
    void CallOwner(const std::function<void()> &call) noexcept;

    const std::unique_ptr<TTransfer> m_transfer;
};

// The engine of THTTPGetThread workers.
TFetchEngine &threadPerFetchEngine();
