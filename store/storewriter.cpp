#include "store/storewriter.h"

#include "store/inputkey.h"
#include "store/sqlite.h"

#include <sqlite3.h>

#include <chrono>

namespace {

using Clock = std::chrono::steady_clock;

bool isBusy(const sql::Error &e)
{
    return e.primary() == SQLITE_BUSY || e.primary() == SQLITE_LOCKED;
}

// A text for a column that takes no NULL: a null string is an empty one.
QString text(const QString &s)
{
    return s.isNull() ? QStringLiteral("") : s;
}

QString problemText(const sql::Error &e)
{
    switch (e.primary()) {
    case SQLITE_FULL:
        return QStringLiteral("磁盘已满, 以后的结果不再记录");
    case SQLITE_READONLY:
        return QStringLiteral("文件只读, 以后的结果不再记录");
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
        return QStringLiteral("文件已损坏 (%1), 以后的结果不再记录").arg(e.message());
    default:
        return QStringLiteral("写入失败 (%1), 以后的结果不再记录").arg(e.message());
    }
}

} // namespace

// The writer's connection and its statements, prepared once.
class StoreWriter::Session final
{
public:
    Session(const QString &path, const Options &options)
        : db(path, false)
    {
        db.setBusyTimeout(options.busyTimeoutMs);
        if (db.readOnly())
            throw sql::Error(SQLITE_READONLY, sql::errorText(SQLITE_READONLY));
        // A commit reaches the operating system at once; a power cut may
        // lose the last of them, but never leaves the file damaged.
        db.exec("PRAGMA synchronous = NORMAL");
        if (options.maxPageCount > 0)
            db.exec(QStringLiteral("PRAGMA max_page_count = %1").arg(options.maxPageCount).toUtf8().constData());
        insertRun = std::make_unique<sql::Statement>(db,
            "INSERT INTO runs (started_at, program, kind, input, input_key, options) VALUES (?1, ?2, ?3, ?4, ?5, ?6)");
        continueRun = std::make_unique<sql::Statement>(db,
            "UPDATE runs SET ending = NULL, ended_at = NULL, resumed = resumed + 1 WHERE id = ?1");
        insertRow = std::make_unique<sql::Statement>(db,
            "INSERT OR IGNORE INTO run_rows (run_id, row, caption, kind, text, url, access, pr) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8)");
        setRows = std::make_unique<sql::Statement>(db,
            "UPDATE runs SET rows = ?2, rows_stored = max(rows_stored, ?3) WHERE id = ?1");
        findUrl = std::make_unique<sql::Statement>(db, "SELECT id FROM urls WHERE url = ?1");
        insertUrl = std::make_unique<sql::Statement>(db, "INSERT INTO urls (url) VALUES (?1)");
        insertCheck = std::make_unique<sql::Statement>(db,
            "INSERT INTO checks (run_id, row, url_id, checked_at, verdict, access, hops, final_url, elapsed_ms, reason, detail,"
            " retry_after, dead_since, change, cached) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13, ?14, ?15)");
        insertRank = std::make_unique<sql::Statement>(db,
            "INSERT INTO ranks (run_id, row, source, key, pr, asked_at, cached, note) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8)");
        endUncounted = std::make_unique<sql::Statement>(db,
            "UPDATE runs SET ended_at = ?2, ending = ?3,"
            " answered = (SELECT count(DISTINCT row) FROM checks WHERE run_id = ?1),"
            " alive = (SELECT count(DISTINCT row) FROM checks WHERE run_id = ?1 AND verdict = 'alive'),"
            " dead = (SELECT count(DISTINCT row) FROM checks WHERE run_id = ?1 AND verdict = 'dead'),"
            " new_dead = (SELECT count(DISTINCT row) FROM checks WHERE run_id = ?1 AND change = 'new_dead'),"
            " fixed = (SELECT count(DISTINCT row) FROM checks WHERE run_id = ?1 AND change = 'fixed') WHERE id = ?1");
        endRun = std::make_unique<sql::Statement>(db,
            "UPDATE runs SET ended_at = ?2, ending = ?3, rows = ?4, alive = ?5, dead = ?6, pr_found = ?7, new_dead = ?8, fixed = ?9,"
            " answered = (SELECT count(DISTINCT row) FROM checks WHERE run_id = ?1) WHERE id = ?1");
        insertPage = std::make_unique<sql::Statement>(db,
            "INSERT OR REPLACE INTO pages (run_id, url, depth, status, outcome, read_at, readable) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7)");
        insertLink = std::make_unique<sql::Statement>(db,
            "INSERT INTO links (run_id, source, target, anchor_text, flags) VALUES (?1, ?2, ?3, ?4, ?5)");
        insertRobots = std::make_unique<sql::Statement>(db,
            "INSERT OR REPLACE INTO crawl_robots (run_id, origin, status, reason, fetched, body) VALUES (?1, ?2, ?3, ?4, ?5, ?6)");
        insertSitemap = std::make_unique<sql::Statement>(db,
            "INSERT OR REPLACE INTO crawl_sitemaps (run_id, pages, full) VALUES (?1, ?2, ?3)");
        insertQueued = std::make_unique<sql::Statement>(db,
            "INSERT OR IGNORE INTO frontier (run_id, seq, url, depth)"
            " VALUES (?1, (SELECT coalesce(max(seq), 0) + 1 FROM frontier WHERE run_id = ?1), ?2, ?3)");
    }

    // Writes the records in one transaction. On a failure nothing of them
    // stays, and the runs they opened are unopened again.
    void write(const std::vector<Record> &batch)
    {
        m_opened.clear();
        db.exec("BEGIN IMMEDIATE");
        try {
            for (const Record &record : batch)
                std::visit([this](const auto &r) { apply(r); }, record);
            db.exec("COMMIT");
        } catch (...) {
            try {
                db.exec("ROLLBACK");
            } catch (...) {
                // Already rolled back by SQLite itself.
            }
            for (const RunHandle &run : m_opened)
                run->id = 0;
            throw;
        }
    }

    sql::Database db;

private:
    qint64 urlId(const QString &url)
    {
        findUrl->bind(1, url);
        if (findUrl->next()) {
            const qint64 id = findUrl->integer(0);
            findUrl->reset();
            return id;
        }
        findUrl->reset();
        insertUrl->bind(1, url).run();
        return db.lastInsertId();
    }

    void apply(const OpenRun &r)
    {
        QString key = r.start.inputKey;
        if (key.isEmpty())
            key = r.keyUrls ? listInputKey(*r.keyUrls) : QStringLiteral(""); // none: a run that asks nothing
        insertRun->bind(1, r.start.startedAt)
            .bind(2, text(r.start.program))
            .bind(3, text(r.start.kind))
            .bind(4, text(r.start.input))
            .bind(5, key)
            .bind(6, r.start.options.isEmpty() ? QStringLiteral("{}") : r.start.options)
            .run();
        r.run->id = db.lastInsertId();
        m_opened.push_back(r.run);
    }
    void apply(const ContinueRun &r)
    {
        r.run->id = r.runId;
        continueRun->bind(1, r.runId).run();
    }
    void apply(const Rows &r)
    {
        const qint64 run = r.run->id;
        if (run == 0)
            return;
        if (r.rows) {
            for (std::size_t i = 0; i < r.rows->size(); ++i) {
                const StoredRow &row = (*r.rows)[i];
                insertRow->bind(1, run)
                    .bind(2, qint64(r.first) + qint64(i))
                    .bind(3, text(row.caption))
                    .bind(4, text(row.kind))
                    .bind(5, text(row.text))
                    .bind(6, text(row.url))
                    .bind(7, text(row.access))
                    .bind(8, text(row.pr))
                    .run();
            }
        }
        setRows->bind(1, run).bind(2, r.count).bind(3, r.rows ? 1 : 0).run();
    }
    void apply(const Check &c)
    {
        const qint64 run = c.run->id;
        if (run == 0)
            return;
        const CheckRecord &r = c.record;
        insertCheck->bind(1, run)
            .bind(2, r.row)
            .bind(3, urlId(text(r.url)))
            .bind(4, r.checkedAt)
            .bind(5, verdictClassKey(r.verdict))
            .bind(6, text(r.access))
            .bind(7, text(hopsText(r.fetch.hops)))
            .bind(8, text(r.fetch.finalUrl))
            .bind(9, r.fetch.elapsedMs)
            .bind(10, r.fetch.reason == FetchFailure::None ? QString() : reasonKey(r.fetch.reason))
            .bind(11, r.fetch.detail.isEmpty() ? QString() : r.fetch.detail)
            .bind(12, r.fetch.retryAfterSeconds < 0 ? std::nullopt : std::optional<qint64>(r.fetch.retryAfterSeconds))
            .bind(13, r.deadSince)
            .bind(14, r.change == RowChange::Same ? QString() : rowChangeKey(r.change))
            .bind(15, r.cached ? 1 : 0)
            .run();
    }
    void apply(const Rank &k)
    {
        const qint64 run = k.run->id;
        if (run == 0)
            return;
        const RankRecord &r = k.record;
        insertRank->bind(1, run)
            .bind(2, r.row)
            .bind(3, text(r.source))
            .bind(4, text(r.key))
            .bind(5, text(r.pr))
            .bind(6, r.askedAt)
            .bind(7, r.cached ? 1 : 0)
            .bind(8, r.note.isEmpty() ? QString() : r.note)
            .run();
    }
    void apply(const EndRun &e)
    {
        const qint64 run = e.run->id;
        if (run == 0)
            return;
        const RunEnd &r = e.end;
        if (!r.counted) {
            endUncounted->bind(1, run).bind(2, r.endedAt).bind(3, text(r.ending)).run();
            return;
        }
        endRun->bind(1, run)
            .bind(2, r.endedAt)
            .bind(3, text(r.ending))
            .bind(4, r.rows)
            .bind(5, r.alive)
            .bind(6, r.dead)
            .bind(7, r.prFound)
            .bind(8, r.newDead)
            .bind(9, r.fixed)
            .run();
    }
    void apply(const Page &p)
    {
        const qint64 run = p.run->id;
        if (run == 0)
            return;
        insertPage->bind(1, run)
            .bind(2, text(p.page.url))
            .bind(3, p.page.depth)
            .bind(4, p.page.status)
            .bind(5, p.page.outcome.isEmpty() ? QString() : p.page.outcome)
            .bind(6, p.page.readAt)
            .bind(7, p.page.readable ? 1 : 0)
            .run();
        for (const LinkFound &link : p.page.links)
            insertLinkOf(run, link);
    }
    void apply(const Link &l)
    {
        const qint64 run = l.run->id;
        if (run == 0)
            return;
        insertLinkOf(run, l.link);
    }
    void insertLinkOf(qint64 run, const LinkFound &link)
    {
        insertLink->bind(1, run)
            .bind(2, text(link.source))
            .bind(3, text(link.target))
            .bind(4, text(link.anchorText))
            .bind(5, link.internal ? std::optional<qint64>((*link.internal ? 1 : 0) | (link.unaddressable ? 2 : 0)) : std::nullopt)
            .run();
    }
    void apply(const Robots &r)
    {
        const qint64 run = r.run->id;
        if (run == 0)
            return;
        insertRobots->bind(1, run)
            .bind(2, text(r.robots.origin))
            .bind(3, r.robots.status)
            .bind(4, r.robots.outcome.isEmpty() ? QString() : r.robots.outcome)
            .bind(5, r.robots.fetched ? 1 : 0)
            .bindBytes(6, r.robots.body)
            .run();
    }
    void apply(const Sitemap &m)
    {
        const qint64 run = m.run->id;
        if (run == 0)
            return;
        insertSitemap->bind(1, run).bind(2, m.sitemap.pages.join(QLatin1Char('\n'))).bind(3, m.sitemap.full ? 1 : 0).run();
    }
    void apply(const Queued &q)
    {
        const qint64 run = q.run->id;
        if (run == 0)
            return;
        insertQueued->bind(1, run).bind(2, text(q.entry.url)).bind(3, q.entry.depth).run();
    }

    std::unique_ptr<sql::Statement> insertRun, continueRun, insertRow, setRows, findUrl, insertUrl, insertCheck, insertRank, endRun, endUncounted,
        insertPage, insertLink, insertQueued, insertRobots, insertSitemap;
    std::vector<RunHandle> m_opened;
};

StoreWriter::StoreWriter(const QString &path, Options options, ProblemSink problem)
    : m_path(path)
    , m_options(options)
    , m_problem(std::move(problem))
    , m_thread([this] { loop(); })
{
}

StoreWriter::~StoreWriter()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

void StoreWriter::post(Record record)
{
    bool wake = false;
    {
        const std::lock_guard lock(m_mutex);
        ++m_posted;
        if (m_failed) {
            ++m_done;
            ++m_dropped;
            return;
        }
        m_queue.push_back(std::move(record));
        // The writer wakes for the first record of a batch (to start its
        // clock) and for a full batch; waking it for each would cost a
        // switch of threads a record.
        wake = m_queue.size() == 1 || m_queue.size() == m_options.batchRecords;
    }
    if (wake)
        m_wake.notify_one();
}

bool StoreWriter::flush(int timeoutMs)
{
    std::unique_lock lock(m_mutex);
    const std::size_t target = m_posted;
    if (m_done >= target)
        return true;
    m_flushWanted = true;
    m_wake.notify_one();
    return m_written.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return m_done >= target; });
}

std::size_t StoreWriter::dropped() const
{
    const std::lock_guard lock(m_mutex);
    return m_dropped;
}

void StoreWriter::loop()
{
    std::unique_ptr<Session> session;
    QString problem;
    try {
        session = std::make_unique<Session>(m_path, m_options);
    } catch (const sql::Error &e) {
        problem = problemText(e);
    }

    std::unique_lock lock(m_mutex);
    const auto fail = [&](const QString &why, std::size_t lost) {
        m_failed = true;
        m_done += lost + m_queue.size();
        m_dropped += lost + m_queue.size();
        m_queue.clear();
        m_written.notify_all();
        lock.unlock();
        if (m_problem)
            m_problem(why);
        lock.lock();
    };
    if (!session)
        fail(problem, 0);

    Clock::time_point stopDeadline = Clock::time_point::max();
    for (;;) {
        m_wake.wait(lock, [&] { return !m_queue.empty() || m_stopping; });
        if (m_queue.empty())
            break;
        // Records gather for a while: one transaction for many is what
        // keeps the writing cheap.
        m_wake.wait_for(lock, std::chrono::milliseconds(m_options.batchMs),
            [&] { return m_queue.size() >= m_options.batchRecords || m_flushWanted || m_stopping; });
        std::vector<Record> batch(std::make_move_iterator(m_queue.begin()), std::make_move_iterator(m_queue.end()));
        m_queue.clear();
        if (m_stopping && stopDeadline == Clock::time_point::max())
            stopDeadline = Clock::now() + std::chrono::milliseconds(m_finishTimeoutMs.load());
        lock.unlock();

        bool written = false;
        QString failure;
        while (!written && failure.isEmpty()) {
            try {
                session->write(batch);
                written = true;
            } catch (const sql::Error &e) {
                if (!isBusy(e)) {
                    failure = problemText(e);
                    break;
                }
                // Another process is writing: wait for it, as long as
                // there is time.
                lock.lock();
                if (m_stopping && stopDeadline == Clock::time_point::max())
                    stopDeadline = Clock::now() + std::chrono::milliseconds(m_finishTimeoutMs.load());
                if (m_stopping && Clock::now() >= stopDeadline)
                    failure = QStringLiteral("被另一进程长时间占用, 最后的结果未能记录");
                else
                    m_wake.wait_for(lock, std::chrono::milliseconds(100));
                lock.unlock();
            }
        }

        lock.lock();
        if (!failure.isEmpty()) {
            fail(failure, batch.size());
            continue;
        }
        m_done += batch.size();
        if (m_queue.empty())
            m_flushWanted = false;
        m_written.notify_all();
    }
    lock.unlock();
    session.reset();
}
