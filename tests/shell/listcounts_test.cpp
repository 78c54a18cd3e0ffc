#include "shell/listcounts.h"
#include "shell/resultlist.h"
#include "shell/rowdetails.h"
#include "shell/windowsettings.h"

#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <random>

namespace {

ResultRow row(const QString &access)
{
    return ResultRow {QStringLiteral("1"), {QStringLiteral("批量"), QStringLiteral("--"), QStringLiteral("a.com"), access, QStringLiteral("--")}};
}

FetchResult checkOf(QList<int> hops, FetchFailure reason = FetchFailure::None)
{
    FetchResult r;
    r.hops = std::move(hops);
    r.reason = reason;
    return r;
}

// Counted as answers land, the counts always equal a count made afresh.
TEST(ListCounts, FollowTheListAsItChanges)
{
    ResultListModel list;
    ListCounts counts(list);
    int changed = 0;
    QObject::connect(&counts, &ListCounts::changed, [&changed] { ++changed; });
    list.addRows({row("查询中..."), row("查询中..."), row("查询中..."), row("--")});
    EXPECT_EQ(counts.total(), 4);
    EXPECT_EQ(counts.count(RowGroup::Unchecked), 4);

    std::mt19937 random(7);
    const QString marks[] = {"√", "×", "查询中...", "--"};
    const QList<int> hops[] = {{200}, {301, 200}, {404}, {503}, {}};
    for (int step = 0; step < 200; ++step) {
        const int r = int(random() % 4);
        switch (random() % 3) {
        case 0:
            list.setCell(r, CellAccess, marks[random() % 4]);
            break;
        case 1:
            list.setCheck(r, checkOf(hops[random() % 5], FetchFailure::Other));
            break;
        default:
            list.clearCheck(r);
        }
        ListCounts fresh(list);
        for (int g = 0; g < RowGroupCount; ++g)
            ASSERT_EQ(counts.count(RowGroup(g)), fresh.count(RowGroup(g))) << "step " << step << " group " << g;
    }
    EXPECT_GT(changed, 100); // one for every change that changed a row

    list.clear();
    EXPECT_EQ(counts.total(), 0);
    EXPECT_EQ(counts.count(RowGroup::Dead), 0);
    const QList<ChartBar> bars = chartBars(counts);
    ASSERT_EQ(bars.size(), RowGroupCount);
    EXPECT_EQ(bars.at(1).label, QStringLiteral("死链"));
    EXPECT_EQ(bars.at(8).label, QStringLiteral("失败"));

    EXPECT_EQ(countLabelText(3, 10, true), QStringLiteral("数量(3/10)"));
    EXPECT_EQ(countLabelText(10, 10, false), QStringLiteral("数量(10)"));
    EXPECT_EQ(deadLabelText(4), QStringLiteral("死链=(4)"));
    EXPECT_EQ(doubtLabelText(2), QStringLiteral("存疑=(2)"));
}

TEST(RowDetails, ARedirectChainAndItsReason)
{
    ResultListModel list;
    list.addRow(row("×"));
    FetchResult r = checkOf({301, 302, 404}, FetchFailure::HttpStatus);
    r.finalUrl = QStringLiteral("https://a.com/gone");
    r.elapsedMs = 87;
    r.detail = QStringLiteral("The requested URL returned error: 404");
    list.setCheck(0, r);
    list.setVerdict(0, VerdictClass::Dead);
    list.setCell(0, CellPr, QStringLiteral("4"));

    const RowDetails d = rowDetails(list, 0, QStringLiteral("工具栏"));
    EXPECT_EQ(d.address, QStringLiteral("a.com"));
    EXPECT_EQ(d.finalUrl, QStringLiteral("https://a.com/gone"));
    ASSERT_EQ(d.hops.size(), 3);
    EXPECT_EQ(d.hops[0].status, 301);
    EXPECT_EQ(d.hops[0].location, QString()); // the fetch keeps only the last address
    EXPECT_EQ(d.hops[1].location, QStringLiteral("https://a.com/gone"));
    EXPECT_EQ(d.hops[2].location, QString());
    EXPECT_EQ(d.status, QStringLiteral("301→302→404"));
    EXPECT_EQ(d.elapsed, QStringLiteral("87 ms"));
    EXPECT_EQ(d.verdict, QStringLiteral("死链"));
    EXPECT_EQ(d.reason, QStringLiteral("服务器返回错误状态 404"));
    EXPECT_EQ(d.libraryText, r.detail);
    EXPECT_EQ(d.pr, QStringLiteral("4"));
    EXPECT_EQ(d.prSource, QStringLiteral("工具栏"));
    EXPECT_TRUE(rowDetails(list, 5, QString()).address.isEmpty());
}

TEST(WindowSettings, WrittenAndReadBackWithinBounds)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("prquery.conf"));
    WindowSettings w;
    w.geometry = QByteArray("\x01\x02", 2);
    w.hiddenColumns = {QStringLiteral("链接词")};
    w.columnWidths = {{QStringLiteral("状态"), 140}};
    w.intervalMs = 3000;
    w.queryPr = false;
    w.rankSource = 1;
    w.concurrency = 8;
    w.folder = QStringLiteral("/tmp/lists");
    w.key = QStringLiteral("secret");
    {
        QSettings s(path, QSettings::IniFormat);
        writeWindowSettings(s, w); // the key is not asked to be kept
        QSettings back(path, QSettings::IniFormat);
        const WindowSettings r = readWindowSettings(back);
        EXPECT_EQ(r.geometry, w.geometry);
        EXPECT_EQ(r.hiddenColumns, w.hiddenColumns);
        EXPECT_EQ(r.columnWidths, w.columnWidths);
        EXPECT_EQ(r.intervalMs, 3000);
        EXPECT_FALSE(r.queryPr);
        EXPECT_TRUE(r.deadLink);
        EXPECT_EQ(r.rankSource, 1);
        EXPECT_EQ(r.concurrency, 8);
        EXPECT_EQ(r.perHost, 4);
        EXPECT_EQ(r.folder, w.folder);
        EXPECT_TRUE(r.key.isEmpty());
    }
    w.rememberKey = true;
    {
        QSettings s(path, QSettings::IniFormat);
        writeWindowSettings(s, w);
        EXPECT_EQ(readWindowSettings(s).key, QStringLiteral("secret"));
        // Unticked again: the key kept is forgotten.
        w.rememberKey = false;
        writeWindowSettings(s, w);
        EXPECT_FALSE(s.contains(QStringLiteral("query/oprKey")));
        // A value out of range is brought within it; garbage keeps the default.
        s.setValue(QStringLiteral("query/intervalMs"), 5);
        s.setValue(QStringLiteral("query/perHost"), QStringLiteral("many"));
        const WindowSettings r = readWindowSettings(s);
        EXPECT_EQ(r.intervalMs, 200);
        EXPECT_EQ(r.perHost, 4);
    }
}

} // namespace
