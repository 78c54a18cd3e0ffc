#include "fetch/httpget.h"

#include "base/guard.h"
#include "fetch/fetchgate.h"
#include "fetch/mainthreadcall.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QMetaObject>
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
        Cancel();
        m_link->Owner = nullptr;
        m_link->Detached.store(true);
    }
}

void THTTPGet::FetchString()
{
    if (!m_link) {
        initialiseClient();
        TPendingFetch fetch;
        fetch.settings = *this;
        // The completion is attached before the worker starts, so that a
        // worker that ends at once is never unreported.
        fetch.link = std::make_shared<TFetchLink>();
        fetch.link->Owner = this;
        m_link = fetch.link;
        m_record = FetchResult {};
        // It starts now, or waits in order for a slot.
        TFetchGate::Submit(std::move(fetch));
        // Nothing of the component is read once events run: a handler may
        // have deleted it.
        if (WaitThread)
            processPendingEvents();
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
        if (TFetchGate::Withdraw(m_link.get()))
            ReportUnstarted(m_link, FetchFailure::Cancelled);
        else
            THTTPGetThread::Wake(*m_link);
    }
}

void THTTPGet::WorkerDone(const THTTPGetThread &worker)
{
    // A stop request decides, even when the worker set its outcome after it.
    const bool success = worker.Outcome() && !m_link->StopRequested.load();
    const bool toFile = worker.ToFile();
    m_record = worker.Record();
    if (m_link->StopRequested.load())
        m_record.reason = FetchFailure::Cancelled;
    m_link.reset();
    // The handlers are copies: a handler may delete this component, and with
    // it the members they were copied from.
    if (success && toFile) {
        if (const TOnDoneFileEvent handler = OnDoneFile)
            handler(this, worker.TargetFile(), worker.TotalSize());
    } else if (success) {
        if (const TOnDoneStringEvent handler = OnDoneString)
            handler(this, worker.Result());
    } else if (const TNotifyEvent handler = OnError) {
        handler(this);
    }
}

void THTTPGet::ReportUnstarted(const std::shared_ptr<TFetchLink> &link, FetchFailure reason)
{
    // Reported from the event processing like any other completion, never
    // from inside FetchString's own start.
    const std::weak_ptr<TFetchLink> started = link;
    QMetaObject::invokeMethod(
        this, [this, started, reason] {
            if (!m_link || m_link != started.lock())
                return;
            m_link.reset();
            m_record = FetchResult {};
            m_record.finalUrl = URL;
            m_record.reason = reason;
            if (const TNotifyEvent handler = OnError)
                guard::run([&] { handler(this); });
        },
        Qt::QueuedConnection);
}
