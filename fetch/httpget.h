#pragma once

#include "fetch/fetchresult.h"
#include "fetch/httpgetthread.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

using TOnDoneFileEvent = std::function<void(THTTPGet *Sender, const QString &FileName, qint32 FileSize)>;
using TOnDoneStringEvent = std::function<void(THTTPGet *Sender, const QByteArray &Result)>;
using TNotifyEvent = std::function<void(THTTPGet *Sender)>;

// Fetches one address into a byte string on a worker thread of its own and
// reports the outcome on the application's thread: exactly one OnDoneString
// (the body, as received) or OnError per started fetch, unless the component
// is destroyed first. A handler may delete its Sender; nothing touches the
// component after a handler has returned.
//
// The settings (THTTPGetSettings) are plain values, copied when FetchString
// starts a fetch; the completion handlers are read when the completion is
// reported. An event whose handler is empty is not raised.
//
// Components live on the application's thread (a QCoreApplication must
// exist). At most TFetchGate's cap of fetches run at once; later ones wait in
// order. A worker whose component is destroyed is woken and stops at once;
// THTTPGetThread::WaitForAll lets shutdown wait for the last ones.
class THTTPGet : public QObject, public THTTPGetSettings
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(THTTPGet)

public:
    explicit THTTPGet(QObject *AOwner);
    // Cancels a running fetch and detaches it: it then raises no event, ever.
    ~THTTPGet() override;

    // Starts a fetch of URL unless one is running, then processes the
    // application's pending events (so handlers of this and other fetches
    // may run before it returns, and may delete this component).
    void FetchString();
    // Asks the running fetch to stop; its completion still comes, as OnError.
    void Cancel();
    bool Busy() const { return m_link != nullptr; }
    // The record of the last completed fetch: valid inside its OnDoneString
    // and OnError handlers and until the next fetch starts.
    const FetchResult &FetchRecord() const { return m_record; }

    TOnDoneFileEvent OnDoneFile;
    TOnDoneStringEvent OnDoneString;
    TNotifyEvent OnError;

private:
    friend class THTTPGetThread;
    friend class TFetchGate;

    // The worker's completion, on the application's thread.
    void WorkerDone(const THTTPGetThread &worker);
    // The completion of a fetch that never got a worker: stopped while it
    // waited, or never given the resources.
    void ReportUnstarted(const std::shared_ptr<TFetchLink> &link, FetchFailure reason);

    // The running fetch; the component is busy while it holds one.
    std::shared_ptr<TFetchLink> m_link;
    FetchResult m_record;
};
