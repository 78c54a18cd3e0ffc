#include "fetch/httpgetthread.h"

#include "base/textutil.h"
#include "fetch/fetchgate.h"
#include "fetch/hostresolver.h"
#include "fetch/httpget.h"
#include "fetch/mainthreadcall.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QScopeGuard>

#include <curl/curl.h>

#include <arpa/inet.h>
#include <pthread.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <ctime>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// The body is taken in blocks of this size; each block is one progress call.
constexpr qint32 kBlockSize = 1025;
constexpr char kFormHeader[] = "Content-Type: application/x-www-form-urlencoded";
static_assert(sizeof(kFormHeader) - 1 == 47);
// The longest single wait of a worker with no timer of its own running;
// libcurl shortens it to its own timeouts.
constexpr int kLongestWaitMs = 3600 * 1000;

std::atomic<int> g_liveWorkers {0};
std::atomic<bool> g_stopAll {false};

// The multi handles of the waiting workers, which a stop wakes.
std::mutex g_wakeMutex;
std::vector<CURLM *> g_wakers;

int millisecondsUntil(Clock::time_point when, Clock::time_point now)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(when - now).count();
    return int(std::clamp<qint64>(left, 0, kLongestWaitMs));
}

struct EasyDeleter
{
    void operator()(CURL *h) const { curl_easy_cleanup(h); }
};
struct MultiDeleter
{
    void operator()(CURLM *h) const { curl_multi_cleanup(h); }
};
struct UrlDeleter
{
    void operator()(CURLU *h) const { curl_url_cleanup(h); }
};
struct ListDeleter
{
    void operator()(curl_slist *l) const { curl_slist_free_all(l); }
};
using EasyHandle = std::unique_ptr<CURL, EasyDeleter>;
using MultiHandle = std::unique_ptr<CURLM, MultiDeleter>;
using UrlHandle = std::unique_ptr<CURLU, UrlDeleter>;
using HeaderList = std::unique_ptr<curl_slist, ListDeleter>;

int defaultPort(bool secure)
{
    return secure ? 443 : 80;
}

// Digits with an optional sign, nothing else (no spaces, no base prefix).
bool isWholeDecimal(QByteArrayView text)
{
    if (text.startsWith('+') || text.startsWith('-'))
        text = text.sliced(1);
    return !text.isEmpty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// A port text that is a whole decimal number names that port, or none when
// it is out of range; any other text leaves the scheme's default.
int portFromText(const QString &text, bool secure)
{
    const QByteArray latin = text.toLatin1();
    if (!isWholeDecimal(latin))
        return defaultPort(secure);
    bool ok = false;
    const int value = latin.toInt(&ok, 10);
    return ok && value >= 1 && value <= 65535 ? value : 0;
}

// Text that goes into a header line or the credentials: a line break or
// another control byte there could end the line early.
bool fitsInHeader(const QByteArray &text)
{
    return std::none_of(text.begin(), text.end(), [](char ch) {
        const auto b = static_cast<unsigned char>(ch);
        return (b < 0x20 && b != '\t') || b == 0x7F;
    });
}

// A whole decimal number that fits in a signed 32 bits, nothing else.
bool parseInt32(const QByteArray &text, qint32 *value)
{
    bool ok = false;
    *value = isWholeDecimal(text) ? text.toInt(&ok, 10) : 0;
    return ok;
}

bool appendHeader(HeaderList &list, const QByteArray &line)
{
    curl_slist *grown = curl_slist_append(list.get(), line.constData());
    if (!grown)
        return false;
    (void)list.release();
    list.reset(grown);
    return true;
}

// The status code of a status line ("HTTP/1.1 404 Not Found"); 0 when the
// line has none.
int statusOfLine(const QByteArray &line)
{
    const QList<QByteArray> words = line.simplified().split(' ');
    if (words.size() < 2 || words.at(1).size() != 3)
        return 0;
    bool ok = false;
    const int code = words.at(1).toInt(&ok, 10);
    return ok && code >= 100 ? code : 0;
}

// Retry-After as delta-seconds or as an HTTP date, in seconds from now;
// -1 when it is neither.
int retryAfterSeconds(const QByteArray &value)
{
    const QByteArray text = value.trimmed();
    if (text.isEmpty())
        return -1;
    if (std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        bool ok = false;
        const qlonglong seconds = text.toLongLong(&ok, 10);
        return ok ? int(std::min<qlonglong>(seconds, INT_MAX)) : INT_MAX;
    }
    const time_t when = curl_getdate(text.constData(), nullptr);
    if (when == -1)
        return -1;
    return int(std::clamp<qint64>(qint64(when) - qint64(std::time(nullptr)), 0, INT_MAX));
}

// An address written as numbers, which needs no lookup.
bool isNumericAddress(const QByteArray &host)
{
    in_addr v4 {};
    in6_addr v6 {};
    const QByteArray bare = host.startsWith('[') && host.endsWith(']') ? host.mid(1, host.size() - 2) : host;
    return inet_pton(AF_INET, bare.constData(), &v4) == 1 || inet_pton(AF_INET6, bare.constData(), &v6) == 1;
}

// errno values that say this machine, not the peer, ran short.
bool isResourceErrno(long error)
{
    return error == EMFILE || error == ENFILE || error == ENOBUFS || error == ENOMEM;
}

// The reason of a transfer that libcurl ended with result, errno being the
// system's error of its last socket call.
FetchFailure failureOf(CURLcode result, long osErrno, const char *errorText)
{
    switch (result) {
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
        // The threaded resolver fails this way when it cannot start.
        if (std::strstr(errorText, "thread failed to start"))
            return FetchFailure::Resources;
        return FetchFailure::NameNotResolved;
    case CURLE_COULDNT_CONNECT:
        if (isResourceErrno(osErrno))
            return FetchFailure::Resources;
        if (osErrno == ETIMEDOUT)
            return FetchFailure::TimedOut;
        return osErrno == 0 || osErrno == ECONNREFUSED ? FetchFailure::ConnectionRefused : FetchFailure::Other;
    case CURLE_OPERATION_TIMEDOUT:
        return FetchFailure::TimedOut;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS:
    case CURLE_SSL_CRL_BADFILE:
    case CURLE_SSL_ENGINE_NOTFOUND:
    case CURLE_SSL_ENGINE_SETFAILED:
    case CURLE_SSL_ENGINE_INITFAILED:
    case CURLE_SSL_SHUTDOWN_FAILED:
    case CURLE_SSL_CLIENTCERT:
    case CURLE_USE_SSL_FAILED:
        return FetchFailure::Tls;
    case CURLE_TOO_MANY_REDIRECTS:
        return FetchFailure::TooManyRedirects;
    case CURLE_GOT_NOTHING:
    case CURLE_OK:
        return FetchFailure::EmptyBody;
    case CURLE_FILESIZE_EXCEEDED:
        return FetchFailure::SizeLimit;
    case CURLE_OUT_OF_MEMORY:
        return FetchFailure::Resources;
    case CURLE_ABORTED_BY_CALLBACK:
        return FetchFailure::Cancelled;
    default:
        return FetchFailure::Other;
    }
}

} // namespace

TSplitURL SplitURL(const QString &url)
{
    TSplitURL parts;
    QString rest = url;
    if (startsWithAsciiNoCase(url, u"http://")) {
        rest = url.mid(7);
    } else if (startsWithAsciiNoCase(url, u"https://")) {
        rest = url.mid(8);
        parts.Secure = true;
    }
    const qsizetype slash = rest.indexOf(u'/');
    const QString hostPart = slash < 0 ? rest : rest.left(slash);
    parts.Path = slash < 0 ? QStringLiteral("/") : rest.mid(slash);
    const qsizetype colon = hostPart.indexOf(u':');
    if (colon < 0) {
        parts.Host = hostPart;
        parts.PortText = QString::number(defaultPort(parts.Secure));
    } else {
        parts.Host = hostPart.left(colon);
        parts.PortText = hostPart.mid(colon + 1);
    }
    parts.Port = portFromText(parts.PortText, parts.Secure);
    return parts;
}

QString RedirectElsewhereText()
{
    return QStringLiteral("重定向到其他主机，未跟随");
}

QByteArray requestTarget(const QString &path)
{
    static const char hex[] = "0123456789ABCDEF";
    const QByteArray bytes = path.toUtf8();
    QByteArray target;
    target.reserve(bytes.size());
    for (const char ch : bytes) {
        const auto b = static_cast<unsigned char>(ch);
        if (b <= 0x20 || b == '#' || b >= 0x7F) {
            target += '%';
            target += hex[b >> 4];
            target += hex[b & 0xF];
        } else {
            target += ch;
        }
    }
    return target;
}

// The state of one libcurl transfer, reached from its callbacks. Nothing
// may be thrown through libcurl: a failure in a callback ends the transfer
// and fails the fetch.
struct THTTPGetThread::Transfer
{
    explicit Transfer(THTTPGetThread &w)
        : worker(w)
    {
    }

    static size_t onHeader(char *data, size_t size, size_t count, void *self);
    static size_t onBody(char *data, size_t size, size_t count, void *self);
    static int onRequest(void *self, char *, char *, int, int);
    static curl_socket_t onOpenSocket(void *self, curlsocktype purpose, curl_sockaddr *address);

    bool header(const QByteArray &line);
    // True when the request about to go (the first, or one a redirect
    // leads to) is for host.
    bool asksOwnHost() const;
    bool body(const char *data, size_t n);
    bool checkLength();
    bool idleTooLong(Clock::time_point now) const;

    THTTPGetThread &worker;
    // Retry-After of the reply being read.
    QByteArray retryAfter;
    // Content-Type of the reply being read.
    QByteArray contentType;
    // The body stopped at the size limit.
    bool limitReached = false;
    // Why the last socket could not be made; libcurl does not say.
    int socketErrno = 0;
    // The Content-Length of the reply being read; a new status line
    // (an interim reply, a redirect) starts over.
    bool haveLength = false;
    QByteArray lengthText;
    bool lengthChecked = false;
    // A failure of the run: the fetch fails whatever body arrived, for
    // failure's reason (and failureDetail, when set).
    bool failed = false;
    FetchFailure failure = FetchFailure::Other;
    QString failureDetail;
    // For RedirectsStayOnHost: the transfer, and the host it may ask.
    void *easy = nullptr;
    QByteArray host;
    // The idle clock runs from the moment a request is about to go.
    bool requesting = false;
    Clock::time_point lastActivity;
};

size_t THTTPGetThread::Transfer::onHeader(char *data, size_t size, size_t count, void *self)
{
    auto &t = *static_cast<Transfer *>(self);
    const size_t n = size * count;
    try {
        return t.header(QByteArray::fromRawData(data, static_cast<qsizetype>(n))) ? n : 0;
    } catch (...) {
        t.failed = true;
        return 0;
    }
}

size_t THTTPGetThread::Transfer::onBody(char *data, size_t size, size_t count, void *self)
{
    auto &t = *static_cast<Transfer *>(self);
    const size_t n = size * count;
    try {
        return t.body(data, n) ? n : CURL_WRITEFUNC_ERROR;
    } catch (...) {
        t.failed = true;
        return CURL_WRITEFUNC_ERROR;
    }
}

int THTTPGetThread::Transfer::onRequest(void *self, char *, char *, int, int)
{
    auto &t = *static_cast<Transfer *>(self);
    if (t.worker.StopRequested())
        return CURL_PREREQFUNC_ABORT;
    if (t.worker.m_settings.RedirectsStayOnHost && !t.asksOwnHost()) {
        t.failed = true;
        t.failure = FetchFailure::Other;
        t.failureDetail = RedirectElsewhereText();
        return CURL_PREREQFUNC_ABORT;
    }
    t.requesting = true;
    t.lastActivity = Clock::now();
    return CURL_PREREQFUNC_OK;
}

bool THTTPGetThread::Transfer::asksOwnHost() const
{
    const char *effective = nullptr;
    if (curl_easy_getinfo(static_cast<CURL *>(easy), CURLINFO_EFFECTIVE_URL, &effective) != CURLE_OK || !effective)
        return false;
    UrlHandle url(curl_url());
    char *part = nullptr;
    if (!url || curl_url_set(url.get(), CURLUPART_URL, effective, 0) != CURLUE_OK
        || curl_url_get(url.get(), CURLUPART_HOST, &part, 0) != CURLUE_OK)
        return false;
    const bool same = QByteArray(part).compare(host, Qt::CaseInsensitive) == 0;
    curl_free(part);
    return same;
}

curl_socket_t THTTPGetThread::Transfer::onOpenSocket(void *self, curlsocktype, curl_sockaddr *address)
{
    auto &t = *static_cast<Transfer *>(self);
    const curl_socket_t fd = ::socket(address->family, address->socktype | SOCK_CLOEXEC, address->protocol);
    t.socketErrno = fd == CURL_SOCKET_BAD ? errno : 0;
    return fd;
}

bool THTTPGetThread::Transfer::header(const QByteArray &line)
{
    if (worker.StopRequested())
        return false;
    lastActivity = Clock::now();
    if (line.startsWith("HTTP/")) {
        haveLength = false;
        lengthText.clear();
        retryAfter.clear();
        contentType.clear();
        // Interim replies (100 Continue) are not hops of their own.
        const int code = statusOfLine(line);
        if (code >= 200)
            worker.m_record.hops.append(code);
    } else if (line.left(12).compare("retry-after:", Qt::CaseInsensitive) == 0) {
        retryAfter = line.mid(12);
    } else if (line.left(13).compare("cf-mitigated:", Qt::CaseInsensitive) == 0) {
        // Any reply of the chain: a wall in front of a redirect hides the
        // page as much as one in front of the page.
        if (line.mid(13).trimmed().compare("challenge", Qt::CaseInsensitive) == 0)
            worker.m_record.challenged = true;
    } else if (line.left(13).compare("content-type:", Qt::CaseInsensitive) == 0) {
        contentType = line.mid(13).trimmed();
    } else if (!haveLength && line.left(15).compare("content-length:", Qt::CaseInsensitive) == 0) {
        haveLength = true;
        lengthText = line.mid(15).trimmed();
    }
    return true;
}

// Takes what arrived block by block, as a reader with a block-sized buffer
// would, with a stop check before and a progress call after every block.
bool THTTPGetThread::Transfer::body(const char *data, size_t n)
{
    THTTPGetThread &w = worker;
    size_t offset = 0;
    while (offset < n) {
        if (w.StopRequested() || !checkLength())
            return false;
        const qint32 room = w.m_settings.MaxBodySize - w.m_received;
        if (room <= 0) {
            limitReached = true;
            return false; // the limit: what arrived is the body
        }
        const auto block = static_cast<qint32>(std::min<size_t>(n - offset, static_cast<size_t>(std::min(kBlockSize, room))));
        w.m_result.append(data + offset, block);
        w.m_received += block;
        offset += static_cast<size_t>(block);
        lastActivity = Clock::now();
        if (w.m_settings.OnProgress)
            w.CallOwner([&w](THTTPGet &) { w.m_settings.OnProgress(&w, w.m_totalSize, w.m_received); });
    }
    return true;
}

// The announced length is read once, from the reply whose body is read.
bool THTTPGetThread::Transfer::checkLength()
{
    if (lengthChecked)
        return !failed;
    lengthChecked = true;
    if (haveLength && !parseInt32(lengthText, &worker.m_totalSize)) {
        failed = true;
        // A length too large to hold is a limit; anything else is no length.
        failure = isWholeDecimal(lengthText) ? FetchFailure::SizeLimit : FetchFailure::Other;
    }
    return !failed;
}

bool THTTPGetThread::Transfer::idleTooLong(Clock::time_point now) const
{
    return requesting && now - lastActivity > std::chrono::milliseconds(worker.m_settings.IdleTimeoutMs);
}

THTTPGetThread::THTTPGetThread(const TPendingFetch &fetch)
    : m_settings(fetch.settings)
    , m_toFile(fetch.toFile)
    , m_startedAt(fetch.startedAt)
    , m_link(fetch.link)
{
    g_liveWorkers.fetch_add(1);
}

THTTPGetThread::~THTTPGetThread()
{
    g_liveWorkers.fetch_sub(1);
}

bool THTTPGetThread::Launch(const TPendingFetch &fetch)
{
    auto *worker = new THTTPGetThread(fetch);
    try {
        std::thread([worker] { worker->Run(); }).detach();
        return true;
    } catch (const std::system_error &) {
        delete worker;
        return false;
    }
}

void THTTPGetThread::Wake(TFetchLink &link)
{
    std::lock_guard<std::mutex> lock(g_wakeMutex);
    if (link.Waker)
        curl_multi_wakeup(static_cast<CURLM *>(link.Waker));
}

int THTTPGetThread::LiveCount()
{
    return g_liveWorkers.load();
}

bool THTTPGetThread::WaitForAll(int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (LiveCount() > 0 || TFetchGate::Waiting() > 0) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

bool THTTPGetThread::StopAll(int timeoutMs)
{
    g_stopAll.store(true);
    TFetchGate::DropWaiting();
    {
        std::lock_guard<std::mutex> lock(g_wakeMutex);
        for (CURLM *multi : g_wakers)
            curl_multi_wakeup(multi);
    }
    fetchcall::close();
    const QDeadlineTimer deadline(timeoutMs);
    while (LiveCount() > 0 && !deadline.hasExpired())
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    const bool allReleased = LiveCount() == 0;
    if (allReleased)
        g_stopAll.store(false);
    return allReleased;
}

bool THTTPGetThread::StopRequested() const
{
    return m_link->StopRequested.load() || g_stopAll.load();
}

void THTTPGetThread::CallOwner(const std::function<void(THTTPGet &owner)> &call)
{
    if (m_link->Detached.load())
        return;
    fetchcall::callOnMainThread([this, &call] {
        if (THTTPGet *owner = m_link->Owner)
            call(*owner);
    });
}

bool THTTPGetThread::Fail(FetchFailure reason, const QString &detail)
{
    m_record.reason = reason;
    m_record.detail = detail;
    return false;
}

void THTTPGetThread::Run()
{
    // Named, so that a look at the process tells the fetches apart.
    pthread_setname_np(pthread_self(), "prq-fetch");
    bool ok = false;
    try {
        ok = Fetch();
    } catch (const std::bad_alloc &) {
        ok = Fail(FetchFailure::Resources);
    } catch (...) {
        ok = Fail(FetchFailure::Other); // a failure of the run never leaves the worker
    }
    if (StopRequested()) {
        ok = false;
        m_record.reason = FetchFailure::Cancelled;
    }
    m_record.elapsedMs = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - m_startedAt).count();
    // Running short here says nothing about the address: the fetch waits
    // for another to end and is tried anew.
    const bool retried = m_record.reason == FetchFailure::Resources
        && TFetchGate::Retry(TPendingFetch {m_settings, m_toFile, m_link, m_startedAt, {}});
    if (!retried) {
        m_link->Outcome.store(ok);
        CallOwner([this](THTTPGet &owner) { owner.WorkerDone(*this); });
    }
    delete this;
    TFetchGate::Release(!retried);
}

bool THTTPGetThread::Fetch()
{
    const TSplitURL parts = SplitURL(m_settings.URL);
    m_record.finalUrl = m_settings.URL;
    if (StopRequested())
        return Fail(FetchFailure::Cancelled);
    if (parts.Port == 0)
        return Fail(FetchFailure::Other, QStringLiteral("端口无效"));

    const QByteArray agent = m_settings.Agent.toUtf8();
    const QByteArray referer = m_settings.Referer.toUtf8();
    const QByteArray accept = m_settings.AcceptTypes.toUtf8();
    const QByteArray user = m_settings.UserName.toUtf8();
    const QByteArray password = m_settings.Password.toUtf8();
    const QByteArray body = m_settings.PostQuery.toUtf8();
    if (!fitsInHeader(agent) || !fitsInHeader(referer) || !fitsInHeader(accept)
        || !fitsInHeader(user) || !fitsInHeader(password))
        return Fail(FetchFailure::Other, QStringLiteral("请求头含控制字符"));

    // The host is checked on its own, so that nothing in it can pass for
    // another part of an address. The whole address is then parsed as it
    // stands: a path set on its own would have its escapes rewritten.
    const QByteArray host = parts.Host.toUtf8();
    UrlHandle hostCheck(curl_url());
    if (!hostCheck)
        return Fail(FetchFailure::Resources);
    if (curl_url_set(hostCheck.get(), CURLUPART_HOST, host.constData(), 0) != CURLUE_OK)
        return Fail(FetchFailure::Other, QStringLiteral("主机名无效"));
    const QByteArray address = (parts.Secure ? "https://" : "http://") + host + ':'
        + QByteArray::number(parts.Port) + requestTarget(parts.Path);
    HeaderList pinned;
    if (!isNumericAddress(host)) {
        const HostResolver::Answer answer = HostResolver::current()->resolve(parts.Host);
        if (answer.kind == HostResolver::Answer::Kind::NotFound)
            return Fail(FetchFailure::NameNotResolved, QStringLiteral("未找到主机 ") + parts.Host);
        if (answer.kind == HostResolver::Answer::Kind::Address
            && !appendHeader(pinned, host + ':' + QByteArray::number(parts.Port) + ':' + answer.address))
            return Fail(FetchFailure::Resources);
    }
    // The whole-request limit runs from the first start, across tries.
    const Clock::time_point deadline = m_startedAt + std::chrono::milliseconds(std::max(1, m_settings.RequestTimeoutMs));
    if (Clock::now() >= deadline)
        return Fail(FetchFailure::TimedOut);
    UrlHandle url(curl_url());
    if (!url)
        return Fail(FetchFailure::Resources);
    if (curl_url_set(url.get(), CURLUPART_URL, address.constData(), CURLU_PATH_AS_IS) != CURLUE_OK)
        return Fail(FetchFailure::Other, QStringLiteral("网址无效"));

    const bool post = !body.isEmpty();
    HeaderList headers;
    if (!appendHeader(headers, accept.isEmpty() ? QByteArray("Accept:") : "Accept: " + accept))
        return Fail(FetchFailure::Resources);
    for (const QByteArray &line : m_settings.ExtraHeaders) {
        if (!fitsInHeader(line))
            return Fail(FetchFailure::Other, QStringLiteral("请求头含控制字符"));
        if (!appendHeader(headers, line))
            return Fail(FetchFailure::Resources);
    }
    if (post && (!appendHeader(headers, kFormHeader) || !appendHeader(headers, "Expect:")))
        return Fail(FetchFailure::Resources);

    // Declared before the handles, so that it outlives every callback.
    Transfer transfer(*this);
    EasyHandle easy(curl_easy_init());
    MultiHandle multi(curl_multi_init());
    if (!easy || !multi)
        return Fail(FetchFailure::Resources);
    CURL *h = easy.get();
    char errorText[CURL_ERROR_SIZE] = {};
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, errorText);
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    // A stopped fetch does not wait for a name lookup still under way.
    curl_easy_setopt(h, CURLOPT_QUICK_EXIT, 1L);
    curl_easy_setopt(h, CURLOPT_CURLU, url.get());
    curl_easy_setopt(h, CURLOPT_PATH_AS_IS, 1L);
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
    // A proxy's answer to CONNECT is no reply of the site's: it is no hop.
    curl_easy_setopt(h, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
    curl_easy_setopt(h, CURLOPT_MAXREDIRS, 10L);
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(std::max(1, m_settings.ConnectTimeoutMs)));
    curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, static_cast<long>(std::max(1, millisecondsUntil(deadline, Clock::now()))));
    if (pinned)
        curl_easy_setopt(h, CURLOPT_RESOLVE, pinned.get());
    curl_easy_setopt(h, CURLOPT_BUFFERSIZE, static_cast<long>(kBlockSize));
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers.get());
    if (!agent.isEmpty())
        curl_easy_setopt(h, CURLOPT_USERAGENT, agent.constData());
    if (!referer.isEmpty())
        curl_easy_setopt(h, CURLOPT_REFERER, referer.constData());
    if (!user.isEmpty() || !password.isEmpty()) {
        curl_easy_setopt(h, CURLOPT_USERNAME, user.constData());
        curl_easy_setopt(h, CURLOPT_PASSWORD, password.constData());
        curl_easy_setopt(h, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_BASIC | CURLAUTH_DIGEST));
    }
    if (post) {
        curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
        curl_easy_setopt(h, CURLOPT_POSTFIELDS, body.constData());
    }
    const QByteArray trusted = QFile::encodeName(m_settings.TrustedCertificates);
    if (!trusted.isEmpty()) {
        curl_easy_setopt(h, CURLOPT_CAINFO, trusted.constData());
        curl_easy_setopt(h, CURLOPT_CAPATH, nullptr);
    }
    curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, &Transfer::onHeader);
    curl_easy_setopt(h, CURLOPT_HEADERDATA, &transfer);
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &Transfer::onBody);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &transfer);
    transfer.easy = h;
    transfer.host = host;
    curl_easy_setopt(h, CURLOPT_PREREQFUNCTION, &Transfer::onRequest);
    curl_easy_setopt(h, CURLOPT_PREREQDATA, &transfer);
    curl_easy_setopt(h, CURLOPT_OPENSOCKETFUNCTION, &Transfer::onOpenSocket);
    curl_easy_setopt(h, CURLOPT_OPENSOCKETDATA, &transfer);

    // A stop wakes the worker through the multi handle; without the socket
    // pair that needs, the machine is short of descriptors.
    if (curl_multi_wakeup(multi.get()) != CURLM_OK)
        return Fail(FetchFailure::Resources);
    if (curl_multi_add_handle(multi.get(), h) != CURLM_OK)
        return Fail(FetchFailure::Resources);
    bool idle = false;
    if (!RunTransfer(multi.get(), transfer, &idle))
        transfer.failed = true;
    CURLcode result = CURLE_OK;
    int queued = 0;
    while (CURLMsg *msg = curl_multi_info_read(multi.get(), &queued)) {
        if (msg->msg == CURLMSG_DONE)
            result = msg->data.result;
    }
    long osErrno = transfer.socketErrno;
    if (osErrno == 0)
        curl_easy_getinfo(h, CURLINFO_OS_ERRNO, &osErrno);
    const char *effective = nullptr;
    if (curl_easy_getinfo(h, CURLINFO_EFFECTIVE_URL, &effective) == CURLE_OK && effective)
        m_record.finalUrl = QString::fromUtf8(effective);
    m_record.retryAfterSeconds = retryAfterSeconds(transfer.retryAfter);
    m_record.contentType = QString::fromLatin1(transfer.contentType);
    curl_multi_remove_handle(multi.get(), h);
    return Verdict(transfer, result, osErrno, idle, errorText);
}

// A read error after the first byte ends the body as a close would; only a
// stop, a failure of the run and a redirect loop fail a fetch that has body
// bytes. A body that arrived with a status of 400 or more is still handed
// over (its callers read error pages), with the status as its reason.
bool THTTPGetThread::Verdict(const Transfer &transfer, int curlResult, long osErrno, bool idle, const char *errorText)
{
    const auto result = static_cast<CURLcode>(curlResult);
    const QString detail = QString::fromUtf8(errorText).trimmed();
    if (StopRequested())
        return Fail(FetchFailure::Cancelled);
    if (transfer.failed)
        return Fail(transfer.failure, transfer.failureDetail.isEmpty() ? detail : transfer.failureDetail);
    if (result == CURLE_TOO_MANY_REDIRECTS)
        return Fail(FetchFailure::TooManyRedirects, detail);
    // The whole-request limit (or the connect limit, before any body) fails
    // the fetch whatever arrived.
    if (result == CURLE_OPERATION_TIMEDOUT)
        return Fail(FetchFailure::TimedOut, detail);
    if (m_received > 0) {
        if (m_record.finalStatus() >= 400)
            m_record.reason = FetchFailure::HttpStatus;
        return true;
    }
    if (m_record.finalStatus() >= 400)
        return Fail(FetchFailure::HttpStatus);
    if (idle)
        return Fail(FetchFailure::TimedOut);
    if (transfer.limitReached)
        return Fail(FetchFailure::SizeLimit);
    const FetchFailure reason = failureOf(result, osErrno, errorText);
    return Fail(reason, reason == FetchFailure::EmptyBody ? QString() : detail);
}

bool THTTPGetThread::RunTransfer(void *multiHandle, Transfer &transfer, bool *idle)
{
    auto *multi = static_cast<CURLM *>(multiHandle);
    {
        std::lock_guard<std::mutex> lock(g_wakeMutex);
        m_link->Waker = multi;
        g_wakers.push_back(multi);
    }
    // Under the wake lock, a stop requested before this point is seen by the
    // loop, and one requested after it wakes the wait.
    const auto unregister = qScopeGuard([this, multi] {
        std::lock_guard<std::mutex> lock(g_wakeMutex);
        m_link->Waker = nullptr;
        g_wakers.erase(std::find(g_wakers.begin(), g_wakers.end(), multi));
    });
    int running = 1;
    while (running > 0) {
        if (curl_multi_perform(multi, &running) != CURLM_OK)
            return false;
        // A stop, or a silent server, ends the transfer here: what has
        // arrived so far is all there is.
        if (running == 0 || StopRequested())
            return true;
        const Clock::time_point now = Clock::now();
        if (transfer.idleTooLong(now)) {
            *idle = true;
            return true;
        }
        // Sleeps until a socket is ready, libcurl's next timer, the idle
        // limit or a wake-up; never on a clock of its own.
        const int waitMs = transfer.requesting
            ? millisecondsUntil(transfer.lastActivity + std::chrono::milliseconds(m_settings.IdleTimeoutMs) + std::chrono::milliseconds(1), now)
            : kLongestWaitMs;
        if (curl_multi_poll(multi, nullptr, 0, waitMs, nullptr) != CURLM_OK)
            return false;
    }
    return true;
}
