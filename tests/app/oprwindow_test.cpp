// The PR source choice in the window and on the command line, against the
// Open PageRank service on loopback.
#include "app/Unit1.h"
#include "base/guard.h"
#include "query/dispatch.h"
#include "query/oprsource.h"
#include "query/toolbarrank.h"
#include "support/errorrecorder.h"
#include "support/oprservice.h"
#include "support/resultcells.h"
#include "support/windowtesting.h"

#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

namespace {

using prqtest::OprService;
using prqtest::waitUntil;

struct OprWindow : ::testing::Test
{
    OprService service;
    QStringList errors;
    prqtest::ErrorRecorder recorder {errors};
    std::unique_ptr<TForm1> form;

    void SetUp() override
    {
        WindowEndpoints endpoints;
        endpoints.servers = {QStringLiteral("127.0.0.1:9")};
        endpoints.oprEndpoint = service.endpoint();
        form = std::make_unique<TForm1>(endpoints, prqtest::quietSeams());
        form->show();
        // The rows' hosts are names: no reachability checks.
        form->setChoices(true, false, true, 0, 200);
    }
    void TearDown() override
    {
        form.reset();
    }

    FormState &s() { return form->state(); }
    QComboBox *box() { return form->findChild<QComboBox *>(QStringLiteral("cbb1")); }
    QLineEdit *keyField() { return form->findChild<QLineEdit *>(QStringLiteral("edt8")); }
    bool runEnded()
    {
        return waitUntil([this] {
            return !form->engine().runActive() && !s().tmr2.isActive() && requestsInFlight(s()) == 0 && s().rankSource().rowsWaiting() == 0;
        });
    }
    QStringList prColumn() { return prqtest::columnCells(s().lv1, CellPr); }
};

TEST_F(OprWindow, TheBoxBesideQueryPrAndTheKeyField)
{
    ASSERT_NE(box(), nullptr);
    ASSERT_NE(keyField(), nullptr);
    EXPECT_EQ(form->findChild<QLabel *>(QStringLiteral("lbl14"))->text(), QStringLiteral("PR来源"));
    EXPECT_EQ(box()->count(), 3);
    EXPECT_EQ(box()->itemText(0), QStringLiteral("工具栏"));
    EXPECT_EQ(box()->itemText(1), QStringLiteral("Open PageRank"));
    EXPECT_EQ(box()->itemText(2), QStringLiteral("网络图排名文件"));
    EXPECT_EQ(box()->currentIndex(), 0);
    EXPECT_TRUE(dynamic_cast<ToolbarRankSource *>(&s().rankSource()));
    EXPECT_FALSE(keyField()->isVisible());
    auto *warning = form->findChild<QLabel *>(QStringLiteral("lbl6"));
    auto *remember = form->findChild<QCheckBox *>(QStringLiteral("bschck5"));
    EXPECT_TRUE(warning->isVisible());
    EXPECT_FALSE(remember->isVisible());

    const int width = form->width();
    box()->setCurrentIndex(1);
    EXPECT_TRUE(keyField()->isVisible());
    EXPECT_TRUE(remember->isVisible());
    // The warning is about the toolbar service alone.
    EXPECT_FALSE(warning->isVisible());
    EXPECT_FALSE(dynamic_cast<ToolbarRankSource *>(&s().rankSource()));
    // The strip still fits: the window keeps its width.
    EXPECT_LE(form->minimumSizeHint().width(), 682);
    EXPECT_EQ(form->width(), width);

    box()->setCurrentIndex(0);
    EXPECT_FALSE(keyField()->isVisible());
    EXPECT_TRUE(warning->isVisible());
    EXPECT_TRUE(dynamic_cast<ToolbarRankSource *>(&s().rankSource()));
}

TEST_F(OprWindow, ARunWithTheKeyFieldAndARejectedKey)
{
    box()->setCurrentIndex(1);
    keyField()->setText(QString::fromLatin1(OprService::Key));
    form->setEntryText(QStringLiteral("d5.localhost/a\nwww.d5.localhost\n127.0.0.1/x\nd8.localhost"));
    form->btn1Click();
    // Nothing to pace: the rows fill as the service's one answer comes.
    EXPECT_EQ(form->engine().walk(), Walk::Queue);
    ASSERT_TRUE(runEnded());
    EXPECT_EQ(prColumn(), (QStringList {"5", "5", "--", "8"}));
    EXPECT_EQ(s().lbl13(), QStringLiteral("提示：全部查询完毕"));
    EXPECT_EQ(service.requestCount(), 1u);
    EXPECT_TRUE(errors.isEmpty());

    keyField()->setText(QStringLiteral("not-the-key"));
    form->btn1Click();
    ASSERT_TRUE(runEnded());
    EXPECT_EQ(prColumn(), (QStringList {"--", "--", "--", "--"}));
    EXPECT_EQ(errors, QStringList {OprRankSource::keyRejectedText() + QLatin1Char('.')});
}

TEST_F(OprWindow, CommandLineRun)
{
    QTemporaryDir dir;
    const QString in = dir.filePath(QStringLiteral("in.txt"));
    const QString out = dir.filePath(QStringLiteral("out.txt"));
    const QString servers = dir.filePath(QStringLiteral("servers.txt"));
    {
        QFile f(in);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("d3.localhost/x\nd14.localhost\n");
        QFile g(servers);
        ASSERT_TRUE(g.open(QIODevice::WriteOnly));
        g.write("127.0.0.1:9\n"); // the toolbar pool, never asked here
    }
    const QStringList common {QStringLiteral("--servers"), servers, QStringLiteral("--rank-source"), QStringLiteral("opr"),
        QStringLiteral("--opr-endpoint"), service.endpoint(), QStringLiteral("--batch"), in, QStringLiteral("--out"), out,
        QStringLiteral("--no-deadlink"), QStringLiteral("--short"), QStringLiteral("--timeout"), QStringLiteral("60")};
    const auto exported = [&out] {
        QFile f(out);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    };

    // The key from the option, then from the environment.
    prqtest::ProgramRun run = prqtest::runProgram(QStringLiteral(PRQUERY_EXE), common + QStringList {QStringLiteral("--opr-key"), QString::fromLatin1(OprService::Key)});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(exported(), QByteArray("d3.localhost/x\t3\r\r\nd14.localhost\t3\r\r\n"));
    QFile::remove(out);
    qputenv("OPR_API_KEY", OprService::Key);
    run = prqtest::runProgram(QStringLiteral(PRQUERY_EXE), common);
    qunsetenv("OPR_API_KEY");
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(exported(), QByteArray("d3.localhost/x\t3\r\r\nd14.localhost\t3\r\r\n"));
    EXPECT_EQ(service.requestCount(), 2u);

    // Nothing is paced without --interval: 300 rows of 150 domains are
    // answered by two requests, not written one a second.
    {
        QStringList lines;
        QByteArray expected;
        for (int i = 0; i < 300; ++i) {
            lines << QStringLiteral("d%1.localhost/p%2").arg(i % 150).arg(i);
            expected += lines.last().toUtf8() + '\t' + QByteArray::number(OprService::rankOf("d" + std::to_string(i % 150) + ".localhost")) + "\r\r\n";
        }
        QFile f(in);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(lines.join(QLatin1Char('\n')).toUtf8());
        f.close();
        service.forget();
        QElapsedTimer clock;
        clock.start();
        run = prqtest::runProgram(QStringLiteral(PRQUERY_EXE), common + QStringList {QStringLiteral("--opr-key"), QString::fromLatin1(OprService::Key)});
        EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
        EXPECT_LT(clock.elapsed(), 20000);
        EXPECT_EQ(exported(), expected);
        EXPECT_EQ(service.requestCount(), 2u);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write("d3.localhost/x\nd14.localhost\n");
    }

    // A refused key: one line, the rows written with "--", and the run fails.
    QFile::remove(out);
    run = prqtest::runProgram(QStringLiteral(PRQUERY_EXE), common + QStringList {QStringLiteral("--opr-key"), QStringLiteral("wrong")});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err.count(OprRankSource::keyRejectedText()), 1) << run.err.toStdString();
    EXPECT_EQ(exported(), QByteArray("d3.localhost/x\t--\r\r\nd14.localhost\t--\r\r\n"));
}

} // namespace
