#include "fetch/httpget.h"

#include "fetch/fetchengine.h"
#include "fetch/mainthreadcall.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QPointer>

#include <curl/curl.h>

#include <csignal>
#include <mutex>

namespace {

// Bounds the event processing of FetchString, in case something (a zero
// timer) keeps the queue from ever being found empty.
constexpr int kMaxEventPasses = 256;

// No worker may outlive the application: one that ran on while the process
// tears down its libraries could touch what is already gone.
void stopWorkersAtExit()
{
    THTTPGetThread::StopAll(5000);
}

// Runs on the application's thread before a fetch starts.
void initialiseClient()
{
    static std::once_flag once;
    std::call_once(once, [] {
        curl_global_init(CURL_GLOBAL_DEFAULT);
        // A peer that closes early must fail one fetch, not end the process.
        std::signal(SIGPIPE, SIG_IGN);
    });
    static QPointer<QCoreApplication> hooked;
    if (hooked != QCoreApplication::instance()) {
        hooked = QCoreApplication::instance();
        qAddPostRoutine(&stopWorkersAtExit);
    }
    fetchcall::prepare();
}

// Dispatches what waits for this thread, and what arrives meanwhile, until a
// pass finds nothing to do.
void processPendingEvents()
{
    QAbstractEventDispatcher *dispatcher = QAbstractEventDispatcher::instance();
    if (!dispatcher)
        return;
    for (int pass = 0; pass < kMaxEventPasses; ++pass) {
        if (!dispatcher->processEvents(QEventLoop::AllEvents))
            break;
    }
}

} // namespace

THTTPGet::THTTPGet(QObject *AOwner)
    : QObject(AOwner)
{
}

THTTPGet::~THTTPGet()
{
    if (m_link) {
        // Detached first: the fetch then reports to no one, not even the
        // cancellation of one that still waits.
        m_link->Report = nullptr;
        m_link->Detached.store(true);
        Cancel();
    }
}

void THTTPGet::FetchString()
{
    if (!m_link) {
        initialiseClient();
        TFetchNode fetch(1);
        TPendingFetch &f = fetch.front();
        f.settings = *this;
        // The completion is attached before the fetch starts, so that a
        // fetch that ends at once is never unreported.
        f.link = std::make_shared<TFetchLink>();
        f.link->Report = [this, link = f.link.get()](TFetchCompletion &completion) { Completed(*link, completion); };
        m_link = f.link;
        m_engine = Engine;
        m_record = FetchResult {};
        // It starts now, or waits in order for a slot.
        TFetchEngine::Of(Engine).Submit(std::move(fetch));
        if (Engine == FetchEngine::Shared)
            return;
        // Nothing of the component is read once events run: a handler may
        // have deleted it.
        if (WaitThread)
            processPendingEvents();
    } else if (Engine == FetchEngine::Shared) {
        return;
    }
    processPendingEvents();
}

void THTTPGet::Cancel()
{
    if (m_link) {
        m_link->StopRequested.store(true);
        m_link->Outcome.store(false);
        // One that still waits for a slot never starts; its completion is
        // reported from the event processing.
        TFetchEngine::Of(m_engine).Cancel(*m_link);
    }
}

void THTTPGet::Completed(const TFetchLink &link, TFetchCompletion &completion)
{
    if (m_link.get() != &link)
        return;
    // A stop request decides, even when the fetch set its outcome after it.
    const bool stopped = link.StopRequested.load();
    const bool success = completion.success && link.Outcome.load() && !stopped;
    m_record = std::move(completion.record);
    if (stopped)
        m_record.reason = FetchFailure::Cancelled;
    const std::shared_ptr<TFetchLink> keep = std::move(m_link);
    // The handlers are copies: a handler may delete this component, and with
    // it the members they were copied from.
    if (success && completion.toFile) {
        if (const TOnDoneFileEvent handler = OnDoneFile)
            handler(this, completion.targetFile, completion.totalSize);
    } else if (success) {
        if (const TOnDoneStringEvent handler = OnDoneString)
            handler(this, completion.body);
    } else if (const TNotifyEvent handler = OnError) {
        handler(this);
    }
}
