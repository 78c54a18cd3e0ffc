#include "query/engine.h"

#include "base/guard.h"
#include "base/mainthread.h"
#include "data/storedtext.h"
#include "query/batch.h"
#include "query/crawl.h"
#include "query/dispatch.h"
#include "query/graphrank.h"
#include "query/oprsource.h"
#include "query/pagereader.h"
#include "query/prquery.h"
#include "query/scheduler.h"
#include "query/settle.h"
#include "query/sitequery.h"
#include "query/softprober.h"
#include "query/toolbarrank.h"
#include "survey/linkresolve.h"
#include "survey/regexp.h"

#include <QTimer>

#include <utility>

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
    , m_prober(std::make_unique<SoftProber>(*m_state))
    , m_pages(new PageReader(this))
{
    FormState &s = *m_state;
    s.memo3 = storedtext::checksumScript();
    s.memo4 = m_endpoints.servers.isEmpty() ? storedtext::serverPool() : m_endpoints.servers.join(QLatin1Char('\n'));
    s.edt7 = storedtext::linkPattern();
    s.linkexpr = s.edt7;
    s.iplist = iplistFromText(s.memo4);
    s.setRankSource(std::make_unique<ToolbarRankSource>(s));
    s.onSitePage = [this](const QString &siteUrl, const FetchResult &record, const QByteArray &body) { readSitePage(siteUrl, record, body); };

    s.judgeSoft = [this](int row, const QString &url, const FetchResult &record, const QByteArray &body) {
        return m_prober->judge(row, url, record, body);
    };
    connect(m_prober.get(), &SoftProber::settled, this, &Engine::checkLater);
    // A link that is no address is answered without a request.
    s.addCheckInterceptor([this](int row) { return answerUnaddressable(*m_state, row); });

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
        // A crawl stopped before its page was listed ends as a page that
        // could not be read; the run was stopped all the same.
        closeRun(m_stopRequested ? RunEnding::Stopped : RunEnding::Failed);
    });
    connect(&s, &FormState::stopRequested, this, [this] {
        if (m_crawl)
            m_crawl->stop();
        // A page still being read ends as one whose request was stopped: a
        // failed page that lists nothing.
        if (m_pages->pending() > 0) {
            m_pages->forget();
            m_state->setLbl13(QStringLiteral("提示：") + m_state->siteurl + QStringLiteral("访问失败..."));
            emit m_state->sitePageFailed();
        }
    });
    // A re-query of a row that robots.txt forbids answers it again, unsent.
    s.addCheckInterceptor([this](int row) { return m_crawl && m_crawl->answerIfForbidden(row); });
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
    // The queues' requests (the prober's too) are the state's children; they
    // go first, the crawls retired but not yet deleted too.
    m_queue.reset();
    m_crawl = nullptr;
    qDeleteAll(findChildren<Crawl *>(QString(), Qt::FindDirectChildrenOnly));
}

void Engine::setRankChoice(RankChoice choice, RankChoiceSeams seams)
{
    m_rankChoice = choice;
    FormState &s = *m_state;
    if (choice == RankChoice::Toolbar) {
        s.setRankSource(std::make_unique<ToolbarRankSource>(s));
        return;
    }
    if (choice == RankChoice::GraphFile) {
        s.setRankSource(std::make_unique<GraphRankSource>(s, GraphRankSettings {seams.rankFile, QString(), seams.notice, seams.indexProgress}));
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

void Engine::readSitePage(const QString &siteUrl, const FetchResult &record, const QByteArray &body)
{
    FormState &s = *m_state;
    const PageReader::Reading reading {s.bschck4 ? LinkReader::Html : LinkReader::Pattern, s.linkexpr};
    const QString cut = record.bodyTruncated ? PageReader::cutNote(body.size()) : QString();
    m_pages->readRecords(PageReader::Page {body, record.contentType, siteUrl, pageAddress(siteUrl, record.finalUrl)}, reading,
        [this, siteUrl, cut](PageReader::Answer<LinkSurvey> answer) {
            FormState &s = *m_state;
            if (const QString *error = std::get_if<QString>(&answer)) {
                // The error box says what went wrong; the run ends with nothing
                // listed.
                guard::showError(*error);
                emit s.sitePageFailed();
                return;
            }
            const LinkSurvey &survey = std::get<LinkSurvey>(answer);
            if (!guard::run([&] { listSitePage(s, siteUrl, survey); }))
                return;
            if (survey.limit.limited())
                emit notice(survey.limit.text() + QStringLiteral("：") + siteUrl);
            if (!cut.isEmpty())
                pageCut(s.lv1.hasRow(0) && s.lv1.caption(0) == QLatin1String("0") ? 0 : -1, cut, int(survey.records.size()), siteUrl);
        });
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

void Engine::pageCut(int row, const QString &note, int links, const QString &url)
{
    ++m_pagesCut;
    if (row >= 0)
        m_state->lv1.addNote(row, note);
    emit notice(note + QStringLiteral("，列出 %1 个链接：").arg(links) + url);
}

void Engine::startBatch(const QString &entryText)
{
    m_pagesCut = 0;
    assertMainThread();
    retireCrawl();
    openRun(RunKind::Batch, QString());
    ::btn1Click(*m_state, entryText);
}

void Engine::startStored(RunKind kind, const QString &input, std::vector<ResultRow> rows)
{
    assertMainThread();
    retireCrawl();
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
    m_pagesCut = 0;
    assertMainThread();
    retireCrawl();
    const bool crawls = m_state->crawl.crawls();
    openRun(crawls ? RunKind::Crawl : RunKind::Site, siteText);
    if (crawls) {
        startCrawl(siteText);
        return;
    }
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

void Engine::startCrawl(const QString &siteText)
{
    m_sitePending = true;
    m_crawl = new Crawl(*m_state, *m_myreg, m_limits, nullptr, m_journalSource ? m_journalSource() : nullptr, this);
    connect(m_crawl, &Crawl::rowsAdded, this, &Engine::onCrawlRows);
    connect(m_crawl, &Crawl::progressed, this, &Engine::crawlProgressed);
    connect(m_crawl, &Crawl::ended, this, &Engine::checkLater);
    connect(m_crawl, &Crawl::pageCut, this, &Engine::pageCut);
    m_crawl->start(siteText);
}

void Engine::retireCrawl()
{
    FormState &s = *m_state;
    s.walkChecks = true;
    s.listGrowing = false;
    if (!m_crawl)
        return;
    // It may be inside one of its own handlers right now.
    Crawl *old = std::exchange(m_crawl, nullptr);
    old->disconnect(this);
    old->abandon();
    old->deleteLater();
}

void Engine::onCrawlRows()
{
    FormState &s = *m_state;
    if (!m_runActive)
        return;
    // The walk asks the PR of rows that came after it had passed the end;
    // without a walk, the source is asked for the new rows at once.
    if (m_askRanks)
        askRanksLater();
    else if (m_walk == Walk::Paced && s.bschck2 && !s.tmr2.isActive() && s.curindex <= s.lv1.count() - 1)
        s.tmr2.start();
}

void Engine::askRanksLater()
{
    if (m_ranksPosted)
        return;
    m_ranksPosted = true;
    const quint64 generation = m_state->lv1.generation();
    QTimer::singleShot(0, this, [this, generation] { guard::run([this, generation] { askRanks(generation); }); });
}

void Engine::askRanks(quint64 generation)
{
    m_ranksPosted = false;
    FormState &s = *m_state;
    // Every row at once: a source that answers many rows a request (or from
    // its own files) fills them as its answers come.
    while (m_askRanks && s.lv1.generation() == generation && m_rankNext < s.lv1.count()) {
        const int row = m_rankNext++;
        if (!s.lv1.isBlank(row))
            s.rankSource().queryRow(row);
    }
    checkLater();
}

bool Engine::ranksToAsk() const
{
    return m_askRanks && m_rankNext < m_state->lv1.count();
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
    if (m_runOpen)
        m_stopRequested = true;
    FormState &s = *m_state;
    const bool walking = s.tmr2.isActive() || m_queueStarting || (m_queue && !m_queue->finished()) || s.rankSource().rowsWaiting() > 0;
    ::btnStopClick(s);
    m_queueStarting = false;
    m_rankNext = s.lv1.count();
    if (m_queue)
        m_queue->stop();
    m_prober->stop();
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
    // Each run probes its folders anew; the probes of the last one go, the
    // rows that waited for them with them.
    m_prober->reset();
    m_queue.reset();
    m_queueStarting = false;
    FormState &s = *m_state;
    m_walk = nextWalk();
    m_rankNext = 0;
    m_askRanks = m_walk != Walk::Paced && s.bschck2;
    if (m_crawl) {
        // The crawl checks its rows itself; the walk asks only the PR, at
        // its pace, or the source is asked for every row as it is listed.
        s.walkChecks = false;
        if (m_walk != Walk::Paced || !s.bschck2)
            s.tmr2.stop();
        if (m_askRanks)
            askRanksLater();
        checkLater();
        return;
    }
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
    // Probes keep to the same limits as the checks they are made for.
    m_prober->useQueue(&m_queue->hostQueue());
    askRanks(generation);
    if (s.lv1.generation() != generation)
        return;
    if (s.bschck3)
        m_queue->start();
    else
        m_queue->stop();
}

bool Engine::runFinished() const
{
    const FormState &s = *m_state;
    // A rank source may fill rows by itself, whatever the walk.
    if (!m_runActive || m_queueStarting || s.rankSource().rowsWaiting() > 0 || ranksToAsk())
        return false;
    if (m_crawl)
        return m_crawl->finished() && !s.tmr2.isActive() && requestsInFlight(s) == 0;
    if (m_walk == Walk::None)
        return true;
    if (!m_prober->idle())
        return false;
    if (m_walk == Walk::Queue && m_queue && !m_queue->finished())
        return false;
    // A re-query started during the run belongs to it too.
    return !s.tmr2.isActive() && requestsInFlight(s) == 0;
}

int Engine::softProbesSent() const
{
    return m_prober->probesSent();
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
    closeRun(m_stopRequested ? RunEnding::Stopped : RunEnding::Completed);
}
