#include "fetch/sharedengine.h"

#include "base/guard.h"
#include "fetch/fetchengine.h"
#include "fetch/fetchgate.h"
#include "fetch/liveregistry.h"
#include "fetch/mainthreadcall.h"
#include "fetch/transfer.h"
#include "fetch/urlparts.h"

#include "base/textutil.h"

#include <curl/curl.h>

#include <pthread.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <list>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// As many as a check-only run may ask for at once, and some.
constexpr int kCapacity = 1024;
constexpr int kMaxEvents = 256;
// How soon a hand-over that found no memory is tried again.
constexpr std::chrono::milliseconds kShortageRetry {10};
// Easy handles kept for later fetches: a handle keeps its buffers, so a
// fetch on a kept one allocates far less.
constexpr size_t kKeptEasyHandles = 1024;
// How long connections are kept once no fetch runs. A queue of checks keeps
// the engine busy; once it has been idle this long, the kept connections
// would only hold servers up (a server that stops waits for them).
constexpr std::chrono::milliseconds kKeepWhileIdle {100};

// One fetch of the engine, in a list of its own: it moves from the
// launched ones to the running ones to the ended ones by splicing, which
// allocates nothing.
struct Job;
using JobList = std::list<Job>;
struct Job
{
    TTransfer transfer {TFetchNode {}};
    CURL *easy = nullptr; // while libcurl drives it
    bool success = false;
    // Its own node, whichever list holds it: splicing keeps it valid.
    JobList::iterator self;
};

// One thread of the engine, with its own epoll set and libcurl multi
// handle: the fetches to one host always go to the same shard, so that its
// connections and its looked-up address serve them all.
class EngineShard final
{
public:
    explicit EngineShard(FetchGate &gate)
        : m_gate(gate)
    {
    }
    Q_DISABLE_COPY_MOVE(EngineShard)

    // The application's thread: takes the node unless it returns false.
    bool Launch(TFetchNode &fetch);
    // Any running fetch may have been asked to stop.
    void WakeStops()
    {
        m_stopsPending.store(true);
        Signal();
    }
    // For StopAll: ended fetches waiting for delivery are dropped unreported.
    void DropDone();

private:
    // The application's thread.
    bool EnsureStarted();
    // A multi handle set up for the shard; null when libcurl ran short.
    CURLM *NewMulti();
    void Deliver();
    // Any thread: the shard's loop is to look at what has come in.
    void Signal() noexcept;

    // The shard's thread.
    void Loop() noexcept;
    void Pass(const epoll_event *events, int count);
    int WaitMs() const;
    void TakeLaunched();
    void Start(JobList::iterator job);
    void End(JobList::iterator job, CURLcode result, bool idle) noexcept;
    void Ended(JobList::iterator job) noexcept;
    void SweepStops();
    void SweepIdle(Clock::time_point now);
    void ReadDone();
    void HandOver() noexcept;
    // Closes the kept connections (and forgets the looked-up names) once the
    // shard has been idle for a while.
    void ForgetWhenIdle(Clock::time_point now);
    static int onSocket(CURL *easy, curl_socket_t fd, int what, void *self, void *socketp);
    static int onTimer(CURLM *multi, long timeoutMs, void *self);

    FetchGate &m_gate;

    // Shared by the application's thread and the shard's, under m_mutex.
    std::mutex m_mutex;
    JobList m_launched;
    JobList m_done; // ended, to be delivered
    bool m_deliveryPosted = false;
    std::atomic<bool> m_signalled {false};
    std::atomic<bool> m_stopsPending {false};

    // Made by the application's thread before the shard's thread starts.
    bool m_started = false;
    int m_epoll = -1;
    int m_wakeFd = -1;
    CURLM *m_multi = nullptr;

    // The shard's thread alone.
    JobList m_running;
    JobList m_ended; // ended on this pass, to be handed over
    std::vector<CURL *> m_easyHandles; // reset, for the next fetches
    Clock::time_point m_curlDeadline = Clock::time_point::max();
    Clock::time_point m_nextIdleCheck = Clock::time_point::max();
    bool m_handOverOwed = false;
    // Connections may be kept since; max while none can be.
    Clock::time_point m_idleSince = Clock::time_point::max();
};

// The engine: a cap on its fetches, and one or two shards (two where there
// are two processors: one thread alone is the limit at a few hundred in
// flight).
class SharedFetchEngine final : public TFetchEngine
{
public:
    SharedFetchEngine()
        : m_gate([this](TFetchNode &fetch) { return Launch(fetch); }, kCapacity)
    {
        const int shards = std::thread::hardware_concurrency() >= 2 ? 2 : 1;
        for (int i = 0; i < shards; ++i)
            m_shards.push_back(std::make_unique<EngineShard>(m_gate));
    }
    Q_DISABLE_COPY_MOVE(SharedFetchEngine)

    FetchGate &Gate() override { return m_gate; }

protected:
    void Wake(TFetchLink &) override
    {
        for (const auto &shard : m_shards)
            shard->WakeStops();
    }
    void WakeAll() override
    {
        for (const auto &shard : m_shards) {
            shard->DropDone();
            shard->WakeStops();
        }
    }

private:
    bool Launch(TFetchNode &fetch)
    {
        // By the host it connects to, as the check queue tells hosts apart.
        const QString host = asciilower(connectHost(SplitURL(fetch.front().settings.URL).Host));
        return m_shards[qHash(host) % m_shards.size()]->Launch(fetch);
    }

    FetchGate m_gate;
    std::vector<std::unique_ptr<EngineShard>> m_shards;
};

bool EngineShard::EnsureStarted()
{
    if (m_started)
        return true;
    m_epoll = ::epoll_create1(EPOLL_CLOEXEC);
    m_wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    m_multi = NewMulti();
    epoll_event wake {};
    wake.events = EPOLLIN;
    wake.data.fd = m_wakeFd;
    bool ok = m_epoll >= 0 && m_wakeFd >= 0 && m_multi && ::epoll_ctl(m_epoll, EPOLL_CTL_ADD, m_wakeFd, &wake) == 0;
    if (ok) {
        try {
            std::thread([this] { Loop(); }).detach();
        } catch (...) {
            ok = false;
        }
    }
    if (!ok) {
        // Short of descriptors or of a thread: tried again with the next
        // launch, which the gate holds back as for any shortage.
        if (m_multi)
            curl_multi_cleanup(m_multi);
        if (m_wakeFd >= 0)
            ::close(m_wakeFd);
        if (m_epoll >= 0)
            ::close(m_epoll);
        m_multi = nullptr;
        m_wakeFd = m_epoll = -1;
        return false;
    }
    m_started = true;
    return true;
}

CURLM *EngineShard::NewMulti()
{
    CURLM *multi = curl_multi_init();
    if (multi) {
        curl_multi_setopt(multi, CURLMOPT_SOCKETFUNCTION, &EngineShard::onSocket);
        curl_multi_setopt(multi, CURLMOPT_SOCKETDATA, this);
        curl_multi_setopt(multi, CURLMOPT_TIMERFUNCTION, &EngineShard::onTimer);
        curl_multi_setopt(multi, CURLMOPT_TIMERDATA, this);
    }
    return multi;
}

bool EngineShard::Launch(TFetchNode &fetch)
{
    if (!EnsureStarted())
        return false;
    JobList job;
    try {
        job.emplace_back();
    } catch (...) {
        return false; // no memory for the job: the fetch stays with the gate
    }
    job.front().self = job.begin();
    job.front().transfer.Node().splice(job.front().transfer.Node().begin(), fetch);
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_launched.splice(m_launched.end(), job);
    }
    Signal();
    return true;
}

void EngineShard::Signal() noexcept
{
    if (m_started && !m_signalled.exchange(true)) {
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = ::write(m_wakeFd, &one, sizeof one);
    }
}

void EngineShard::DropDone()
{
    // Under the lock, so that the shard, which hands ended fetches over
    // under it too, either sees the stop or has handed them over already.
    JobList dropped;
    std::lock_guard<std::mutex> lock(m_mutex);
    dropped.splice(dropped.end(), m_done);
}

void EngineShard::Deliver()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_deliveryPosted = false;
    }
    for (;;) {
        JobList one;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_done.empty())
                return;
            one.splice(one.begin(), m_done, m_done.begin());
        }
        Job &job = one.front();
        const std::shared_ptr<TFetchLink> link = job.transfer.Node().front().link;
        TFetchCompletion completion = job.transfer.TakeCompletion(job.success);
        // Gone before its handler runs: nothing of the engine is touched
        // after it, and the fetch is no longer live for a handler that waits.
        one.clear();
        if (const auto report = link->Report)
            guard::run([&report, &completion] { report(completion); });
    }
}

void EngineShard::Loop() noexcept
{
    pthread_setname_np(pthread_self(), "prq-fetches");
    try {
        m_easyHandles.reserve(kKeptEasyHandles);
    } catch (...) {
        // None are kept: every fetch makes its own.
    }
    epoll_event events[kMaxEvents];
    for (;;) {
        const int count = ::epoll_wait(m_epoll, events, kMaxEvents, WaitMs());
        try {
            Pass(events, std::max(0, count));
        } catch (...) {
            // Every fetch's own failures are caught where they happen; this
            // keeps the engine alive for the others whatever slipped through.
        }
    }
}

int EngineShard::WaitMs() const
{
    Clock::time_point next = std::min(m_curlDeadline, m_nextIdleCheck);
    if (m_idleSince != Clock::time_point::max())
        next = std::min(next, m_idleSince + kKeepWhileIdle);
    if (m_handOverOwed)
        next = std::min(next, Clock::now() + kShortageRetry);
    if (next == Clock::time_point::max())
        return -1;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(next - Clock::now()).count();
    return int(std::clamp<qint64>(left, 0, INT_MAX));
}

void EngineShard::Pass(const epoll_event *events, int count)
{
    int running = 0;
    for (int i = 0; i < count; ++i) {
        const int fd = events[i].data.fd;
        if (fd == m_wakeFd) {
            uint64_t value = 0;
            [[maybe_unused]] const ssize_t n = ::read(m_wakeFd, &value, sizeof value);
            continue;
        }
        int flags = 0;
        if (events[i].events & EPOLLIN)
            flags |= CURL_CSELECT_IN;
        if (events[i].events & EPOLLOUT)
            flags |= CURL_CSELECT_OUT;
        if (events[i].events & (EPOLLERR | EPOLLHUP))
            flags |= CURL_CSELECT_ERR;
        curl_multi_socket_action(m_multi, fd, flags, &running);
    }
    TakeLaunched();
    if (Clock::now() >= m_curlDeadline) {
        m_curlDeadline = Clock::time_point::max();
        curl_multi_socket_action(m_multi, CURL_SOCKET_TIMEOUT, 0, &running);
    }
    if (m_stopsPending.exchange(false) || fetchlive::stopping())
        SweepStops();
    const Clock::time_point now = Clock::now();
    if (now >= m_nextIdleCheck)
        SweepIdle(now);
    ReadDone();
    HandOver();
    ForgetWhenIdle(Clock::now());
}

void EngineShard::ForgetWhenIdle(Clock::time_point now)
{
    if (!m_running.empty()) {
        m_idleSince = now;
        return;
    }
    if (m_idleSince == Clock::time_point::max() || now < m_idleSince + kKeepWhileIdle)
        return;
    CURLM *fresh = NewMulti();
    if (!fresh) {
        m_idleSince = now; // short of memory or descriptors: later
        return;
    }
    curl_multi_cleanup(m_multi);
    m_multi = fresh;
    m_curlDeadline = Clock::time_point::max();
    m_idleSince = Clock::time_point::max();
}

void EngineShard::TakeLaunched()
{
    m_signalled.store(false);
    JobList launched;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        launched.splice(launched.end(), m_launched);
    }
    while (!launched.empty()) {
        const JobList::iterator job = launched.begin();
        m_running.splice(m_running.end(), launched, job);
        Start(job);
    }
}

void EngineShard::Start(JobList::iterator job)
{
    TTransfer &transfer = job->transfer;
    try {
        if (!transfer.Prepare())
            return Ended(job);
        if (m_easyHandles.empty()) {
            job->easy = curl_easy_init();
        } else {
            job->easy = m_easyHandles.back();
            m_easyHandles.pop_back();
        }
        if (!job->easy || !transfer.Configure(job->easy, 0) || curl_easy_setopt(job->easy, CURLOPT_PRIVATE, &*job) != CURLE_OK
            || curl_multi_add_handle(m_multi, job->easy) != CURLM_OK) {
            transfer.Fail(FetchFailure::Resources);
            return Ended(job);
        }
    } catch (...) {
        transfer.Fail(FetchFailure::Resources);
        return Ended(job);
    }
    // It cannot fall idle before a whole idle limit from now.
    m_nextIdleCheck = std::min(m_nextIdleCheck, Clock::now() + std::chrono::milliseconds(transfer.Settings().IdleTimeoutMs));
}

void EngineShard::End(JobList::iterator job, CURLcode result, bool idle) noexcept
{
    curl_multi_remove_handle(m_multi, job->easy);
    try {
        job->transfer.Finish(job->easy, result, idle);
    } catch (...) {
        job->transfer.Fail(FetchFailure::Resources);
    }
    Ended(job);
}

// The job leaves the running ones with its verdict.
void EngineShard::Ended(JobList::iterator job) noexcept
{
    if (job->easy) {
        if (m_easyHandles.size() < kKeptEasyHandles && m_easyHandles.capacity() > m_easyHandles.size()) {
            curl_easy_reset(job->easy);
            m_easyHandles.push_back(job->easy);
        } else {
            curl_easy_cleanup(job->easy);
        }
        job->easy = nullptr;
    }
    job->success = job->transfer.Decide();
    m_ended.splice(m_ended.end(), m_running, job);
}

void EngineShard::SweepStops()
{
    for (auto job = m_running.begin(); job != m_running.end();) {
        const auto next = std::next(job);
        if (job->transfer.StopRequested())
            End(job, CURLE_OK, false);
        job = next;
    }
}

// A transfer's idle deadline only moves later, so the earliest one found
// here is the earliest any can fall idle.
void EngineShard::SweepIdle(Clock::time_point now)
{
    m_nextIdleCheck = Clock::time_point::max();
    for (auto job = m_running.begin(); job != m_running.end();) {
        const auto next = std::next(job);
        const TTransfer &transfer = job->transfer;
        if (transfer.IdleTooLong(now)) {
            End(job, CURLE_OK, true);
        } else {
            const Clock::time_point deadline = transfer.Requesting()
                ? transfer.IdleDeadline()
                : now + std::chrono::milliseconds(transfer.Settings().IdleTimeoutMs);
            m_nextIdleCheck = std::min(m_nextIdleCheck, deadline + std::chrono::milliseconds(1));
        }
        job = next;
    }
}

void EngineShard::ReadDone()
{
    int queued = 0;
    while (CURLMsg *msg = curl_multi_info_read(m_multi, &queued)) {
        if (msg->msg != CURLMSG_DONE)
            continue;
        const CURLcode result = msg->data.result;
        Job *job = nullptr;
        curl_easy_getinfo(msg->easy_handle, CURLINFO_PRIVATE, &job);
        if (job)
            End(job->self, result, false);
    }
}

void EngineShard::HandOver() noexcept
{
    m_handOverOwed = false;
    while (!m_ended.empty()) {
        const JobList::iterator job = m_ended.begin();
        TTransfer &transfer = job->transfer;
        // Running short says nothing about the address: the fetch waits for
        // another to end and is tried anew.
        if (transfer.Record().reason == FetchFailure::Resources && !fetchlive::stopping() && m_gate.Retry(transfer.Node())) {
            m_ended.erase(job);
            m_gate.Release(false);
            continue;
        }
        TFetchLink &link = transfer.Link();
        link.Outcome.store(job->success);
        bool post = false;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (fetchlive::stopping() || link.Detached.load()) {
                m_ended.erase(job);
            } else {
                m_done.splice(m_done.end(), m_ended, job);
                post = !m_deliveryPosted;
                m_deliveryPosted = true;
            }
        }
        m_gate.Release(true);
        if (!post)
            continue;
        bool posted = false;
        try {
            posted = fetchcall::postToMainThread([this] { Deliver(); });
        } catch (...) {
            // Out of memory for the call: the delivery waits for the next pass.
        }
        if (!posted) {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_deliveryPosted = false;
            m_handOverOwed = !fetchlive::stopping();
        }
    }
    if (m_handOverOwed) {
        // A delivery that could not be queued is queued on a later pass,
        // unless another hand-over does it first.
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_done.empty() && !m_deliveryPosted) {
            try {
                m_deliveryPosted = fetchcall::postToMainThread([this] { Deliver(); });
            } catch (...) {
            }
        }
        m_handOverOwed = !m_done.empty() && !m_deliveryPosted;
    }
}

int EngineShard::onSocket(CURL *, curl_socket_t fd, int what, void *self, void *socketp)
{
    auto &engine = *static_cast<EngineShard *>(self);
    if (what == CURL_POLL_REMOVE) {
        ::epoll_ctl(engine.m_epoll, EPOLL_CTL_DEL, fd, nullptr);
        return 0;
    }
    epoll_event event {};
    event.events = ((what & CURL_POLL_IN) ? EPOLLIN : 0u) | ((what & CURL_POLL_OUT) ? EPOLLOUT : 0u);
    event.data.fd = fd;
    // socketp marks a socket already watched; a descriptor number that
    // libcurl gave up and got again is watched anew.
    const int first = socketp ? EPOLL_CTL_MOD : EPOLL_CTL_ADD;
    if (::epoll_ctl(engine.m_epoll, first, fd, &event) != 0)
        ::epoll_ctl(engine.m_epoll, first == EPOLL_CTL_ADD ? EPOLL_CTL_MOD : EPOLL_CTL_ADD, fd, &event);
    if (!socketp)
        curl_multi_assign(engine.m_multi, fd, &engine);
    return 0;
}

int EngineShard::onTimer(CURLM *, long timeoutMs, void *self)
{
    auto &engine = *static_cast<EngineShard *>(self);
    engine.m_curlDeadline = timeoutMs < 0 ? Clock::time_point::max() : Clock::now() + std::chrono::milliseconds(timeoutMs);
    return 0;
}

} // namespace

TFetchEngine &sharedFetchEngine()
{
    // Never destroyed: its thread runs as long as the process.
    static SharedFetchEngine *const engine = new SharedFetchEngine;
    return *engine;
}
