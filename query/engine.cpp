#include "query/engine.h"

#include "base/guard.h"
#include "base/mainthread.h"
#include "data/storedtext.h"
#include "query/batch.h"
#include "query/dispatch.h"
#include "query/oprsource.h"
#include "query/prquery.h"
#include "query/scheduler.h"
#include "query/settle.h"
#include "query/sitequery.h"
#include "query/toolbarrank.h"
#include "survey/regexp.h"

#include <QTimer>

Walk chooseWalk(const WalkChoices &c)
{
    if (!c.queryPr && !c.deadLink)
        return Walk::None;
    if (c.intervalAsked || (c.queryPr && c.source == RankChoice::Toolbar))
        return Walk::Paced;
    return Walk::Queue;
}

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
    });
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

Walk Engine::nextWalk() const
{
    const FormState &s = *m_state;
    return chooseWalk({s.bschck2, s.bschck3, m_rankChoice, m_intervalAsked});
}

void Engine::startBatch(const QString &entryText)
{
    assertMainThread();
    ::btn1Click(*m_state, entryText);
}

void Engine::startSite(const QString &siteText)
{
    assertMainThread();
    m_sitePending = true;
    const quint64 releasedBefore = m_released;
    ::btn3Click(*m_state, siteText);
    // A page that could not even be requested is a page that could not be
    // read. (Its request may also have come and gone inside its own start.)
    if (m_sitePending && requestsInFlight(*m_state) == 0 && m_released == releasedBefore) {
        m_state->setLbl13(QStringLiteral("提示：") + m_state->siteurl + QStringLiteral("访问失败..."));
        m_sitePending = false;
        emit sitePageFailed();
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

void Engine::stop()
{
    assertMainThread();
    FormState &s = *m_state;
    const bool walking = s.tmr2.isActive() || m_queueStarting || (m_queue && !m_queue->finished()) || s.rankSource().rowsWaiting() > 0;
    ::btnStopClick(s);
    m_queueStarting = false;
    if (m_queue)
        m_queue->stop();
    s.rankSource().stop();
    settleUnsent(s);
    // The walk of a queue has no timer for btnStopClick to see.
    if (walking && s.lbl13() != QStringLiteral("提示：查询已停止"))
        s.setLbl13(QStringLiteral("提示：查询已停止"));
    checkLater();
}

void Engine::onRunStarted()
{
    m_runActive = true;
    m_queue.reset();
    m_queueStarting = false;
    FormState &s = *m_state;
    m_walk = nextWalk();
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
    FormState &s = *m_state;
    // A stop, or a new list, came first.
    if (!m_queueStarting || s.lv1.generation() != generation)
        return;
    m_queueStarting = false;
    m_queue = std::make_unique<CheckQueue>(s, m_limits);
    connect(m_queue.get(), &CheckQueue::allDone, this, &Engine::checkLater);
    if (s.bschck2) {
        // Every row at once: a source that answers many rows a request (or
        // from its own files) fills them as its answers come.
        for (int row = 0; row < s.lv1.count() && s.lv1.generation() == generation; ++row) {
            if (s.lv1.note(row) != RowNote::Blank)
                s.rankSource().queryRow(row);
        }
        if (s.lv1.generation() != generation)
            return;
    }
    if (s.bschck3)
        m_queue->start();
    else
        m_queue->stop();
}

bool Engine::runFinished() const
{
    const FormState &s = *m_state;
    if (!m_runActive || m_queueStarting)
        return false;
    if (m_walk == Walk::None)
        return true;
    if (m_walk == Walk::Queue && m_queue && !m_queue->finished())
        return false;
    // A re-query started during the run belongs to it too.
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
    // Cells whose query was never sent (a box unticked during the run) say so.
    settleUnsent(*m_state);
    emit runEnded();
}
