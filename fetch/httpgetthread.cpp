#include "fetch/httpgetthread.h"

#include "fetch/fetchengine.h"
#include "fetch/fetchgate.h"
#include "fetch/liveregistry.h"
#include "fetch/mainthreadcall.h"
#include "fetch/transfer.h"

#include <QScopeGuard>

#include <curl/curl.h>

#include <pthread.h>

#include <algorithm>
#include <chrono>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// The body is taken in blocks of this size; each block is one progress call.
constexpr long kBlockSize = 1025;
// The longest single wait of a worker with no timer of its own running;
// libcurl shortens it to its own timeouts.
constexpr int kLongestWaitMs = 3600 * 1000;

struct EasyDeleter
{
    void operator()(CURL *h) const { curl_easy_cleanup(h); }
};
struct MultiDeleter
{
    void operator()(CURLM *h) const { curl_multi_cleanup(h); }
};
using EasyHandle = std::unique_ptr<CURL, EasyDeleter>;
using MultiHandle = std::unique_ptr<CURLM, MultiDeleter>;

// The multi handles of the waiting workers, which a stop wakes.
std::mutex g_wakeMutex;
std::vector<CURLM *> g_wakers;

int millisecondsUntil(Clock::time_point when, Clock::time_point now)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(when - now).count();
    return int(std::clamp<qint64>(left, 0, kLongestWaitMs));
}

class ThreadPerFetchEngine final : public TFetchEngine
{
public:
    ThreadPerFetchEngine()
        : m_gate(&THTTPGetThread::Launch, TFetchGate::DefaultCapacity)
    {
    }
    FetchGate &Gate() override { return m_gate; }

protected:
    void Wake(TFetchLink &link) override
    {
        std::lock_guard<std::mutex> lock(g_wakeMutex);
        if (link.Waker)
            curl_multi_wakeup(static_cast<CURLM *>(link.Waker));
    }
    void WakeAll() override
    {
        std::lock_guard<std::mutex> lock(g_wakeMutex);
        for (CURLM *multi : g_wakers)
            curl_multi_wakeup(multi);
    }

private:
    FetchGate m_gate;
};

// Runs step until it gets the memory it needs, or the fetch no longer has
// anyone to wait for: a worker that ran short waits for others to end.
template<typename Step>
bool patiently(const TTransfer &transfer, Step step) noexcept
{
    for (int pauseMs = 1;; pauseMs = std::min(pauseMs * 2, 50)) {
        try {
            return step();
        } catch (const std::bad_alloc &) {
            if (fetchlive::stopping() || transfer.Link().Detached.load())
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
        } catch (...) {
            return false;
        }
    }
}

} // namespace

TFetchEngine &threadPerFetchEngine()
{
    static ThreadPerFetchEngine engine;
    return engine;
}

THTTPGetThread::THTTPGetThread()
    : m_transfer(std::make_unique<TTransfer>(TFetchNode {}))
{
}

THTTPGetThread::~THTTPGetThread() = default;

bool THTTPGetThread::Launch(TFetchNode &fetch)
{
    THTTPGetThread *worker = nullptr;
    try {
        worker = new THTTPGetThread;
        worker->m_transfer->Node().splice(worker->m_transfer->Node().begin(), fetch);
        std::thread([worker] { worker->Run(); }).detach();
        return true;
    } catch (...) {
        // No thread, or no memory for one: the fetch goes back to its caller.
        if (worker) {
            fetch.splice(fetch.begin(), worker->m_transfer->Node());
            delete worker;
        }
        return false;
    }
}

int THTTPGetThread::LiveCount()
{
    return TFetchEngine::LiveCount();
}

bool THTTPGetThread::WaitForAll(int timeoutMs)
{
    return TFetchEngine::WaitForAll(timeoutMs);
}

bool THTTPGetThread::StopAll(int timeoutMs)
{
    return TFetchEngine::StopAll(timeoutMs);
}

void THTTPGetThread::CallOwner(const std::function<void()> &call) noexcept
{
    TFetchLink &link = m_transfer->Link();
    if (link.Detached.load())
        return;
    patiently(*m_transfer, [&link, &call] {
        fetchcall::callOnMainThread([&link, &call] {
            if (link.Report)
                call();
        });
        return true;
    });
}

void THTTPGetThread::Run() noexcept
{
    // Named, so that a look at the process tells the fetches apart.
    pthread_setname_np(pthread_self(), "prq-fetch");
    try {
        if (m_transfer->Prepare())
            Transfer();
    } catch (const std::bad_alloc &) {
        m_transfer->Fail(FetchFailure::Resources);
    } catch (...) {
        m_transfer->Fail(FetchFailure::Other); // a failure of the run never leaves the worker
    }
    const bool success = m_transfer->Decide();
    FetchGate &gate = threadPerFetchEngine().Gate();
    // Running short here says nothing about the address: the fetch waits
    // for another to end and is tried anew.
    const bool retried = m_transfer->Record().reason == FetchFailure::Resources && gate.Retry(m_transfer->Node());
    if (!retried) {
        TFetchLink &link = m_transfer->Link();
        link.Outcome.store(success);
        TFetchCompletion completion = m_transfer->TakeCompletion(success);
        CallOwner([&link, &completion] {
            const auto report = link.Report;
            report(completion);
        });
    }
    delete this;
    gate.Release(!retried);
}

void THTTPGetThread::Transfer()
{
    EasyHandle easy(curl_easy_init());
    MultiHandle multi(curl_multi_init());
    if (!easy || !multi || !m_transfer->Configure(easy.get(), kBlockSize)) {
        m_transfer->Fail(FetchFailure::Resources);
        return;
    }
    const TOnProgressEvent &progress = m_transfer->Settings().OnProgress;
    if (progress) {
        m_transfer->OnBlock = [this, &progress] {
            CallOwner([this, &progress] { progress(this, m_transfer->TotalSize(), m_transfer->Received()); });
        };
    }
    // A stop wakes the worker through the multi handle; without the socket
    // pair that needs, the machine is short of descriptors.
    if (curl_multi_wakeup(multi.get()) != CURLM_OK || curl_multi_add_handle(multi.get(), easy.get()) != CURLM_OK) {
        m_transfer->Fail(FetchFailure::Resources);
        return;
    }
    bool idle = false;
    if (!Drive(multi.get(), &idle))
        m_transfer->Fail(FetchFailure::Other);
    CURLcode result = CURLE_OK;
    int queued = 0;
    while (CURLMsg *msg = curl_multi_info_read(multi.get(), &queued)) {
        if (msg->msg == CURLMSG_DONE)
            result = msg->data.result;
    }
    m_transfer->Finish(easy.get(), result, idle);
    curl_multi_remove_handle(multi.get(), easy.get());
}

bool THTTPGetThread::Drive(void *multiHandle, bool *idle)
{
    auto *multi = static_cast<CURLM *>(multiHandle);
    TFetchLink &link = m_transfer->Link();
    {
        std::lock_guard<std::mutex> lock(g_wakeMutex);
        g_wakers.push_back(multi);
        link.Waker = multi;
    }
    // Under the wake lock, a stop requested before this point is seen by the
    // loop, and one requested after it wakes the wait.
    const auto unregister = qScopeGuard([&link, multi] {
        std::lock_guard<std::mutex> lock(g_wakeMutex);
        link.Waker = nullptr;
        g_wakers.erase(std::find(g_wakers.begin(), g_wakers.end(), multi));
    });
    int running = 1;
    while (running > 0) {
        if (curl_multi_perform(multi, &running) != CURLM_OK)
            return false;
        // A stop, or a silent server, ends the transfer here: what has
        // arrived so far is all there is.
        if (running == 0 || m_transfer->StopRequested())
            return true;
        const Clock::time_point now = Clock::now();
        if (m_transfer->IdleTooLong(now)) {
            *idle = true;
            return true;
        }
        // Sleeps until a socket is ready, libcurl's next timer, the idle
        // limit or a wake-up; never on a clock of its own.
        const int waitMs = m_transfer->Requesting() ? millisecondsUntil(m_transfer->IdleDeadline() + std::chrono::milliseconds(1), now)
                                                    : kLongestWaitMs;
        if (curl_multi_poll(multi, nullptr, 0, waitMs, nullptr) != CURLM_OK)
            return false;
    }
    return true;
}
