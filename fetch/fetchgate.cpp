#include "fetch/fetchgate.h"

#include "fetch/httpget.h"
#include "fetch/mainthreadcall.h"

#include <QCoreApplication>
#include <QTimer>

#include <algorithm>
#include <deque>
#include <mutex>

namespace {

using Clock = TPendingFetch::Clock;

// How long a fetch that found no resources waits when no other fetch runs
// whose end would free some.
constexpr std::chrono::milliseconds kResourcePause {250};

struct GateState
{
    std::mutex mutex;
    std::deque<TPendingFetch> waiting;
    int capacity = TFetchGate::DefaultCapacity;
    // At most capacity; lowered to what could run when resources ran out.
    int limit = TFetchGate::DefaultCapacity;
    int inFlight = 0;
    bool pumpPosted = false;
    // A timer for the end of a pause runs.
    bool timerPending = false;
};

GateState &gate()
{
    static GateState state;
    return state;
}

bool mayStart(const GateState &g)
{
    return g.inFlight < g.limit;
}

} // namespace

void TFetchGate::Submit(TPendingFetch fetch)
{
    GateState &g = gate();
    {
        std::lock_guard<std::mutex> lock(g.mutex);
        g.waiting.push_back(std::move(fetch));
    }
    // Starts it at once when nothing waits before it and a slot is free.
    Pump();
}

bool TFetchGate::Withdraw(const TFetchLink *link)
{
    GateState &g = gate();
    std::lock_guard<std::mutex> lock(g.mutex);
    const auto it = std::find_if(g.waiting.begin(), g.waiting.end(), [link](const TPendingFetch &f) { return f.link.get() == link; });
    if (it == g.waiting.end())
        return false;
    g.waiting.erase(it);
    return true;
}

bool TFetchGate::Retry(TPendingFetch fetch)
{
    GateState &g = gate();
    Clock::time_point pauseUntil {};
    {
        std::lock_guard<std::mutex> lock(g.mutex);
        // Under the lock, so that a Withdraw that did not find the fetch
        // comes after a stop that this sees.
        if (fetch.link->StopRequested.load())
            return false;
        // The caller still holds its slot: the others are what ran when the
        // resources ran out.
        const int others = g.inFlight - 1;
        g.limit = std::max(1, others);
        if (others == 0) {
            fetch.notBefore = Clock::now() + kResourcePause;
            pauseUntil = fetch.notBefore;
        }
        g.waiting.push_front(std::move(fetch));
    }
    if (pauseUntil != Clock::time_point {})
        PumpLater(pauseUntil);
    return true;
}

void TFetchGate::Release(bool grow)
{
    GateState &g = gate();
    std::lock_guard<std::mutex> lock(g.mutex);
    --g.inFlight;
    if (grow && g.limit < g.capacity)
        ++g.limit;
    if (g.waiting.empty() || !mayStart(g) || g.pumpPosted)
        return;
    g.pumpPosted = fetchcall::postToMainThread(&TFetchGate::Pump);
}

void TFetchGate::DropWaiting()
{
    GateState &g = gate();
    std::lock_guard<std::mutex> lock(g.mutex);
    g.waiting.clear();
}

int TFetchGate::Waiting()
{
    GateState &g = gate();
    std::lock_guard<std::mutex> lock(g.mutex);
    return int(g.waiting.size());
}

int TFetchGate::InFlight()
{
    GateState &g = gate();
    std::lock_guard<std::mutex> lock(g.mutex);
    return g.inFlight;
}

int TFetchGate::SetCapacity(int capacity)
{
    GateState &g = gate();
    int before = 0;
    {
        std::lock_guard<std::mutex> lock(g.mutex);
        before = g.capacity;
        g.capacity = std::max(1, capacity);
        g.limit = g.capacity;
    }
    if (QCoreApplication::instance())
        Pump();
    return before;
}

void TFetchGate::Pump()
{
    GateState &g = gate();
    for (;;) {
        TPendingFetch next;
        Clock::time_point later {};
        {
            std::lock_guard<std::mutex> lock(g.mutex);
            g.pumpPosted = false;
            if (g.waiting.empty() || !mayStart(g))
                return;
            if (g.waiting.front().notBefore > Clock::now()) {
                later = g.waiting.front().notBefore;
            } else {
                next = std::move(g.waiting.front());
                g.waiting.pop_front();
                ++g.inFlight;
            }
        }
        if (later != Clock::time_point {}) {
            PumpLater(later);
            return;
        }
        Start(std::move(next));
    }
}

void TFetchGate::PumpLater(Clock::time_point when)
{
    GateState &g = gate();
    {
        std::lock_guard<std::mutex> lock(g.mutex);
        if (g.timerPending)
            return;
        g.timerPending = true;
    }
    const auto delay = std::chrono::duration_cast<std::chrono::milliseconds>(when - Clock::now());
    const bool posted = fetchcall::postToMainThread([delay] {
        QTimer::singleShot(std::max<qint64>(0, delay.count()), QCoreApplication::instance(), [] {
            {
                GateState &g = gate();
                std::lock_guard<std::mutex> lock(g.mutex);
                g.timerPending = false;
            }
            Pump();
        });
    });
    if (!posted) {
        std::lock_guard<std::mutex> lock(g.mutex);
        g.timerPending = false;
    }
}

// With a slot taken for the fetch.
void TFetchGate::Start(TPendingFetch fetch)
{
    const Clock::time_point now = Clock::now();
    const bool retried = fetch.startedAt != Clock::time_point {};
    if (!retried)
        fetch.startedAt = now;
    const bool pastLimit = now - fetch.startedAt >= std::chrono::milliseconds(fetch.settings.RequestTimeoutMs);
    if (!pastLimit && THTTPGetThread::Launch(fetch))
        return;
    if (!pastLimit && Retry(fetch)) {
        Release(false);
        return;
    }
    Release(true);
    // A fetch stopped while it waited, or one that never found the
    // resources within its time: reported by its component.
    if (THTTPGet *owner = fetch.link->Owner)
        owner->ReportUnstarted(fetch.link, fetch.link->StopRequested.load() ? FetchFailure::Cancelled : FetchFailure::Resources);
}
