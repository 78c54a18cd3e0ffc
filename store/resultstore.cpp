#include "store/resultstore.h"

#include "store/schema.h"
#include "store/sqlite.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QPointer>

#include <mutex>

#include <sqlite3.h>

namespace {

// What a person is told about a store that cannot be used, in a few words.
QString describe(const sql::Error &e)
{
    switch (e.primary()) {
    case SQLITE_NOTADB:
        return QStringLiteral("不是 SQLite 数据库文件");
    case SQLITE_CORRUPT:
        return QStringLiteral("文件已损坏 (%1)").arg(e.message());
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return QStringLiteral("被另一进程长时间占用");
    case SQLITE_CANTOPEN:
        return QStringLiteral("无法打开 (%1)").arg(e.message());
    case SQLITE_FULL:
        return QStringLiteral("磁盘已满");
    case SQLITE_READONLY:
        return QStringLiteral("文件只读");
    default:
        return e.message();
    }
}

PriorCheck priorFrom(const sql::Statement &s, int at)
{
    // Columns from `at`: checked_at, verdict, access, hops, final_url,
    // elapsed_ms, reason, detail, retry_after, dead_since, run_id, change.
    PriorCheck p;
    p.checkedAt = s.integer(at);
    p.verdict = verdictFromKey(s.text(at + 1));
    p.access = s.text(at + 2);
    p.fetch.hops = hopsFromText(s.text(at + 3));
    p.fetch.finalUrl = s.text(at + 4);
    p.fetch.elapsedMs = s.integer(at + 5);
    p.fetch.reason = s.isNull(at + 6) ? FetchFailure::None : reasonFromKey(s.text(at + 6));
    p.fetch.detail = s.isNull(at + 7) ? QString() : s.text(at + 7);
    p.fetch.retryAfterSeconds = s.isNull(at + 8) ? -1 : int(s.integer(at + 8));
    if (!s.isNull(at + 9))
        p.deadSince = s.integer(at + 9);
    p.runId = s.integer(at + 10);
    p.change = s.isNull(at + 11) ? RowChange::Same : rowChangeFromKey(s.text(at + 11));
    return p;
}

constexpr const char *CheckColumns = "c.checked_at, c.verdict, c.access, c.hops, c.final_url, c.elapsed_ms, c.reason, c.detail, c.retry_after, c.dead_since,"
                                     " c.run_id, c.change";

// The columns of RunSummary. A run without an ending counts its checks as
// they stand; an ended run has its counts stored.
constexpr const char *RunColumns = "r.id, r.started_at, r.ended_at, r.program, r.kind, r.input, r.input_key, r.options, r.rows,"
                                   " CASE WHEN r.ending IS NULL THEN (SELECT count(DISTINCT row) FROM checks WHERE run_id = r.id) ELSE r.answered END,"
                                   " CASE WHEN r.ending IS NULL THEN (SELECT count(DISTINCT row) FROM checks WHERE run_id = r.id AND verdict = 'dead') ELSE r.dead END,"
                                   " r.ending, r.resumed, r.rows_stored";

RunSummary summaryFrom(const sql::Statement &s)
{
    RunSummary r;
    r.id = s.integer(0);
    r.startedAt = s.integer(1);
    if (!s.isNull(2))
        r.endedAt = s.integer(2);
    r.program = s.text(3);
    r.kind = s.text(4);
    r.input = s.text(5);
    r.inputKey = s.text(6);
    r.options = s.text(7);
    r.rows = int(s.integer(8));
    r.answered = int(s.integer(9));
    r.dead = int(s.integer(10));
    r.ending = s.isNull(11) ? QString() : s.text(11);
    r.resumed = int(s.integer(12));
    r.rowsStored = s.integer(13) != 0;
    return r;
}

QByteArray runQuery(const char *tail)
{
    return QByteArray("SELECT ") + RunColumns + " FROM runs r " + tail;
}

} // namespace

std::vector<ResultRow> listRowsOf(const StoredRun &run, bool withAnswers)
{
    std::vector<ResultRow> rows;
    rows.reserve(std::size_t(run.rows.size()));
    for (qsizetype i = 0; i < run.rows.size(); ++i) {
        const StoredRow &r = run.rows.at(i);
        ResultRow row {r.caption, {r.kind, r.text, r.url, r.access, r.pr}};
        if (withAnswers) {
            if (const std::optional<PriorCheck> &check = run.checks.value(i)) {
                row.cells[CellAccess] = check->access;
                row.check = std::make_shared<const FetchResult>(check->fetch);
                row.verdict = check->verdict;
                row.change = check->change;
                row.deadSinceMs = check->change == RowChange::StillDead && check->deadSince ? *check->deadSince : 0;
            }
            const QString pr = run.ranks.value(i);
            if (!pr.isNull())
                row.cells[CellPr] = pr;
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

QString defaultStorePath()
{
    QString base = qEnvironmentVariable("XDG_DATA_HOME");
    // A relative XDG_DATA_HOME is to be ignored.
    if (base.isEmpty() || QDir::isRelativePath(base))
        base = QDir::homePath() + QStringLiteral("/.local/share");
    return base + QStringLiteral("/prquery/results.sqlite");
}

ResultStore::Opened ResultStore::open(const QString &path, StoreWriter::Options options)
{
    const QString where = QStringLiteral("结果库 %1 ").arg(path);
    const QString without = QStringLiteral(", 本次运行不记录");
    QDir().mkpath(QFileInfo(path).absolutePath());
    try {
        auto db = std::make_unique<sql::Database>(path, false);
        db->setBusyTimeout(5000);
        const bool readOnly = db->readOnly();
        if (readOnly) {
            // Nothing may be written to it, an upgrade included.
            if (storeschema::versionOf(*db) != storeschema::CurrentVersion)
                return {nullptr, where + QStringLiteral("只读, 无法升级") + without};
        }
        const storeschema::Verdict verdict = storeschema::prepare(*db);
        if (!verdict.refusal.isEmpty())
            return {nullptr, where + verdict.refusal + without};
        if (!readOnly)
            db->exec("PRAGMA journal_mode = WAL");
        std::unique_ptr<ResultStore> store(new ResultStore(path, std::move(db), !readOnly, options));
        return {std::move(store), readOnly ? where + QStringLiteral("只读, 只用于比较和缓存") + without : QString()};
    } catch (const sql::Error &e) {
        return {nullptr, where + describe(e) + without};
    }
}

// The writer's problem, kept until the main thread has told it: the writer
// may fail while the main thread waits for it at the end.
struct ResultStore::Pending
{
    std::mutex mutex;
    QString message;
};

ResultStore::ResultStore(QString path, std::unique_ptr<sql::Database> reader, bool writable, StoreWriter::Options options)
    : m_path(std::move(path))
    , m_pending(std::make_shared<Pending>())
    , m_reader(std::move(reader))
{
    if (writable) {
        // Told from the writer's thread; shown on the main thread.
        QPointer<ResultStore> self(this);
        m_writer = std::make_unique<StoreWriter>(m_path, options, [self, pending = m_pending](const QString &message) {
            {
                const std::lock_guard lock(pending->mutex);
                pending->message = message;
            }
            QMetaObject::invokeMethod(
                self.data(), [self, message] {
                    if (self)
                        self->report(message);
                },
                Qt::QueuedConnection);
        });
    }
}

ResultStore::~ResultStore()
{
    m_writer.reset();
    for (auto &statement : m_hot)
        statement.reset();
    m_reader.reset();
}

void ResultStore::report(const QString &message)
{
    if (m_reported)
        return;
    m_reported = true;
    emit problem(QStringLiteral("结果库 %1 ").arg(m_path) + message);
}

void ResultStore::post(StoreWriter::Record record)
{
    if (m_writer)
        m_writer->post(std::move(record));
}

RunHandle ResultStore::openRun(const RunStart &start, std::shared_ptr<const std::vector<QString>> keyUrls)
{
    auto run = std::make_shared<StoreRun>();
    post(StoreWriter::OpenRun {run, start, std::move(keyUrls)});
    return run;
}

RunHandle ResultStore::continueRun(qint64 runId)
{
    auto run = std::make_shared<StoreRun>();
    post(StoreWriter::ContinueRun {run, runId});
    return run;
}

void ResultStore::recordRows(const RunHandle &run, std::shared_ptr<const std::vector<StoredRow>> rows, int count, int first)
{
    post(StoreWriter::Rows {run, std::move(rows), first, count});
}

void ResultStore::recordCheck(const RunHandle &run, CheckRecord check)
{
    post(StoreWriter::Check {run, std::move(check)});
}

void ResultStore::recordRank(const RunHandle &run, RankRecord rank)
{
    post(StoreWriter::Rank {run, std::move(rank)});
}

void ResultStore::closeRun(const RunHandle &run, const RunEnd &end)
{
    post(StoreWriter::EndRun {run, end});
}

void ResultStore::recordPageRead(const RunHandle &run, PageRead page)
{
    post(StoreWriter::Page {run, std::move(page)});
}

void ResultStore::recordLink(const RunHandle &run, LinkFound link)
{
    post(StoreWriter::Link {run, std::move(link)});
}

void ResultStore::recordQueued(const RunHandle &run, FrontierEntry entry)
{
    post(StoreWriter::Queued {run, std::move(entry)});
}

void ResultStore::recordRobots(const RunHandle &run, RobotsRead robots)
{
    post(StoreWriter::Robots {run, std::move(robots)});
}

void ResultStore::recordSitemap(const RunHandle &run, SitemapRead sitemap)
{
    post(StoreWriter::Sitemap {run, std::move(sitemap)});
}

bool ResultStore::flush(int timeoutMs)
{
    return !m_writer || m_writer->flush(timeoutMs);
}

QString ResultStore::finish(int timeoutMs)
{
    if (m_writer) {
        m_writer->setFinishTimeout(timeoutMs);
        m_writer.reset();
    }
    QString message;
    {
        const std::lock_guard lock(m_pending->mutex);
        message = m_pending->message;
    }
    if (message.isEmpty() || m_reported)
        return QString();
    m_reported = true;
    return QStringLiteral("结果库 %1 ").arg(m_path) + message;
}

template<typename Result, typename Body>
Result ResultStore::read(Result none, Body body)
{
    if (!m_reader)
        return none;
    try {
        return body(*m_reader);
    } catch (const sql::Error &e) {
        // Busy: another process holds the file for now; the answer is
        // "nothing known" this time only.
        if (e.primary() == SQLITE_BUSY || e.primary() == SQLITE_LOCKED)
            return none;
        report(describe(e) + QStringLiteral(", 不再读取"));
        for (auto &statement : m_hot)
            statement.reset();
        m_reader.reset();
        return none;
    }
}

sql::Statement &ResultStore::hot(HotQuery which, const char *query)
{
    auto &slot = m_hot[std::size_t(which)];
    if (!slot)
        slot = std::make_unique<sql::Statement>(*m_reader, query);
    return *slot;
}

std::vector<std::optional<PriorState>> ResultStore::lastStates(const std::vector<QString> &urls, qint64 exceptRun)
{
    std::vector<std::optional<PriorState>> none(urls.size());
    return read(none, [&](sql::Database &db) {
        sql::Statement &s = hot(HotQuery::LastState,
            "SELECT c.id, c.checked_at, c.verdict, c.dead_since, c.run_id FROM checks c"
            " WHERE c.url_id = (SELECT id FROM urls WHERE url = ?1) AND c.run_id <> ?2"
            " ORDER BY c.checked_at DESC, c.id DESC LIMIT 1");
        // One read transaction for all: each lookup on its own would take
        // and give back the file's read lock.
        db.exec("BEGIN");
        std::vector<std::optional<PriorState>> out(urls.size());
        try {
            for (std::size_t i = 0; i < urls.size(); ++i) {
                s.bind(1, urls[i]).bind(2, exceptRun);
                if (s.next()) {
                    PriorState p;
                    p.checkId = s.integer(0);
                    p.checkedAt = s.integer(1);
                    p.verdict = verdictFromKey(s.text(2));
                    if (!s.isNull(3))
                        p.deadSince = s.integer(3);
                    p.runId = s.integer(4);
                    out[i] = p;
                }
                s.reset();
            }
            db.exec("COMMIT");
        } catch (...) {
            s.reset();
            try {
                db.exec("ROLLBACK");
            } catch (...) {
            }
            throw;
        }
        return out;
    });
}

std::optional<PriorCheck> ResultStore::check(qint64 checkId)
{
    return read(std::optional<PriorCheck>(), [&](sql::Database &db) -> std::optional<PriorCheck> {
        sql::Statement s(db, (QByteArray("SELECT ") + CheckColumns + " FROM checks c WHERE c.id = ?1").constData());
        s.bind(1, checkId);
        return s.next() ? std::optional(priorFrom(s, 0)) : std::nullopt;
    });
}

std::optional<StoredRank> ResultStore::lastRank(const QString &source, const QString &key, qint64 notBefore)
{
    return read(std::optional<StoredRank>(), [&](sql::Database &) -> std::optional<StoredRank> {
        sql::Statement &s = hot(HotQuery::LastRank,
            "SELECT pr, asked_at, note FROM ranks WHERE source = ?1 AND key = ?2 AND asked_at >= ?3 AND pr GLOB '[0-9]*'"
            " ORDER BY asked_at DESC, id DESC LIMIT 1");
        s.bind(1, source).bind(2, key).bind(3, notBefore);
        std::optional<StoredRank> found;
        if (s.next())
            found = StoredRank {s.text(0), s.integer(1), s.isNull(2) ? QString() : s.text(2)};
        s.reset();
        return found;
    });
}

std::optional<RunSummary> ResultStore::latestRun()
{
    return read(std::optional<RunSummary>(), [&](sql::Database &db) -> std::optional<RunSummary> {
        sql::Statement s(db, runQuery("ORDER BY r.id DESC LIMIT 1").constData());
        return s.next() ? std::optional(summaryFrom(s)) : std::nullopt;
    });
}

std::optional<RunSummary> ResultStore::latestRunOf(const QString &inputKey)
{
    return read(std::optional<RunSummary>(), [&](sql::Database &db) -> std::optional<RunSummary> {
        sql::Statement s(db, runQuery("WHERE r.input_key = ?1 ORDER BY r.id DESC LIMIT 1").constData());
        s.bind(1, inputKey);
        return s.next() ? std::optional(summaryFrom(s)) : std::nullopt;
    });
}

std::optional<RunSummary> ResultStore::run(qint64 runId)
{
    return read(std::optional<RunSummary>(), [&](sql::Database &db) -> std::optional<RunSummary> {
        sql::Statement s(db, runQuery("WHERE r.id = ?1").constData());
        s.bind(1, runId);
        return s.next() ? std::optional(summaryFrom(s)) : std::nullopt;
    });
}

QList<RunSummary> ResultStore::runs(int limit)
{
    return read(QList<RunSummary>(), [&](sql::Database &db) {
        sql::Statement s(db, runQuery("ORDER BY r.id DESC LIMIT ?1").constData());
        s.bind(1, limit);
        QList<RunSummary> out;
        while (s.next())
            out << summaryFrom(s);
        return out;
    });
}

QList<RunPoint> ResultStore::deadTrend(const QString &inputKey, int limit)
{
    // Runs that asked nothing have no key, and no dead links to draw.
    if (inputKey.isEmpty())
        return {};
    return read(QList<RunPoint>(), [&](sql::Database &db) {
        sql::Statement s(db, runQuery("WHERE r.input_key = ?1 ORDER BY r.id DESC LIMIT ?2").constData());
        s.bind(1, inputKey).bind(2, limit);
        QList<RunPoint> out;
        while (s.next()) {
            const RunSummary r = summaryFrom(s);
            out.prepend(RunPoint {r.id, r.startedAt, r.dead, r.rows});
        }
        return out;
    });
}

std::optional<StoredRun> ResultStore::loadRun(qint64 runId)
{
    std::optional<RunSummary> summary = run(runId);
    if (!summary)
        return std::nullopt;
    return read(std::optional<StoredRun>(), [&](sql::Database &db) -> std::optional<StoredRun> {
        StoredRun out;
        out.summary = *summary;
        {
            sql::Statement s(db, "SELECT row, caption, kind, text, url, access, pr FROM run_rows WHERE run_id = ?1 ORDER BY row");
            s.bind(1, runId);
            while (s.next())
                out.rows << StoredRow {s.text(1), s.text(2), s.text(3), s.text(4), s.text(5), s.text(6)};
        }
        out.checks.resize(out.rows.size());
        out.ranks.resize(out.rows.size());
        out.rankNotes.resize(out.rows.size());
        {
            // The last check of each row wins: a re-query came after.
            sql::Statement s(db, (QByteArray("SELECT c.row, ") + CheckColumns + " FROM checks c WHERE c.run_id = ?1 ORDER BY c.row, c.id").constData());
            s.bind(1, runId);
            while (s.next()) {
                const qint64 row = s.integer(0);
                if (row >= 0 && row < out.checks.size())
                    out.checks[row] = priorFrom(s, 1);
            }
        }
        {
            sql::Statement s(db, "SELECT row, pr, note FROM ranks WHERE run_id = ?1 ORDER BY row, id");
            s.bind(1, runId);
            while (s.next()) {
                const qint64 row = s.integer(0);
                if (row >= 0 && row < out.ranks.size()) {
                    out.ranks[row] = s.text(1);
                    out.rankNotes[row] = s.isNull(2) ? QString() : s.text(2);
                }
            }
        }
        return out;
    });
}

QList<AddressCheck> ResultStore::history(const QString &url, int limit)
{
    return read(QList<AddressCheck>(), [&](sql::Database &db) {
        sql::Statement s(db, (QByteArray("SELECT ") + CheckColumns + ", c.cached FROM checks c WHERE c.url_id = (SELECT id FROM urls WHERE url = ?1)"
                                                                     " ORDER BY c.checked_at DESC, c.id DESC LIMIT ?2")
                                 .constData());
        s.bind(1, url).bind(2, limit);
        QList<AddressCheck> out;
        while (s.next()) {
            const PriorCheck p = priorFrom(s, 0);
            out << AddressCheck {p.checkedAt, p.verdict, statusText(p.fetch), s.integer(12) != 0, p.runId};
        }
        return out;
    });
}

QSet<QString> ResultStore::pagesRead(qint64 runId)
{
    return read(QSet<QString>(), [&](sql::Database &db) {
        sql::Statement s(db, "SELECT url FROM pages WHERE run_id = ?1");
        s.bind(1, runId);
        QSet<QString> out;
        while (s.next())
            out.insert(s.text(0));
        return out;
    });
}

QList<FrontierEntry> ResultStore::frontier(qint64 runId)
{
    return read(QList<FrontierEntry>(), [&](sql::Database &db) {
        sql::Statement s(db,
            "SELECT f.url, f.depth FROM frontier f WHERE f.run_id = ?1"
            " AND NOT EXISTS (SELECT 1 FROM pages p WHERE p.run_id = ?1 AND p.url = f.url) ORDER BY f.seq");
        s.bind(1, runId);
        QList<FrontierEntry> out;
        while (s.next())
            out << FrontierEntry {s.text(0), int(s.integer(1))};
        return out;
    });
}

QList<LinkFound> ResultStore::linksTo(qint64 runId, const QString &target)
{
    return read(QList<LinkFound>(), [&](sql::Database &db) {
        sql::Statement s(db, "SELECT source, target, anchor_text FROM links WHERE run_id = ?1 AND target = ?2 ORDER BY id");
        s.bind(1, runId).bind(2, target);
        QList<LinkFound> out;
        while (s.next())
            out << LinkFound {s.text(0), s.text(1), s.text(2), std::nullopt, false};
        return out;
    });
}

std::optional<PageRead> ResultStore::pageOf(qint64 runId, const QString &url)
{
    return read(std::optional<PageRead>(), [&](sql::Database &) -> std::optional<PageRead> {
        sql::Statement &page = hot(HotQuery::Page, "SELECT depth, status, outcome, read_at, readable FROM pages WHERE run_id = ?1 AND url = ?2");
        page.bind(1, runId).bind(2, url);
        if (!page.next()) {
            page.reset();
            return std::nullopt;
        }
        PageRead out;
        out.url = url;
        out.depth = int(page.integer(0));
        out.status = int(page.integer(1));
        out.outcome = page.isNull(2) ? QString() : page.text(2);
        out.readAt = page.integer(3);
        out.readable = page.integer(4) != 0;
        page.reset();
        sql::Statement &links = hot(HotQuery::PageLinks, "SELECT target, anchor_text, flags FROM links WHERE run_id = ?1 AND source = ?2 ORDER BY id");
        links.bind(1, runId).bind(2, url);
        while (links.next()) {
            LinkFound link {url, links.text(0), links.text(1), std::nullopt, false};
            if (!links.isNull(2)) {
                const qint64 flags = links.integer(2);
                link.internal = (flags & 1) != 0;
                link.unaddressable = (flags & 2) != 0;
            }
            out.links << link;
        }
        links.reset();
        return out;
    });
}

std::optional<RobotsRead> ResultStore::robotsOf(qint64 runId, const QString &origin)
{
    return read(std::optional<RobotsRead>(), [&](sql::Database &db) -> std::optional<RobotsRead> {
        sql::Statement s(db, "SELECT status, reason, fetched, body FROM crawl_robots WHERE run_id = ?1 AND origin = ?2");
        s.bind(1, runId).bind(2, origin);
        if (!s.next())
            return std::nullopt;
        return RobotsRead {origin, int(s.integer(0)), s.isNull(1) ? QString() : s.text(1), s.integer(2) != 0, s.bytes(3)};
    });
}

std::optional<SitemapRead> ResultStore::sitemapOf(qint64 runId)
{
    return read(std::optional<SitemapRead>(), [&](sql::Database &db) -> std::optional<SitemapRead> {
        sql::Statement s(db, "SELECT pages, full FROM crawl_sitemaps WHERE run_id = ?1");
        s.bind(1, runId);
        if (!s.next())
            return std::nullopt;
        const QString pages = s.text(0);
        return SitemapRead {pages.isEmpty() ? QStringList() : pages.split(QLatin1Char('\n')), s.integer(1) != 0};
    });
}
