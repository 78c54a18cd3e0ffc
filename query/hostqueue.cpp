#include "query/hostqueue.h"

#include "base/mainthread.h"
#include "base/textutil.h"
#include "fetch/finishedrequest.h"
#include "fetch/httpget.h"
#include "fetch/urlparts.h"

#include <QPointer>

#include <algorithm>

namespace {

constexpr int TooManyRequests = 429;

} // namespace

HostQueue::HostQueue(HostQueueLimits limits, QObject *parent)
    : QObject(parent)
    , m_limits(limits)
{
    m_wake.setSingleShot(true);
    // A pause may be a Crawl-delay: a coarse timer would end it early.
    m_wake.setTimerType(Qt::PreciseTimer);
    connect(&m_wake, &QTimer::timeout, this, &HostQueue::kick);
}

HostQueue::~HostQueue()
{
    // Their handlers name this queue: they must never run.
    qDeleteAll(m_requests);
}

QString HostQueue::hostKey(const QString &address)
{
    // By name alone: two ports of one machine share its capacity, and so do
    // the ways of writing one address as numbers ("127.1", "127.0.0.1").
    return asciilower(connectHost(SplitURL(address).Host));
}

int HostQueue::hostIndex(const QString &key)
{
    auto at = m_hostOf.constFind(key);
    if (at == m_hostOf.constEnd()) {
        at = m_hostOf.insert(key, int(m_hosts.size()));
        m_hosts.emplace_back();
        m_hosts.back().key = key;
    }
    return *at;
}

void HostQueue::add(quint64 order, const QString &address, Make make, Done done)
{
    const int h = hostIndex(hostKey(address));
    Host &host = m_hosts[std::size_t(h)];
    Job job {order, std::move(make), std::move(done), 0};
    // Usually added in order; one that is not finds its place.
    if (host.waiting.empty() || host.waiting.back().order <= order) {
        host.waiting.push_back(std::move(job));
    } else {
        const auto at = std::upper_bound(host.waiting.begin(), host.waiting.end(), order, [](quint64 o, const Job &j) { return o < j.order; });
        host.waiting.insert(at, std::move(job));
    }
    ++m_waiting;
    refresh(h);
}

void HostQueue::hold(const QString &host)
{
    const int h = hostIndex(host);
    m_hosts[std::size_t(h)].held = true;
    refresh(h);
}

void HostQueue::letGo(const QString &host)
{
    const int h = hostIndex(host);
    m_hosts[std::size_t(h)].held = false;
    refresh(h);
    kick();
}

void HostQueue::setSpacing(const QString &host, int ms)
{
    m_hosts[std::size_t(hostIndex(host))].spacingMs = std::max(0, ms);
}

void HostQueue::dropWaiting()
{
    for (Host &host : m_hosts)
        host.waiting.clear();
    m_waiting = 0;
    m_ready.clear();
    for (Host &host : m_hosts)
        host.inReady = false;
}

void HostQueue::refresh(int h)
{
    Host &host = m_hosts[std::size_t(h)];
    if (host.inReady) {
        m_ready.erase({host.readyOrder, h});
        host.inReady = false;
    }
    if (!host.held && !host.paused && !host.waiting.empty() && host.running < m_limits.perHost) {
        host.readyOrder = host.waiting.front().order;
        host.inReady = true;
        m_ready.emplace(host.readyOrder, h);
    }
}

void HostQueue::pauseHost(int h, qint64 ms)
{
    Host &host = m_hosts[std::size_t(h)];
    const QDeadlineTimer until(ms);
    if (!host.paused) {
        host.paused = true;
        host.pausedUntil = until;
        m_paused.push_back(h);
    } else if (host.pausedUntil < until) {
        host.pausedUntil = until;
    }
    refresh(h);
}

void HostQueue::wakePaused()
{
    qint64 nextMs = -1;
    for (auto it = m_paused.begin(); it != m_paused.end();) {
        Host &host = m_hosts[std::size_t(*it)];
        if (host.pausedUntil.hasExpired()) {
            host.paused = false;
            refresh(*it);
            it = m_paused.erase(it);
        } else {
            const qint64 left = host.pausedUntil.remainingTime();
            nextMs = nextMs < 0 ? left : std::min(nextMs, left);
            ++it;
        }
    }
    if (nextMs >= 0)
        m_wake.start(int(std::min<qint64>(nextMs, qint64(m_limits.maxPauseSeconds) * 1000)));
}

void HostQueue::kick()
{
    assertMainThread();
    // A request start runs pending events, completions among them, and those
    // kick again: the outer pass picks their work up instead.
    if (m_pumping) {
        m_pumpAgain = true;
        return;
    }
    const QPointer<HostQueue> alive(this);
    m_pumping = true;
    do {
        m_pumpAgain = false;
        wakePaused();
        while (alive && m_running < m_limits.total && !m_ready.empty()) {
            const int h = m_ready.begin()->second;
            Host &host = m_hosts[std::size_t(h)];
            Job job = std::move(host.waiting.front());
            host.waiting.pop_front();
            --m_waiting;
            ++host.running;
            ++m_running;
            if (host.spacingMs > 0)
                pauseHost(h, host.spacingMs);
            else
                refresh(h);
            std::unique_ptr<THTTPGet> request = job.make();
            request->OnDoneString = [this, h, job](THTTPGet *sender, const QByteArray &body) { completed(h, job, sender, true, body); };
            request->OnError = [this, h, job](THTTPGet *sender) { completed(h, job, sender, false, QByteArray()); };
            m_requests.insert(request.get());
            // From here its owner keeps it, and completed() hands it on.
            request.release()->FetchString();
        }
    } while (alive && m_pumpAgain);
    if (!alive)
        return;
    m_pumping = false;
    // Hosts paused in this pass (spacing) wake at their time.
    wakePaused();
}

void HostQueue::completed(int h, Job job, THTTPGet *sender, bool success, const QByteArray &body)
{
    m_requests.remove(sender);
    Host &host = m_hosts[std::size_t(h)];
    --host.running;
    --m_running;
    const FetchResult &record = sender->FetchRecord();
    if (record.finalStatus() == TooManyRequests && job.tries < m_limits.retries) {
        ++job.tries;
        const int seconds = record.retryAfterSeconds < 0 ? m_limits.defaultPauseSeconds : std::min(record.retryAfterSeconds, m_limits.maxPauseSeconds);
        const FinishedRequest done(sender);
        host.waiting.push_front(std::move(job));
        ++m_waiting;
        pauseHost(h, qint64(seconds) * 1000);
    } else {
        const QPointer<HostQueue> alive(this);
        job.done(sender, success, body);
        // A handler may end the run, and the queue with it.
        if (!alive)
            return;
        refresh(h);
    }
    if (idle()) {
        emit becameIdle();
        return;
    }
    kick();
}
