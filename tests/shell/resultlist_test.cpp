#include "base/guard.h"
#include "shell/gauge.h"
#include "shell/resultlist.h"

#include <gtest/gtest.h>

namespace {

ResultRow row(const QString &caption, const QString &url)
{
    return ResultRow {caption, {QStringLiteral("批量"), QStringLiteral("--"), url, QStringLiteral("查询中..."), QStringLiteral("查询中...")}};
}

TEST(ResultList, ColumnsHeadersAndCells)
{
    ResultListModel m;
    const QStringList headers = {QStringLiteral("序号"), QStringLiteral("站内?"), QStringLiteral("链接词"), QStringLiteral("网址"), QStringLiteral("访问"),
        QStringLiteral("PR"), QStringLiteral("状态"), QStringLiteral("来源"), QStringLiteral("耗时"), QStringLiteral("最终网址"), QStringLiteral("深度"),
        QStringLiteral("孤立"), QStringLiteral("变化")};
    const int widths[] = {50, 50, 100, 310, 50, 80, 90, 50, 60, 200, 50, 50, 70};
    ASSERT_EQ(m.columnCount(), 13);
    for (int c = 0; c < 13; ++c) {
        EXPECT_EQ(m.headerData(c, Qt::Horizontal).toString(), headers[c]);
        EXPECT_EQ(ResultListModel::columnWidth(c), widths[c]);
        EXPECT_EQ(ResultListModel::columnShownAtStart(c), c <= ColumnStatus || c == ColumnSources || c == ColumnChange) << c;
    }
    m.addRow(row(QStringLiteral("1"), QStringLiteral("a.com")));
    m.addRows({row(QStringLiteral("2"), QStringLiteral("b.com")), row(QStringLiteral("3"), QStringLiteral("c.com"))});
    ASSERT_EQ(m.rowCount(), 3);
    EXPECT_EQ(m.data(m.index(1, 0)).toString(), QStringLiteral("2"));
    EXPECT_EQ(m.data(m.index(1, 3)).toString(), QStringLiteral("b.com"));
    m.setCell(2, CellPr, QStringLiteral("5"));
    EXPECT_EQ(m.cell(2, CellPr), QStringLiteral("5"));
    EXPECT_EQ(m.data(m.index(2, 5)).toString(), QStringLiteral("5"));
    EXPECT_EQ(m.data(m.index(0, 1), Qt::TextAlignmentRole).value<Qt::Alignment>() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
    EXPECT_EQ(m.data(m.index(0, 3), Qt::TextAlignmentRole).value<Qt::Alignment>() & Qt::AlignHorizontal_Mask, Qt::AlignLeft);
    m.setCell(7, CellPr, QStringLiteral("x")); // a missing row is left alone

    // The 状态 column shows the check record; its tooltip reaches every cell.
    EXPECT_EQ(m.data(m.index(0, ColumnStatus)).toString(), QString());
    FetchResult redirected;
    redirected.hops = {301, 404};
    redirected.reason = FetchFailure::HttpStatus;
    redirected.finalUrl = QStringLiteral("http://a.com/gone");
    redirected.elapsedMs = 12;
    m.setCheck(0, redirected);
    EXPECT_EQ(m.data(m.index(0, ColumnStatus)).toString(), QStringLiteral("301→404"));
    EXPECT_EQ(m.data(m.index(0, ColumnElapsed)).toString(), QStringLiteral("12"));
    EXPECT_EQ(m.data(m.index(0, ColumnFinalUrl)).toString(), QStringLiteral("http://a.com/gone"));
    // The tooltip holds the whole chain, and the reason in words alone.
    redirected.detail = QStringLiteral("The requested URL returned error: 404");
    m.setCheck(0, redirected);
    const QString tip = m.data(m.index(0, 3), Qt::ToolTipRole).toString();
    EXPECT_TRUE(tip.contains(QStringLiteral("http://a.com/gone"))) << tip.toStdString();
    EXPECT_TRUE(tip.contains(QStringLiteral("状态: 301→404"))) << tip.toStdString();
    EXPECT_FALSE(tip.contains(QStringLiteral("requested"))) << tip.toStdString();
    m.clearCheck(0);
    EXPECT_EQ(m.data(m.index(0, ColumnStatus)).toString(), QString());
    // A row that robots.txt forbids was never requested; its 状态 says why.
    m.setCheck(1, FetchResult {});
    m.setVerdict(1, VerdictClass::Robots);
    EXPECT_EQ(m.data(m.index(1, ColumnStatus)).toString(), QStringLiteral("robots禁止"));
    // A batch list says nothing of sources.
    EXPECT_EQ(m.data(m.index(1, ColumnSources)).toString(), QString());
    m.removeRowsIf([](const ResultRow &r) { return r.caption == QLatin1String("1"); });
    EXPECT_EQ(m.caption(0), QStringLiteral("2"));
    const quint64 before = m.generation();
    m.clear();
    EXPECT_EQ(m.rowCount(), 0);
    EXPECT_NE(m.generation(), before);
}

// 状态 is the check's status, then the note: the reason of a PR answer and
// the words of a run's end, each kept or dropped as its own part.
TEST(ResultList, NoteParts)
{
    ResultListModel m;
    m.addRow(row(QStringLiteral("1"), QStringLiteral("a.com")));
    const auto status = [&m] { return m.data(m.index(0, ColumnStatus)).toString(); };
    m.setRankNote(0, QStringLiteral("PR 回复不是排名"));
    m.addNote(0, QStringLiteral("未查询"));
    m.addNote(0, QStringLiteral("未查询"));
    EXPECT_EQ(status(), QStringLiteral("PR 回复不是排名; 未查询"));
    // A later PR answer replaces its own part and keeps the run's words.
    m.setRankNote(0, QString());
    EXPECT_EQ(status(), QStringLiteral("未查询"));
    m.setRankNote(0, QStringLiteral("r"));
    // A check that ends makes "未查询" untrue; the PR's reason stays.
    FetchResult ok;
    ok.hops = {200};
    m.setCheck(0, ok);
    EXPECT_EQ(status(), QStringLiteral("200; r"));
    m.addNote(0, QStringLiteral("未完成"));
    m.clearCheck(0);
    EXPECT_EQ(status(), QStringLiteral("r"));
    // A page read in part says so whatever PR answers come.
    m.addNote(0, QStringLiteral("解析受限"));
    m.setRankNote(0, QStringLiteral("r2"));
    EXPECT_EQ(status(), QStringLiteral("r2; 解析受限"));
    m.setRankNote(0, QString());
    EXPECT_EQ(status(), QStringLiteral("解析受限"));
    m.dropNote(0, QStringLiteral("解析受限"));
    EXPECT_EQ(status(), QString());
    EXPECT_FALSE(m.isBlank(0));
    m.setNote(0, QStringLiteral("空行"));
    EXPECT_TRUE(m.isBlank(0));
    EXPECT_EQ(m.statusOf(0), QStringLiteral("空行"));
}

TEST(Gauge, HoldsItsValueWithinItsBounds)
{
    Gauge g;
    EXPECT_EQ(g.maximum(), 100);
    g.setValue(150);
    EXPECT_EQ(g.value(), 100);
    g.setMaximum(10);
    EXPECT_EQ(g.value(), 10);
    g.setValue(-3);
    EXPECT_EQ(g.value(), 0);
    g.setValue(4);
    g.setMaximum(0);
    EXPECT_EQ(g.value(), 0);
    EXPECT_EQ(g.maximum(), 0);
}

TEST(Guard, ShowsTheErrorWithFullStopRule)
{
    QStringList shown;
    const auto old = guard::setErrorBox([&](const QString &caption, const QString &text) {
        EXPECT_EQ(caption, QStringLiteral("PR批量查询工具"));
        shown << text;
    });
    EXPECT_FALSE(guard::run([] { throw std::runtime_error("Disk full"); }));
    EXPECT_FALSE(guard::run([] { throw std::runtime_error("ends with dot."); }));
    EXPECT_FALSE(guard::run([] { throw std::runtime_error("ends with dash -"); }));
    EXPECT_TRUE(guard::run([] {}));
    guard::setErrorBox(old);
    EXPECT_EQ(shown, (QStringList {QStringLiteral("Disk full."), QStringLiteral("ends with dot."), QStringLiteral("ends with dash -")}));
}

TEST(FetchRecord, StatusTextsAndReasonKeys)
{
    struct Case
    {
        QList<int> hops;
        FetchFailure reason;
        const char *text;
        const char *key;
    };
    const Case cases[] = {
        {{200}, FetchFailure::None, "200", ""},
        {{404}, FetchFailure::HttpStatus, "404", "status"},
        {{301, 200}, FetchFailure::None, "301→200", ""},
        {{302, 302, 404}, FetchFailure::HttpStatus, "302→302→404", "status"},
        {{204}, FetchFailure::EmptyBody, "204 空内容", "empty"},
        {{}, FetchFailure::TimedOut, "超时", "timeout"},
        {{301}, FetchFailure::TimedOut, "301→超时", "timeout"},
        {{}, FetchFailure::ConnectionRefused, "拒绝连接", "refused"},
        {{}, FetchFailure::NameNotResolved, "无法解析", "dns"},
        {{}, FetchFailure::Tls, "证书错误", "tls"},
        {{302, 302}, FetchFailure::TooManyRedirects, "302→302→重定向过多", "redirects"},
        {{}, FetchFailure::Resources, "资源不足", "resources"},
        {{}, FetchFailure::Cancelled, "已取消", "cancelled"},
        {{}, FetchFailure::Other, "失败", "other"},
    };
    for (const Case &c : cases) {
        FetchResult r;
        r.hops = c.hops;
        r.reason = c.reason;
        EXPECT_EQ(statusText(r), QString::fromUtf8(c.text));
        EXPECT_EQ(reasonKey(c.reason), QString::fromUtf8(c.key));
    }
}

} // namespace
