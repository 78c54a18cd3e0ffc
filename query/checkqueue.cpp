#include "query/checkqueue.h"

#include "fetch/httpget.h"
#include "fetch/httpgetthread.h"
#include "query/dispatch.h"
#include "query/myhttpget.h"
#include "shell/formstate.h"
#include "shell/textutil.h"

#include <QPointer>

#include <algorithm>
#include <limits>

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
    for (int row = 0; row < m_total; ++row)
        m_hosts[hostKey(m_form.lv1.cell(row, CellUrl))].waiting.push_back(row);
    if (m_total == 0) {
        emit allDone();
        return;
    }
    pump();
}

CheckQueue::Host *CheckQueue::nextHost()
{
    Host *best = nullptr;
    qint64 earliestPause = std::numeric_limits<qint64>::max();
    for (Host &host : m_hosts) {
        if (host.waiting.empty() || host.running >= m_limits.perHost)
            continue;
        if (!host.pausedUntil.hasExpired()) {
            earliestPause = std::min(earliestPause, host.pausedUntil.remainingTime());
            continue;
        }
        if (!best || host.waiting.front() < best->waiting.front())
            best = &host;
    }
    if (!best && earliestPause != std::numeric_limits<qint64>::max() && m_running < m_limits.total)
        m_wake.start(int(std::clamp<qint64>(earliestPause, 0, qint64(m_limits.maxPauseSeconds) * 1000)));
    return best;
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
        while (alive && m_running < m_limits.total) {
            Host *host = nextHost();
            if (!host)
                break;
            const int row = host->waiting.front();
            host->waiting.pop_front();
            ++host->running;
            ++m_running;
            const QString key = hostKey(m_form.lv1.cell(row, CellUrl));
            std::unique_ptr<Tmyhttpget> request = newRequest(m_form, m_form.lv1.cell(row, CellUrl), row, dispatch::ModeReach);
            request->OnDoneString = [this, row, key](THTTPGet *sender, const QByteArray &body) { completed(row, key, sender, true, body); };
            request->OnError = [this, row, key](THTTPGet *sender) { completed(row, key, sender, false, QByteArray()); };
            m_requests.insert(request.get());
            // From here the form owns it, and completed() hands it on.
            request.release()->FetchString();
        }
    } while (alive && m_pumpAgain);
    if (alive)
        m_pumping = false;
}

void CheckQueue::completed(int row, const QString &key, THTTPGet *sender, bool success, const QByteArray &body)
{
    m_requests.remove(sender);
    Host &host = m_hosts[key];
    --host.running;
    --m_running;
    const FetchResult &record = sender->FetchRecord();
    if (record.finalStatus() == TooManyRequests && m_tries[std::size_t(row)] < m_limits.retries) {
        ++m_tries[std::size_t(row)];
        const int seconds = record.retryAfterSeconds < 0 ? m_limits.defaultPauseSeconds
                                                         : std::min(record.retryAfterSeconds, m_limits.maxPauseSeconds);
        const QDeadlineTimer until(qint64(seconds) * 1000);
        if (host.pausedUntil.hasExpired() || host.pausedUntil < until)
            host.pausedUntil = until;
        host.waiting.push_front(row);
        delete sender;
    } else {
        // The window's routing writes the verdict and releases the request.
        if (success)
            getstr(m_form, sender, body);
        else
            geterror(m_form, sender);
        ++m_done;
    }
    if (finished()) {
        emit allDone();
        return;
    }
    pump();
}
