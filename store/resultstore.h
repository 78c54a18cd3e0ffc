#pragma once

#include "shell/resultlist.h"
#include "store/records.h"
#include "store/storewriter.h"

#include <QObject>
#include <QSet>
#include <QString>

#include <array>
#include <memory>
#include <optional>
#include <vector>

namespace sql {
class Database;
class Statement;
} // namespace sql

// The result store: one SQLite file (WAL journal) that keeps every run of
// the window and of the command line, its rows, checks and PR answers, and
// what a crawl read and found. Reads run on the main thread over a
// connection of their own; writes are handed to a StoreWriter and never
// wait. A store that fails is told once (problem) and is then left alone:
// the run goes on as without a store.
class ResultStore final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ResultStore)

public:
    struct Opened
    {
        std::unique_ptr<ResultStore> store; // null: the run goes on without one
        QString problem; // one line for the person; empty when all is well
    };
    // Opens the store at path, creating it (and its folder) when missing,
    // upgrading an older layout in place. A file that is not a store, a
    // newer layout, or one that cannot be opened gives no store and a
    // problem; a read-only file gives a store that only reads.
    static Opened open(const QString &path, StoreWriter::Options options = {});

    ~ResultStore() override;

    const QString &path() const { return m_path; }
    // Nothing is written to this store (read-only, or writing failed).
    bool writable() const { return m_writer != nullptr; }

    // Writes, in the order given; none of them waits.
    RunHandle openRun(const RunStart &start, std::shared_ptr<const std::vector<QString>> keyUrls = nullptr);
    RunHandle continueRun(qint64 runId);
    // The list of the run: its rows from list position first on when they
    // are kept (rows may be null), and its size.
    void recordRows(const RunHandle &run, std::shared_ptr<const std::vector<StoredRow>> rows, int count, int first = 0);
    void recordCheck(const RunHandle &run, CheckRecord check);
    void recordRank(const RunHandle &run, RankRecord rank);
    void closeRun(const RunHandle &run, const RunEnd &end);
    // A crawl's records.
    void recordPageRead(const RunHandle &run, PageRead page);
    void recordLink(const RunHandle &run, LinkFound link);
    void recordQueued(const RunHandle &run, FrontierEntry entry);
    void recordRobots(const RunHandle &run, RobotsRead robots);
    void recordSitemap(const RunHandle &run, SitemapRead sitemap);
    // Waits until everything handed over has been written; false on time-out.
    bool flush(int timeoutMs = 5000);
    // Writes what is waiting, waiting at most timeoutMs for a store that
    // another process holds, and ends the writing. Gives the problem that
    // kept records from the file when it has not been told yet.
    QString finish(int timeoutMs = 5000);

    // Reads. Each gives nothing once reading has failed.
    // What a comparison needs of the last check of each of urls in any run
    // but exceptRun, in one read: a run looks its rows up a stretch at a
    // time.
    std::vector<std::optional<PriorState>> lastStates(const std::vector<QString> &urls, qint64 exceptRun);
    // A check by its id (PriorState::checkId).
    std::optional<PriorCheck> check(qint64 checkId);
    // The last PR answer that holds a rank, of key from source, not older
    // than notBefore.
    std::optional<StoredRank> lastRank(const QString &source, const QString &key, qint64 notBefore);
    // The latest run, and the latest run of an input.
    std::optional<RunSummary> latestRun();
    std::optional<RunSummary> latestRunOf(const QString &inputKey);
    std::optional<RunSummary> run(qint64 runId);
    // The latest runs, newest first.
    QList<RunSummary> runs(int limit = 1000);
    // Dead links of every run of an input, oldest first.
    QList<RunPoint> deadTrend(const QString &inputKey, int limit = 200);
    // The rows of a run with the last check and PR answer of each.
    std::optional<StoredRun> loadRun(qint64 runId);
    // The checks of an address, newest first.
    QList<AddressCheck> history(const QString &url, int limit = 20);
    // A crawl's state: the pages read in a run, the addresses queued and
    // not yet read (in the order they were queued), the links to a page.
    QSet<QString> pagesRead(qint64 runId);
    QList<FrontierEntry> frontier(qint64 runId);
    QList<LinkFound> linksTo(qint64 runId, const QString &target);
    // What a crawl of a run got: a page (with the links read off it, in
    // the order found), an origin's robots.txt, the sitemap's pages.
    std::optional<PageRead> pageOf(qint64 runId, const QString &url);
    std::optional<RobotsRead> robotsOf(qint64 runId, const QString &origin);
    std::optional<SitemapRead> sitemapOf(qint64 runId);

signals:
    // Told once, on the main thread: why the store no longer records (or
    // reads). The run goes on.
    void problem(const QString &message);

private:
    ResultStore(QString path, std::unique_ptr<sql::Database> reader, bool writable, StoreWriter::Options options);
    void post(StoreWriter::Record record);
    // Runs a read; a failure is told once and ends reading.
    template<typename Result, typename Body>
    Result read(Result none, Body body);
    void report(const QString &message);
    // The reads asked for every row, prepared once.
    enum class HotQuery {
        LastState,
        LastRank,
        Page,
        PageLinks,
        Count
    };
    sql::Statement &hot(HotQuery which, const char *query);

    struct Pending;
    const QString m_path;
    std::shared_ptr<Pending> m_pending; // the writer's problem, until told
    std::unique_ptr<sql::Database> m_reader;
    std::array<std::unique_ptr<sql::Statement>, std::size_t(HotQuery::Count)> m_hot;
    std::unique_ptr<StoreWriter> m_writer;
    bool m_reported = false;
};

// The rows of a stored run as the list holds them: as they were built, or
// with the answers the run got (each row's last check and PR, and how the
// check compared with the one before).
std::vector<ResultRow> listRowsOf(const StoredRun &run, bool withAnswers);

// Where the store lives when none is named: $XDG_DATA_HOME/prquery/results.sqlite,
// ~/.local/share/prquery/results.sqlite when XDG_DATA_HOME is not set.
QString defaultStorePath();
