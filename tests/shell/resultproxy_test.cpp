#include "shell/resultlist.h"
#include "shell/resultproxy.h"

#include <gtest/gtest.h>

namespace {

QStringList shown(const ResultListProxy &view, int column)
{
    QStringList out;
    for (int r = 0; r < view.rowCount(); ++r)
        out << view.index(r, column).data().toString();
    return out;
}

ResultRow row(const QString &caption, const QString &url, const QString &access, const QString &pr)
{
    return ResultRow {caption, {QStringLiteral("批量"), QStringLiteral("--"), url, access, pr}};
}

TEST(ResultListProxy, OrdersNumbersByValueTextsAfterThemAndTiesInListOrder)
{
    ResultListModel list;
    list.addRows({row("9", "b.com", "√", "3"), row("10", "a.com", "×", "--"), row("2", "B.com", "√", "3"), row("1", "c.com", "查询中...", "10")});
    ResultListProxy view(list);

    view.sort(0, Qt::AscendingOrder);
    EXPECT_EQ(shown(view, 0), (QStringList {"1", "2", "9", "10"}));
    view.sort(2 + 1, Qt::AscendingOrder); // letter case second
    EXPECT_EQ(shown(view, 3), (QStringList {"a.com", "B.com", "b.com", "c.com"}));
    // Equal ranks keep list order either way.
    view.sort(5, Qt::AscendingOrder);
    EXPECT_EQ(shown(view, 0), (QStringList {"9", "2", "1", "10"}));
    view.sort(5, Qt::DescendingOrder);
    EXPECT_EQ(shown(view, 0), (QStringList {"1", "9", "2", "10"}));
    view.sort(-1);
    EXPECT_EQ(shown(view, 0), (QStringList {"9", "10", "2", "1"}));

    // The 状态 column sorts by the text it shows.
    FetchResult slow;
    slow.hops = {301, 200};
    FetchResult gone;
    gone.hops = {404};
    gone.reason = FetchFailure::HttpStatus;
    list.setCheck(0, slow);
    list.setCheck(2, gone);
    view.sort(ColumnStatus, Qt::AscendingOrder);
    EXPECT_EQ(shown(view, ColumnStatus), (QStringList {"404", "", "", "301→200"}));

    // Rows map back to the list through the view.
    EXPECT_EQ(view.listRow(view.index(0, 0)), 2);
    EXPECT_EQ(view.viewRow(2), 0);
    view.setViewFilter(ResultListProxy::ShowDead);
    EXPECT_EQ(shown(view, 3), QStringList {"a.com"});
    EXPECT_EQ(view.viewRow(0), -1);
    view.setViewFilter(ResultListProxy::ShowLive);
    EXPECT_EQ(shown(view, 4), (QStringList {"√", "√"}));
    list.setCell(3, CellAccess, QStringLiteral("?"));
    view.setViewFilter(ResultListProxy::ShowDoubtful);
    EXPECT_EQ(shown(view, 3), QStringList {"c.com"});
    EXPECT_EQ(ResultListProxy::filterTexts().value(ResultListProxy::ShowDoubtful), QStringLiteral("只看存疑"));

    // 只看变化 shows the rows whose check differs from the address's last
    // one, and follows a change as it comes; 变化 sorts by its text.
    view.setViewFilter(ResultListProxy::ShowChanged);
    EXPECT_EQ(view.rowCount(), 0);
    list.setChange(1, RowChange::NewDead, 0);
    list.setChange(3, RowChange::Fixed, 0);
    view.sort(-1);
    EXPECT_EQ(shown(view, ColumnChange), (QStringList {"新死链", "已修复"}));
    view.setViewFilter(ResultListProxy::ShowAll);
    view.sort(ColumnChange, Qt::DescendingOrder);
    EXPECT_EQ(shown(view, ColumnChange).first(2), (QStringList {"新死链", "已修复"}));
    EXPECT_EQ(ResultListProxy::filterTexts().at(ResultListProxy::ShowChanged), QStringLiteral("只看变化"));
}

// The filters by group (the chart's bars), the search and the rows held in
// view by a re-query, together.
TEST(ResultListProxy, GroupsSearchAndHeldRows)
{
    ResultListModel list;
    list.addRows({row("1", "a.com/news", "√", "3"), row("2", "b.com/x", "×", "--"), row("3", "c.com", "查询中...", "5"),
        row("4", "A.COM/old", "×", "1"), row("5", "d.com", "--", "--")});
    list.setCell(2, CellLinkText, QStringLiteral("新闻 News"));
    FetchResult ok;
    ok.hops = {200};
    FetchResult gone;
    gone.hops = {301, 404};
    gone.reason = FetchFailure::HttpStatus;
    FetchResult refused;
    refused.reason = FetchFailure::ConnectionRefused;
    list.setCheck(0, ok);
    list.setCheck(1, gone);
    list.setCheck(3, refused);
    list.setVerdict(4, VerdictClass::Blocked);
    ResultListProxy view(list);

    const std::pair<ResultListProxy::ViewFilter, QStringList> filters[] = {
        {ResultListProxy::ShowDead, {"2", "4"}},
        {ResultListProxy::ShowLive, {"1"}},
        {ResultListProxy::ShowDoubtful, {"5"}},
        {ResultListProxy::ShowUnchecked, {"3"}},
        {ResultListProxy::Show2xx, {"1"}},
        {ResultListProxy::Show4xx, {"2"}},
        {ResultListProxy::Show3xx, {}},
        {ResultListProxy::ShowFailed, {"4"}},
    };
    for (const auto &[filter, captions] : filters) {
        view.setViewFilter(filter);
        EXPECT_EQ(shown(view, 0), captions) << filter;
        EXPECT_EQ(ResultListProxy::filterFor(*ResultListProxy::groupOf(filter)), filter);
    }
    EXPECT_EQ(ResultListProxy::filterTexts().size(), ResultListProxy::ViewFilterCount);
    EXPECT_EQ(ResultListProxy::filterTexts().at(ResultListProxy::Show4xx), QStringLiteral("只看4xx"));

    // The search looks at 网址 and 链接词, in any letter case, within the filter.
    view.setViewFilter(ResultListProxy::ShowAll);
    view.setSearchText(QStringLiteral("a.com"));
    EXPECT_EQ(shown(view, 0), (QStringList {"1", "4"}));
    view.setSearchText(QStringLiteral("news"));
    EXPECT_EQ(shown(view, 0), (QStringList {"1", "3"}));
    view.setViewFilter(ResultListProxy::ShowUnchecked);
    EXPECT_EQ(shown(view, 0), QStringList {"3"});
    EXPECT_TRUE(view.filtered());
    view.setSearchText(QString());

    // Rows re-queried under 只看死链 stay while their answers come.
    view.setViewFilter(ResultListProxy::ShowDead);
    view.holdRows({1, 3});
    list.setCell(1, CellAccess, QStringLiteral("查询..."));
    list.setCell(3, CellAccess, QStringLiteral("√"));
    EXPECT_EQ(shown(view, 0), (QStringList {"2", "4"}));
    view.setViewFilter(ResultListProxy::ShowAll);
    view.setViewFilter(ResultListProxy::ShowDead);
    EXPECT_EQ(shown(view, 0), QStringList {});
}

} // namespace
