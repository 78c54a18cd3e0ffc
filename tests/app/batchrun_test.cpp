// Batch queries end to end: the real window, off screen, against a ranking
// server and a web server on loopback.
#include "app/Unit1.h"
#include "base/guard.h"
#include "query/checksum.h"
#include "query/dispatch.h"
#include "support/errorrecorder.h"
#include "support/loopserver.h"
#include "support/resultcells.h"
#include "support/windowtesting.h"

#include <QAction>
#include <QComboBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QUrlQuery>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

namespace {

using prqtest::LoopServer;
using prqtest::waitUntil;

struct BatchRun : ::testing::Test
{
    LoopServer ranking;
    LoopServer web;
    // While held, the ranking server keeps its replies back (at most 20 s).
    std::atomic<bool> holdRanking {false};
    // While held, the page "/held" keeps its reply back (at most 20 s).
    std::atomic<bool> holdPage {false};
    std::atomic<int> badChecksums {0};
    std::unique_ptr<TForm1> form;
    QStringList errors;
    prqtest::ErrorRecorder recorder {errors};
    int closedPort = 0;

    void SetUp() override
    {
        // The ranking server checks every checksum against the native one and
        // answers by the path of the queried address.
        ranking.get("/search", [this](const httplib::Request &req, httplib::Response &res) {
            for (int waited = 0; holdRanking && waited < 20000; waited += 5)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            const std::string q = req.get_param_value("q");
            const QString url = QString::fromStdString(q).mid(5);
            if (req.get_param_value("client") != "navclient-auto" || req.get_param_value("features") != "Rank:FVN" || q.rfind("info:", 0) != 0
                || QString::fromStdString(req.get_param_value("ch")) != nativeChecksum(url))
                ++badChecksums;
            if (q.find("/sorry") != std::string::npos) {
                res.set_content("We're sorry... Rank_1:1:3", "text/html");
            } else if (q.find("/error") != std::string::npos) {
                res.status = 500;
                res.set_content("<html>server error</html>", "text/html");
            } else if (q.find("/norank") != std::string::npos) {
                res.status = 204;
            } else {
                // "/pN" ranks N
                const auto at = q.rfind("/p");
                res.set_content("Rank_1:1:" + (at == std::string::npos ? std::string("0") : q.substr(at + 2)) + "\n", "text/plain");
            }
        });
        ranking.start();
        web.get(R"(/p\d+|/sorry|/error|/norank)", [](const httplib::Request &, httplib::Response &res) { res.set_content("<html>live</html>", "text/html"); });
        web.get("/held", [this](const httplib::Request &, httplib::Response &res) {
            for (int waited = 0; holdPage && waited < 20000; waited += 5)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            res.set_content("<html>live</html>", "text/html");
        });
        web.get("/empty", [](const httplib::Request &, httplib::Response &res) { res.status = 204; });
        web.get(R"(/slow\d+)", [](const httplib::Request &, httplib::Response &res) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            res.set_content("<html>live</html>", "text/html");
        });
        web.get("/moved", [this](const httplib::Request &, httplib::Response &res) { res.set_redirect(("http://" + host() + "/p1").toStdString(), 301); });
        web.get("/gone", [](const httplib::Request &, httplib::Response &res) {
            res.status = 404;
            res.set_content("<html>not found</html>", "text/html");
        });
        web.start();
        closedPort = prqtest::closedLoopbackPort();
        form = prqtest::makeWindow({QStringLiteral("127.0.0.1:%1").arg(ranking.port())});
        form->setChoices(true, true, true, 0, 200);
        // These runs count the requests a walk sends; the soft-404 probes
        // are tested on their own.
        form->setSoft404Check(false);
    }

    void TearDown() override
    {
        form.reset();
        EXPECT_TRUE(errors.isEmpty()) << errors.join(QLatin1Char('\n')).toStdString();
        EXPECT_EQ(badChecksums.load(), 0);
    }

    FormState &s() { return form->state(); }
    QString host() const { return QStringLiteral("127.0.0.1:%1").arg(web.port()); }
    QString dead() const { return QStringLiteral("127.0.0.1:%1/p1").arg(closedPort); }

    // The run of the list, and any re-query after it, is over.
    bool runEnded(int timeoutMs = 15000)
    {
        return waitUntil([this] { return !form->engine().runActive() && !s().tmr2.isActive() && requestsInFlight(s()) == 0; }, timeoutMs);
    }

    QTableView *list() { return form->findChild<QTableView *>(QStringLiteral("lv1")); }
    QString gaugeText() { return form->findChild<QProgressBar *>(QStringLiteral("pr1"))->text(); }
    // A batch of the web server's paths.
    void start(const QStringList &paths)
    {
        QStringList lines;
        for (const QString &p : paths)
            lines << host() + p;
        form->setEntryText(lines.join(QLatin1Char('\n')));
        form->btn1Click();
    }
    // The PR cell that the answer for the row's own address writes.
    static QString ownRank(const QString &address)
    {
        const qsizetype at = address.lastIndexOf(QLatin1String("/p"));
        return at < 0 ? QStringLiteral("0") : address.mid(at + 2);
    }

    QStringList column(int k) { return prqtest::columnCells(s().lv1, k); }
    QStringList statusColumn()
    {
        QStringList out;
        for (int r = 0; r < s().lv1.count(); ++r)
            out << s().lv1.data(s().lv1.index(r, ColumnStatus)).toString();
        return out;
    }
};

TEST_F(BatchRun, FillsEveryCellAsTheRoutingTableSays)
{
    const QString h = host();
    form->setEntryText(QStringList {h + "/p5", h + "/sorry", h + "/error", h + "/norank", h + "/empty", h + "/gone", dead()}.join(QLatin1Char('\n')));
    QStringList statusTexts;
    QObject::connect(&s(), &FormState::lbl13Changed, form.get(), [&statusTexts](const QString &t) { statusTexts << t; });
    form->btn1Click();
    ASSERT_TRUE(runEnded());
    // PR: rank, refused, error page without rank, empty reply (a failed fetch)
    EXPECT_EQ(column(4).mid(0, 4), (QStringList {QStringLiteral("5"), QStringLiteral("IP被屏蔽"), QStringLiteral("--"), QStringLiteral("--")}));
    // 访问: a body under a status below 400 answers; an empty body, an error
    // page (404) or no connection is dead
    EXPECT_EQ(column(3), (QStringList {"√", "√", "√", "√", "×", "×", "×"}));
    EXPECT_EQ(statusColumn(), (QStringList {"200", "200", "200", "200", "204 空内容", "404", "拒绝连接"}));
    EXPECT_EQ(s().donecount, 7);
    EXPECT_EQ(s().pr1.value(), 7);
    EXPECT_EQ(s().pr1.maximum(), 7);
    // Shown when the last ranking reply was counted. The start of the last
    // row's check may come after it and show its own address; the finish is
    // then shown once more when that check answers, so that it is what stays.
    const qsizetype finishes = statusTexts.count(QStringLiteral("提示：全部查询完毕"));
    EXPECT_GE(finishes, 1);
    EXPECT_LE(finishes, 2);
    EXPECT_EQ(s().lbl13(), QStringLiteral("提示：全部查询完毕"));
    EXPECT_EQ(s().curindex, 7);

    // Every ranking request carries its user agent; so does every check.
    for (const auto &r : ranking.requests())
        EXPECT_EQ(r.header("User-Agent"), "Mozilla/4.0 (compatible; GoogleToolbar 2.0.114-big; Windows XP 5.1)");
    EXPECT_EQ(ranking.requestCount(), 7u);
    for (const auto &r : web.requests())
        EXPECT_EQ(r.header("User-Agent"), "Mozilla/4.0 (compatible; GoogleToolbar 2.0.114-big; Windows XP 5.1)");
}

TEST_F(BatchRun, CheckBoxesDecideWhatIsSentAndWhatCounts)
{
    const QString h = host();
    const QString rows = QStringList {h + "/p1", h + "/empty", dead()}.join(QLatin1Char('\n'));

    // Both unticked: nothing is asked, and the cells say so at once.
    form->setChoices(false, false, true, 0, 200);
    form->setEntryText(rows);
    form->btn1Click();
    EXPECT_EQ(form->engine().walk(), Walk::None);
    ASSERT_TRUE(runEnded());
    EXPECT_EQ(ranking.requestCount() + web.requestCount(), 0u);
    EXPECT_EQ(column(3), (QStringList {"--", "--", "--"}));
    EXPECT_EQ(column(4), (QStringList {"--", "--", "--"}));
    EXPECT_EQ(s().pr1.value(), 0);

    // Dead-link check alone: nothing to pace, so the checks go through the
    // queue; their replies count, failures like successes.
    form->setChoices(false, true, true, 0, 200);
    form->btn1Click();
    EXPECT_EQ(form->engine().walk(), Walk::Queue);
    ASSERT_TRUE(runEnded());
    EXPECT_EQ(column(3), (QStringList {"√", "×", "×"}));
    EXPECT_EQ(column(4), (QStringList {"--", "--", "--"}));
    EXPECT_EQ(s().donecount, 3);
    EXPECT_EQ(s().lbl13(), QStringLiteral("提示：全部查询完毕"));
    EXPECT_EQ(ranking.requestCount(), 0u);
    EXPECT_EQ(s().curindex, 0); // no tick walked it
}

TEST_F(BatchRun, UntickingDuringARunStopsTheChecksFromTheNextTick)
{
    const QString h = host();
    // A slower walk, so that a busy machine cannot pass a tick unseen.
    form->setChoices(true, true, true, 0, 600);
    form->setEntryText(QStringList {h + "/p1", h + "/p2", h + "/p3"}.join(QLatin1Char('\n')));
    form->btn1Click();
    ASSERT_TRUE(waitUntil([this] { return s().curindex == 1; }));
    form->setChoices(true, false, true, 0, 600);
    ASSERT_TRUE(runEnded());
    EXPECT_EQ(column(4), (QStringList {"1", "2", "3"}));
    // The checks never sent say so once the run is over.
    EXPECT_EQ(column(3).mid(1), (QStringList {"--", "--"}));
    EXPECT_EQ(statusColumn().mid(1), (QStringList {"未查询", "未查询"}));
    EXPECT_EQ(web.requestCount(), 1u);
}

TEST_F(BatchRun, RequeryAndIntervalChange)
{
    const QString h = host();
    form->setChoices(false, false, true, 0, 200);
    form->setEntryText(QStringList {h + "/p7", h + "/p8"}.join(QLatin1Char('\n')));
    form->btn1Click();
    ASSERT_TRUE(runEnded());
    auto *list = form->findChild<QTableView *>(QStringLiteral("lv1"));
    list->selectRow(1);
    holdRanking = true;
    form->findChild<QAction *>(QStringLiteral("N4"))->trigger(); // both requests, whatever the boxes say
    EXPECT_EQ(s().lv1.cell(1, 4), QStringLiteral("查询..."));
    holdRanking = false;
    ASSERT_TRUE(runEnded());
    EXPECT_EQ(s().lv1.cell(1, 4), QStringLiteral("8"));
    EXPECT_EQ(s().lv1.cell(1, 3), QStringLiteral("√"));
    EXPECT_EQ(s().lv1.cell(0, 4), QStringLiteral("--"));
    // The ranking reply counts; with 查询PR unticked, so does the check.
    EXPECT_EQ(s().donecount, 2);

    // A new interval restarts the wait of a running timer.
    holdRanking = true;
    form->setChoices(true, false, true, 0, 5000);
    form->btn1Click();
    QThread::msleep(50);
    form->setChoices(true, false, true, 0, 3000);
    EXPECT_EQ(s().tmr2.interval(), 3000);
    EXPECT_GT(s().tmr2.remainingTime(), 2900);
}

TEST_F(BatchRun, RequeryEmptiesTheStatusCellUntilTheCheckEnds)
{
    form->setChoices(false, true, true, 0, 200);
    form->setEntryText(host() + QStringLiteral("/held"));
    form->btn1Click();
    ASSERT_TRUE(runEnded());
    ASSERT_EQ(statusColumn(), QStringList {"200"});
    form->findChild<QTableView *>(QStringLiteral("lv1"))->selectRow(0);
    holdPage = true;
    form->findChild<QAction *>(QStringLiteral("N4"))->trigger();
    EXPECT_EQ(statusColumn(), QStringList {""});
    EXPECT_EQ(s().lv1.check(0), nullptr);
    holdPage = false;
    ASSERT_TRUE(runEnded());
    EXPECT_EQ(statusColumn(), QStringList {"200"});
    EXPECT_EQ(column(3), QStringList {"√"});
}

TEST_F(BatchRun, RepliesForAnEarlierListAreDropped)
{
    holdRanking = true;
    const QString h = host();
    form->setChoices(true, false, true, 0, 200);
    form->setEntryText(QStringList {h + "/p1", h + "/p2"}.join(QLatin1Char('\n')));
    form->btn1Click();
    ASSERT_TRUE(waitUntil([this] { return s().curindex == 2; }));
    ASSERT_EQ(requestsInFlight(s()), 2);
    // Rebuilt while both ranking replies are outstanding; they arrive later.
    form->setEntryText(QStringList {h + "/p5", h + "/p6", h + "/p7"}.join(QLatin1Char('\n')));
    form->btn1Click();
    holdRanking = false;
    ASSERT_TRUE(runEnded());
    EXPECT_EQ(column(4), (QStringList {"5", "6", "7"}));
    EXPECT_EQ(s().donecount, 3);
    EXPECT_EQ(s().pr1.value(), 3);
}

TEST_F(BatchRun, AListClearedDuringARunEndsAtTheNextTick)
{
    holdRanking = true;
    const QString h = host();
    form->setChoices(true, false, true, 0, 600);
    form->setEntryText(QStringList {h + "/p1", h + "/p2", h + "/p3"}.join(QLatin1Char('\n')));
    form->btn1Click();
    ASSERT_TRUE(waitUntil([this] { return s().curindex == 1; }));
    form->findChild<QAction *>(QStringLiteral("N1"))->trigger();
    holdRanking = false;
    ASSERT_TRUE(runEnded());
    EXPECT_EQ(s().lv1.count(), 0);
    EXPECT_EQ(s().curindex, 2);
    EXPECT_EQ(ranking.requestCount(), 1u);
    EXPECT_EQ(s().donecount, 0); // the late reply is not counted
}

TEST_F(BatchRun, StopEndsTheWalkAtOnceAndAnswersInFlightStillLand)
{
    form->setChoices(true, false, true, 0, 200);
    holdRanking = true;
    start({"/p1", "/p2", "/p3", "/p4", "/p5", "/p6"});
    ASSERT_TRUE(waitUntil([this] { return s().curindex == 2; }));
    QTest::mouseClick(form->findChild<QPushButton *>(QStringLiteral("btnStop")), Qt::LeftButton);
    EXPECT_FALSE(s().tmr2.isActive());
    EXPECT_EQ(requestsInFlight(s()), 2);
    holdRanking = false;
    ASSERT_TRUE(waitUntil([this] { return requestsInFlight(s()) == 0; }));
    QTest::qWait(700); // more than three intervals: no tick comes
    EXPECT_EQ(s().curindex, 2);
    EXPECT_EQ(ranking.requestCount(), 2u);
    // The rows the stop left unsent say so; those on their way got answers.
    EXPECT_EQ(column(4), (QStringList {"1", "2", "--", "--", "--", "--"}));
    EXPECT_EQ(statusColumn(), (QStringList {"", "", "未查询", "未查询", "未查询", "未查询"}));
    EXPECT_EQ(gaugeText(), QStringLiteral("2/6"));
    EXPECT_EQ(form->findChild<QLabel *>(QStringLiteral("lbl13"))->text(), QStringLiteral("提示：查询已停止"));

    // The next run starts from the top as always.
    start({"/p7", "/p8"});
    ASSERT_TRUE(runEnded());
    EXPECT_EQ(s().lv1.cell(1, 4), QStringLiteral("8"));
    EXPECT_EQ(gaugeText(), QStringLiteral("2/2"));
}

TEST_F(BatchRun, StopPressedInsideARequestStartSendsNothingMore)
{
    form->setChoices(true, true, true, 0, 100000); // the tick below comes by hand
    start({"/p1", "/p2"});
    // The ranking request's start lets pending events run: the click is one.
    QTimer::singleShot(0, form.get(), [this] { QTest::mouseClick(form->findChild<QPushButton *>(QStringLiteral("btnStop")), Qt::LeftButton); });
    form->tmr2Timer();
    EXPECT_FALSE(s().tmr2.isActive());
    ASSERT_TRUE(runEnded());
    EXPECT_EQ(ranking.requestCount(), 1u);
    EXPECT_EQ(web.requestCount(), 0u); // the check of the same row was not sent
    EXPECT_EQ(column(4), (QStringList {"1", "--"}));
    EXPECT_EQ(column(3), (QStringList {"--", "--"}));
}

TEST_F(BatchRun, SortedAndFilteredWhileAnswersArriveEachLandsInItsOwnRow)
{
    form->setChoices(true, true, true, 0, 200);
    start({"/p3", "/empty", "/p1", "/p5", "/p2", "/p4"});
    prqtest::clickHeader(list(), 5); // PR, rising
    ASSERT_TRUE(waitUntil([this] { return s().donecount >= 2; }));
    form->findChild<QComboBox *>(QStringLiteral("cbbFilter"))->setCurrentIndex(2); // 只看正常
    ASSERT_TRUE(runEnded());

    for (int r = 0; r < s().lv1.count(); ++r) {
        const QString address = s().lv1.cell(r, 2);
        EXPECT_EQ(s().lv1.cell(r, 4), ownRank(address)) << address.toStdString();
        EXPECT_EQ(s().lv1.cell(r, 3), address.endsWith(QLatin1String("/empty")) ? QStringLiteral("×") : QStringLiteral("√")) << address.toStdString();
    }
    EXPECT_EQ(prqtest::shownColumn(list(), 5), (QStringList {"1", "2", "3", "4", "5"}));
    for (const QString &address : prqtest::shownColumn(list(), 3))
        EXPECT_FALSE(address.endsWith(QLatin1String("/empty")));
    form->findChild<QComboBox *>(QStringLiteral("cbbFilter"))->setCurrentIndex(1); // 只看死链
    ASSERT_EQ(prqtest::shownColumn(list(), 3).size(), 1);
    EXPECT_TRUE(prqtest::shownColumn(list(), 3).at(0).endsWith(QLatin1String("/empty")));
    EXPECT_EQ(gaugeText(), QStringLiteral("6/6"));
}

TEST_F(BatchRun, RequeryOfTwoSelectedRowsSendsBothRequestsOfEachPacedByTheInterval)
{
    form->setChoices(true, false, true, 0, 200);
    start({"/p1", "/p2", "/p3"});
    ASSERT_TRUE(runEnded());
    prqtest::clickHeader(list(), 5);
    prqtest::clickHeader(list(), 5); // PR falling: 3, 2, 1
    prqtest::clickRow(list(), 0);
    prqtest::clickRow(list(), 1, true); // the rows of /p3 and /p2
    const size_t ranked = ranking.requestCount();
    holdRanking = true;
    form->setChoices(true, false, true, 0, 1500);
    form->findChild<QAction *>(QStringLiteral("N4"))->trigger();
    // The first row goes at once, the second one interval later.
    EXPECT_EQ(s().lv1.cell(2, 4), QStringLiteral("查询..."));
    EXPECT_EQ(s().lv1.cell(1, 4), QStringLiteral("2"));
    EXPECT_EQ(s().lv1.cell(0, 4), QStringLiteral("1"));
    ASSERT_TRUE(waitUntil([&] { return ranking.requestCount() == ranked + 1; }));
    QTest::qWait(300);
    EXPECT_EQ(ranking.requestCount(), ranked + 1);
    EXPECT_TRUE(waitUntil([this] { return s().lv1.cell(1, 4) == QStringLiteral("查询..."); }, 3000));
    holdRanking = false;
    ASSERT_TRUE(runEnded());
    EXPECT_EQ(s().curindex, 3); // the walk's position is untouched
    EXPECT_EQ(s().lv1.cell(2, 4), QStringLiteral("3"));
    EXPECT_EQ(s().lv1.cell(1, 4), QStringLiteral("2"));
    EXPECT_EQ(s().lv1.cell(1, 3), QStringLiteral("√"));
    EXPECT_EQ(s().lv1.cell(0, 3), QStringLiteral("--")); // not selected, never checked
    EXPECT_EQ(ranking.requestCount(), ranked + 2);
    EXPECT_EQ(web.requestCount(), 2u);
}

TEST_F(BatchRun, HeadlessExportMatchesTheWindowsOwnExport)
{
    // The window's export of a finished run...
    QTemporaryDir dir;
    const QString h = host();
    form->setEntryText(QStringList {h + "/p4", h + "/empty"}.join(QLatin1Char('\n')));
    form->btn1Click();
    ASSERT_TRUE(runEnded());
    const QString windowOut = dir.filePath(QStringLiteral("window.txt"));
    form->seams().saveFile = [&](const FileDialogQuestion &) { return FileDialogAnswer {windowOut, QString()}; };
    form->findChild<QAction *>(QStringLiteral("N3"))->trigger();

    // ... and the program's headless batch over the same list.
    const QString in = dir.filePath(QStringLiteral("in.txt"));
    const QString servers = dir.filePath(QStringLiteral("servers.txt"));
    const QString out = dir.filePath(QStringLiteral("out.txt"));
    {
        QFile f(in);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(form->entryText().toUtf8() + "\n");
        QFile g(servers);
        ASSERT_TRUE(g.open(QIODevice::WriteOnly));
        g.write(QStringLiteral("127.0.0.1:%1\n").arg(ranking.port()).toUtf8());
    }
    const prqtest::ProgramRun run = prqtest::runProgram(QStringLiteral(PRQUERY_EXE),
        {QStringLiteral("--servers"), servers, QStringLiteral("--batch"), in, QStringLiteral("--out"), out, QStringLiteral("--interval"), QStringLiteral("200"), QStringLiteral("--timeout"), QStringLiteral("60"),
            QStringLiteral("--short")});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    QFile a(windowOut), b(out);
    ASSERT_TRUE(a.open(QIODevice::ReadOnly));
    ASSERT_TRUE(b.open(QIODevice::ReadOnly));
    const QByteArray expected = a.readAll();
    EXPECT_EQ(b.readAll(), expected);
    EXPECT_TRUE(expected.contains("/p4\t4\r\r\n"));
}

// The list comes on standard input from a writer that takes its time, and
// the export goes to a name that is not UTF-8: exactly that name.
TEST_F(BatchRun, HeadlessReadsStandardInputAndWritesToAByteName)
{
    QTemporaryDir dir;
    const QString servers = dir.filePath(QStringLiteral("servers.txt"));
    {
        QFile g(servers);
        ASSERT_TRUE(g.open(QIODevice::WriteOnly));
        g.write(QStringLiteral("127.0.0.1:%1\n").arg(ranking.port()).toUtf8());
    }
    const QString script = QStringLiteral(
        "(printf 'www.a.example/1\\n'; sleep 0.3; printf 'www.b.example/2\\n') | "
        "\"$0\" --servers \"$1\" --batch - --out \"$2/$(printf 'out\\377.txt')\" --no-pr --no-deadlink --interval 200 --timeout 60");
    const prqtest::ProgramRun run = prqtest::runProgram(QStringLiteral("/bin/sh"),
        {QStringLiteral("-c"), script, QStringLiteral(PRQUERY_EXE), servers, dir.path()});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    QFile out(QString::fromUtf8(QFile::encodeName(dir.path())) + QStringLiteral("/out\uFFFD.txt"));
    const QByteArray raw = QFile::encodeName(dir.path()) + "/out\xFF.txt";
    QByteArray bytes;
    if (FILE *f = std::fopen(raw.constData(), "rb")) {
        char buf[4096];
        bytes = QByteArray(buf, qsizetype(std::fread(buf, 1, sizeof buf, f)));
        std::fclose(f);
    }
    // Every column: neither query was asked.
    EXPECT_EQ(bytes, QByteArray("1\t\xe6\x89\xb9\xe9\x87\x8f\t--\twww.a.example/1\t--\t--\r\r\n"
                                "2\t\xe6\x89\xb9\xe9\x87\x8f\t--\twww.b.example/2\t--\t--\r\r\n"));
    EXPECT_FALSE(out.exists()); // not the name Qt would have made of it
    ::unlink(raw.constData()); // the temporary folder cannot name it to remove it
}

TEST_F(BatchRun, HeadlessTimeOutAndBadArguments)
{
    QTemporaryDir dir;
    const QString in = dir.filePath(QStringLiteral("in.txt"));
    const QString servers = dir.filePath(QStringLiteral("servers.txt"));
    {
        QFile f(in);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write((host() + QStringLiteral("/p1\n")).toUtf8());
        QFile g(servers);
        ASSERT_TRUE(g.open(QIODevice::WriteOnly));
        g.write(QStringLiteral("127.0.0.1:%1\n").arg(ranking.port()).toUtf8());
    }
    auto run = [](const QStringList &args) {
        const prqtest::ProgramRun r = prqtest::runProgram(QStringLiteral(PRQUERY_EXE), args);
        return std::make_pair(r.exitCode, r.err);
    };

    // The ranking reply never comes within the time allowed.
    holdRanking = true;
    const auto [timedOut, timeOutText] = run({QStringLiteral("--servers"), servers, QStringLiteral("--batch"), in, QStringLiteral("--out"),
        dir.filePath(QStringLiteral("out.txt")), QStringLiteral("--interval"), QStringLiteral("200"), QStringLiteral("--timeout"), QStringLiteral("1")});
    holdRanking = false;
    EXPECT_EQ(timedOut, 1) << timeOutText.toStdString();
    // The rows are written as they stand, "--" where no answer came.
    QFile partial(dir.filePath(QStringLiteral("out.txt")));
    ASSERT_TRUE(partial.open(QIODevice::ReadOnly));
    EXPECT_EQ(partial.readAll(), (QStringLiteral("1\t批量\t--\t") + host() + QStringLiteral("/p1\t√\t--\r\r\n")).toUtf8());
    EXPECT_TRUE(timeOutText.contains(QStringLiteral("未完成: 0/1 行已查询"))) << timeOutText.toStdString();
    EXPECT_FALSE(timeOutText.contains(QRegularExpression(QStringLiteral("(^|\\n)完成: ")))) << timeOutText.toStdString();

    // An argument error is one line and where to look, not the whole help.
    const auto [bad, usage] = run({QStringLiteral("--batch"), in});
    EXPECT_EQ(bad, 2);
    EXPECT_EQ(usage, QStringLiteral("prquery: --batch 或 --site 需要 --out 文件\n用 --help 查看用法\n"));

    const auto [missing, missingText] = run({QStringLiteral("--servers"), servers, QStringLiteral("--batch"), dir.filePath(QStringLiteral("none.txt")),
        QStringLiteral("--out"), dir.filePath(QStringLiteral("out.txt"))});
    EXPECT_EQ(missing, 1);
    EXPECT_TRUE(missingText.contains(QStringLiteral("无法打开文件 \"") + dir.filePath(QStringLiteral("none.txt")) + QStringLiteral("\": 没有那个文件或目录")))
        << missingText.toStdString();
}

// With 查询PR unticked nothing needs pacing: the checks go as fast as the
// queue's limits let them, the interval notwithstanding; the toolbar source
// keeps its walk of one row per interval.
TEST_F(BatchRun, ChecksWithoutTheToolbarAreNotPacedByTheInterval)
{
    QStringList paths;
    for (int i = 0; i < 60; ++i)
        paths << QStringLiteral("/slow%1").arg(i);
    form->setChoices(false, true, true, 0, 1000);
    QElapsedTimer clock;
    clock.start();
    start(paths);
    EXPECT_EQ(form->engine().walk(), Walk::Queue);
    ASSERT_TRUE(runEnded());
    EXPECT_LT(clock.elapsed(), 10000); // paced, 60 s
    EXPECT_EQ(column(3), QStringList(60, QStringLiteral("√")));
    EXPECT_EQ(gaugeText(), QStringLiteral("60/60"));

    form->setChoices(true, true, true, 0, 1000);
    start({"/p1", "/p2"});
    EXPECT_EQ(form->engine().walk(), Walk::Paced);
    EXPECT_TRUE(s().tmr2.isActive());
    EXPECT_EQ(s().tmr2.interval(), 1000);
    form->btnStopClick();
}

// "停止" in a run through the queue: the checks on their way land, the rest
// say "--" and "未查询".
TEST_F(BatchRun, StopInAQueueRunLeavesNoRowWaiting)
{
    CheckQueueLimits limits = form->engine().queueLimits();
    limits.perHost = 1;
    form->engine().setQueueLimits(limits);
    form->setChoices(false, true, true, 0, 1000);
    holdPage = true;
    start({"/held", "/p1", "/p2", "/p3"});
    ASSERT_TRUE(waitUntil([this] { return requestsInFlight(s()) == 1; }));
    QTest::mouseClick(form->findChild<QPushButton *>(QStringLiteral("btnStop")), Qt::LeftButton);
    EXPECT_EQ(s().lbl13(), QStringLiteral("提示：查询已停止"));
    EXPECT_EQ(column(3), (QStringList {"查询中...", "--", "--", "--"}));
    holdPage = false;
    ASSERT_TRUE(runEnded());
    EXPECT_EQ(column(3), (QStringList {"√", "--", "--", "--"}));
    EXPECT_EQ(statusColumn(), (QStringList {"200", "未查询", "未查询", "未查询"}));
    EXPECT_EQ(web.requestCount(), 1u);
}

// The details of a checked redirect: each hop, where it went, the time.
TEST_F(BatchRun, TheDetailsPaneShowsTheRedirectOfACheck)
{
    form->setChoices(false, true, true, 0, 1000);
    start({"/moved"});
    ASSERT_TRUE(runEnded());
    ASSERT_EQ(statusColumn(), QStringList {"301→200"});
    list()->selectRow(0);
    auto *hops = form->findChild<QLabel *>(QStringLiteral("detailHops"));
    ASSERT_TRUE(waitUntil([hops] { return hops->isVisible(); }));
    EXPECT_EQ(hops->text(), QStringLiteral("301 → http://") + host() + QStringLiteral("/p1\n200"));
    EXPECT_EQ(form->findChild<QLineEdit *>(QStringLiteral("detailFinalUrl"))->text(), QStringLiteral("http://") + host() + QStringLiteral("/p1"));
    EXPECT_TRUE(form->findChild<QLabel *>(QStringLiteral("detailSummary"))->text().contains(QStringLiteral("类别: 正常")));
    // The tooltip of the list holds the whole chain too.
    EXPECT_TRUE(s().lv1.data(s().lv1.index(0, ColumnStatus), Qt::ToolTipRole).toString().contains(QStringLiteral("状态: 301→200")));
}

} // namespace
