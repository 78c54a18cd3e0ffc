#pragma once

#include "fetch/fetchresult.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QtGlobal>

#include <atomic>
#include <chrono>
#include <functional>
#include <list>
#include <memory>

class THTTPGetThread;

using TOnProgressEvent = std::function<void(THTTPGetThread *Sender, qint32 TotalSize, qint32 Readed)>;

// Which engine carries a fetch out.
enum class FetchEngine {
    // A thread of its own for each fetch, marshalling its completion (and its
    // progress) synchronously to the application's thread.
    OwnThread,
    // Many fetches on one thread through one libcurl multi handle, with
    // connections and looked-up names kept for later fetches; completions
    // reach the application's thread in batches. Raises no progress.
    Shared,
};

// The settings of a fetch: the component's properties, which the fetch gets
// a copy of when it starts, so that later changes do not reach a running
// fetch. The fetch reads only its copy, never the component.
struct THTTPGetSettings
{
    QString AcceptTypes = QStringLiteral("*/*");
    QString Agent = QStringLiteral("Brevicor HTTPGet"); // empty: no user agent is sent
    QString URL; // "http://" or "https://", or a bare host and path
    QString FileName;
    QString UserName;
    QString Password;
    QString PostQuery; // empty: GET; otherwise the form-encoded body of a POST
    QString Referer;
    // Further request headers, each a whole line "Name: value".
    QList<QByteArray> ExtraHeaders;
    bool BinaryData = false;
    bool UseCache = false; // the client keeps no cache, so every fetch is fresh
    bool WaitThread = false; // read by FetchString itself
    // Reading stops here; the part received counts as the body.
    qint32 MaxBodySize = 16 * 1024 * 1024;
    // A connection (the TLS handshake included) not made within this fails.
    int ConnectTimeoutMs = 60000;
    // A transfer that receives nothing for this long ends there.
    int IdleTimeoutMs = 60000;
    // A fetch not completed this long after it started fails, whatever
    // arrived.
    int RequestTimeoutMs = 120000;
    // PEM file of the certificates trusted for https; empty: the system's.
    QString TrustedCertificates;
    // Redirects are followed only to the host of URL: a redirect to any
    // other host fails the fetch (Other, detail RedirectElsewhereText())
    // before a request goes there, so that ExtraHeaders carrying a secret
    // reach no one else.
    bool RedirectsStayOnHost = false;
    TOnProgressEvent OnProgress;
    FetchEngine Engine = FetchEngine::OwnThread;
};

// The detail of a fetch that RedirectsStayOnHost stopped.
QString RedirectElsewhereText();

// What a fetch hands over when it has ended.
struct TFetchCompletion
{
    bool success = false;
    bool toFile = false;
    QString targetFile;
    qint32 totalSize = 0; // the announced length
    QByteArray body;
    FetchResult record;
};

// What a component and its fetch share while the fetch runs. The
// application's thread sets StopRequested and Detached and the engine reads
// them; Outcome is written by both (Cancel, and the fetch at its end).
struct TFetchLink
{
    std::atomic<bool> StopRequested {false};
    std::atomic<bool> Outcome {false};
    std::atomic<bool> Detached {false};
    // The component's end of the link, set before the fetch starts and
    // cleared when the component is destroyed; read, called and cleared on
    // the application's thread only. Every engine reports through it, once.
    std::function<void(TFetchCompletion &)> Report;
    // The waiting worker's libcurl multi handle, which a stop wakes; guarded
    // by the workers' wake lock, null while no worker waits.
    void *Waker = nullptr;
};

// A fetch as its engine starts it; kept while it waits for a slot, and again
// when it waits to be tried anew.
struct TPendingFetch
{
    using Clock = std::chrono::steady_clock;

    THTTPGetSettings settings;
    bool toFile = false;
    std::shared_ptr<TFetchLink> link;
    // When it first got a slot; the whole-request limit and the elapsed
    // time run from here. Unset until then.
    Clock::time_point startedAt {};
    // A fetch waiting to be tried anew starts no earlier than this.
    Clock::time_point notBefore {};
};

// One fetch in a list of its own. Between the queue and an engine a fetch
// moves by splicing its node, which allocates nothing: a fetch that ran
// short of memory can always go back to wait.
using TFetchNode = std::list<TPendingFetch>;
