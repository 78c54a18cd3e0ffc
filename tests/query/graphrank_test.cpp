// PR from a ranks file of the web graph: the answer of a row address, and
// whole runs of a list against a small ranks file made here.
#include "query/batch.h"
#include "query/dispatch.h"
#include "query/graphrank.h"
#include "query/scheduler.h"
#include "ranks/rankbuild.h"
#include "ranks/rankindex.h"
#include "shell/formstate.h"
#include "support/loopserver.h"
#include "support/rankfiles.h"
#include "support/resultcells.h"
#include "support/waiting.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

using prqtest::DomainRanks;
using prqtest::HostRanks;
using prqtest::writeRanksFile;

const QString Release = QStringLiteral("cc-main-2024-feb-apr-may");

TEST(GraphAnswer, ARowIsAnsweredByItsHostOrItsDomain)
{
    QTemporaryDir dir;
    const auto indexOf = [&dir](const QString &name, const QByteArray &content) {
        const QString path = dir.filePath(name);
        writeRanksFile(path, content);
        const RankBuildSummary built = buildRankIndex(path, dir.filePath(QStringLiteral("index")));
        return RankIndex::open(built.indexPath, built.stamp);
    };
    const std::unique_ptr<RankIndex> domains = indexOf(QStringLiteral("d.txt.gz"), DomainRanks);
    const std::unique_ptr<RankIndex> hosts = indexOf(QStringLiteral("h.txt"), HostRanks);
    ASSERT_TRUE(domains && hosts);

    const struct
    {
        const RankIndex *index;
        const char16_t *url;
        const char16_t *cell;
        int rankPos; // -1: no figures
        int harmonicPos;
    } cases[] = {
        // Domain level: the registrable domain, whatever the host.
        {domains.get(), u"https://www.google.com/search?q=x", u"10", 1, 2},
        {domains.get(), u"blog.example.com/a", u"9", 2, 1},
        {domains.get(), u"WWW.Bücher.DE/buch", u"7", 3, 4},
        {domains.get(), u"http://news.bbc.co.uk/", u"0", 5, 5},
        {domains.get(), u"unknown.net", u"0", 0, 0},
        {domains.get(), u"127.0.0.1/x", u"--", -1, -1},
        {domains.get(), u"http://[::1]:8080/", u"--", -1, -1},
        {domains.get(), u"co.uk", u"--", -1, -1},
        {domains.get(), u"localhost/x", u"--", -1, -1},
        {domains.get(), u"", u"--", -1, -1},
        // Host level: the host first (without "www."), then the domain.
        {hosts.get(), u"blog.example.com/x", u"8", 2, 2},
        {hosts.get(), u"shop.example.com", u"10", 1, 1},
        {hosts.get(), u"www.example.org", u"0", 3, 3},
        {hosts.get(), u"a.b.example.org", u"0", 3, 3},
        {hosts.get(), u"example.net", u"0", 0, 0},
        {hosts.get(), u"10.1.2.3", u"--", -1, -1},
    };
    for (const auto &c : cases) {
        const QString url = QString::fromUtf16(c.url);
        const GraphAnswer a = graphAnswer(*c.index, url, Release);
        EXPECT_EQ(a.cell, QString::fromUtf16(c.cell)) << url.toStdString();
        ASSERT_EQ(a.figures.has_value(), c.rankPos >= 0) << url.toStdString();
        if (a.figures) {
            EXPECT_EQ(a.figures->rankPos, quint32(c.rankPos)) << url.toStdString();
            EXPECT_EQ(a.figures->harmonicPos, quint32(c.harmonicPos)) << url.toStdString();
            EXPECT_EQ(a.figures->release, Release);
        }
    }
}

struct GraphRun : ::testing::Test
{
    QTemporaryDir dir;
    FormState form;
    QStringList notices;
    std::vector<RankIndexProgress> reports;
    bool cancel = false; // the person cancels the index as soon as it is shown
    QString path = dir.filePath(Release + QStringLiteral("-domain-ranks.txt.gz"));

    void SetUp() override
    {
        prqtest::keepTrafficOnLoopback(); // names in checked rows are not looked up
        form.bschck3 = false;
        form.tmr2.setInterval(1);
        QObject::connect(&form.tmr2, &QTimer::timeout, &form, [this] { tmr2Timer(form); });
        writeRanksFile(path, DomainRanks);
        useFile(path);
    }
    // A new source, as the window makes one when the file is chosen.
    void useFile(const QString &file)
    {
        GraphRankSettings settings;
        settings.rankFile = file;
        settings.indexFolder = indexFolder();
        settings.notice = [this](const QString &message) { notices << message; };
        settings.progress = [this](const RankIndexProgress &p) {
            reports.push_back(p);
            return !cancel;
        };
        form.setRankSource(std::make_unique<GraphRankSource>(form, settings));
    }
    QString indexFolder() const { return dir.filePath(QStringLiteral("index")); }
    QStringList indexFiles() const { return QDir(indexFolder()).entryList(QDir::Files | QDir::Hidden); }
    bool runEnded()
    {
        return prqtest::waitUntil([this] { return !form.tmr2.isActive() && form.rankSource().rowsWaiting() == 0; });
    }
    QStringList column(int k) const { return prqtest::columnCells(form.lv1, k); }
};

TEST_F(GraphRun, EveryRowIsAnsweredOnceTheListIsBuiltWithoutAWalk)
{
    const QString list = QStringLiteral("www.example.com/x\ngoogle.com\nunknown.net\n127.0.0.1/x\n\nnews.bbc.co.uk");
    btn1Click(form, list);
    // The first use makes the index; the rows wait for it, and no walk runs.
    EXPECT_EQ(form.rankSource().rowsWaiting(), 6);
    EXPECT_FALSE(form.tmr2.isActive());
    ASSERT_TRUE(runEnded());
    EXPECT_EQ(column(CellPr), (QStringList {"9", "10", "0", "--", "--", "0"}));
    // Checks are off; the blank line is no query and counts for nothing.
    EXPECT_EQ(column(CellAccess), QStringList(6, QStringLiteral("--")));
    EXPECT_EQ(form.lv1.statusOf(4), QStringLiteral("空行"));
    EXPECT_EQ(form.donecount, 5);
    EXPECT_EQ(form.pr1.value(), form.pr1.maximum());
    EXPECT_EQ(form.lbl13(), QStringLiteral("提示：全部查询完毕"));
    ASSERT_TRUE(form.lv1.row(0).rank);
    EXPECT_EQ(form.lv1.row(0).rank->rankPos, 2u);
    EXPECT_EQ(form.lv1.row(0).rank->release, Release);
    EXPECT_EQ(form.lv1.row(2).rank->rankPos, 0u);
    EXPECT_FALSE(form.lv1.row(3).rank);
    ASSERT_GE(reports.size(), 2u);
    EXPECT_FALSE(reports.front().done);
    EXPECT_TRUE(reports.back().done && !reports.back().failed);
    EXPECT_EQ(indexFiles().size(), 1);
    EXPECT_TRUE(notices.isEmpty());

    // From then on the index is there: a new source answers as the list is
    // built, and nothing is made again.
    reports.clear();
    useFile(path);
    btn1Click(form, list);
    EXPECT_EQ(form.rankSource().rowsWaiting(), 0);
    EXPECT_EQ(column(CellPr), (QStringList {"9", "10", "0", "--", "--", "0"}));
    EXPECT_TRUE(reports.empty());

    // With the addresses checked the walk runs, and its ticks add no answer.
    // (No name is looked up here: google.com fails to resolve at once.)
    form.bschck3 = true;
    btn1Click(form, QStringLiteral("127.0.0.1:1/\ngoogle.com:1/"));
    EXPECT_TRUE(form.tmr2.isActive());
    EXPECT_EQ(column(CellPr), (QStringList {"--", "10"}));
    ASSERT_TRUE(prqtest::waitUntil([this] { return !form.tmr2.isActive() && requestsInFlight(form) == 0; }));
    EXPECT_EQ(form.donecount, 2);
}

TEST_F(GraphRun, ARequeryAndATickOfAListBuiltWithoutPr)
{
    btn1Click(form, QStringLiteral("google.com\nexample.com"));
    ASSERT_TRUE(runEnded());
    N4Click(form, 1);
    EXPECT_EQ(form.lv1.cell(1, CellPr), QStringLiteral("9"));
    EXPECT_EQ(form.donecount, 3); // the re-query's answer counts like any other

    form.bschck2 = false;
    btn1Click(form, QStringLiteral("google.com\nexample.com\nbbc.co.uk"));
    ASSERT_TRUE(runEnded());
    EXPECT_EQ(column(CellPr), QStringList(3, QStringLiteral("--")));
    form.rankSource().queryRow(2);
    N4Click(form, 0);
    EXPECT_EQ(column(CellPr), (QStringList {"10", "--", "0"}));
}

TEST_F(GraphRun, ABadFileIsToldOncePerRunAndItsRowsGetDashes)
{
    writeRanksFile(path, DomainRanks + "6\t1.0E6\t6\tmuch\tcom.bad\t1\n");
    useFile(path);
    btn1Click(form, QStringLiteral("google.com\n127.0.0.1\nexample.com"));
    ASSERT_TRUE(runEnded());
    EXPECT_EQ(column(CellPr), QStringList(3, QStringLiteral("--")));
    ASSERT_EQ(notices.size(), 1);
    EXPECT_TRUE(notices[0].contains(QStringLiteral("第 7 行"))) << notices[0].toStdString();
    EXPECT_TRUE(reports.back().done && reports.back().failed);
    EXPECT_EQ(indexFiles(), QStringList());
    EXPECT_EQ(form.donecount, 3);

    // The same file again: said again, not read again.
    const std::size_t made = reports.size();
    btn1Click(form, QStringLiteral("google.com"));
    ASSERT_TRUE(runEnded());
    EXPECT_EQ(column(CellPr), QStringList {QStringLiteral("--")});
    EXPECT_EQ(notices.size(), 2);
    EXPECT_EQ(reports.size(), made);

    // Mended: the next run reads it.
    writeRanksFile(path, DomainRanks);
    btn1Click(form, QStringLiteral("google.com"));
    ASSERT_TRUE(runEnded());
    EXPECT_EQ(column(CellPr), QStringList {QStringLiteral("10")});
    EXPECT_EQ(notices.size(), 2);
}

TEST_F(GraphRun, AMissingOrUnchosenFileIsTold)
{
    useFile(dir.filePath(QStringLiteral("gone.txt.gz")));
    btn1Click(form, QStringLiteral("google.com\nexample.com"));
    ASSERT_TRUE(runEnded());
    EXPECT_EQ(column(CellPr), QStringList(2, QStringLiteral("--")));
    ASSERT_EQ(notices.size(), 1);
    EXPECT_TRUE(notices[0].contains(QStringLiteral("无法打开排名文件")));

    useFile(QString());
    btn1Click(form, QStringLiteral("google.com"));
    ASSERT_TRUE(runEnded());
    EXPECT_EQ(column(CellPr), QStringList {QStringLiteral("--")});
    ASSERT_EQ(notices.size(), 2);
    EXPECT_EQ(notices[1], QStringLiteral("未选择网络图排名文件"));
}

TEST_F(GraphRun, ACancelledIndexGivesDashesAndIsMadeAgainNextRun)
{
    path = dir.filePath(QStringLiteral("big-domain-ranks.txt"));
    writeRanksFile(path, prqtest::manyRanks(300000));
    useFile(path);
    cancel = true;
    btn1Click(form, QStringLiteral("d1.com\nd2.com"));
    ASSERT_TRUE(runEnded());
    EXPECT_EQ(column(CellPr), QStringList(2, QStringLiteral("--")));
    EXPECT_TRUE(notices.isEmpty());
    EXPECT_EQ(form.lbl13(), QStringLiteral("提示：排名索引未建立, PR 为 --"));
    EXPECT_EQ(indexFiles(), QStringList());

    cancel = false;
    btn1Click(form, QStringLiteral("d1.com\nd3.com\nd0.com"));
    ASSERT_TRUE(runEnded());
    EXPECT_EQ(column(CellPr), (QStringList {"10", "9", "0"}));
    EXPECT_EQ(indexFiles().size(), 1);
}

TEST_F(GraphRun, AFileReplacedBetweenRunsIsReadAgain)
{
    btn1Click(form, QStringLiteral("example.org"));
    ASSERT_TRUE(runEnded());
    EXPECT_EQ(column(CellPr), QStringList {QStringLiteral("4")});
    // A newer release under the same name, where example.org leads.
    writeRanksFile(path, "#harmonicc_pos\t#harmonicc_val\t#pr_pos\t#pr_val\t#host_rev\t#n_hosts\n1\t1\t1\t0.5\torg.example\t1\n2\t1\t2\t0.1\tcom.example\t1\n");
    btn1Click(form, QStringLiteral("example.org"));
    ASSERT_TRUE(runEnded());
    EXPECT_EQ(column(CellPr), QStringList {QStringLiteral("10")});
    EXPECT_EQ(indexFiles().size(), 2);
}

TEST_F(GraphRun, ADamagedIndexIsMadeAgain)
{
    btn1Click(form, QStringLiteral("google.com"));
    ASSERT_TRUE(runEnded());
    ASSERT_EQ(indexFiles().size(), 1);
    QFile index(QDir(indexFolder()).filePath(indexFiles().constFirst()));
    ASSERT_TRUE(index.open(QIODevice::ReadWrite));
    index.resize(index.size() - 20); // half-written
    index.close();

    reports.clear();
    useFile(path);
    btn1Click(form, QStringLiteral("google.com\nexample.com"));
    ASSERT_TRUE(runEnded());
    EXPECT_EQ(column(CellPr), (QStringList {"10", "9"}));
    ASSERT_FALSE(reports.empty());
    EXPECT_TRUE(reports.front().rebuilding);
}

TEST_F(GraphRun, AListRebuiltWhileTheIndexIsMadeIsAnsweredAlone)
{
    btn1Click(form, QStringLiteral("google.com\nexample.com\nbbc.co.uk"));
    btn1Click(form, QStringLiteral("example.org"));
    ASSERT_TRUE(runEnded());
    EXPECT_EQ(column(CellPr), QStringList {QStringLiteral("4")});
    EXPECT_EQ(form.donecount, 1);
}

} // namespace
