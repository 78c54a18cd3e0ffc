#include "query/runrecorder.h"

#include "query/batch.h"
#include "query/storedcrawl.h"
#include "shell/celltexts.h"
#include "shell/formstate.h"
#include "shell/runreport.h"
#include "store/inputkey.h"
#include "store/resultstore.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

qint64 now()
{
    return QDateTime::currentMSecsSinceEpoch();
}

// A dead link, for the changes: whatever answers that the address does
// not serve its page.
bool isDead(VerdictClass verdict)
{
    return verdict == VerdictClass::Dead || verdict == VerdictClass::Soft404 || verdict == VerdictClass::Invalid;
}

// A PR cell that holds an answer, not a wait.
bool isRankAnswer(const QString &pr)
{
    return pr != celltext::Pending && pr != celltext::Requery;
}

QString rankSourceKey(RankChoice choice)
{
    switch (choice) {
    case RankChoice::Toolbar:
        return QStringLiteral("toolbar");
    case RankChoice::OpenPageRank:
        return QStringLiteral("opr");
    case RankChoice::GraphFile:
        return QStringLiteral("graph");
    }
    return QString();
}

QString walkKey(Walk walk)
{
    switch (walk) {
    case Walk::Paced:
        return QStringLiteral("paced");
    case Walk::Queue:
        return QStringLiteral("queue");
    case Walk::None:
        return QStringLiteral("none");
    }
    return QString();
}

// A row as the list built it, as the store keeps it.
StoredRow storedRowOf(const ResultRow &r)
{
    return StoredRow {r.caption, r.cells[CellInternal], r.cells[CellLinkText], r.cells[CellUrl], r.cells[CellAccess], r.cells[CellPr]};
}

} // namespace

RunRecorder::RunRecorder(Engine &engine, ResultStore &store, QString program, QObject *parent)
    : QObject(parent)
    , m_engine(&engine)
    , m_state(engine.state())
    , m_store(store)
    , m_program(std::move(program))
    , m_answers(engine.state(), store)
{
    m_state.knownAnswers = &m_answers;
    connect(&engine, &Engine::runOpened, this, &RunRecorder::onRunOpened);
    connect(&m_state, &FormState::runStarted, this, &RunRecorder::onRunStarted);
    connect(&engine, &Engine::rowAnswered, this, &RunRecorder::onRowAnswered);
    connect(&engine, &Engine::runClosed, this, &RunRecorder::onRunClosed);
    connect(&m_state.lv1, &ResultListModel::rowsInserted, this, [this](const QModelIndex &, int first, int last) { onRowsAdded(first, last); });
    // A crawl writes its answers under the run; one that goes on from a
    // run reads that run's back.
    engine.setCrawlJournalSource([this] { return std::make_shared<StoredCrawl>(&m_store, m_run, m_continued); });
}

RunRecorder::~RunRecorder()
{
    if (m_open)
        onRunClosed(RunEnding::Closed);
    if (m_engine) {
        m_engine->setCrawlJournalSource(nullptr);
        if (m_state.knownAnswers == &m_answers)
            m_state.knownAnswers = nullptr;
    }
}

void RunRecorder::setCacheAge(qint64 seconds)
{
    m_answers.setCacheAge(seconds);
}

QString RunRecorder::batchInputKey(const QString &entryText)
{
    std::vector<QString> urls;
    const QList<QStringView> lines = entryLineViews(entryText);
    urls.reserve(std::size_t(lines.size()));
    for (const QStringView line : lines)
        urls.push_back(normurl(line));
    return listInputKey(urls);
}

QString RunRecorder::siteInputKey(const QString &siteText) const
{
    if (m_state.crawl.crawls())
        return crawlInputKey(siteText, m_state.rdlist1, m_state.bschck4, m_state.crawl);
    return ::siteInputKey(siteText, m_state.rdlist1, m_state.bschck4);
}

bool RunRecorder::resume(qint64 runId)
{
    if (!m_engine)
        return false;
    std::optional<StoredRun> stored = m_store.loadRun(runId);
    if (!stored || stored->rows.isEmpty())
        return false;
    m_answers.continueWith(runId, std::move(stored->checks), std::move(stored->ranks), std::move(stored->rankNotes));
    m_continuing = runId;
    if (stored->summary.kind == QLatin1String("crawl")) {
        // A crawl is run again as it was set up, and takes what it got
        // from its journal and the checks kept: the rows come in the same
        // order, so the checks kept by row are theirs.
        takeCrawlChoices(stored->summary.options);
        m_engine->startSite(stored->summary.input);
        return true;
    }
    std::vector<ResultRow> rows = listRowsOf(*stored, false);
    const bool site = stored->summary.kind == QLatin1String("site");
    m_engine->startStored(site ? RunKind::Site : RunKind::Batch, site ? stored->summary.input : QString(), std::move(rows));
    return true;
}

void RunRecorder::takeCrawlChoices(const QString &options)
{
    const QJsonObject o = QJsonDocument::fromJson(options.toUtf8()).object();
    CrawlSettings &crawl = m_state.crawl;
    crawl.depth = o.value(QStringLiteral("depth")).toInt(crawl.depth);
    crawl.maxPages = o.value(QStringLiteral("max_pages")).toInt(crawl.maxPages);
    crawl.scope = o.value(QStringLiteral("scope")).toString() == QLatin1String("prefix") ? CrawlSettings::Scope::Prefix : CrawlSettings::Scope::Site;
    crawl.robots = o.value(QStringLiteral("robots")).toBool(crawl.robots);
    crawl.sitemap = o.value(QStringLiteral("sitemap")).toBool(crawl.sitemap);
    crawl.sitemapUrl = o.value(QStringLiteral("sitemap_url")).toString();
    m_state.rdlist1 = o.value(QStringLiteral("filter")).toInt(m_state.rdlist1);
    m_state.bschck4 = o.value(QStringLiteral("extract")).toString() == QLatin1String("html");
}

QString RunRecorder::optionsJson() const
{
    const CheckQueueLimits &limits = m_engine->queueLimits();
    const QJsonObject o {
        {QStringLiteral("pr"), m_state.bschck2},
        {QStringLiteral("deadlink"), m_state.bschck3},
        {QStringLiteral("walk"), walkKey(m_engine->nextWalk())},
        {QStringLiteral("interval_ms"), m_state.tmr2.interval()},
        {QStringLiteral("concurrency"), limits.total},
        {QStringLiteral("per_host"), limits.perHost},
        {QStringLiteral("rank_source"), rankSourceKey(m_engine->rankChoice())},
        {QStringLiteral("filter"), m_state.rdlist1},
        {QStringLiteral("extract"), m_state.bschck4 ? QStringLiteral("html") : QStringLiteral("pattern")},
        {QStringLiteral("request_timeout_ms"), m_state.requestTimeoutMs},
        {QStringLiteral("cache_age_s"), m_answers.cacheAgeSeconds()},
        {QStringLiteral("depth"), m_state.crawl.depth},
        {QStringLiteral("max_pages"), m_state.crawl.maxPages},
        {QStringLiteral("scope"), m_state.crawl.scope == CrawlSettings::Scope::Prefix ? QStringLiteral("prefix") : QStringLiteral("site")},
        {QStringLiteral("robots"), m_state.crawl.robots},
        {QStringLiteral("sitemap"), m_state.crawl.sitemap},
        {QStringLiteral("sitemap_url"), m_state.crawl.sitemapUrl},
    };
    return QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact));
}

void RunRecorder::onRunOpened(RunKind kind, const QString &input)
{
    // A run compares with the runs before it: those of this program that
    // are still on their way to the file go first (at once, unless another
    // process holds the store).
    m_store.flush(2000);
    m_kind = kind;
    m_answers.setRankSource(rankSourceKey(m_engine->rankChoice()));
    m_continued = std::exchange(m_continuing, 0);
    m_openPending = false;
    m_open = true;
    if (m_continued != 0) {
        m_run = m_store.continueRun(m_continued);
        return;
    }
    RunStart start;
    start.startedAt = now();
    start.program = m_program;
    start.kind = kind == RunKind::Crawl ? QStringLiteral("crawl") : kind == RunKind::Site ? QStringLiteral("site")
                                                                                          : QStringLiteral("batch");
    start.options = optionsJson();
    if (kind != RunKind::Batch) {
        start.input = input;
        start.inputKey = siteInputKey(input);
        m_run = m_store.openRun(start);
        return;
    }
    // A batch's key is that of its rows: it is opened once they are built,
    // which is within the same command.
    start.input = m_batchInput;
    m_pendingStart = start;
    m_openPending = true;
    m_run.reset();
}

void RunRecorder::onRunStarted()
{
    const ResultListModel &list = m_state.lv1;
    if (!m_open)
        return;
    // The rows are kept for a run that asks something, so that it can be
    // continued and shown again; a list that is only written needs none,
    // nor a key: there is nothing to go on with or to compare.
    // A crawl asks for its pages whatever else it asks.
    const bool asks = m_kind == RunKind::Crawl || (m_engine->walk() != Walk::None && (m_state.bschck2 || m_state.bschck3));
    if (m_openPending) {
        // The key is worked out by the store's writer, off this thread.
        std::shared_ptr<std::vector<QString>> urls;
        if (asks) {
            urls = std::make_shared<std::vector<QString>>();
            urls->reserve(std::size_t(list.count()));
            for (int i = 0; i < list.count(); ++i)
                urls->push_back(list.cell(i, CellUrl));
        }
        m_run = m_store.openRun(m_pendingStart, std::move(urls));
        m_openPending = false;
    }
    if (!m_run)
        return;
    m_generation = list.generation();
    m_answers.setCurrentRun(m_run);
    m_seenCheck.clear();
    m_seenPr.clear();
    m_keepRows = asks;
    m_rowsKept = list.count();
    // A list continued is kept already; a crawl's grows as it goes on, and
    // keeps again (once) what it lists.
    if (m_continued != 0 && m_kind != RunKind::Crawl)
        return;

    std::shared_ptr<std::vector<StoredRow>> rows;
    if (asks) {
        rows = std::make_shared<std::vector<StoredRow>>();
        rows->reserve(std::size_t(list.count()));
        for (int i = 0; i < list.count(); ++i)
            rows->push_back(storedRowOf(list.row(i)));
    }
    m_store.recordRows(m_run, std::move(rows), list.count());

    if (m_kind == RunKind::Site && m_continued == 0) {
        // The links found on the page, as listed (the site's own row is
        // the page).
        for (int i = 0; i < list.count(); ++i) {
            const ResultRow &r = list.row(i);
            if (r.cells[CellLinkText] == celltext::SiteRow && r.caption == QLatin1String("0"))
                continue;
            m_store.recordLink(m_run, LinkFound {m_state.siteurl, r.cells[CellUrl], r.cells[CellLinkText], std::nullopt, false});
        }
    }
}

void RunRecorder::onRowsAdded(int first, int last)
{
    // The rows a crawl lists after its run has started.
    const ResultListModel &list = m_state.lv1;
    if (!m_run || !m_keepRows || list.generation() != m_generation || last < m_rowsKept)
        return;
    first = std::max(first, m_rowsKept);
    auto rows = std::make_shared<std::vector<StoredRow>>();
    rows->reserve(std::size_t(last - first + 1));
    for (int i = first; i <= last; ++i)
        rows->push_back(storedRowOf(list.row(i)));
    m_store.recordRows(m_run, std::move(rows), list.count(), first);
    m_rowsKept = last + 1;
}

void RunRecorder::onRowAnswered(int row)
{
    const ResultListModel &list = m_state.lv1;
    if (!m_run || list.generation() != m_generation || !list.hasRow(row))
        return;
    if (m_seenCheck.size() != std::size_t(list.count())) {
        m_seenCheck.resize(std::size_t(list.count()));
        m_seenPr.resize(std::size_t(list.count()));
    }
    const ResultRow &r = list.row(row);
    const StoredAnswers::Taken taken = m_answers.originOf(row);
    // One answer a call: a check brings a new record, otherwise it was
    // the PR.
    if (r.check && r.check != m_seenCheck[std::size_t(row)]) {
        m_seenCheck[std::size_t(row)] = r.check;
        recordCheck(row, r, taken);
    } else if (isRankAnswer(r.cells[CellPr])) {
        m_seenPr[std::size_t(row)] = r.cells[CellPr];
        recordRank(row, r.cells[CellPr], taken);
    }
}

void RunRecorder::recordCheck(int row, const ResultRow &r, const StoredAnswers::Taken &taken)
{
    const std::optional<PriorState> &before = m_answers.prior(row);
    const bool deadBefore = before && isDead(before->verdict);
    ChangeInput in;
    in.checkedBefore = before.has_value();
    in.deadBefore = deadBefore;
    in.aliveBefore = before && before->verdict == VerdictClass::Alive;
    in.deadNow = isDead(r.verdict);
    in.aliveNow = r.verdict == VerdictClass::Alive;
    const RowChange change = rowChangeOf(in);

    const bool cached = taken.origin == StoredAnswers::Origin::Cached;
    const qint64 checkedAt = cached ? taken.at : now();
    std::optional<qint64> deadSince;
    if (in.deadNow)
        deadSince = deadBefore && before->deadSince ? *before->deadSince : checkedAt;
    m_state.lv1.setChange(row, change, change == RowChange::StillDead ? *deadSince : 0);
    if (taken.origin == StoredAnswers::Origin::Continued)
        return; // kept already, in the run being continued

    CheckRecord record;
    record.row = row;
    record.url = r.cells[CellUrl];
    record.checkedAt = checkedAt;
    record.verdict = r.verdict;
    record.access = r.cells[CellAccess];
    record.fetch = *r.check;
    record.deadSince = deadSince;
    record.change = change;
    record.cached = cached;
    m_store.recordCheck(m_run, std::move(record));
}

void RunRecorder::recordRank(int row, const QString &pr, const StoredAnswers::Taken &taken)
{
    if (taken.origin == StoredAnswers::Origin::Continued)
        return;
    const QString source = rankSourceKey(m_engine->rankChoice());
    RankRecord record;
    record.row = row;
    record.source = source;
    record.key = StoredAnswers::rankKey(source, m_state.lv1.cell(row, CellUrl));
    record.pr = pr;
    record.note = m_state.lv1.row(row).note;
    record.cached = taken.origin == StoredAnswers::Origin::Cached;
    record.askedAt = record.cached ? taken.at : now();
    m_store.recordRank(m_run, std::move(record));
}

void RunRecorder::onRunClosed(RunEnding how)
{
    if (!m_open)
        return;
    m_open = false;
    if (m_openPending) {
        // Closed before its list was built: kept as a run with no rows.
        m_run = m_store.openRun(m_pendingStart);
        m_openPending = false;
    }
    // The counts are the list's while it is the run's; an engine gone
    // first took its list with it, and a list shown in its place is
    // another: the store counts the checks it kept.
    ListTally tally;
    RunEnd end;
    end.counted = m_engine && m_state.lv1.generation() == m_generation;
    if (end.counted)
        tally = tallyList(m_state.lv1);
    end.endedAt = now();
    end.ending = runEndingKey(how);
    end.rows = tally.rows;
    end.alive = tally.alive;
    end.dead = tally.dead;
    end.prFound = tally.prFound;
    end.newDead = tally.newDead;
    end.fixed = tally.fixed;
    m_store.closeRun(m_run, end);
    emit runRecorded(how, tally.newDead, tally.fixed);
}
