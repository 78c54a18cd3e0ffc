#pragma once

#include <QSortFilterProxyModel>

class ResultListModel;

// The view of the result list that a person works in: sorted by a column and
// filtered by the 访问 cell, while the list itself keeps its order. Replies
// are routed by the row index of the list, so the list must never move; every
// view row is mapped back through this model before it is acted on.
//
// Order: cells that both read as whole numbers compare by value, a number
// before a text, texts by their characters; rows that compare equal keep list
// order. In the PR column the texts ("--", "IP被屏蔽", "查询中...") stay after
// the numbers in either direction, so that the best ranks lead a descending
// sort. Sorting by column -1 restores list order.
class ResultListProxy final : public QSortFilterProxyModel
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ResultListProxy)

public:
    enum ViewFilter : int {
        ShowAll = 0, // 全部
        ShowDead = 1, // 只看死链: 访问 is "×"
        ShowLive = 2, // 只看正常: 访问 is "√"
        ShowDoubtful = 3, // 只看存疑: 访问 is "?"
        ShowChanged = 4, // 只看变化: 变化 is not empty
    };

    explicit ResultListProxy(ResultListModel &list, QObject *parent = nullptr);

    // The texts of the filter box, in the order of ViewFilter.
    static QStringList filterTexts();

    ViewFilter viewFilter() const { return m_filter; }
    void setViewFilter(ViewFilter filter);

    // The list row of a view row; -1 for an invalid index.
    int listRow(const QModelIndex &viewIndex) const;
    // The view row of a list row; -1 when the filter hides it.
    int viewRow(int listRow) const;

protected:
    bool lessThan(const QModelIndex &left, const QModelIndex &right) const override;
    bool filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const override;

private:
    ResultListModel &m_list;
    ViewFilter m_filter = ShowAll;
};
