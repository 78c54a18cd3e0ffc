#pragma once

#include "fetch/fetchrequest.h"

class FetchGate;

// What carries fetches out for the component: a gate that caps them, and a
// way to wake a running fetch to look at its stop request. Both engines live
// as long as the process; their calls here are made on the application's
// thread.
class TFetchEngine
{
public:
    virtual ~TFetchEngine() = default;

    static TFetchEngine &Of(FetchEngine kind);

    virtual FetchGate &Gate() = 0;
    // Starts the fetch now, or queues it for a slot.
    void Submit(TFetchNode fetch);
    // The fetch of link is to stop (its StopRequested is set): one that
    // waits for a slot is withdrawn and reported cancelled; a running one is
    // woken to see the stop, and its completion comes as usual.
    void Cancel(TFetchLink &link);

    // Fetches live on every engine, in the whole process.
    static int LiveCount();
    // Processes the application's events until no fetch is live or waits,
    // or the time is up.
    static bool WaitForAll(int timeoutMs);
    // For the end of the application: stops every fetch on every engine,
    // reports nothing more, and waits (without running events) until none is
    // live or the time is up. Fetches started afterwards run normally.
    static bool StopAll(int timeoutMs);

protected:
    // Wakes the running fetch of link, if it runs, to look at its stop.
    virtual void Wake(TFetchLink &link) = 0;
    // Wakes every running fetch, for StopAll.
    virtual void WakeAll() = 0;
};
