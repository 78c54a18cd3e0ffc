#include "fetch/fetchgate.h"

#include "fetch/fetchengine.h"
#include "fetch/mainthreadcall.h"

#include <QCoreApplication>
#include <QTimer>

#include <algorithm>
#include <mutex>
#include <new>
#include <thread>

namespace {

using Clock = TPendingFetch::Clock;

// Queues fn for the application's thread. A shortage of memory is waited
// out for a little while: the call is what keeps the queue moving.
bool postPatiently(const std::function<void()> &fn) noexcept
{
    for (int pauseMs = 1; pauseMs <= 64; pauseMs *= 2) {
        try {
            return fetchcall::postToMainThread(fn);
        } catch (const std::bad_alloc &) {
            std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
        } catch (...) {
            return false;
        }
    }
    return false;
}

// Reports a fetch that never ran, from the application's event processing.
void reportUnstarted(const TPendingFetch &fetch, FetchFailure reason)
{
    postPatiently([link = fetch.link, url = fetch.settings.URL, reason] {
        const auto report = link->Report;
        if (!report)
            return;
        TFetchCompletion completion;
        completion.record.finalUrl = url;
        completion.record.reason = reason;
        report(completion);
    });
}

} // namespace

struct FetchGate::State : std::enable_shared_from_this<State>
{
    State(Launcher l, int c, std::chrono::milliseconds p)
        : launch(std::move(l))
        , pause(p)
        , capacity(std::max(1, c))
        , limit(capacity)
    {
    }

    bool mayStart() const { return inFlight < limit; }
    void pump();
    void pumpLater(Clock::time_point when) noexcept;
    void start(TFetchNode fetch);
    bool retry(TFetchNode &fetch) noexcept;
    void release(bool grow) noexcept;

    const Launcher launch;
    // How long a fetch that found no resources waits when no other fetch
    // runs whose end would free some.
    const std::chrono::milliseconds pause;

    mutable std::mutex mutex;
    TFetchNode waiting;
    int capacity;
    // At most capacity; lowered to what could run when resources ran out.
    int limit;
    int inFlight = 0;
    bool pumpPosted = false;
    // A timer for the end of a pause runs.
    bool timerPending = false;
};

void FetchGate::State::pump()
{
    for (;;) {
        TFetchNode next;
        Clock::time_point later {};
        {
            std::lock_guard<std::mutex> lock(mutex);
            pumpPosted = false;
            if (waiting.empty() || !mayStart())
                return;
            if (waiting.front().notBefore > Clock::now()) {
                later = waiting.front().notBefore;
            } else {
                next.splice(next.begin(), waiting, waiting.begin());
                ++inFlight;
            }
        }
        if (later != Clock::time_point {}) {
            pumpLater(later);
            return;
        }
        start(std::move(next));
    }
}

void FetchGate::State::pumpLater(Clock::time_point when) noexcept
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (timerPending)
            return;
        timerPending = true;
    }
    const auto delay = std::max<qint64>(0, std::chrono::duration_cast<std::chrono::milliseconds>(when - Clock::now()).count());
    const std::weak_ptr<State> self = weak_from_this();
    const bool posted = postPatiently([self, delay] {
        QTimer::singleShot(delay, QCoreApplication::instance(), [self] {
            const std::shared_ptr<State> state = self.lock();
            if (!state)
                return;
            {
                std::lock_guard<std::mutex> lock(state->mutex);
                state->timerPending = false;
            }
            state->pump();
        });
    });
    if (!posted) {
        std::lock_guard<std::mutex> lock(mutex);
        timerPending = false;
    }
}

// With a slot taken for the fetch.
void FetchGate::State::start(TFetchNode fetch)
{
    TPendingFetch &f = fetch.front();
    const Clock::time_point now = Clock::now();
    if (f.startedAt == Clock::time_point {})
        f.startedAt = now;
    const bool pastLimit = now - f.startedAt >= std::chrono::milliseconds(f.settings.RequestTimeoutMs);
    if (!pastLimit && launch(fetch))
        return;
    if (!pastLimit && retry(fetch)) {
        release(false);
        return;
    }
    release(true);
    // A fetch stopped while it waited, or one that never found the
    // resources within its time.
    reportUnstarted(f, f.link->StopRequested.load() ? FetchFailure::Cancelled : FetchFailure::Resources);
}

bool FetchGate::State::retry(TFetchNode &fetch) noexcept
{
    TPendingFetch &f = fetch.front();
    Clock::time_point pauseUntil {};
    {
        std::lock_guard<std::mutex> lock(mutex);
        // Under the lock, so that a Withdraw that did not find the fetch
        // comes after a stop that this sees.
        if (f.link->StopRequested.load())
            return false;
        // The caller still holds its slot: the others are what ran when the
        // resources ran out.
        const int others = inFlight - 1;
        limit = std::max(1, others);
        if (others == 0) {
            f.notBefore = Clock::now() + pause;
            pauseUntil = f.notBefore;
        }
        waiting.splice(waiting.begin(), fetch);
    }
    if (pauseUntil != Clock::time_point {})
        pumpLater(pauseUntil);
    return true;
}

void FetchGate::State::release(bool grow) noexcept
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        --inFlight;
        if (grow && limit < capacity)
            ++limit;
        if (waiting.empty() || !mayStart() || pumpPosted)
            return;
        pumpPosted = true;
    }
    const std::weak_ptr<State> self = weak_from_this();
    if (postPatiently([self] {
            if (const std::shared_ptr<State> state = self.lock())
                state->pump();
        }))
        return;
    std::lock_guard<std::mutex> lock(mutex);
    pumpPosted = false;
}

FetchGate::FetchGate(Launcher launch, int capacity, std::chrono::milliseconds resourcePause)
    : m_state(std::make_shared<State>(std::move(launch), capacity, resourcePause))
{
}

FetchGate::~FetchGate() = default;

void FetchGate::Submit(TFetchNode fetch)
{
    // What the gate posts from other threads lands on this one.
    fetchcall::prepare();
    {
        std::lock_guard<std::mutex> lock(m_state->mutex);
        m_state->waiting.splice(m_state->waiting.end(), fetch);
    }
    // Launches it at once when nothing waits before it and a slot is free.
    m_state->pump();
}

bool FetchGate::Withdraw(const TFetchLink *link)
{
    TFetchNode withdrawn;
    {
        std::lock_guard<std::mutex> lock(m_state->mutex);
        TFetchNode &waiting = m_state->waiting;
        const auto it = std::find_if(waiting.begin(), waiting.end(), [link](const TPendingFetch &f) { return f.link.get() == link; });
        if (it == waiting.end())
            return false;
        withdrawn.splice(withdrawn.begin(), waiting, it);
    }
    reportUnstarted(withdrawn.front(), FetchFailure::Cancelled);
    return true;
}

bool FetchGate::Retry(TFetchNode &fetch) noexcept
{
    return m_state->retry(fetch);
}

void FetchGate::Release(bool grow) noexcept
{
    m_state->release(grow);
}

void FetchGate::DropWaiting()
{
    TFetchNode dropped;
    std::lock_guard<std::mutex> lock(m_state->mutex);
    dropped.splice(dropped.end(), m_state->waiting);
}

int FetchGate::Waiting() const
{
    std::lock_guard<std::mutex> lock(m_state->mutex);
    return int(m_state->waiting.size());
}

int FetchGate::InFlight() const
{
    std::lock_guard<std::mutex> lock(m_state->mutex);
    return m_state->inFlight;
}

int FetchGate::Limit() const
{
    std::lock_guard<std::mutex> lock(m_state->mutex);
    return m_state->limit;
}

int FetchGate::SetCapacity(int capacity)
{
    int before = 0;
    {
        std::lock_guard<std::mutex> lock(m_state->mutex);
        before = m_state->capacity;
        m_state->capacity = std::max(1, capacity);
        m_state->limit = m_state->capacity;
    }
    if (QCoreApplication::instance())
        m_state->pump();
    return before;
}

int TFetchGate::Waiting()
{
    return TFetchEngine::Of(FetchEngine::OwnThread).Gate().Waiting();
}

int TFetchGate::InFlight()
{
    return TFetchEngine::Of(FetchEngine::OwnThread).Gate().InFlight();
}

int TFetchGate::SetCapacity(int capacity)
{
    return TFetchEngine::Of(FetchEngine::OwnThread).Gate().SetCapacity(capacity);
}
