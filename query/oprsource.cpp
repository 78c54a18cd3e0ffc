#include "query/oprsource.h"

#include "base/guard.h"
#include "fetch/finishedrequest.h"
#include "fetch/httpget.h"
#include "query/dispatch.h"
#include "query/oprprotocol.h"
#include "query/regdomain.h"
#include "shell/formstate.h"

#include <QPointer>

#include <memory>
#include <utility>

namespace {

const QString NoRank = QStringLiteral("--");

} // namespace

OprRankSource::OprRankSource(FormState &form, OprSettings settings)
    : m_form(form)
    , m_settings(std::move(settings))
{
    if (!m_settings.pause) {
        m_settings.pause = [this](int seconds, std::function<void()> resume) {
            QTimer::singleShot(seconds * 1000, this, std::move(resume));
        };
    }
    if (!m_settings.report)
        m_settings.report = [](const QString &message) { guard::showError(message); };
    m_gap.setSingleShot(true);
    connect(&m_gap, &QTimer::timeout, this, [this] { guard::run([this] { sendNext(); }); });
}

// The request in flight is a child: destroying it cancels its fetch, which
// then reports nothing.
OprRankSource::~OprRankSource() = default;

void OprRankSource::followList(bool wholeList)
{
    if (m_started && m_generation == m_form.lv1.generation())
        return;
    m_started = true;
    m_generation = m_form.lv1.generation();
    ++m_run;
    delete std::exchange(m_request, nullptr);
    m_answers.clear();
    m_waiting.clear();
    m_queue.clear();
    m_asked.clear();
    m_sent.clear();
    m_paused = false;
    m_pausesInARow = 0;
    m_pausedSeconds = 0;
    m_ended = false;
    m_gap.stop();
    // The whole list is known now: its domains go out in full requests.
    m_scanned = wholeList ? 0 : m_form.lv1.count();
    sendNext();
}

void OprRankSource::fillQueue()
{
    // The rows are read only as far as the next request needs: requests go
    // out two a second at most, so a list of a million rows costs nothing
    // when it is built. A row that the walk reaches before it was read asks
    // for its domain itself.
    const int rows = m_form.lv1.count();
    while (m_queue.size() < opr::MaxDomainsPerRequest && m_scanned < rows) {
        const int row = m_scanned++;
        // A row whose PR is known already (a run continued, the cache)
        // needs no request.
        if (m_form.knowsAnswer(row, RowQuery::Rank))
            continue;
        const QString domain = registrableDomain(m_form.lv1.cell(row, CellUrl));
        if (!domain.isEmpty())
            ask(domain);
    }
}

void OprRankSource::listBuilt()
{
    followList(true);
}

QString OprRankSource::domainOf(int row, bool wholeList)
{
    followList(wholeList);
    const QString domain = registrableDomain(m_form.lv1.cell(row, CellUrl));
    if (domain.isEmpty())
        rankAnswered(m_form, row, NoRank, true);
    return domain;
}

void OprRankSource::queryRow(int row)
{
    const QString domain = domainOf(row, true);
    if (domain.isEmpty())
        return;
    const auto known = m_answers.constFind(domain);
    if (known != m_answers.constEnd()) {
        rankAnswered(m_form, row, *known, true);
        return;
    }
    waitFor(row, domain);
}

void OprRankSource::requeryRow(int row)
{
    const QString domain = domainOf(row, false);
    if (domain.isEmpty())
        return;
    m_answers.remove(domain);
    waitFor(row, domain);
}

void OprRankSource::waitFor(int row, const QString &domain)
{
    m_waiting[domain].append(row);
    ask(domain);
    sendNext();
}

int OprRankSource::rowsWaiting() const
{
    if (!m_started || m_generation != m_form.lv1.generation())
        return 0;
    int n = 0;
    for (const QList<int> &rows : m_waiting)
        n += int(rows.size());
    return n;
}

QList<int> OprRankSource::waitingRows() const
{
    QList<int> rows;
    if (!m_started || m_generation != m_form.lv1.generation())
        return rows;
    for (const QList<int> &waiting : m_waiting)
        rows += waiting;
    return rows;
}

void OprRankSource::stop()
{
    // Only the request in flight still answers; its rows keep waiting.
    m_queue.clear();
    m_asked = QSet<QString>(m_sent.cbegin(), m_sent.cend());
    m_scanned = m_form.lv1.count();
    for (auto it = m_waiting.begin(); it != m_waiting.end();) {
        if (m_sent.contains(it.key()))
            ++it;
        else
            it = m_waiting.erase(it);
    }
}

void OprRankSource::ask(const QString &domain)
{
    if (m_ended) {
        answer(domain, NoRank);
        return;
    }
    if (m_asked.contains(domain) || m_answers.contains(domain))
        return;
    m_asked.insert(domain);
    m_queue.append(domain);
}

void OprRankSource::sendNext()
{
    // After a refused key (or the like) nothing more is sent in the run.
    if (m_request || m_paused || m_ended)
        return;
    if (m_generation != m_form.lv1.generation()) {
        // The list is gone: no row waits for these any more.
        m_queue.clear();
        m_asked.clear();
        return;
    }
    fillQueue();
    if (m_queue.isEmpty())
        return;
    if (m_lastStart.isValid()) {
        const qint64 wait = m_settings.minGapMs - m_lastStart.elapsed();
        if (wait > 0) {
            if (!m_gap.isActive())
                m_gap.start(int(wait));
            return;
        }
    }
    const QString key = m_settings.key ? m_settings.key() : QString();
    if (!opr::usableKey(key)) {
        endRun({}, keyRejectedText());
        return;
    }

    const qsizetype n = std::min<qsizetype>(m_queue.size(), opr::MaxDomainsPerRequest);
    m_sent = m_queue.mid(0, n);
    m_queue.remove(0, n);
    auto *request = new THTTPGet(this);
    request->URL = opr::requestUrl(m_settings.endpoint, m_sent);
    request->AcceptTypes = QStringLiteral("application/json");
    request->ExtraHeaders = {opr::keyHeader(key)};
    request->RedirectsStayOnHost = true;
    request->MaxBodySize = opr::MaxReplyBytes;
    request->OnDoneString = [this](THTTPGet *sender, const QByteArray &body) { finished(sender, &body); };
    request->OnError = [this](THTTPGet *sender) { finished(sender, nullptr); };
    m_request = request;
    m_lastStart.start();
    // Events run inside; the request may already have completed, and this
    // run may have ended, when it returns: nothing of it is touched after.
    request->FetchString();
}

void OprRankSource::finished(THTTPGet *request, const QByteArray *body)
{
    const FinishedRequest done(request);
    if (request != m_request)
        return;
    m_request = nullptr;
    const QStringList domains = std::exchange(m_sent, {});
    guard::run([&] {
        const opr::Reply reply = opr::readReply(domains, request->FetchRecord(), body);
        switch (reply.kind) {
        case opr::Reply::Kind::TooManyRequests: {
            if (++m_pausesInARow > opr::MaxPausesInARow || m_pausedSeconds + reply.pauseSeconds > m_settings.maxPauseSeconds) {
                endRun(domains, opr::tooManyRequestsText());
                return;
            }
            m_pausedSeconds += reply.pauseSeconds;
            // Sent again, first, once the service allows it.
            m_queue = domains + m_queue;
            m_paused = true;
            const QPointer<OprRankSource> self(this);
            const quint64 run = m_run;
            m_settings.pause(reply.pauseSeconds, [self, run] {
                if (!self || self->m_run != run)
                    return;
                self->m_paused = false;
                guard::run([&self] { self->sendNext(); });
            });
            return;
        }
        case opr::Reply::Kind::KeyRejected:
            endRun(domains, keyRejectedText());
            return;
        case opr::Reply::Kind::RedirectedElsewhere:
            endRun(domains, opr::redirectedText(reply.otherHost));
            return;
        case opr::Reply::Kind::Ranks:
        case opr::Reply::Kind::Failed:
            m_pausesInARow = 0;
            m_pausedSeconds = 0;
            for (const QString &d : domains) {
                m_asked.remove(d);
                const QString why = reply.reasons.value(d);
                if (!why.isEmpty() && m_settings.reason)
                    m_settings.reason(d, why);
                answer(d, reply.cells.value(d, NoRank), why);
            }
            sendNext();
            return;
        }
    });
}

void OprRankSource::answer(const QString &domain, const QString &cell, const QString &note)
{
    m_answers.insert(domain, RankAnswer {cell, note, std::nullopt});
    const QList<int> rows = m_waiting.take(domain);
    for (const int row : rows) {
        if (m_generation == m_form.lv1.generation() && m_form.lv1.hasRow(row))
            rankAnswered(m_form, row, m_answers.value(domain), true);
    }
}

void OprRankSource::endRun(const QStringList &domains, const QString &message)
{
    if (m_ended)
        return;
    m_ended = true;
    // Nothing more is sent in this run: every domain asked has its "--".
    QStringList settled = domains + std::exchange(m_queue, {});
    m_asked.clear();
    for (const QString &d : std::as_const(settled))
        answer(d, NoRank);
    // Rows may wait for domains that were never queued: none now.
    const QStringList rest = m_waiting.keys();
    for (const QString &d : rest)
        answer(d, NoRank);
    m_settings.report(message);
}
