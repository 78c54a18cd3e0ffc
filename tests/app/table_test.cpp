// The result table while a run is going: the real window, off screen, against
// a ranking server and a web server on loopback.
#include "app/Unit1.h"
#include "query/dispatch.h"
#include "shell/guard.h"
#include "support/loopserver.h"
#include "support/windowtesting.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>
#include <QTest>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

namespace {

using prqtest::LoopServer;
using prqtest::waitUntil;

struct TableRun : ::testing::Test
{
    LoopServer ranking;
    LoopServer web;
    // While held, the ranking server keeps its replies back (at most 20 s).
    std::atomic<bool> holdRanking{false};
    std::unique_ptr<TForm1> form;
    QStringList errors;
    guard::ErrorBox oldBox;

    void SetUp() override
    {
        // "/pN" ranks N; anything else ranks 0.
        ranking.get("/search", [this](const httplib::Request &req, httplib::Response &res) {
            for (int waited = 0; holdRanking && waited < 20000; waited += 5)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            const std::string q = req.get_param_value("q");
            const auto at = q.rfind("/p");
            res.set_content("Rank_1:1:" + (at == std::string::npos ? std::string("0") : q.substr(at + 2)) + "\n", "text/plain");
        });
        ranking.start();
        web.get(R"(/p\d+)", [](const httplib::Request &, httplib::Response &res) { res.set_content("<html>live</html>", "text/html"); });
        web.get("/empty", [](const httplib::Request &, httplib::Response &res) { res.status = 204; });
        web.start();
        oldBox = guard::setErrorBox([this](const QString &, const QString &m) { errors << m; });
        form = prqtest::makeWindow({QStringLiteral("127.0.0.1:%1").arg(ranking.port())});
    }

    void TearDown() override
    {
        holdRanking = false;
        form.reset();
        guard::setErrorBox(oldBox);
        EXPECT_TRUE(errors.isEmpty()) << errors.join(QLatin1Char('\n')).toStdString();
    }

    FormState &s() { return form->state(); }
    QTableView *view() { return form->findChild<QTableView *>(QStringLiteral("lv1")); }
    QString gaugeText() { return form->findChild<QProgressBar *>(QStringLiteral("pr1"))->text(); }
    void start(const QStringList &paths)
    {
        QStringList lines;
        for (const QString &p : paths)
            lines << QStringLiteral("127.0.0.1:%1%2").arg(web.port()).arg(p);
        form->setEntryText(lines.join(QLatin1Char('\n')));
        form->btn1Click();
    }
    bool runEnded() { return waitUntil([this] { return !s().tmr2.isActive() && requestsInFlight(s()) == 0; }); }
    // The PR cell that the answer for the row's own address writes.
    static QString ownRank(const QString &address)
    {
        const qsizetype at = address.lastIndexOf(QLatin1String("/p"));
        return at < 0 ? QStringLiteral("0") : address.mid(at + 2);
    }
};

TEST_F(TableRun, StopEndsTheWalkAtOnceAndAnswersInFlightStillLand)
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
    QStringList pr;
    for (int r = 0; r < 6; ++r)
        pr << s().lv1.cell(r, 4);
    EXPECT_EQ(pr, (QStringList{"1", "2", "查询中...", "查询中...", "查询中...", "查询中..."}));
    EXPECT_EQ(gaugeText(), QStringLiteral("2/6"));
    EXPECT_EQ(form->findChild<QLabel *>(QStringLiteral("lbl13"))->text(), QStringLiteral("提示：查询已停止"));

    // The next run starts from the top as always.
    start({"/p7", "/p8"});
    ASSERT_TRUE(runEnded());
    EXPECT_EQ(s().lv1.cell(1, 4), QStringLiteral("8"));
    EXPECT_EQ(gaugeText(), QStringLiteral("2/2"));
}

TEST_F(TableRun, SortedAndFilteredWhileAnswersArriveEachLandsInItsOwnRow)
{
    form->setChoices(true, true, true, 0, 200);
    start({"/p3", "/empty", "/p1", "/p5", "/p2", "/p4"});
    prqtest::clickHeader(view(), 5); // PR, rising
    ASSERT_TRUE(waitUntil([this] { return s().donecount >= 2; }));
    form->findChild<QComboBox *>(QStringLiteral("cbbFilter"))->setCurrentIndex(2); // 只看正常
    ASSERT_TRUE(runEnded());

    for (int r = 0; r < s().lv1.count(); ++r) {
        const QString address = s().lv1.cell(r, 2);
        EXPECT_EQ(s().lv1.cell(r, 4), ownRank(address)) << address.toStdString();
        EXPECT_EQ(s().lv1.cell(r, 3), address.endsWith(QLatin1String("/empty")) ? QStringLiteral("×") : QStringLiteral("√")) << address.toStdString();
    }
    EXPECT_EQ(prqtest::shownColumn(view(), 5), (QStringList{"1", "2", "3", "4", "5"}));
    for (const QString &address : prqtest::shownColumn(view(), 3))
        EXPECT_FALSE(address.endsWith(QLatin1String("/empty")));
    form->findChild<QComboBox *>(QStringLiteral("cbbFilter"))->setCurrentIndex(1); // 只看死链
    ASSERT_EQ(prqtest::shownColumn(view(), 3).size(), 1);
    EXPECT_TRUE(prqtest::shownColumn(view(), 3).at(0).endsWith(QLatin1String("/empty")));
    EXPECT_EQ(gaugeText(), QStringLiteral("6/6"));
}

TEST_F(TableRun, RequeryOfTwoSelectedRowsSendsBothRequestsOfEach)
{
    form->setChoices(true, false, true, 0, 200);
    start({"/p1", "/p2", "/p3"});
    ASSERT_TRUE(runEnded());
    prqtest::clickHeader(view(), 5);
    prqtest::clickHeader(view(), 5); // PR falling: 3, 2, 1
    prqtest::clickRow(view(), 0);
    prqtest::clickRow(view(), 1, true); // the rows of /p3 and /p2
    const size_t ranked = ranking.requestCount();
    holdRanking = true;
    form->findChild<QAction *>(QStringLiteral("N4"))->trigger();
    EXPECT_EQ(s().lv1.cell(2, 4), QStringLiteral("查询..."));
    EXPECT_EQ(s().lv1.cell(1, 4), QStringLiteral("查询..."));
    EXPECT_EQ(s().lv1.cell(0, 4), QStringLiteral("1"));
    holdRanking = false;
    ASSERT_TRUE(runEnded());
    EXPECT_EQ(s().lv1.cell(2, 4), QStringLiteral("3"));
    EXPECT_EQ(s().lv1.cell(1, 4), QStringLiteral("2"));
    EXPECT_EQ(s().lv1.cell(1, 3), QStringLiteral("√"));
    EXPECT_EQ(s().lv1.cell(0, 3), QStringLiteral("查询中...")); // not selected, not checked
    EXPECT_EQ(ranking.requestCount(), ranked + 2);
    EXPECT_EQ(web.requestCount(), 2u);
}

} // namespace
