#pragma once

#include "fetch/fetchrequest.h"

#include <QtGlobal>

#include <chrono>
#include <functional>
#include <memory>

// A cap on the fetches an engine runs at once. A fetch holds a slot from its
// launch until its engine releases it. A fetch submitted while every slot is
// taken, or while others wait, waits in order for one.
//
// Running out of local resources is never a dead address: a fetch that found
// no socket, thread or memory goes back to the front of the queue, and the
// gate lets no more fetches run than were running then, growing again as
// fetches end. It is tried anew when another fetch ends, or after a short
// pause when none runs. Only one that still fails at its whole-request limit
// is reported, as FetchFailure::Resources.
//
// The gate reports the fetches it never launched (withdrawn, stopped while
// waiting, never given the resources) through their link's Report, from the
// application's event processing, never from inside Submit.
class FetchGate final
{
public:
    // Launches the fetch of the node, taking the node, on the application's
    // thread. Returns false, leaving the node, when it found no resources to
    // launch it: then nothing runs and nothing will be reported.
    using Launcher = std::function<bool(TFetchNode &fetch)>;

    explicit FetchGate(Launcher launch, int capacity, std::chrono::milliseconds resourcePause = std::chrono::milliseconds(250));
    ~FetchGate();
    Q_DISABLE_COPY_MOVE(FetchGate)

    // Application's thread. Launches the fetch when a slot is free and none
    // waits before it; otherwise queues it.
    void Submit(TFetchNode fetch);
    // Application's thread. Takes the fetch of link out of the queue and
    // reports it cancelled; false when it is not there (it runs, or it has
    // ended).
    bool Withdraw(const TFetchLink *link);
    // An engine, from any thread: the fetch found no resources. Queues it at
    // the front to be tried anew, taking the node, and returns true; false
    // when its stop was requested meanwhile, and the engine reports it.
    // Allocates nothing.
    bool Retry(TFetchNode &fetch) noexcept;
    // An engine, from any thread, as a fetch ends: its slot is free. grow:
    // the fetch did not go back to wait (it did not run short), so one more
    // may run again after a shortage.
    void Release(bool grow) noexcept;
    // Forgets every waiting fetch without a report, for the end of the
    // application.
    void DropWaiting();

    int Waiting() const;
    int InFlight() const;
    // How many may run now: the capacity, or less after a shortage.
    int Limit() const;
    // Sets the cap (1 or more); returns the one before.
    int SetCapacity(int capacity);

private:
    struct State;
    std::shared_ptr<State> m_state;
};

// The cap of the engine that gives each fetch a thread of its own: threads
// are what runs short first.
class TFetchGate final
{
public:
    static constexpr int DefaultCapacity = 256;

    static int Waiting();
    static int InFlight();
    // Sets the cap (1 or more); returns the one before.
    static int SetCapacity(int capacity);
};
