#include "query/checkqueue.h"

#include "base/textutil.h"
#include "fetch/finishedrequest.h"
#include "fetch/httpget.h"
#include "fetch/httpgetthread.h"
#include "query/dispatch.h"
#include "query/myhttpget.h"
#include "shell/formstate.h"

#include <QHash>
#include <QPointer>

#include <algorithm>

namespace {

constexpr int TooManyRequests = 429;

// Hosts are told apart by name alone: two ports of one machine share its
// limit, since they share its capacity.
QString hostKey(const QString &address)
{
    return asciilower(SplitURL(address).Host);
}

} // namespace

CheckQueue::CheckQueue(FormState &form, CheckQueueLimits limits, QObject *parent)
    : QObject(parent)
    , m_form(form)
    , m_limits(limits)
{
    m_wake.setSingleShot(true);
    connect(&m_wake, &QTimer::timeout, this, &CheckQueue::pump);
}

CheckQueue::~CheckQueue()
{
    // Their handlers name this queue: they must never run.
    qDeleteAll(m_requests);
}

void CheckQueue::start()
{
    m_total = m_form.lv1.count();
    m_done = 0;
    m_tries.assign(std::size_t(m_total), 0);
    QHash<QString, int> hostOf;
    for (int row = 0; row < m_total; ++row) {
        // A row whose answer is known already (a run continued, the cache)
        // is answered here and never sent.
        if (m_form.answerKnown(row, RowQuery::Check)) {
            ++m_done;
            continue;
        }
        const QString key = hostKey(m_form.lv1.cell(row, CellUrl));
        auto at = hostOf.constFind(key);
        if (at == hostOf.constEnd()) {
            at = hostOf.insert(key, int(m_hosts.size()));
            m_hosts.emplace_back();
        }
        m_hosts[std::size_t(*at)].waiting.push_back(row);
    }
    for (int h = 0; h < int(m_hosts.size()); ++h)
        refresh(h);
    if (finished()) {
        emit allDone();
        return;
    }
    pump();
}

void CheckQueue::refresh(int h)
{
    Host &host = m_hosts[std::size_t(h)];
    if (host.readyRow >= 0) {
        m_ready.erase(host.readyRow);
        host.readyRow = -1;
    }
    if (!host.paused && !host.waiting.empty() && host.running < m_limits.perHost) {
        host.readyRow = host.waiting.front();
        m_ready.emplace(host.readyRow, h);
    }
}

void CheckQueue::wakePaused()
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

void CheckQueue::pump()
{
    // A request start runs pending events, completions among them, and those
    // pump again: the outer pass picks their work up instead.
    if (m_pumping) {
        m_pumpAgain = true;
        return;
    }
    const QPointer<CheckQueue> alive(this);
    m_pumping = true;
    do {
        m_pumpAgain = false;
        wakePaused();
        while (alive && m_running < m_limits.total && !m_ready.empty()) {
            const int h = m_ready.begin()->second;
            Host &host = m_hosts[std::size_t(h)];
            const int row = host.waiting.front();
            host.waiting.pop_front();
            ++host.running;
            ++m_running;
            refresh(h);
            std::unique_ptr<Tmyhttpget> request = newRequest(m_form, m_form.lv1.cell(row, CellUrl), row, dispatch::ModeReach);
            request->OnDoneString = [this, row, h](THTTPGet *sender, const QByteArray &body) { completed(row, h, sender, true, body); };
            request->OnError = [this, row, h](THTTPGet *sender) { completed(row, h, sender, false, QByteArray()); };
            m_requests.insert(request.get());
            // From here the form owns it, and completed() hands it on.
            request.release()->FetchString();
        }
    } while (alive && m_pumpAgain);
    if (alive)
        m_pumping = false;
}

void CheckQueue::completed(int row, int h, THTTPGet *sender, bool success, const QByteArray &body)
{
    m_requests.remove(sender);
    Host &host = m_hosts[std::size_t(h)];
    --host.running;
    --m_running;
    const FetchResult &record = sender->FetchRecord();
    if (record.finalStatus() == TooManyRequests && m_tries[std::size_t(row)] < m_limits.retries) {
        ++m_tries[std::size_t(row)];
        const int seconds = record.retryAfterSeconds < 0 ? m_limits.defaultPauseSeconds
                                                         : std::min(record.retryAfterSeconds, m_limits.maxPauseSeconds);
        const QDeadlineTimer until(qint64(seconds) * 1000);
        if (!host.paused) {
            host.paused = true;
            host.pausedUntil = until;
            m_paused.push_back(h);
        } else if (host.pausedUntil < until) {
            host.pausedUntil = until;
        }
        host.waiting.push_front(row);
        const FinishedRequest done(sender);
    } else {
        // The window's routing writes the verdict and releases the request.
        if (success)
            getstr(m_form, sender, body);
        else
            geterror(m_form, sender);
        ++m_done;
    }
    refresh(h);
    if (finished()) {
        emit allDone();
        return;
    }
    pump();
}
