// The concurrent check queue against loopback servers that count the requests
// they are serving at once.
#include "query/batch.h"
#include "query/checkqueue.h"
#include "query/dispatch.h"
#include "shell/formstate.h"
#include "support/loopserver.h"
#include "support/overlap.h"
#include "support/waiting.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

using Gauge = prqtest::Overlap;

// A check-only list over the given addresses, its timer stopped as a
// headless run stops it.
void buildList(FormState &form, const QStringList &addresses)
{
    form.bschck2 = false;
    btn1Click(form, addresses.join(QLatin1Char('\n')));
    form.tmr2.stop();
}

QString hostPort(const prqtest::LoopServer &server)
{
    return server.url(QString()).mid(7);
}

TEST(CheckQueue, KeepsToThePerHostAndTotalLimits)
{
    Gauge all;
    Gauge hostA, hostB;
    const auto slow = [&all](Gauge &host) {
        return [&all, &host](const httplib::Request &, httplib::Response &res) {
            all.enter();
            host.enter();
            std::this_thread::sleep_for(60ms);
            host.leave();
            all.leave();
            res.set_content("ok", "text/plain");
        };
    };
    prqtest::LoopServer a, b;
    a.bindTo("127.0.0.1").get("/p.*", slow(hostA));
    b.bindTo("127.0.0.2").get("/p.*", slow(hostB));
    a.start(16);
    b.start(16);
    // All of host A's rows come first: host B must not wait behind them.
    QStringList rows;
    for (int i = 0; i < 24; ++i)
        rows << hostPort(a) + QStringLiteral("/p%1").arg(i);
    for (int i = 0; i < 24; ++i)
        rows << hostPort(b) + QStringLiteral("/p%1").arg(i);

    {
        FormState form;
        buildList(form, rows);
        CheckQueue queue(form, CheckQueueLimits {});
        queue.start();
        ASSERT_TRUE(prqtest::waitUntil([&] { return queue.finished(); }));
        EXPECT_EQ(hostA.most.load(), 4);
        EXPECT_EQ(hostB.most.load(), 4);
        // Host B's rows did not wait behind host A's.
        EXPECT_GT(all.most.load(), 4);
        EXPECT_LE(all.most.load(), 8);
        EXPECT_EQ(form.donecount, 48);
        EXPECT_EQ(form.lbl13(), QStringLiteral("提示：全部查询完毕"));
        for (int r = 0; r < form.lv1.count(); ++r) {
            EXPECT_EQ(form.lv1.cell(r, CellAccess), QStringLiteral("√")) << r;
            ASSERT_NE(form.lv1.check(r), nullptr);
            EXPECT_EQ(form.lv1.check(r)->hops, QList<int> {200});
        }
        EXPECT_EQ(requestsInFlight(form), 0);
    }

    all.most = 0;
    FormState form;
    buildList(form, rows);
    CheckQueueLimits three;
    three.total = 3;
    CheckQueue queue(form, three);
    queue.start();
    EXPECT_LE(queue.inFlight(), 3);
    ASSERT_TRUE(prqtest::waitUntil([&] { return queue.finished(); }));
    EXPECT_EQ(all.most.load(), 3);
    EXPECT_EQ(a.requestCount() + b.requestCount(), 96u);
}

TEST(CheckQueue, TooManyRequestsPausesTheHostAndTriesAgain)
{
    std::mutex m;
    std::map<std::string, std::vector<Clock::time_point>> seen;
    const auto record = [&](const httplib::Request &req) {
        std::lock_guard<std::mutex> lock(m);
        seen[req.path].push_back(Clock::now());
        return seen[req.path].size();
    };
    prqtest::LoopServer a, b;
    a.get("/once", [&](const httplib::Request &req, httplib::Response &res) {
        if (record(req) == 1) {
            res.status = 429;
            res.set_header("Retry-After", "1");
        }
        res.set_content("body", "text/plain");
    });
    a.get("/always", [&](const httplib::Request &req, httplib::Response &res) {
        record(req);
        res.status = 429;
        res.set_header("Retry-After", "3600"); // cut to the longest pause
        res.set_content("slow down", "text/plain");
    });
    a.get("/next", [&](const httplib::Request &req, httplib::Response &res) {
        record(req);
        res.set_content("body", "text/plain");
    });
    b.bindTo("127.0.0.2").get("/other", [&](const httplib::Request &req, httplib::Response &res) {
        record(req);
        res.set_content("body", "text/plain");
    });
    a.start();
    b.start();

    FormState form;
    buildList(form, {hostPort(a) + "/once", hostPort(a) + "/next", hostPort(b) + "/other"});
    CheckQueueLimits limits;
    limits.perHost = 1;
    limits.maxPauseSeconds = 1;
    const auto started = Clock::now();
    CheckQueue queue(form, limits);
    queue.start();
    ASSERT_TRUE(prqtest::waitUntil([&] { return queue.finished(); }));
    {
        std::lock_guard<std::mutex> lock(m);
        ASSERT_EQ(seen["/once"].size(), 2u);
        // The host waited for its Retry-After; the other host did not.
        EXPECT_GE(seen["/once"][1] - seen["/once"][0], 950ms);
        ASSERT_EQ(seen["/next"].size(), 1u);
        EXPECT_GE(seen["/next"][0] - seen["/once"][0], 950ms);
        EXPECT_LT(seen["/other"][0] - started, 500ms);
    }
    EXPECT_EQ(form.lv1.cell(0, CellAccess), QStringLiteral("√"));
    EXPECT_EQ(form.lv1.check(0)->hops, QList<int> {200});

    // Still 429 after two more tries: recorded as it is, a doubtful row
    // (the server refused a robot). The longest pause applies to a
    // Retry-After beyond it.
    FormState again;
    buildList(again, {hostPort(a) + "/always"});
    CheckQueue stubborn(again, limits);
    const auto begun = Clock::now();
    stubborn.start();
    ASSERT_TRUE(prqtest::waitUntil([&] { return stubborn.finished(); }));
    EXPECT_LT(Clock::now() - begun, 5s);
    std::lock_guard<std::mutex> lock(m);
    EXPECT_EQ(seen["/always"].size(), 3u);
    EXPECT_EQ(again.lv1.cell(0, CellAccess), QStringLiteral("?"));
    EXPECT_EQ(again.lv1.check(0)->hops, QList<int> {429});
    EXPECT_EQ(again.donecount, 1);
}

TEST(CheckQueue, EachAnswerReachesItsOwnRowWhateverTheOrder)
{
    prqtest::LoopServer web;
    // /dN answers after N ms: the first rows answer last.
    web.get(R"(/d(\d+))", [](const httplib::Request &req, httplib::Response &res) {
        std::this_thread::sleep_for(std::chrono::milliseconds(std::stoi(req.matches[1])));
        res.set_content("body", "text/plain");
    });
    web.get("/gone", [](const httplib::Request &, httplib::Response &res) {
        res.status = 404;
        res.set_content("missing", "text/plain");
    });
    web.start();
    QStringList rows;
    for (const int ms : {300, 200, 100, 0})
        rows << hostPort(web) + QStringLiteral("/d%1").arg(ms);
    rows.insert(2, hostPort(web) + QStringLiteral("/gone"));
    rows.insert(1, QString()); // an empty line is a row too, and answers nothing

    FormState form;
    buildList(form, rows);
    CheckQueue queue(form, CheckQueueLimits {});
    queue.start();
    ASSERT_TRUE(prqtest::waitUntil([&] { return queue.finished(); }));
    const QStringList access = {"√", "×", "√", "×", "√", "√"};
    for (int r = 0; r < rows.size(); ++r) {
        EXPECT_EQ(form.lv1.cell(r, CellAccess), access.at(r)) << r;
        ASSERT_NE(form.lv1.check(r), nullptr) << r;
        if (!rows.at(r).isEmpty()) {
            EXPECT_TRUE(form.lv1.check(r)->finalUrl.endsWith(rows.at(r).section(QLatin1Char('/'), 1))) << form.lv1.check(r)->finalUrl.toStdString();
        }
    }
    EXPECT_EQ(form.donecount, rows.size());
}

TEST(CheckQueue, AnEmptyListIsDoneAtOnce)
{
    FormState form;
    buildList(form, {});
    CheckQueue queue(form, CheckQueueLimits {});
    bool signalled = false;
    QObject::connect(&queue, &CheckQueue::allDone, [&] { signalled = true; });
    queue.start();
    EXPECT_TRUE(signalled);
    EXPECT_TRUE(queue.finished());
}

} // namespace
