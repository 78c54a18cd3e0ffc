#include "fetch/transfer.h"

#include "fetch/hostresolver.h"
#include "fetch/liveregistry.h"
#include "fetch/urlparts.h"

#include <QFile>

#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <limits>

namespace {

using Clock = TTransfer::Clock;

constexpr char kFormHeader[] = "Content-Type: application/x-www-form-urlencoded";
static_assert(sizeof(kFormHeader) - 1 == 47);
// The longest time libcurl is ever given; it only matters for a limit that
// is further away than this.
constexpr qint64 kLongestWaitMs = 3600 * 1000;

struct UrlDeleter
{
    void operator()(CURLU *h) const { curl_url_cleanup(h); }
};
struct ListDeleter
{
    void operator()(curl_slist *l) const { curl_slist_free_all(l); }
};
using UrlHandle = std::unique_ptr<CURLU, UrlDeleter>;
using HeaderList = std::unique_ptr<curl_slist, ListDeleter>;

bool appendHeader(HeaderList &list, const QByteArray &line)
{
    curl_slist *grown = curl_slist_append(list.get(), line.constData());
    if (!grown)
        return false;
    (void)list.release();
    list.reset(grown);
    return true;
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

// Letters, digits, dots and hyphens: a host that libcurl takes as it is,
// with nothing in it that could pass for another part of an address.
bool isPlainHostName(const QByteArray &host)
{
    return !host.isEmpty() && std::all_of(host.begin(), host.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '-';
    });
}

// Whether a megabyte could be had right now. libcurl says "out of memory"
// both when this machine ran short and when a reply's head went over its
// limit; only the first leaves the machine short.
bool memoryAtHand()
{
    void *block = std::malloc(1 << 20);
    if (!block)
        return false;
    // Touched, so that the allocation is not left out.
    static_cast<volatile char *>(block)[0] = 0;
    std::free(block);
    return true;
}

} // namespace

QString RedirectElsewhereText()
{
    return QStringLiteral("重定向到其他主机，未跟随");
}

// What the request needs while libcurl runs it: libcurl keeps pointers to
// all of it.
struct TTransfer::Prepared
{
    QByteArray address;
    QByteArray host; // as the address has it
    HeaderList headers;
    HeaderList proxyHeaders; // for a proxy's CONNECT
    HeaderList pinned; // the address of the name, when the resolver gave one
    QByteArray referer;
    QByteArray user;
    QByteArray password;
    QByteArray postBody;
    QByteArray trusted;
    Clock::time_point deadline;
    char errorText[CURL_ERROR_SIZE] = {};
};

TTransfer::TTransfer(TFetchNode fetch)
    : m_fetch(std::move(fetch))
{
    fetchlive::enter();
}

TTransfer::~TTransfer()
{
    fetchlive::leave();
}

bool TTransfer::StopRequested() const
{
    return Link().StopRequested.load() || fetchlive::stopping();
}

bool TTransfer::fail(FetchFailure reason, const QString &detail) noexcept
{
    Fail(reason, detail);
    return false;
}

void TTransfer::Fail(FetchFailure reason, const QString &detail) noexcept
{
    if (m_end.failed)
        return; // the first failure is the reason
    m_end.failed = true;
    m_end.failure = reason;
    m_end.failureDetail = detail;
}

bool TTransfer::Prepare()
{
    const THTTPGetSettings &s = Settings();
    const TSplitURL parts = SplitURL(s.URL);
    m_record.finalUrl = s.URL;
    if (StopRequested())
        return fail(FetchFailure::Cancelled);
    // A C string would end at a NUL in the host, and the fetch would ask
    // the text before it: such an address names nothing.
    if (hasControlCharacter(parts.Host) || hasControlCharacter(parts.PortText))
        return fail(FetchFailure::InvalidAddress, QStringLiteral("网址含控制字符"));
    if (parts.Port == 0)
        return fail(FetchFailure::InvalidAddress, QStringLiteral("端口无效"));

    auto p = std::make_unique<Prepared>();
    const QByteArray agent = s.Agent.toUtf8();
    p->referer = s.Referer.toUtf8();
    p->user = s.UserName.toUtf8();
    p->password = s.Password.toUtf8();
    p->postBody = s.PostQuery.toUtf8();
    const QByteArray accept = s.AcceptTypes.toUtf8();
    if (!fitsInHeader(agent) || !fitsInHeader(p->referer) || !fitsInHeader(accept) || !fitsInHeader(p->user)
        || !fitsInHeader(p->password))
        return fail(FetchFailure::Other, QStringLiteral("请求头含控制字符"));

    // The host is checked on its own, so that nothing in it can pass for
    // another part of an address.
    const QByteArray host = parts.Host.toUtf8();
    if (!isPlainHostName(host)) {
        UrlHandle hostCheck(curl_url());
        if (!hostCheck)
            return fail(FetchFailure::Resources);
        if (curl_url_set(hostCheck.get(), CURLUPART_HOST, host.constData(), 0) != CURLUE_OK)
            return fail(FetchFailure::InvalidAddress, QStringLiteral("主机名无效"));
    }
    const QByteArray port = QByteArray::number(parts.Port);
    const QByteArray target = requestTarget(parts.Path);
    QByteArray address;
    address.reserve(16 + host.size() + target.size());
    address.append(parts.Secure ? "https://" : "http://").append(host).append(':').append(port).append(target);
    m_end.addressKnown = isNumericHost(parts.Host);
    if (!m_end.addressKnown) {
        const HostResolver::Answer answer = HostResolver::current()->resolve(parts.Host);
        m_end.addressKnown = answer.kind == HostResolver::Answer::Kind::Address;
        if (answer.kind == HostResolver::Answer::Kind::NotFound)
            return fail(FetchFailure::NameNotResolved, QStringLiteral("未找到主机 ") + parts.Host);
        if (answer.kind == HostResolver::Answer::Kind::Address
            && !appendHeader(p->pinned, host + ':' + port + ':' + answer.address))
            return fail(FetchFailure::Resources);
    }
    // The whole-request limit runs from the first start, across tries.
    p->deadline = m_fetch.front().startedAt + std::chrono::milliseconds(std::max(1, s.RequestTimeoutMs));
    if (Clock::now() >= p->deadline)
        return fail(FetchFailure::TimedOut);
    // libcurl parses the address as it stands (CURLOPT_PATH_AS_IS): a path
    // set on its own would have its escapes rewritten. One it cannot parse
    // ends the fetch before any socket, as an invalid address.
    p->address = address;
    // As libcurl writes it in the address it reports ("127.1" as
    // "127.0.0.1"), for asksOwnHost.
    p->host = connectHost(parts.Host).toUtf8();

    // The agent goes as a header line of ours, to the site and to a proxy
    // as CURLOPT_USERAGENT would send it: libcurl would format its own line
    // twice over, and that is a good part of the processor time of a check.
    if (!agent.isEmpty()) {
        const QByteArray line = "User-Agent: " + agent;
        if (!appendHeader(p->headers, line) || !appendHeader(p->proxyHeaders, line))
            return fail(FetchFailure::Resources);
    }
    // libcurl sends "Accept: */*" of its own accord, and more cheaply than
    // a header line of ours.
    if (accept != "*/*" && !appendHeader(p->headers, accept.isEmpty() ? QByteArray("Accept:") : "Accept: " + accept))
        return fail(FetchFailure::Resources);
    for (const QByteArray &line : s.ExtraHeaders) {
        if (!fitsInHeader(line))
            return fail(FetchFailure::Other, QStringLiteral("请求头含控制字符"));
        if (!appendHeader(p->headers, line))
            return fail(FetchFailure::Resources);
    }
    if (!p->postBody.isEmpty() && (!appendHeader(p->headers, kFormHeader) || !appendHeader(p->headers, "Expect:")))
        return fail(FetchFailure::Resources);
    p->trusted = QFile::encodeName(s.TrustedCertificates);
    m_prepared = std::move(p);
    return true;
}

bool TTransfer::Configure(CURL *h, long blockSize)
{
    const Prepared &p = *m_prepared;
    const THTTPGetSettings &s = Settings();
    const auto untilDeadline = std::chrono::duration_cast<std::chrono::milliseconds>(p.deadline - Clock::now()).count();
    bool ok = true;
    const auto set = [h, &ok](CURLoption option, auto value) { ok = curl_easy_setopt(h, option, value) == CURLE_OK && ok; };
    m_easy = h;
    set(CURLOPT_ERRORBUFFER, p.errorText);
    set(CURLOPT_PRIVATE, this);
    set(CURLOPT_NOSIGNAL, 1L);
    // A stopped fetch does not wait for a name lookup still under way.
    set(CURLOPT_QUICK_EXIT, 1L);
    set(CURLOPT_URL, p.address.constData());
    set(CURLOPT_PATH_AS_IS, 1L);
    set(CURLOPT_PROTOCOLS_STR, "http,https");
    set(CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    set(CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    set(CURLOPT_FOLLOWLOCATION, 1L);
    // A proxy's answer to CONNECT is no reply of the site's: it is no hop.
    set(CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
    set(CURLOPT_MAXREDIRS, 10L);
    // A connection kept for later fetches (the shared engine keeps them) is
    // given up after a few idle seconds rather than libcurl's two minutes:
    // a check run reuses one at once or not at all, and a small server
    // would hold a worker for it.
    set(CURLOPT_MAXAGE_CONN, 5L);
    set(CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(std::max(1, s.ConnectTimeoutMs)));
    set(CURLOPT_TIMEOUT_MS, static_cast<long>(std::clamp<qint64>(untilDeadline, 1, kLongestWaitMs)));
    if (p.pinned)
        set(CURLOPT_RESOLVE, p.pinned.get());
    if (blockSize > 0)
        set(CURLOPT_BUFFERSIZE, blockSize);
    if (p.headers)
        set(CURLOPT_HTTPHEADER, p.headers.get());
    if (p.proxyHeaders) {
        set(CURLOPT_PROXYHEADER, p.proxyHeaders.get());
        set(CURLOPT_HEADEROPT, static_cast<long>(CURLHEADER_SEPARATE));
    }
    if (!p.referer.isEmpty())
        set(CURLOPT_REFERER, p.referer.constData());
    if (!p.user.isEmpty() || !p.password.isEmpty()) {
        set(CURLOPT_USERNAME, p.user.constData());
        set(CURLOPT_PASSWORD, p.password.constData());
        set(CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_BASIC | CURLAUTH_DIGEST));
    }
    if (!p.postBody.isEmpty()) {
        set(CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(p.postBody.size()));
        set(CURLOPT_POSTFIELDS, p.postBody.constData());
    }
    if (!p.trusted.isEmpty()) {
        set(CURLOPT_CAINFO, p.trusted.constData());
        set(CURLOPT_CAPATH, static_cast<const char *>(nullptr));
    }
    set(CURLOPT_HEADERFUNCTION, &TTransfer::onHeader);
    set(CURLOPT_HEADERDATA, this);
    set(CURLOPT_WRITEFUNCTION, &TTransfer::onBody);
    set(CURLOPT_WRITEDATA, this);
    set(CURLOPT_PREREQFUNCTION, &TTransfer::onRequest);
    set(CURLOPT_PREREQDATA, this);
    set(CURLOPT_OPENSOCKETFUNCTION, &TTransfer::onOpenSocket);
    set(CURLOPT_OPENSOCKETDATA, this);
    return ok;
}

size_t TTransfer::onHeader(char *data, size_t size, size_t count, void *self)
{
    auto &t = *static_cast<TTransfer *>(self);
    const size_t n = size * count;
    try {
        return t.header(QByteArray::fromRawData(data, static_cast<qsizetype>(n))) ? n : 0;
    } catch (...) {
        t.Fail(FetchFailure::Resources);
        return 0;
    }
}

size_t TTransfer::onBody(char *data, size_t size, size_t count, void *self)
{
    auto &t = *static_cast<TTransfer *>(self);
    const size_t n = size * count;
    try {
        return t.body(data, n) ? n : CURL_WRITEFUNC_ERROR;
    } catch (...) {
        t.Fail(FetchFailure::Resources);
        return CURL_WRITEFUNC_ERROR;
    }
}

int TTransfer::onRequest(void *self, char *, char *, int, int)
{
    auto &t = *static_cast<TTransfer *>(self);
    if (t.StopRequested())
        return CURL_PREREQFUNC_ABORT;
    if (t.Settings().RedirectsStayOnHost && !t.asksOwnHost()) {
        t.Fail(FetchFailure::Other, RedirectElsewhereText());
        return CURL_PREREQFUNC_ABORT;
    }
    t.m_requesting = true;
    t.m_lastActivity = Clock::now();
    return CURL_PREREQFUNC_OK;
}

bool TTransfer::asksOwnHost() const
{
    const char *effective = nullptr;
    if (curl_easy_getinfo(m_easy, CURLINFO_EFFECTIVE_URL, &effective) != CURLE_OK || !effective)
        return false;
    UrlHandle url(curl_url());
    char *part = nullptr;
    if (!url || curl_url_set(url.get(), CURLUPART_URL, effective, 0) != CURLUE_OK
        || curl_url_get(url.get(), CURLUPART_HOST, &part, 0) != CURLUE_OK)
        return false;
    const bool same = QByteArray(part).compare(m_prepared->host, Qt::CaseInsensitive) == 0;
    curl_free(part);
    return same;
}

curl_socket_t TTransfer::onOpenSocket(void *self, curlsocktype, curl_sockaddr *address)
{
    auto &t = *static_cast<TTransfer *>(self);
    const curl_socket_t fd = ::socket(address->family, address->socktype | SOCK_CLOEXEC, address->protocol);
    t.m_socketErrno = fd == CURL_SOCKET_BAD ? errno : 0;
    return fd;
}

bool TTransfer::header(const QByteArray &line)
{
    if (StopRequested())
        return false;
    m_lastActivity = Clock::now();
    m_heads.Take(line);
    return true;
}

// Takes what arrived, with a stop check before every block; block by block,
// as a reader with a block-sized buffer would, when each block is reported.
bool TTransfer::body(const char *data, size_t n)
{
    const qint32 blockSize = OnBlock ? 1025 : std::numeric_limits<qint32>::max();
    size_t offset = 0;
    while (offset < n) {
        if (StopRequested() || !checkLength())
            return false;
        const qint32 room = Settings().MaxBodySize - m_received;
        if (room <= 0) {
            m_end.bodyCut = true;
            return false; // the limit: what arrived is the body
        }
        const auto block = static_cast<qint32>(std::min<size_t>(n - offset, static_cast<size_t>(std::min(blockSize, room))));
        m_body.append(data + offset, block);
        m_received += block;
        offset += static_cast<size_t>(block);
        m_lastActivity = Clock::now();
        if (OnBlock)
            OnBlock();
    }
    return true;
}

// The announced length is read once, from the reply whose body is read.
bool TTransfer::checkLength()
{
    if (m_lengthChecked)
        return !m_end.failed;
    m_lengthChecked = true;
    if (m_heads.HasLength() && !parseInt32(m_heads.LengthText(), &m_totalSize)) {
        // A length too large to hold is a limit; anything else is no length.
        Fail(isWholeDecimal(m_heads.LengthText()) ? FetchFailure::SizeLimit : FetchFailure::Other);
    }
    return !m_end.failed;
}

Clock::time_point TTransfer::IdleDeadline() const
{
    return m_lastActivity + std::chrono::milliseconds(Settings().IdleTimeoutMs);
}

bool TTransfer::IdleTooLong(Clock::time_point now) const
{
    return m_requesting && now > IdleDeadline();
}

void TTransfer::Finish(CURL *h, CURLcode result, bool idle)
{
    m_end.curlResult = result;
    m_end.idle = idle;
    m_end.osErrno = m_socketErrno;
    if (m_end.osErrno == 0)
        curl_easy_getinfo(h, CURLINFO_OS_ERRNO, &m_end.osErrno);
    m_end.errorText = QString::fromUtf8(m_prepared->errorText);
    const char *effective = nullptr;
    if (curl_easy_getinfo(h, CURLINFO_EFFECTIVE_URL, &effective) == CURLE_OK && effective)
        m_record.finalUrl = QString::fromUtf8(effective);
    m_record.retryAfterSeconds = retryAfterSeconds(m_heads.RetryAfter());
    m_record.challenged = m_heads.Challenged();
    m_record.contentType = QString::fromLatin1(m_heads.ContentType());
    if (result == CURLE_OUT_OF_MEMORY) {
        m_end.inHead = m_requesting && m_heads.InHead();
        m_end.memoryAtHand = memoryAtHand();
    }
}

bool TTransfer::Decide() noexcept
{
    m_end.stopped = StopRequested();
    m_end.received = m_received;
    m_record.bodyTruncated = m_end.bodyCut;
    m_record.elapsedMs = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - m_fetch.front().startedAt).count();
    try {
        m_record.hops = m_heads.Hops();
        m_end.finalStatus = m_record.finalStatus();
        const FetchVerdict verdict = decideVerdict(m_end);
        m_record.reason = verdict.reason;
        m_record.detail = verdict.detail;
        return verdict.success;
    } catch (...) {
        // Out of memory for the words: a shortage all the same.
        m_record.reason = m_end.stopped ? FetchFailure::Cancelled : FetchFailure::Resources;
        return false;
    }
}

TFetchCompletion TTransfer::TakeCompletion(bool success) noexcept
{
    TFetchCompletion completion;
    completion.success = success;
    completion.toFile = m_fetch.front().toFile;
    completion.targetFile = Settings().FileName;
    completion.totalSize = m_totalSize;
    completion.body = std::move(m_body);
    completion.record = std::move(m_record);
    return completion;
}
