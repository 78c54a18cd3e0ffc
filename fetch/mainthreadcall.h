#pragma once

#include <functional>

// Synchronous calls from fetch workers onto the application's thread.
//
// A call is queued, the application's thread runs it from its event
// processing, and the worker waits until it has returned. The hand-over goes
// through a mutex of our own rather than through a blocking queued signal, so
// that the worker's writes are visibly ordered before the call (and the
// call's before the worker resumes) for every thread checker.
namespace fetchcall {

// Prepares the receiver of the calls. Must run on the application's thread
// (the one that owns QCoreApplication) before the first call is made.
void prepare();

// Stops taking calls: the queued ones are released unserved, and later ones
// return false at once, until prepare() runs again.
void close();

// Runs fn on the application's thread inside its event processing and waits
// until it has returned. An exception from fn ends in the standard error box,
// as for every entry point from the event loop. Returns false, without
// running fn, when the application no longer takes calls (no application,
// or the application is being destroyed). Throws std::bad_alloc, without
// running fn and with nothing queued, when there was no memory to queue it.
bool callOnMainThread(std::function<void()> fn);

// Queues fn to run on the application's thread inside its event processing
// and returns at once. Returns false, without queueing, when the application
// no longer takes calls. Throws std::bad_alloc, with nothing queued, when
// there was no memory to queue it.
bool postToMainThread(std::function<void()> fn);

// Calls queued or posted and not yet taken up by the application's thread.
int pendingCalls();

} // namespace fetchcall
