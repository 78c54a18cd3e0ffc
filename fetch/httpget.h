#pragma once

#include "fetch/fetchrequest.h"
#include "fetch/fetchresult.h"
#include "fetch/httpgetthread.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class THTTPGet;

using TOnDoneFileEvent = std::function<void(THTTPGet *Sender, const QString &FileName, qint32 FileSize)>;
using TOnDoneStringEvent = std::function<void(THTTPGet *Sender, const QByteArray &Result)>;
using TNotifyEvent = std::function<void(THTTPGet *Sender)>;

// Fetches one address into a byte string and reports the outcome on the
// application's thread: exactly one OnDoneString (the body, as received) or
// OnError per started fetch, unless the component is destroyed first. A
// handler may delete its Sender; nothing touches the component after a
// handler has returned.
//
// The settings (THTTPGetSettings) are plain values, copied when FetchString
// starts a fetch; the completion handlers are read when the completion is
// reported. An event whose handler is empty is not raised. The setting Engine
// chooses what carries the fetch out: a worker thread of its own (the
// default), or the shared engine that runs many fetches on one thread.
//
// Components live on the application's thread (a QCoreApplication must
// exist). Each engine caps the fetches it runs at once (TFetchGate for the
// worker threads); later ones wait in order. A fetch whose component is
// destroyed is woken and stops at once; THTTPGetThread::WaitForAll lets
// shutdown wait for the last ones.
class THTTPGet : public QObject, public THTTPGetSettings
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(THTTPGet)

public:
    explicit THTTPGet(QObject *AOwner);
    // Cancels a running fetch and detaches it: it then raises no event, ever.
    ~THTTPGet() override;

    // Starts a fetch of URL unless one is running. On its own thread (Engine
    // OwnThread) it then processes the application's pending events, so
    // that handlers of this and other fetches may run before it returns, and
    // may delete this component. On the shared engine it returns at once and
    // runs nothing: that engine's fetches are started in numbers by a queue
    // that runs from the event loop, and each start would nest handlers in
    // the queue and cost a pass over the event sources.
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
    // The fetch of link has ended, on the application's thread.
    void Completed(const TFetchLink &link, TFetchCompletion &completion);

    // The running fetch; the component is busy while it holds one.
    std::shared_ptr<TFetchLink> m_link;
    FetchEngine m_engine = FetchEngine::OwnThread; // the engine of the running fetch
    FetchResult m_record;
};
