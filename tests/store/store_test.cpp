// The result store on its own: what goes in comes back, a crawl's state, the
// layout's versions, and the faults a file can have (full, busy, foreign,
// newer, not a database at all).
#include "store/resultstore.h"
#include "store/schema.h"
#include "store/sqlite.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace {

struct StoreTest : ::testing::Test
{
    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("results.sqlite"));

    std::unique_ptr<ResultStore> open(StoreWriter::Options options = {})
    {
        ResultStore::Opened opened = ResultStore::open(path, options);
        EXPECT_TRUE(opened.problem.isEmpty()) << opened.problem.toStdString();
        return std::move(opened.store);
    }
    QByteArray bytes() const
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    void writeBytes(const QByteArray &data) const
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(data);
    }
    QString integrity() const
    {
        sql::Database db(path, true);
        sql::Statement s(db, "PRAGMA integrity_check");
        return s.next() ? s.text(0) : QString();
    }
    qint64 count(const char *query) const
    {
        sql::Database db(path, true);
        return db.scalar(query);
    }
};

RunStart startOf(const QString &key, qint64 at = 1000)
{
    RunStart s;
    s.startedAt = at;
    s.program = QStringLiteral("cli");
    s.kind = QStringLiteral("batch");
    s.input = QStringLiteral("in.txt");
    s.inputKey = key;
    s.options = QStringLiteral("{}");
    return s;
}

CheckRecord checkOf(int row, const QString &url, VerdictClass verdict, qint64 at)
{
    CheckRecord c;
    c.row = row;
    c.url = url;
    c.checkedAt = at;
    c.verdict = verdict;
    c.access = verdict == VerdictClass::Alive ? QStringLiteral("√") : QStringLiteral("×");
    c.fetch.hops = verdict == VerdictClass::Alive ? QList<int> {301, 200} : QList<int> {404};
    c.fetch.finalUrl = QStringLiteral("http://") + url;
    c.fetch.elapsedMs = 12;
    if (verdict != VerdictClass::Alive)
        c.fetch.reason = FetchFailure::HttpStatus;
    return c;
}

TEST_F(StoreTest, RecordsComeBackAsTheyWent)
{
    auto store = open();
    ASSERT_TRUE(store);
    EXPECT_TRUE(QFile::exists(path));
    // Every character of a query string, a fragment and Chinese, as given.
    const QString tricky = QStringLiteral("a.cn/p?q=1&r=%20x+y&z=中文#frag");
    const RunHandle run = store->openRun(startOf(QStringLiteral("k1")));
    auto rows = std::make_shared<std::vector<StoredRow>>(std::vector<StoredRow> {
        {QStringLiteral("1"), QStringLiteral("批量"), QStringLiteral("--"), tricky, QStringLiteral("查询中..."), QStringLiteral("查询中...")},
        {QStringLiteral("2"), QStringLiteral("批量"), QStringLiteral("--"), QStringLiteral("b.cn"), QStringLiteral("查询中..."), QStringLiteral("查询中...")},
        {QStringLiteral("3"), QStringLiteral("批量"), QStringLiteral("--"), QString(""), QStringLiteral("查询中..."), QStringLiteral("查询中...")},
    });
    store->recordRows(run, rows, 3);
    CheckRecord alive = checkOf(0, tricky, VerdictClass::Alive, 5000);
    alive.fetch.detail = QStringLiteral("说明");
    alive.fetch.retryAfterSeconds = 7;
    alive.change = RowChange::New;
    store->recordCheck(run, alive);
    CheckRecord dead = checkOf(1, QStringLiteral("b.cn"), VerdictClass::Dead, 5001);
    dead.deadSince = 4000;
    dead.change = RowChange::StillDead;
    store->recordCheck(run, dead);
    store->recordRank(run, RankRecord {0, QStringLiteral("toolbar"), tricky, QStringLiteral("5"), QString(), 5002, false});
    RunEnd end;
    end.endedAt = 6000;
    end.ending = QStringLiteral("completed");
    end.rows = 3;
    end.alive = 1;
    end.dead = 1;
    store->closeRun(run, end);
    ASSERT_TRUE(store->flush());
    ASSERT_GT(run->id.load(), 0);

    const std::optional<StoredRun> loaded = store->loadRun(run->id);
    ASSERT_TRUE(loaded);
    EXPECT_EQ(loaded->summary.ending, QStringLiteral("completed"));
    EXPECT_EQ(loaded->summary.rows, 3);
    EXPECT_EQ(loaded->summary.answered, 2);
    EXPECT_EQ(loaded->summary.dead, 1);
    EXPECT_FALSE(loaded->summary.resumable());
    ASSERT_EQ(loaded->rows.size(), 3);
    EXPECT_EQ(loaded->rows[0].url, tricky);
    EXPECT_EQ(loaded->rows[2].url, QString(""));
    ASSERT_TRUE(loaded->checks[0]);
    EXPECT_EQ(loaded->checks[0]->fetch.hops, (QList<int> {301, 200}));
    EXPECT_EQ(loaded->checks[0]->fetch.finalUrl, QStringLiteral("http://") + tricky);
    EXPECT_EQ(loaded->checks[0]->fetch.detail, QStringLiteral("说明"));
    EXPECT_EQ(loaded->checks[0]->fetch.retryAfterSeconds, 7);
    EXPECT_EQ(loaded->checks[0]->change, RowChange::New);
    ASSERT_TRUE(loaded->checks[1]);
    EXPECT_EQ(loaded->checks[1]->verdict, VerdictClass::Dead);
    EXPECT_EQ(loaded->checks[1]->fetch.reason, FetchFailure::HttpStatus);
    EXPECT_EQ(loaded->checks[1]->deadSince, 4000);
    EXPECT_FALSE(loaded->checks[2]);
    EXPECT_EQ(loaded->ranks[0], QStringLiteral("5"));
    EXPECT_TRUE(loaded->ranks[1].isNull());

    // The rows as the list shows them again, answers and changes included.
    const std::vector<ResultRow> shown = listRowsOf(*loaded, true);
    EXPECT_EQ(shown[0].cells[CellAccess], QStringLiteral("√"));
    EXPECT_EQ(shown[0].cells[CellPr], QStringLiteral("5"));
    EXPECT_EQ(shown[1].change, RowChange::StillDead);
    EXPECT_EQ(shown[1].deadSinceMs, 4000);
    EXPECT_EQ(shown[2].cells[CellAccess], QStringLiteral("查询中..."));

    const auto last = [&](const QString &url, qint64 exceptRun) { return store->lastStates({url}, exceptRun).front(); };
    EXPECT_EQ(last(tricky, 0)->checkedAt, 5000);
    EXPECT_EQ(store->check(last(tricky, 0)->checkId)->fetch.finalUrl, QStringLiteral("http://") + tricky);
    EXPECT_FALSE(last(tricky, run->id)); // not an earlier run's
    EXPECT_FALSE(last(QStringLiteral("a.cn/p?q=1&r=%20x+y&z=中文"), 0)); // a fragment less is another address
    EXPECT_EQ(last(QStringLiteral("b.cn"), 0)->deadSince, 4000);
    EXPECT_EQ(store->lastRank(QStringLiteral("toolbar"), tricky, 5002)->pr, QStringLiteral("5"));
    EXPECT_FALSE(store->lastRank(QStringLiteral("toolbar"), tricky, 5003)); // too old
    EXPECT_FALSE(store->lastRank(QStringLiteral("opr"), tricky, 0));
    const QList<AddressCheck> history = store->history(QStringLiteral("b.cn"));
    ASSERT_EQ(history.size(), 1);
    EXPECT_EQ(history[0].status, QStringLiteral("404"));
    EXPECT_EQ(store->latestRunOf(QStringLiteral("k1"))->id, run->id);
    EXPECT_FALSE(store->latestRunOf(QStringLiteral("k2")));
    EXPECT_EQ(integrity(), QStringLiteral("ok"));
}

TEST_F(StoreTest, TheLastCheckOfAnAddressAndTheLineOfAnInput)
{
    auto store = open();
    const QString url = QStringLiteral("a.cn");
    QList<RunHandle> runs;
    // Three runs of one input: alive, dead, dead; one of another input.
    const VerdictClass verdicts[] = {VerdictClass::Alive, VerdictClass::Dead, VerdictClass::Dead};
    for (int i = 0; i < 3; ++i) {
        const RunHandle run = store->openRun(startOf(QStringLiteral("same"), 1000 * (i + 1)));
        store->recordCheck(run, checkOf(0, url, verdicts[i], 1000 * (i + 1) + 10));
        RunEnd end;
        end.ending = QStringLiteral("completed");
        end.rows = 1;
        end.dead = verdicts[i] == VerdictClass::Dead ? 1 : 0;
        store->closeRun(run, end);
        runs << run;
    }
    const RunHandle other = store->openRun(startOf(QStringLiteral("other"), 9000));
    store->recordCheck(other, checkOf(0, url, VerdictClass::Alive, 9010));
    // Cut off: no ending.
    ASSERT_TRUE(store->flush());

    const std::vector<std::optional<PriorState>> found = store->lastStates({url, QStringLiteral("b.cn"), url}, 0);
    ASSERT_EQ(found.size(), 3u);
    EXPECT_EQ(found[0]->checkedAt, 9010);
    EXPECT_FALSE(found[1]);
    EXPECT_EQ(found[2]->runId, other->id);
    EXPECT_EQ(store->lastStates({url}, other->id).front()->checkedAt, 3010);
    EXPECT_EQ(store->history(url).size(), 4);
    EXPECT_EQ(store->history(url, 2).at(1).checkedAt, 3010); // newest first
    const QList<RunPoint> line = store->deadTrend(QStringLiteral("same"));
    ASSERT_EQ(line.size(), 3);
    EXPECT_EQ(line[0].dead, 0); // oldest first
    EXPECT_EQ(line[2].dead, 1);
    const QList<RunSummary> all = store->runs();
    ASSERT_EQ(all.size(), 4);
    EXPECT_EQ(all[0].id, other->id); // newest first
    EXPECT_TRUE(all[0].ending.isEmpty());
    EXPECT_EQ(all[0].answered, 1); // counted from its checks
    EXPECT_EQ(store->latestRun()->id, other->id);
}

TEST_F(StoreTest, ACrawlsPagesLinksAndFrontier)
{
    auto store = open();
    const RunHandle run = store->openRun(startOf(QStringLiteral("crawl")));
    for (const char *u : {"s.cn/", "s.cn/a", "s.cn/b", "s.cn/a"}) // queued twice: once
        store->recordQueued(run, FrontierEntry {QString::fromUtf8(u), 1});
    store->recordPageRead(run, PageRead {QStringLiteral("s.cn/"), 0, 200, QString(), 10, false, {}});
    store->recordLink(run, LinkFound {QStringLiteral("s.cn/"), QStringLiteral("s.cn/b"), QStringLiteral("乙"), std::nullopt, false});
    store->recordLink(run, LinkFound {QStringLiteral("s.cn/a"), QStringLiteral("s.cn/b"), QStringLiteral("B"), std::nullopt, false});
    store->recordLink(run, LinkFound {QStringLiteral("s.cn/"), QStringLiteral("s.cn/a"), QStringLiteral("甲"), std::nullopt, false});
    ASSERT_TRUE(store->flush());

    EXPECT_EQ(store->pagesRead(run->id), QSet<QString> {QStringLiteral("s.cn/")});
    const QList<FrontierEntry> frontier = store->frontier(run->id);
    ASSERT_EQ(frontier.size(), 2); // queued, not read, in order
    EXPECT_EQ(frontier[0].url, QStringLiteral("s.cn/a"));
    EXPECT_EQ(frontier[1].url, QStringLiteral("s.cn/b"));
    const QList<LinkFound> in = store->linksTo(run->id, QStringLiteral("s.cn/b"));
    ASSERT_EQ(in.size(), 2);
    EXPECT_EQ(in[0].source, QStringLiteral("s.cn/"));
    EXPECT_EQ(in[0].anchorText, QStringLiteral("乙"));
    EXPECT_TRUE(store->pagesRead(run->id + 1).isEmpty()); // another run's are its own
}

TEST_F(StoreTest, WhatACrawlGotComesBackAsItWent)
{
    auto store = open();
    const RunHandle run = store->openRun(startOf(QStringLiteral("crawl")));
    PageRead page {QStringLiteral("http://s.cn/a?q=1&r=%E4"), 2, 200, QString(), 10, true, {}};
    page.links << LinkFound {page.url, QStringLiteral("http://s.cn/b#x"), QStringLiteral("乙"), true, false}
               << LinkFound {page.url, QStringLiteral("http://o.cn/"), QString(), false, false}
               << LinkFound {page.url, QStringLiteral("javascript:void(0)"), QStringLiteral("x"), false, true};
    store->recordPageRead(run, page);
    store->recordPageRead(run, PageRead {QStringLiteral("http://s.cn/c"), 1, 0, QStringLiteral("timeout"), 11, false, {}});
    const QByteArray body("User-agent: *\r\nDisallow: /x\r\n\xff\x00", 32);
    store->recordRobots(run, RobotsRead {QStringLiteral("http://s.cn"), 200, QString(), true, body});
    store->recordRobots(run, RobotsRead {QStringLiteral("http://t.cn"), 503, QStringLiteral("status"), false, QByteArray()});
    store->recordSitemap(run, SitemapRead {{QStringLiteral("http://s.cn/1"), QStringLiteral("http://s.cn/2")}, true});
    ASSERT_TRUE(store->flush());

    const std::optional<PageRead> a = store->pageOf(run->id, page.url);
    ASSERT_TRUE(a);
    EXPECT_EQ(a->depth, 2);
    EXPECT_TRUE(a->readable);
    ASSERT_EQ(a->links.size(), 3); // in the order found
    EXPECT_EQ(a->links[0].target, QStringLiteral("http://s.cn/b#x"));
    EXPECT_EQ(a->links[0].internal, std::optional<bool>(true));
    EXPECT_EQ(a->links[1].anchorText, QString());
    EXPECT_EQ(a->links[1].internal, std::optional<bool>(false));
    EXPECT_TRUE(a->links[2].unaddressable);
    const std::optional<PageRead> c = store->pageOf(run->id, QStringLiteral("http://s.cn/c"));
    ASSERT_TRUE(c);
    EXPECT_FALSE(c->readable);
    EXPECT_EQ(c->outcome, QStringLiteral("timeout"));
    EXPECT_FALSE(store->pageOf(run->id, QStringLiteral("http://s.cn/b")));
    EXPECT_FALSE(store->pageOf(run->id + 1, page.url));

    const std::optional<RobotsRead> s = store->robotsOf(run->id, QStringLiteral("http://s.cn"));
    ASSERT_TRUE(s);
    EXPECT_EQ(s->body, body); // byte for byte
    EXPECT_TRUE(s->fetched);
    const std::optional<RobotsRead> t = store->robotsOf(run->id, QStringLiteral("http://t.cn"));
    ASSERT_TRUE(t);
    EXPECT_EQ(t->status, 503);
    EXPECT_FALSE(t->fetched);
    EXPECT_FALSE(store->robotsOf(run->id, QStringLiteral("http://u.cn")));

    const std::optional<SitemapRead> map = store->sitemapOf(run->id);
    ASSERT_TRUE(map);
    EXPECT_EQ(map->pages, (QStringList {QStringLiteral("http://s.cn/1"), QStringLiteral("http://s.cn/2")}));
    EXPECT_TRUE(map->full);
    EXPECT_FALSE(store->sitemapOf(run->id + 1));
}

TEST_F(StoreTest, AnOlderLayoutIsUpgradedInPlace)
{
    {
        sql::Database db(path, false);
        EXPECT_TRUE(storeschema::prepare(db, 1).refusal.isEmpty());
        db.exec("INSERT INTO runs (started_at, program, kind, input, input_key, options) VALUES (1, 'cli', 'batch', 'old.txt', 'k', '{}')");
    }
    auto store = open();
    ASSERT_TRUE(store);
    {
        sql::Database db(path, true);
        EXPECT_EQ(storeschema::versionOf(db), storeschema::CurrentVersion);
    }
    EXPECT_EQ(store->runs().at(0).input, QStringLiteral("old.txt"));
    const RunHandle run = store->continueRun(store->runs().at(0).id);
    store->recordPageRead(run, PageRead {QStringLiteral("x.cn"), 0, 200, QString(), 1, false, {}});
    ASSERT_TRUE(store->flush());
    EXPECT_EQ(store->pagesRead(run->id).size(), 1);
}

TEST_F(StoreTest, FilesThatAreNoStoreAreRefusedAndLeftAlone)
{
    const auto refused = [this](const char *contains) {
        const QByteArray before = bytes();
        ResultStore::Opened opened = ResultStore::open(path);
        EXPECT_FALSE(opened.store);
        EXPECT_TRUE(opened.problem.contains(path)) << opened.problem.toStdString();
        EXPECT_TRUE(opened.problem.contains(QString::fromUtf8(contains))) << opened.problem.toStdString();
        EXPECT_TRUE(opened.problem.contains(QStringLiteral("本次运行不记录"))) << opened.problem.toStdString();
        EXPECT_EQ(bytes(), before);
    };
    writeBytes("not a database, just some text\n");
    refused("不是 SQLite");
    writeBytes(QByteArray(8192, '\0').replace(0, 16, "SQLite format 3\0"));
    refused("");

    QFile::remove(path);
    {
        sql::Database db(path, false);
        db.exec("CREATE TABLE notes (text TEXT); INSERT INTO notes VALUES ('mine')");
    }
    refused("不是本程序的结果库");

    QFile::remove(path);
    open().reset();
    {
        sql::Database db(path, false);
        db.exec("PRAGMA user_version = 99");
    }
    refused("比本程序");
}

TEST_F(StoreTest, AFullDiskIsToldOnceAndTheFileStaysWhole)
{
    StoreWriter::Options options;
    options.maxPageCount = 40; // about 160 KB
    auto store = open(options);
    QStringList problems;
    QObject::connect(store.get(), &ResultStore::problem, [&](const QString &text) { problems << text; });
    const RunHandle run = store->openRun(startOf(QStringLiteral("k")));
    store->recordCheck(run, checkOf(0, QStringLiteral("first.cn"), VerdictClass::Alive, 1));
    ASSERT_TRUE(store->flush());
    for (int i = 0; i < 20000; ++i)
        store->recordCheck(run, checkOf(i, QStringLiteral("x.cn/%1/").arg(i) + QString(200, QLatin1Char('p')), VerdictClass::Alive, 2));
    EXPECT_TRUE(store->flush());
    QCoreApplication::processEvents();
    ASSERT_EQ(problems.size(), 1);
    EXPECT_TRUE(problems.at(0).contains(QStringLiteral("磁盘已满"))) << problems.at(0).toStdString();
    // Nothing more is tried, and nothing more is told.
    store->recordCheck(run, checkOf(0, QStringLiteral("late.cn"), VerdictClass::Alive, 3));
    EXPECT_TRUE(store->flush());
    QCoreApplication::processEvents();
    EXPECT_EQ(problems.size(), 1);
    EXPECT_TRUE(store->finish().isEmpty()); // told already
    store.reset();
    EXPECT_EQ(integrity(), QStringLiteral("ok"));
    EXPECT_EQ(count("SELECT count(*) FROM checks"), 1); // the batch that did not fit is not half there
}

TEST_F(StoreTest, ABusyStoreIsWaitedForAndTheRunGoesOn)
{
    auto store = open();
    sql::Database other(path, false);
    other.exec("BEGIN IMMEDIATE"); // another process writing
    const RunHandle run = store->openRun(startOf(QStringLiteral("k")));
    store->recordCheck(run, checkOf(0, QStringLiteral("a.cn"), VerdictClass::Alive, 1));
    EXPECT_FALSE(store->flush(1500));
    other.exec("COMMIT");
    EXPECT_TRUE(store->flush(5000));
    EXPECT_TRUE(store->lastStates({QStringLiteral("a.cn")}, 0).front());

    // Held to the end: the program ends all the same, and says what was lost.
    other.exec("BEGIN IMMEDIATE");
    store->recordCheck(run, checkOf(1, QStringLiteral("b.cn"), VerdictClass::Alive, 2));
    const auto started = std::chrono::steady_clock::now();
    const QString problem = store->finish(500);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
    EXPECT_TRUE(problem.contains(QStringLiteral("占用"))) << problem.toStdString();
    other.exec("COMMIT");
}

TEST_F(StoreTest, TwoWritersAtOnceLoseNothing)
{
    auto first = open();
    auto second = open();
    const RunHandle a = first->openRun(startOf(QStringLiteral("a")));
    const RunHandle b = second->openRun(startOf(QStringLiteral("b")));
    std::thread other([&] {
        for (int i = 0; i < 3000; ++i)
            second->recordCheck(b, checkOf(i, QStringLiteral("b.cn/%1").arg(i), VerdictClass::Alive, i));
    });
    for (int i = 0; i < 3000; ++i)
        first->recordCheck(a, checkOf(i, QStringLiteral("a.cn/%1").arg(i), VerdictClass::Dead, i));
    other.join();
    EXPECT_TRUE(first->flush(20000));
    EXPECT_TRUE(second->flush(20000));
    first.reset();
    second.reset();
    EXPECT_EQ(count("SELECT count(*) FROM checks"), 6000);
    EXPECT_EQ(count("SELECT count(*) FROM runs"), 2);
    EXPECT_EQ(integrity(), QStringLiteral("ok"));
}

TEST(StorePath, FollowsTheDataFolderOfTheUser)
{
    const QByteArray saved = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", "/data/here");
    EXPECT_EQ(defaultStorePath(), QStringLiteral("/data/here/prquery/results.sqlite"));
    for (const char *unusable : {"", "relative/path"}) {
        qputenv("XDG_DATA_HOME", unusable);
        EXPECT_EQ(defaultStorePath(), QDir::homePath() + QStringLiteral("/.local/share/prquery/results.sqlite"));
    }
    qputenv("XDG_DATA_HOME", saved);
}

} // namespace
