#include "query/engine.h"

#include "base/guard.h"
#include "base/mainthread.h"
#include "data/storedtext.h"
#include "query/batch.h"
#include "query/dispatch.h"
#include "query/oprsource.h"
#include "query/prquery.h"
#include "query/scheduler.h"
#include "query/sitequery.h"
#include "query/toolbarrank.h"
#include "survey/regexp.h"

#include <QTimer>

Engine::Engine(EngineEndpoints endpoints, QObject *parent)
    : QObject(parent)
    , m_endpoints(std::move(endpoints))
    , m_state(new FormState(this))
    , m_myreg(std::make_unique<TRegExp>())
{
    FormState &s = *m_state;
    s.memo3 = storedtext::checksumScript();
    s.memo4 = m_endpoints.servers.isEmpty() ? storedtext::serverPool() : m_endpoints.servers.join(QLatin1Char('\n'));
    s.edt7 = storedtext::linkPattern();
    s.linkexpr = s.edt7;
    s.iplist = iplistFromText(s.memo4);
    s.setRankSource(std::make_unique<ToolbarRankSource>(s));
    s.onSitePage = [this](const QString &siteUrl, const QString &finalUrl, const QString &page) {
        siteReplyBranch(*m_state, *m_myreg, siteUrl, finalUrl, page);
    };

    connect(&s.tmr2, &QTimer::timeout, this, [this] { guard::run([this] { tick(); }); });
    connect(&s, &FormState::runStarted, this, &Engine::onRunStarted);
    connect(&s, &FormState::noticeShown, this, &Engine::notice);
    connect(&s, &FormState::rowAnswered, this, [this](int row) {
        emit rowAnswered(row);
        checkLater();
    });
    connect(&s, &FormState::requestReleased, this, [this] {
        ++m_released;
        checkLater();
    });
    connect(&s, &FormState::sitePageListed, this, [this] {
        m_sitePending = false;
        emit sitePageListed();
    });
    connect(&s, &FormState::sitePageFailed, this, [this] {
        m_sitePending = false;
        emit sitePageFailed();
        closeRun(RunEnding::Failed);
    });
}

QString runEndingKey(RunEnding ending)
{
    switch (ending) {
    case RunEnding::Completed:
        return QStringLiteral("completed");
    case RunEnding::TimedOut:
        return QStringLiteral("timeout");
    case RunEnding::Interrupted:
        return QStringLiteral("sigint");
    case RunEnding::Terminated:
        return QStringLiteral("sigterm");
    case RunEnding::Stopped:
        return QStringLiteral("stopped");
    case RunEnding::Failed:
        return QStringLiteral("failed");
    case RunEnding::Replaced:
        return QStringLiteral("replaced");
    case RunEnding::Closed:
        return QStringLiteral("closed");
    }
    return QStringLiteral("failed");
}

Engine::~Engine()
{
    // The queue's requests name it; they go first.
    m_queue.reset();
}

void Engine::setRankChoice(RankChoice choice, RankChoiceSeams seams)
{
    m_rankChoice = choice;
    FormState &s = *m_state;
    if (choice == RankChoice::Toolbar) {
        s.setRankSource(std::make_unique<ToolbarRankSource>(s));
        return;
    }
    OprSettings settings;
    settings.endpoint = m_endpoints.oprEndpoint;
    settings.key = std::move(seams.key);
    settings.report = std::move(seams.notice);
    s.setRankSource(std::make_unique<OprRankSource>(s, settings));
}

void Engine::setWalk(Walk walk, CheckQueueLimits limits)
{
    m_walk = walk;
    m_limits = limits;
}

void Engine::openRun(RunKind kind, const QString &input)
{
    if (m_runOpen)
        closeRun(RunEnding::Replaced);
    m_runOpen = true;
    m_stopRequested = false;
    emit runOpened(kind, input);
}

void Engine::closeRun(RunEnding how)
{
    if (!m_runOpen)
        return;
    m_runOpen = false;
    emit runClosed(how);
}

void Engine::stop()
{
    assertMainThread();
    if (m_runOpen)
        m_stopRequested = true;
    ::btnStopClick(*m_state);
    checkLater();
}

void Engine::startBatch(const QString &entryText)
{
    assertMainThread();
    openRun(RunKind::Batch, QString());
    ::btn1Click(*m_state, entryText);
}

void Engine::startStored(RunKind kind, const QString &input, std::vector<ResultRow> rows)
{
    assertMainThread();
    openRun(kind, input);
    FormState &s = *m_state;
    if (kind == RunKind::Site)
        s.siteurl = input;
    s.lv1.clear();
    s.lv1.addRows(std::move(rows));
    startListRun(s);
}

void Engine::startSite(const QString &siteText)
{
    assertMainThread();
    openRun(RunKind::Site, siteText);
    m_sitePending = true;
    const quint64 releasedBefore = m_released;
    ::btn3Click(*m_state, siteText);
    // A page that could not even be requested is a page that could not be
    // read. (Its request may also have come and gone inside its own start.)
    if (m_sitePending && requestsInFlight(*m_state) == 0 && m_released == releasedBefore) {
        m_state->setLbl13(QStringLiteral("提示：") + m_state->siteurl + QStringLiteral("访问失败..."));
        m_sitePending = false;
        emit sitePageFailed();
        closeRun(RunEnding::Failed);
    }
}

void Engine::tick()
{
    assertMainThread();
    FormState &s = *m_state;
    if (!s.inTick)
        emit tickStarting(s.curindex);
    ::tmr2Timer(s);
    if (!s.tmr2.isActive())
        checkLater();
}

void Engine::onRunStarted()
{
    m_runActive = true;
    m_queue.reset();
    m_queueStarting = false;
    FormState &s = *m_state;
    if (m_walk != Walk::Paced)
        s.tmr2.stop();
    if (m_walk == Walk::Queue) {
        // Started once the command that built the list has returned: a site
        // page's request is still being released here.
        m_queueStarting = true;
        const quint64 generation = s.lv1.generation();
        QTimer::singleShot(0, this, [this, generation] { guard::run([this, generation] { startQueue(generation); }); });
    }
    checkLater();
}

void Engine::startQueue(quint64 generation)
{
    m_queueStarting = false;
    if (m_state->lv1.generation() != generation)
        return;
    m_queue = std::make_unique<CheckQueue>(*m_state, m_limits);
    connect(m_queue.get(), &CheckQueue::allDone, this, &Engine::checkLater);
    m_queue->start();
}

bool Engine::runFinished() const
{
    const FormState &s = *m_state;
    if (!m_runActive || m_queueStarting)
        return false;
    if (m_walk == Walk::None)
        return true;
    if (m_walk == Walk::Queue)
        return m_queue && m_queue->finished() && s.rankSource().rowsWaiting() == 0;
    return !s.tmr2.isActive() && requestsInFlight(s) == 0 && s.rankSource().rowsWaiting() == 0;
}

void Engine::checkLater()
{
    if (m_checkPosted || !m_runActive)
        return;
    m_checkPosted = true;
    QTimer::singleShot(0, this, &Engine::checkFinished);
}

void Engine::checkFinished()
{
    m_checkPosted = false;
    if (!runFinished())
        return;
    m_runActive = false;
    emit runEnded();
    closeRun(m_stopRequested ? RunEnding::Stopped : RunEnding::Completed);
}
