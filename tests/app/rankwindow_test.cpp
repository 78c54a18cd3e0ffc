// PR from a ranks file of the web graph in the window (the PR来源 box, the
// file chooser, the choice kept between starts, the index's progress) and on
// the command line.
#include "app/Unit1.h"
#include "app/rankfilecontrols.h"
#include "query/dispatch.h"
#include "query/graphrank.h"
#include "ranks/rankindex.h"
#include "shell/options.h"
#include "support/errorrecorder.h"
#include "support/rankfiles.h"
#include "support/resultcells.h"
#include "support/windowtesting.h"

#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

namespace {

using prqtest::DomainRanks;
using prqtest::writeRanksFile;

const QString Release = QStringLiteral("cc-main-2024-feb-apr-may");

struct RankWindow : ::testing::Test
{
    QTemporaryDir dir;
    QString ranks = dir.filePath(Release + QStringLiteral("-domain-ranks.txt.gz"));
    // What the windows remember, as the user's settings file would.
    QString settingsPath = dir.filePath(QStringLiteral("prquery.conf"));
    QStringList errors;
    prqtest::ErrorRecorder recorder {errors};
    int chooserAsked = 0;
    QString chooserAnswer = ranks;
    std::unique_ptr<TForm1> form;

    void SetUp() override
    {
        writeRanksFile(ranks, DomainRanks);
        // Each test starts as a first start: nothing remembered, no index.
        QDir(rankIndexFolder()).removeRecursively();
        form = makeForm();
    }
    std::unique_ptr<TForm1> makeForm()
    {
        WindowSeams seams = prqtest::quietSeams();
        seams.openFile = [this](const FileDialogQuestion &question) {
            ++chooserAsked;
            EXPECT_EQ(question.title, QStringLiteral("选择网络图排名文件"));
            return FileDialogAnswer {chooserAnswer, question.filters.value(0)};
        };
        seams.settings = [path = settingsPath] { return std::make_unique<QSettings>(path, QSettings::IniFormat); };
        WindowEndpoints endpoints;
        endpoints.servers = {QStringLiteral("127.0.0.1:9")};
        auto f = std::make_unique<TForm1>(endpoints, seams);
        f->show();
        // The rows' hosts are names: no reachability checks.
        f->setChoices(true, false, true, 0, 200);
        return f;
    }
    void TearDown() override { form.reset(); }

    FormState &s() { return form->state(); }
    QComboBox *box() { return form->findChild<QComboBox *>(QStringLiteral("cbb1")); }
    QLineEdit *fileField() { return form->findChild<QLineEdit *>(QStringLiteral("edtRankFile")); }
    QLineEdit *keyField() { return form->findChild<QLineEdit *>(QStringLiteral("edt8")); }
    bool graphChosen() { return dynamic_cast<GraphRankSource *>(&s().rankSource()) != nullptr; }
    bool runEnded()
    {
        return prqtest::waitUntil([this] { return !s().tmr2.isActive() && requestsInFlight(s()) == 0 && s().rankSource().rowsWaiting() == 0; });
    }
    QStringList prColumn() { return prqtest::columnCells(s().lv1, CellPr); }
    // The source the next start would take: what the window remembers now,
    // and the command line args.
    RankChoice atStart(const QStringList &args, QString *file)
    {
        const ParsedOptions parsed = parseOptions(QStringList {QStringLiteral("prquery")} + args);
        EXPECT_TRUE(parsed.ok) << parsed.error.toStdString();
        form->saveSettings();
        QSettings stored(settingsPath, QSettings::IniFormat);
        const RankStart start = windowRankChoice(parsed.options, readWindowSettings(stored));
        *file = start.file;
        return start.choice;
    }
};

TEST_F(RankWindow, TheThirdItemAsksForAFileAndTheChoiceIsKept)
{
    QString file;
    EXPECT_EQ(atStart({}, &file), RankChoice::Toolbar);
    EXPECT_TRUE(file.isEmpty());

    const int width = form->width();
    box()->setCurrentIndex(2);
    EXPECT_EQ(chooserAsked, 1);
    EXPECT_TRUE(fileField()->isVisible());
    EXPECT_FALSE(keyField()->isVisible());
    EXPECT_EQ(fileField()->text(), ranks);
    EXPECT_TRUE(graphChosen());
    // The file's field fits the strip: the window keeps its width.
    EXPECT_EQ(form->width(), width);
    EXPECT_LE(form->minimumSizeHint().width(), 682);

    form->setEntryText(QStringLiteral("www.google.com\nexample.com/x\n127.0.0.1\nunknown.net"));
    form->btn1Click();
    ASSERT_TRUE(runEnded());
    EXPECT_EQ(prColumn(), (QStringList {"10", "9", "--", "0"}));
    EXPECT_EQ(s().lbl13(), QStringLiteral("提示：全部查询完毕"));
    EXPECT_TRUE(errors.isEmpty());

    // The next start: auto is the file, and the box shows it.
    EXPECT_EQ(atStart({}, &file), RankChoice::GraphFile);
    EXPECT_EQ(file, ranks);
    form = makeForm();
    form->setRankChoice(atStart({}, &file), QString(), file);
    EXPECT_EQ(box()->currentIndex(), 2);
    EXPECT_EQ(fileField()->text(), ranks);
    EXPECT_TRUE(graphChosen());
    EXPECT_EQ(chooserAsked, 1);

    // The command line goes first; so does another choice in the box, which
    // keeps the file for when the item is chosen again.
    EXPECT_EQ(atStart({QStringLiteral("--rank-source"), QStringLiteral("toolbar")}, &file), RankChoice::Toolbar);
    EXPECT_EQ(atStart({QStringLiteral("--opr-key"), QStringLiteral("k")}, &file), RankChoice::GraphFile);
    box()->setCurrentIndex(0);
    EXPECT_EQ(atStart({}, &file), RankChoice::Toolbar);
    EXPECT_EQ(atStart({QStringLiteral("--opr-key"), QStringLiteral("k")}, &file), RankChoice::OpenPageRank);
    EXPECT_EQ(file, ranks);
    box()->setCurrentIndex(2);
    EXPECT_EQ(chooserAsked, 1);

    // Another file through the button.
    const QString other = dir.filePath(QStringLiteral("other.txt"));
    writeRanksFile(other, prqtest::HostRanks);
    chooserAnswer = other;
    form->findChild<QPushButton *>(QStringLiteral("btnRankFile"))->click();
    EXPECT_EQ(chooserAsked, 2);
    EXPECT_EQ(fileField()->text(), other);
    form->setEntryText(QStringLiteral("blog.example.com"));
    form->btn1Click();
    ASSERT_TRUE(runEnded());
    EXPECT_EQ(prColumn(), QStringList {QStringLiteral("8")});
    EXPECT_EQ(atStart({}, &file), RankChoice::GraphFile);
    EXPECT_EQ(file, other);
}

TEST_F(RankWindow, TheIndexIsMadeUnderAProgressDialogThatCancels)
{
    const QString big = dir.filePath(QStringLiteral("big-domain-ranks.txt"));
    writeRanksFile(big, prqtest::manyRanks(300000));
    form->setRankChoice(RankChoice::GraphFile, QString(), big);
    form->setEntryText(QStringLiteral("d1.com\nd2.com"));
    form->btn1Click();
    auto *dialog = form->findChild<QProgressDialog *>(QStringLiteral("rankIndexProgress"));
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_FALSE(dialog->isModal());
    EXPECT_TRUE(dialog->labelText().contains(QStringLiteral("big-domain-ranks.txt")));
    dialog->cancel();
    ASSERT_TRUE(runEnded());
    EXPECT_EQ(prColumn(), QStringList(2, QStringLiteral("--")));
    EXPECT_EQ(s().lbl13(), QStringLiteral("提示：排名索引未建立, PR 为 --"));
    EXPECT_TRUE(errors.isEmpty());
    EXPECT_TRUE(prqtest::waitUntil([this] { return form->findChild<QProgressDialog *>(QStringLiteral("rankIndexProgress")) == nullptr; }));

    form->btn1Click();
    ASSERT_NE(form->findChild<QProgressDialog *>(QStringLiteral("rankIndexProgress")), nullptr);
    ASSERT_TRUE(runEnded());
    EXPECT_EQ(prColumn(), (QStringList {"10", "9"}));
    EXPECT_TRUE(prqtest::waitUntil([this] { return form->findChild<QProgressDialog *>(QStringLiteral("rankIndexProgress")) == nullptr; }));
    EXPECT_TRUE(errors.isEmpty());
}

TEST_F(RankWindow, ABadFileIsOneErrorBoxAndDashes)
{
    const QString bad = dir.filePath(QStringLiteral("bad.txt"));
    writeRanksFile(bad, "#harmonicc_pos\t#harmonicc_val\t#pr_pos\t#pr_val\t#host_rev\n1\t1\t1\t0.5\n");
    form->setRankChoice(RankChoice::GraphFile, QString(), bad);
    form->setEntryText(QStringLiteral("example.com\ngoogle.com"));
    form->btn1Click();
    ASSERT_TRUE(runEnded());
    EXPECT_EQ(prColumn(), QStringList(2, QStringLiteral("--")));
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors[0].contains(QStringLiteral("第 2 行"))) << errors[0].toStdString();
}

struct RankCommandLine : ::testing::Test
{
    QTemporaryDir dir;
    QString servers = write(QStringLiteral("servers.txt"), QStringLiteral("127.0.0.1:%1\n").arg(prqtest::closedLoopbackPort()).toUtf8());
    QString ranks = dir.filePath(Release + QStringLiteral("-domain-ranks.txt.gz"));
    QString out = dir.filePath(QStringLiteral("out.csv"));

    void SetUp() override
    {
        writeRanksFile(ranks, DomainRanks);
        QDir(rankIndexFolder()).removeRecursively();
    }
    QString write(const QString &name, const QByteArray &bytes)
    {
        const QString path = dir.filePath(name);
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.write(bytes);
        return path;
    }
    QByteArray output() const
    {
        QFile f(out);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    // The csv output's records by column name; no cell here holds a comma or
    // a quote.
    std::vector<QHash<QString, QString>> records() const
    {
        QString text = QString::fromUtf8(output());
        text.remove(QChar(0xFEFF));
        const QStringList lines = text.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
        std::vector<QHash<QString, QString>> out;
        if (lines.isEmpty())
            return out;
        const QStringList header = lines.first().split(QLatin1Char(','));
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const QStringList cells = lines.at(i).split(QLatin1Char(','));
            QHash<QString, QString> r;
            for (qsizetype c = 0; c < header.size(); ++c)
                r.insert(header.at(c), cells.value(c));
            out.push_back(r);
        }
        return out;
    }
    prqtest::ProgramRun run(const QStringList &rows, const QStringList &more)
    {
        const QString in = write(QStringLiteral("in.txt"), rows.join(QLatin1Char('\n')).toUtf8());
        return prqtest::runProgram(QStringLiteral(PRQUERY_EXE),
            QStringList {QStringLiteral("--servers"), servers, QStringLiteral("--batch"), in, QStringLiteral("--out"), out, QStringLiteral("--timeout"),
                QStringLiteral("50")}
                + more);
    }
};

TEST_F(RankCommandLine, TheRowsFillWithoutTheWalksPace)
{
    QStringList rows;
    for (int i = 0; i < 10; ++i)
        rows << QStringLiteral("www.google.com/p%1").arg(i);
    rows << QStringLiteral("unknown.net") << QStringLiteral("127.0.0.1/x");
    QElapsedTimer clock;
    clock.start();
    prqtest::ProgramRun r = run(rows, {QStringLiteral("--rank-file"), ranks, QStringLiteral("--no-deadlink")});
    // At the default interval of a second, a walk of these rows would take 12.
    EXPECT_LT(clock.elapsed(), 8000);
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QStringLiteral("正在建立排名文件 ") + QFileInfo(ranks).fileName() + QStringLiteral(" 的索引"))) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QStringLiteral("的索引已建立")));
    const auto records = this->records();
    ASSERT_EQ(records.size(), 12u);
    const auto figures = [](const QHash<QString, QString> &r) {
        return QStringList {r.value(QStringLiteral("PR")), r.value(QStringLiteral("rank_pos")), r.value(QStringLiteral("harmonic_pos")),
            r.value(QStringLiteral("release"))};
    };
    EXPECT_EQ(figures(records[0]), (QStringList {"10", "1", "2", Release}));
    EXPECT_EQ(figures(records[10]), (QStringList {"0", "", "", Release}));
    EXPECT_EQ(figures(records[11]), (QStringList {"--", "", "", ""}));
    EXPECT_EQ(QDir(rankIndexFolder()).entryList(QDir::Files).size(), 1);

    // The index is there now: nothing is made, and auto takes the file.
    r = run({QStringLiteral("example.com")}, {QStringLiteral("--rank-source"), QStringLiteral("auto"), QStringLiteral("--rank-file"), ranks, QStringLiteral("--no-deadlink"), QStringLiteral("--format"), QStringLiteral("jsonl")});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_FALSE(r.err.contains(QStringLiteral("索引")));
    EXPECT_TRUE(output().contains("\"pr\":\"9\",\"rank_pos\":2"));
}

TEST_F(RankCommandLine, ChecksGoThroughTheQueueAndPrIsNeverPaced)
{
    const int closed = prqtest::closedLoopbackPort();
    QStringList rows;
    for (int i = 0; i < 10; ++i)
        rows << QStringLiteral("127.0.0.1:%1/p%2").arg(closed).arg(i);
    QElapsedTimer clock;
    clock.start();
    const prqtest::ProgramRun r = run(rows, {QStringLiteral("--rank-file"), ranks});
    EXPECT_LT(clock.elapsed(), 8000);
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(output().count(",×,--,拒绝连接,"), 10) << output().toStdString();
}

TEST_F(RankCommandLine, ABadFileIsOneLineAndTheRunGoesOnWithDashes)
{
    const QString bad = write(QStringLiteral("bad-domain-ranks.txt"), "#harmonicc_pos\t#harmonicc_val\t#pr_pos\t#pr_val\t#host_rev\t#n_hosts\n1\t1\t1\t0.5\tcom.a\tx\n");
    const prqtest::ProgramRun r = run({QStringLiteral("a.com"), QStringLiteral("b.com")}, {QStringLiteral("--rank-file"), bad, QStringLiteral("--no-deadlink")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err.count(QStringLiteral("错误: ")), 1) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QStringLiteral("第 2 行")));
    const auto rows = records();
    ASSERT_EQ(rows.size(), 2u) << output().toStdString();
    for (const auto &r : rows)
        EXPECT_EQ((QStringList {r.value(QStringLiteral("PR")), r.value(QStringLiteral("rank_pos")), r.value(QStringLiteral("release"))}),
            (QStringList {"--", "", ""}));
    EXPECT_EQ(QDir(rankIndexFolder()).entryList(QDir::Files), QStringList());

    // A ranks file that is not there at all: the same.
    const prqtest::ProgramRun missing = run({QStringLiteral("a.com")}, {QStringLiteral("--rank-file"), dir.filePath(QStringLiteral("none.gz")), QStringLiteral("--no-deadlink")});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_TRUE(missing.err.contains(QStringLiteral("无法打开排名文件"))) << missing.err.toStdString();
}

} // namespace
