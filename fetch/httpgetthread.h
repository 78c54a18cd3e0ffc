#pragma once

#include "fetch/fetchresult.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QtGlobal>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>

class THTTPGet;
class THTTPGetThread;

using TOnProgressEvent = std::function<void(THTTPGetThread *Sender, qint32 TotalSize, qint32 Readed)>;

// An address cut into what the connection needs. Only "http://" and
// "https://" (any letter case) are taken as schemes; anything else stays part
// of the host.
struct TSplitURL
{
    bool Secure = false;
    QString Host;
    QString PortText; // as written, or the scheme's default when none is
    int Port = 80; // 0 when PortText is a number that names no port
    QString Path; // from the first "/", query and fragment included
};

TSplitURL SplitURL(const QString &url);

// The detail of a fetch that RedirectsStayOnHost stopped.
QString RedirectElsewhereText();

// The request target sent for a path: the UTF-8 form with every byte that
// cannot stand in a request target percent-encoded (control bytes, space,
// DEL, "#", non-ASCII). "%" and the rest pass unchanged, so that a server
// which decodes the target sees exactly the text of the address.
QByteArray requestTarget(const QString &path);

// The settings of a fetch: the component's properties, which the worker
// gets a copy of when the fetch starts, so that later changes do not reach a
// running fetch. The worker reads only its copy, never the component.
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
};

// What a component and its worker share while a fetch runs. The
// application's thread sets StopRequested and Detached and the worker reads
// them; Outcome is written by both (Cancel, and the worker at its end).
// Owner is read and written on the application's thread only.
struct TFetchLink
{
    std::atomic<bool> StopRequested {false};
    std::atomic<bool> Outcome {false};
    std::atomic<bool> Detached {false};
    THTTPGet *Owner = nullptr;
    // The waiting worker's libcurl multi handle, which a stop wakes; guarded
    // by the workers' wake lock, null while no worker waits.
    void *Waker = nullptr;
};

// A fetch as its worker starts it; kept while it waits for a slot, and again
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

// One fetch on a thread of its own, over one libcurl easy handle. It
// releases itself after its completion has been reported, or found to have
// no one to report to.
class THTTPGetThread final
{
public:
    Q_DISABLE_COPY_MOVE(THTTPGetThread)

    // Creates a worker with a copy of fetch, stopped, and then starts it on a
    // thread of its own, holding a slot of TFetchGate that it gives back when
    // it ends; the caller has attached itself to the link before. Returns
    // false when no thread could be started: nothing runs then and nothing
    // will be reported. toFile is kept for the completion only: no fetch
    // writes a file.
    static bool Launch(const TPendingFetch &fetch);
    // Wakes the worker of link, if one waits, to look at its stop request.
    static void Wake(TFetchLink &link);

    // Read by the completion on the application's thread while the worker
    // waits for it to return.
    bool Outcome() const { return m_link->Outcome.load(); }
    bool ToFile() const { return m_toFile; }
    const QString &TargetFile() const { return m_settings.FileName; }
    qint32 TotalSize() const { return m_totalSize; }
    const QByteArray &Result() const { return m_result; }
    // What the fetch found out; complete once the worker has ended.
    const FetchResult &Record() const { return m_record; }

    // Workers not yet released, in the whole process.
    static int LiveCount();
    // Processes the application's events until every worker has been
    // released, or the time is up.
    static bool WaitForAll(int timeoutMs);
    // For the end of the application: stops every worker, reports nothing
    // more, and waits (without running events) until all have been released
    // or the time is up. Fetches started afterwards run normally.
    static bool StopAll(int timeoutMs);

private:
    struct Transfer;

    explicit THTTPGetThread(const TPendingFetch &fetch);
    ~THTTPGetThread();

    void Run();
    bool Fetch();
    // Decides the outcome of an ended transfer and records its reason.
    bool Verdict(const Transfer &transfer, int curlResult, long osErrno, bool idle, const char *errorText);
    // Drives libcurl's transfer until it ends, is stopped or falls idle;
    // false when the multi interface itself failed.
    bool RunTransfer(void *multi, Transfer &transfer, bool *idle);
    // Records why the fetch failed; returns false, for the caller to return.
    bool Fail(FetchFailure reason, const QString &detail = {});
    bool StopRequested() const;
    // Runs call with the component on the application's thread, unless the
    // component has been destroyed, and waits for it.
    void CallOwner(const std::function<void(THTTPGet &owner)> &call);

    THTTPGetSettings m_settings;
    bool m_toFile;
    TPendingFetch::Clock::time_point m_startedAt;
    std::shared_ptr<TFetchLink> m_link;
    QByteArray m_result;
    qint32 m_totalSize = 0;
    qint32 m_received = 0;
    FetchResult m_record;
};
