// The result store as a script meets it: runs of the program over loopback
// servers, compared with the runs before them, answered from the cache,
// killed and continued, two at once on one store, and stores that are
// damaged or not stores at all.
#include "store/schema.h"
#include "store/sqlite.h"
#include "support/loopserver.h"
#include "support/oprservice.h"
#include "support/windowtesting.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

using prqtest::LoopServer;
using prqtest::ProgramRun;

struct StoreRun : ::testing::Test
{
    LoopServer web;
    QTemporaryDir dir;
    QString servers;
    QString store = dir.filePath(QStringLiteral("results.sqlite"));
    std::atomic<int> phase {0}; // what the server answers changes between runs
    std::atomic<bool> hold {true}; // while set, /hold\d keeps its reply back

    void SetUp() override
    {
        const auto page = [](httplib::Response &res, bool alive) {
            res.status = alive ? 200 : 404;
            res.set_content(alive ? "<html>live</html>" : "gone", "text/html");
        };
        web.get(R"(/p\d+)", [page](const httplib::Request &, httplib::Response &res) { page(res, true); });
        web.get("/bad", [page](const httplib::Request &, httplib::Response &res) { page(res, false); });
        web.get("/dies", [this, page](const httplib::Request &, httplib::Response &res) { page(res, phase == 0); });
        web.get("/fixed", [this, page](const httplib::Request &, httplib::Response &res) { page(res, phase > 0); });
        web.get(R"(/hold\d)", [this](const httplib::Request &, httplib::Response &res) {
            for (int waited = 0; hold && waited < 20000; waited += 5)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            res.set_content("held", "text/plain");
        });
        web.get("/index.html", [this](const httplib::Request &, httplib::Response &res) {
            std::string body = "<html><body>\n";
            for (const char *p : {"/p1", "/hold1", "/p2", "/p3", "/hold2", "/bad", "/p4", "/p5"})
                body += "<a href=\"http://127.0.0.1:" + std::to_string(web.port()) + p + "\">" + (p + 1) + "</a>\n";
            res.set_content(body + "</body></html>\n", "text/html");
        });
        web.start();
        servers = write(QStringLiteral("servers.txt"), QStringLiteral("127.0.0.1:%1\n").arg(prqtest::closedLoopbackPort()).toUtf8());
    }
    void TearDown() override
    {
        hold = false;
        web.stop();
    }

    QString host() const { return QStringLiteral("127.0.0.1:%1").arg(web.port()); }
    QString write(const QString &name, const QByteArray &bytes)
    {
        const QString path = dir.filePath(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return path;
    }
    QString list(const QStringList &paths, const QString &name = QStringLiteral("in.txt"))
    {
        QStringList lines;
        for (const QString &p : paths)
            lines << host() + p;
        return write(name, (lines.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8());
    }
    ProgramRun run(QStringList args, const std::function<void(QProcess &)> &whileRunning = {})
    {
        // No soft-404 probes: the requests counted are the rows' own.
        args << QStringLiteral("--servers") << servers << QStringLiteral("--banner") << QStringLiteral("none") << QStringLiteral("--soft404")
             << QStringLiteral("off");
        return prqtest::runProgram(QStringLiteral(PRQUERY_EXE), args, whileRunning);
    }
    static QByteArray read(const QString &path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(missing)");
    }
    static QList<QJsonObject> jsonl(const QString &path)
    {
        QList<QJsonObject> rows;
        for (const QByteArray &line : read(path).split('\n')) {
            if (!line.isEmpty())
                rows << QJsonDocument::fromJson(line).object();
        }
        return rows;
    }
    static QStringList column(const QList<QJsonObject> &rows, const char *key)
    {
        QStringList out;
        for (const QJsonObject &o : rows)
            out << o.value(QLatin1String(key)).toString();
        return out;
    }
    int requestsFor(const std::string &path) const
    {
        int n = 0;
        for (const prqtest::RecordedRequest &r : web.requests())
            n += r.target == path ? 1 : 0;
        return n;
    }
    static int linesAbout(const QString &err, const QString &word)
    {
        int n = 0;
        for (const QString &line : err.split(QLatin1Char('\n')))
            n += line.contains(word) ? 1 : 0;
        return n;
    }
    // Opened as the next run opens it: a read-only connection cannot
    // recover the journal a killed run left, and would fail where the
    // program goes on.
    QString storeIntegrity() const
    {
        sql::Database db(store, false);
        sql::Statement s(db, "PRAGMA integrity_check");
        return s.next() ? s.text(0) : QString();
    }
    qint64 storeCount(const char *query) const
    {
        sql::Database db(store, false);
        return db.scalar(query);
    }
};

TEST_F(StoreRun, EachRunIsComparedWithTheLastCheckOfEveryAddress)
{
    const QString out = dir.filePath(QStringLiteral("out.jsonl"));
    const QStringList args = {"--no-pr", "--store", store, "--out", out, "--fail-on-new-dead"};

    const ProgramRun first = run(QStringList {"--batch", list({"/dies", "/fixed", "/bad", "/p1"})} + args);
    EXPECT_EQ(first.exitCode, 0) << first.err.toStdString();
    EXPECT_EQ(column(jsonl(out), "change"), (QStringList {"新链接", "新链接", "新链接", "新链接"}));
    EXPECT_TRUE(first.err.contains(QStringLiteral("新死链 0, 已修复 0, 输出 ") + out)) << first.err.toStdString();

    // One dies, one is fixed, one stays dead, one is as it was, one is new.
    QThread::msleep(1100);
    phase = 1;
    const ProgramRun second = run(QStringList {"--batch", list({"/dies", "/fixed", "/bad", "/p1", "/p2"})} + args);
    EXPECT_EQ(second.exitCode, 3) << second.err.toStdString();
    QList<QJsonObject> rows = jsonl(out);
    EXPECT_EQ(column(rows, "change"), (QStringList {"新死链", "已修复", "持续死链", "", "新链接"}));
    EXPECT_TRUE(second.err.contains(QStringLiteral("完成: 5 行, √ 3, × 2, 存疑 0, PR 0 个, 新死链 1, 已修复 1, 输出 "))) << second.err.toStdString();
    const QString badSince = rows[2].value(QStringLiteral("dead_since")).toString();
    EXPECT_FALSE(badSince.isEmpty());
    EXPECT_TRUE(rows[0].value(QStringLiteral("dead_since")).isNull()); // a new streak is no streak yet

    // Still dead: since the check that found it dead first.
    const QString csv = dir.filePath(QStringLiteral("out.csv"));
    const ProgramRun third = run({"--batch", list({"/dies", "/bad"}), "--no-pr", "--store", store, "--out", csv, "--fail-on-new-dead"});
    EXPECT_EQ(third.exitCode, 0) << third.err.toStdString();
    const QList<QByteArray> records = read(csv).split('\n');
    EXPECT_TRUE(records.at(0).contains(QStringLiteral(",class,变化,").toUtf8())) << records.at(0).toStdString();
    EXPECT_TRUE(records.at(1).contains(QStringLiteral(",dead,持续死链,").toUtf8())) << records.at(1).toStdString();
    const ProgramRun json = run({"--batch", list({"/dies", "/bad"}), "--no-pr", "--store", store, "--out", out});
    rows = jsonl(out);
    EXPECT_EQ(rows[1].value(QStringLiteral("dead_since")).toString(), badSince);
    EXPECT_NE(rows[0].value(QStringLiteral("dead_since")).toString(), badSince);

    // A list only written is kept as a run, without its rows.
    qint64 runs = storeCount("SELECT count(*) FROM runs");
    const ProgramRun listOnly = run({"--batch", list({"/dies", "/bad"}), "--no-pr", "--no-deadlink", "--store", store, "--out", out});
    EXPECT_EQ(listOnly.exitCode, 0);
    EXPECT_EQ(linesAbout(listOnly.err, QStringLiteral("结果库")), 0) << listOnly.err.toStdString();
    EXPECT_EQ(storeCount("SELECT count(*) FROM runs WHERE ending = 'completed' AND rows = 2 AND rows_stored = 0"), 1);
    EXPECT_EQ(++runs, storeCount("SELECT count(*) FROM runs"));

    // Without a store nothing is compared, nothing is kept.
    const ProgramRun none = run({"--batch", list({"/dies"}), "--no-pr", "--store", "none", "--out", out});
    EXPECT_EQ(none.exitCode, 0);
    EXPECT_EQ(column(jsonl(out), "change"), QStringList {""});
    EXPECT_FALSE(none.err.contains(QStringLiteral("新死链"))) << none.err.toStdString();
    EXPECT_EQ(storeCount("SELECT count(*) FROM runs"), runs);
    EXPECT_EQ(storeIntegrity(), QStringLiteral("ok"));
}

TEST_F(StoreRun, TheCacheAnswersLiveLinksWithoutARequestAndNeverDeadOnes)
{
    const QString in = list({"/p1", "/p2", "/bad", "/p1?x=1&y=%20z"});
    const QString out = dir.filePath(QStringLiteral("out.jsonl"));
    ASSERT_EQ(run({"--batch", in, "--no-pr", "--store", store, "--out", out}).exitCode, 0);
    ASSERT_EQ(web.requestCount(), 4u);

    const ProgramRun cached = run({"--batch", in, "--no-pr", "--store", store, "--out", out, "--cache-age", "1h"});
    EXPECT_EQ(cached.exitCode, 0) << cached.err.toStdString();
    EXPECT_EQ(web.requestCount(), 5u); // only the "×" was asked again
    EXPECT_EQ(requestsFor("/bad"), 2);
    const QList<QJsonObject> rows = jsonl(out);
    EXPECT_EQ(column(rows, "access"), (QStringList {"√", "√", "×", "√"}));
    EXPECT_EQ(column(rows, "status"), (QStringList {"缓存 200", "缓存 200", "404", "缓存 200"}));
    EXPECT_EQ(column(rows, "class"), (QStringList {"alive", "alive", "dead", "alive"})); // as when checked
    EXPECT_EQ(column(rows, "change"), (QStringList {"", "", "持续死链", ""}));
    EXPECT_EQ(storeCount("SELECT count(*) FROM checks WHERE cached = 1"), 3);

    // Too old for the age asked: asked again.
    QThread::msleep(1100);
    ASSERT_EQ(run({"--batch", in, "--no-pr", "--store", store, "--out", out, "--cache-age", "1s"}).exitCode, 0);
    EXPECT_EQ(web.requestCount(), 9u);
}

TEST_F(StoreRun, ThePrOfADomainIsReusedWithinTheCacheAge)
{
    prqtest::OprService service;
    const QString in = write(QStringLiteral("domains.txt"), "d3.com/a\nd5.net/b\nwww.d3.com/c\n");
    const QString out = dir.filePath(QStringLiteral("out.jsonl"));
    const QStringList args = {"--batch", in, "--no-deadlink", "--interval", "200", "--rank-source", "opr", "--opr-key",
        QString::fromLatin1(prqtest::OprService::Key), "--opr-endpoint", service.endpoint(), "--store", store, "--out", out};
    ASSERT_EQ(run(args).exitCode, 0);
    EXPECT_EQ(column(jsonl(out), "pr"), (QStringList {"3", "5", "3"}));
    const size_t asked = service.requestCount();
    EXPECT_GE(asked, 1u);

    // The service would now say otherwise: within the age the stored PR
    // stands and it is not asked; without the cache it is.
    service.rankOffset = 1;
    ASSERT_EQ(run(args + QStringList {"--cache-age", "1h"}).exitCode, 0);
    EXPECT_EQ(column(jsonl(out), "pr"), (QStringList {"3", "5", "3"}));
    EXPECT_EQ(service.requestCount(), asked);
    ASSERT_EQ(run(args).exitCode, 0);
    EXPECT_EQ(column(jsonl(out), "pr"), (QStringList {"4", "6", "4"}));
    EXPECT_GT(service.requestCount(), asked);
    EXPECT_EQ(storeCount("SELECT count(*) FROM ranks WHERE source = 'opr' AND key = 'd3.com' AND cached = 1"), 2);
}

TEST_F(StoreRun, AKilledSurveyIsContinuedWithoutReadingAnythingTwice)
{
    const QString site = web.url(QStringLiteral("/index.html"));
    const QString out = dir.filePath(QStringLiteral("out.txt"));
    const QStringList args = {"--site", site, "--no-pr", "--long", "--store", store, "--out", out};

    // Killed once the answers of the quick links (and of the page's own
    // row) are on disk; the held ones are not.
    const ProgramRun killed = run(args, [this](QProcess &p) {
        prqtest::waitUntil(
            [this] {
                try {
                    return QFile::exists(store) && storeCount("SELECT count(*) FROM checks") == 7;
                } catch (const sql::Error &) {
                    return false; // not made yet
                }
            },
            20000);
        p.kill();
    });
    EXPECT_NE(killed.exitCode, 0);
    EXPECT_EQ(storeIntegrity(), QStringLiteral("ok"));
    EXPECT_EQ(storeCount("SELECT count(*) FROM runs WHERE ending IS NULL"), 1);
    // The page was read, and checked as the site's own row.
    const int pageRequests = requestsFor("/index.html");
    EXPECT_EQ(pageRequests, 2);

    hold = false;
    const ProgramRun resumed = run(QStringList {"--resume"} + args);
    EXPECT_EQ(resumed.exitCode, 0) << resumed.err.toStdString();

    EXPECT_TRUE(resumed.err.contains(QStringLiteral("继续"))) << resumed.err.toStdString();
    EXPECT_EQ(requestsFor("/index.html"), pageRequests); // the page is not read again
    for (const char *quick : {"/p1", "/p2", "/p3", "/p4", "/p5", "/bad"})
        EXPECT_EQ(requestsFor(quick), 1) << quick;
    EXPECT_EQ(requestsFor("/hold1"), 2);
    EXPECT_EQ(storeCount("SELECT count(*) FROM runs"), 1); // the same run, gone on with
    EXPECT_EQ(storeCount("SELECT count(*) FROM runs WHERE ending = 'completed' AND resumed = 1"), 1);

    // The whole run's output, as a run that was never cut off writes it.
    const QString whole = dir.filePath(QStringLiteral("whole.txt"));
    const ProgramRun reference = run({"--site", site, "--no-pr", "--long", "--store", "none", "--out", whole});
    ASSERT_EQ(reference.exitCode, 0);
    EXPECT_EQ(read(out), read(whole));
    EXPECT_EQ(read(out).count("\r\r\n"), 9);

    // Nothing left to continue: a new run from the start.
    const ProgramRun again = run(QStringList {"--resume"} + args);
    EXPECT_EQ(again.exitCode, 0);
    EXPECT_TRUE(again.err.contains(QStringLiteral("没有可继续的运行"))) << again.err.toStdString();
    EXPECT_EQ(requestsFor("/index.html"), 3 * pageRequests);
}

// A site of three levels: robots.txt forbids a folder and names a sitemap
// whose one page no other links to; a page of the first level (/hold/x.html)
// keeps its reply back while the test holds it, and one of the second
// (/hold/y.html) too, so that a crawl cut off then has read part of the site
// and listed only what comes before the held page.
struct CrawlSite
{
    LoopServer web;
    std::atomic<bool> hold {true};

    CrawlSite()
    {
        const auto page = [this](std::vector<std::string> links) {
            return [this, links](const httplib::Request &, httplib::Response &res) {
                std::string body = "<html><body>\n";
                for (const std::string &link : links)
                    body += "<a href=\"" + link + "\">" + link + "</a>\n";
                res.set_content(body + "</body></html>\n", "text/html");
            };
        };
        web.get("/robots.txt", [this](const httplib::Request &, httplib::Response &res) {
            res.set_content("User-agent: *\nDisallow: /private/\nSitemap: http://127.0.0.1:" + std::to_string(web.port()) + "/sitemap.xml\n",
                "text/plain");
        });
        web.get("/sitemap.xml", [this](const httplib::Request &, httplib::Response &res) {
            const std::string host = "http://127.0.0.1:" + std::to_string(web.port());
            res.set_content("<?xml version=\"1.0\"?><urlset xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\"><url><loc>" + host + "/a.html</loc></url><url><loc>"
                    + host + "/c/orphan.html</loc></url></urlset>",
                "application/xml");
        });
        web.get("/", page({"/a.html", "/b.html?q=1&r=%20s", "/hold/x.html", "/private/p.html"}));
        web.get("/a.html", page({"/a1.html", "/b.html?q=1&r=%20s", "/gone.html"}));
        web.get("/b.html", page({"/b1.html", "/hold/y.html"}));
        web.get("/a1.html", page({"/deep.html"}));
        web.get(R"(/(b1|x1|deep|c/orphan)\.html)", page({}));
        web.get("/gone.html", [](const httplib::Request &, httplib::Response &res) {
            res.status = 404;
            res.set_content("gone", "text/html");
        });
        const auto held = [this, page](std::vector<std::string> links) {
            return [this, answer = page(std::move(links))](const httplib::Request &req, httplib::Response &res) {
                for (int waited = 0; hold && waited < 20000; waited += 5)
                    std::this_thread::sleep_for(std::chrono::milliseconds(5));
                answer(req, res);
            };
        };
        web.get("/hold/x.html", held({"/x1.html", "/a.html"}));
        web.get("/hold/y.html", held({}));
        web.start();
    }
    ~CrawlSite()
    {
        hold = false;
        web.stop();
    }
    int requestsFor(const std::string &path) const
    {
        int n = 0;
        for (const prqtest::RecordedRequest &r : web.requests())
            n += r.target == path ? 1 : 0;
        return n;
    }
};

TEST_F(StoreRun, ACrawlCutOffGoesOnWithoutReadingAPageTwice)
{
    // Cut off by a kill -9, and by its time-out.
    for (const bool killed : {true, false}) {
        SCOPED_TRACE(killed ? "kill -9" : "--timeout");
        QFile::remove(store);
        CrawlSite site;
        const QString out = dir.filePath(QStringLiteral("crawl.txt"));
        const QString inlinks = dir.filePath(QStringLiteral("inlinks.csv"));
        const QStringList args = {"--site", site.web.url(QStringLiteral("/")), "--depth", "3", "--no-pr", "--long", "--store", store, "--out", out,
            "--inlinks", inlinks};

        // Cut off once every page but the held ones has been read and
        // written down, and the rows listed before the held page checked.
        const auto allButHeld = [this] {
            try {
                return QFile::exists(store) && storeCount("SELECT count(*) FROM pages") == 7 && storeCount("SELECT count(*) FROM checks") == 8;
            } catch (const sql::Error &) {
                return false; // not made yet
            }
        };
        const ProgramRun cut = run(killed ? args : args + QStringList {"--timeout", "3"}, [&](QProcess &p) {
            EXPECT_TRUE(prqtest::waitUntil(allButHeld, 20000));
            if (killed)
                p.kill();
        });
        EXPECT_EQ(cut.exitCode, killed ? -1 : 1) << cut.err.toStdString();
        EXPECT_EQ(storeIntegrity(), QStringLiteral("ok"));
        EXPECT_EQ(storeCount(killed ? "SELECT count(*) FROM runs WHERE ending IS NULL AND kind = 'crawl'"
                                    : "SELECT count(*) FROM runs WHERE ending = 'timeout' AND kind = 'crawl'"),
            1);
        EXPECT_EQ(storeCount("SELECT count(*) FROM crawl_robots"), 1);
        EXPECT_EQ(storeCount("SELECT count(*) FROM crawl_sitemaps"), 1);

        site.hold = false;
        const ProgramRun resumed = run(QStringList {"--resume"} + args);
        EXPECT_EQ(resumed.exitCode, 0) << resumed.err.toStdString();
        EXPECT_TRUE(resumed.err.contains(QStringLiteral("继续"))) << resumed.err.toStdString();
        // Each page was asked once over both runs; only those held when the
        // crawl was cut off were asked again. The forbidden one never.
        for (const char *once : {"/", "/robots.txt", "/sitemap.xml", "/a.html", "/b.html?q=1&r=%20s", "/a1.html", "/b1.html", "/gone.html",
                 "/c/orphan.html", "/x1.html", "/deep.html"})
            EXPECT_EQ(site.requestsFor(once), 1) << once;
        EXPECT_EQ(site.requestsFor("/hold/x.html"), 2);
        EXPECT_EQ(site.requestsFor("/hold/y.html"), 2);
        EXPECT_EQ(site.requestsFor("/private/p.html"), 0);
        EXPECT_EQ(storeCount("SELECT count(*) FROM runs"), 1); // the same run, gone on with
        EXPECT_EQ(storeCount("SELECT count(*) FROM runs WHERE ending = 'completed' AND resumed = 1"), 1);

        // The rows and the links as a crawl never cut off writes them.
        const QString whole = dir.filePath(QStringLiteral("whole.txt"));
        const QString wholeInlinks = dir.filePath(QStringLiteral("whole-inlinks.csv"));
        const ProgramRun reference = run({"--site", site.web.url(QStringLiteral("/")), "--depth", "3", "--no-pr", "--long", "--store", "none", "--out",
            whole, "--inlinks", wholeInlinks});
        ASSERT_EQ(reference.exitCode, 0) << reference.err.toStdString();
        EXPECT_EQ(read(out), read(whole));
        EXPECT_EQ(read(inlinks), read(wholeInlinks));
        EXPECT_EQ(read(out).count("\r\r\n"), 12);
    }
}

TEST_F(StoreRun, AKillAtAnyMomentLeavesTheStoreWhole)
{
    QStringList paths;
    for (int i = 0; i < 3000; ++i)
        paths << QStringLiteral("/p%1").arg(i);
    const QString in = list(paths);
    for (const int ms : {30, 120, 250, 400, 700, 1100}) {
        run({"--batch", in, "--no-pr", "--store", store, "--out", dir.filePath(QStringLiteral("out.txt"))}, [ms](QProcess &p) {
            QThread::msleep(ms);
            p.kill();
        });
        if (QFile::exists(store)) { // killed before it was made: nothing to check
            EXPECT_EQ(storeIntegrity(), QStringLiteral("ok")) << ms;
        }
    }
    // What was kept can be gone on with.
    const ProgramRun resumed = run({"--batch", in, "--no-pr", "--store", store, "--out", dir.filePath(QStringLiteral("out.txt")), "--resume"});
    EXPECT_EQ(resumed.exitCode, 0) << resumed.err.toStdString();
    EXPECT_EQ(storeIntegrity(), QStringLiteral("ok"));
}

TEST_F(StoreRun, TwoProgramsWriteOneStoreAtOnce)
{
    QStringList a, b;
    for (int i = 0; i < 300; ++i) {
        a << QStringLiteral("/p%1").arg(i);
        b << QStringLiteral("/p%1").arg(1000 + i);
    }
    const QString inA = list(a, QStringLiteral("a.txt"));
    const QString inB = list(b, QStringLiteral("b.txt"));
    ProgramRun second;
    std::thread other([&] { second = run({"--batch", inB, "--no-pr", "--store", store, "--out", dir.filePath(QStringLiteral("b.txt.out"))}); });
    const ProgramRun first = run({"--batch", inA, "--no-pr", "--store", store, "--out", dir.filePath(QStringLiteral("a.txt.out"))});
    other.join();
    EXPECT_EQ(first.exitCode, 0) << first.err.toStdString();
    EXPECT_EQ(second.exitCode, 0) << second.err.toStdString();
    EXPECT_EQ(linesAbout(first.err + second.err, QStringLiteral("结果库")), 0);
    EXPECT_EQ(storeCount("SELECT count(*) FROM runs WHERE ending = 'completed'"), 2);
    EXPECT_EQ(storeCount("SELECT count(*) FROM checks"), 600);
    EXPECT_EQ(storeIntegrity(), QStringLiteral("ok"));
}

TEST_F(StoreRun, AStoreThatCannotBeUsedIsOneLineAndTheRunGoesOn)
{
    const QString in = list({"/p1", "/bad"});
    const QString out = dir.filePath(QStringLiteral("out.txt"));
    const auto runsDespite = [&](const char *why) {
        const QByteArray before = read(store);
        const ProgramRun r = run({"--batch", in, "--no-pr", "--store", store, "--out", out, "--long"});
        EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
        EXPECT_EQ(read(out).count("\r\r\n"), 2);
        EXPECT_EQ(linesAbout(r.err, QStringLiteral("结果库")), 1) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(QString::fromUtf8(why))) << r.err.toStdString();
        EXPECT_EQ(read(store), before); // not touched
    };
    write(QStringLiteral("results.sqlite"), "these are my notes, not a database\n");
    runsDespite("不是 SQLite");

    // A store of a newer program.
    QFile::remove(store);
    ASSERT_EQ(run({"--batch", in, "--no-pr", "--store", store, "--out", out}).exitCode, 0);
    {
        sql::Database db(store, false);
        db.exec("PRAGMA user_version = 77");
    }
    runsDespite("比本程序");

    // A store whose pages were overwritten after its first.
    {
        sql::Database db(store, false);
        db.exec(QStringLiteral("PRAGMA user_version = %1").arg(storeschema::CurrentVersion).toUtf8().constData());
    }
    QByteArray bytes = read(store);
    ASSERT_GT(bytes.size(), 8192);
    for (qsizetype i = 4096; i < bytes.size(); ++i)
        bytes[i] = char(0x5a);
    write(QStringLiteral("results.sqlite"), bytes);
    runsDespite("损坏");
}

} // namespace
