#pragma once

#include "fetch/httpgetthread.h"

// The process-wide cap on fetches in flight. A fetch holds a slot from the
// start of its worker until the worker ends. A fetch submitted while every
// slot is taken, or while others wait, waits in order for one.
//
// Running out of local resources is never a dead address: a fetch that found
// no socket or thread goes back to the front of the queue, and the gate lets
// no more fetches run than were running then, growing again as fetches end.
// It is tried anew when another fetch ends, or after a short pause when none
// runs. Only one that still fails at its whole-request limit is reported, as
// FetchFailure::Resources.
class TFetchGate final
{
public:
    static constexpr int DefaultCapacity = 256;

    // Application's thread. Starts the fetch when a slot is free and none
    // waits before it; otherwise queues it.
    static void Submit(TPendingFetch fetch);
    // Application's thread. Takes the fetch of link out of the queue; false
    // when it is not there (it runs, or it has ended).
    static bool Withdraw(const TFetchLink *link);
    // A worker, from its own thread: the fetch found no socket or thread.
    // Queues it to be tried anew and returns true; false when its stop was
    // requested meanwhile, and the worker reports it.
    static bool Retry(TPendingFetch fetch);
    // A worker, from its own thread, as it ends: its slot is free. grow: the
    // fetch did not go back to wait (it did not run short), so one more may
    // run again after a shortage.
    static void Release(bool grow);
    // Forgets every waiting fetch without a report, for the end of the
    // application.
    static void DropWaiting();

    static int Waiting();
    static int InFlight();
    // Sets the cap (1 or more); returns the one before.
    static int SetCapacity(int capacity);

private:
    static void Pump();
    static void Start(TPendingFetch fetch);
    static void PumpLater(TPendingFetch::Clock::time_point when);
};
