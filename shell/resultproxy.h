#pragma once

#include "shell/rowgroups.h"

#include <QSet>
#include <QSortFilterProxyModel>

#include <optional>
#include <vector>

class ResultListModel;

// The view of the result list that a person works in: sorted by a column and
// filtered by the 访问 cell, while the list itself keeps its order. Replies
// are routed by the row index of the list, so the list must never move; every
// view row is mapped back through this model before it is acted on. A search
// text narrows the view further.
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
        ShowUnchecked = 4, // 只看未检测
        Show2xx = 5, // and the other status groups, as RowGroup orders them
        Show3xx = 6,
        Show4xx = 7,
        Show5xx = 8,
        ShowFailed = 9,
        ShowChanged = 10, // 只看变化: 变化 is not empty
    };
    static constexpr int ViewFilterCount = ShowChanged + 1;

    explicit ResultListProxy(ResultListModel &list, QObject *parent = nullptr);

    // The texts of the filter box, in the order of ViewFilter.
    static QStringList filterTexts();
    // The filter that shows a group's rows, and the group a filter shows.
    static ViewFilter filterFor(RowGroup group);
    static std::optional<RowGroup> groupOf(ViewFilter filter);

    ViewFilter viewFilter() const { return m_filter; }
    void setViewFilter(ViewFilter filter);
    bool filtered() const { return m_filter != ShowAll || !m_search.isEmpty(); }

    // Shows only rows whose 网址 or 链接词 holds text, in any letter case
    // (with the filter); an empty text shows every row.
    const QString &searchText() const { return m_search; }
    void setSearchText(const QString &text);

    // What a row sorts by in one column: its number, or its text.
    struct SortKey
    {
        qlonglong number = 0;
        bool isNumber = false;
        QString folded; // the text in one letter case
        QString text;
    };

    // Keeps these list rows in view whatever the filter and the search say,
    // until either changes or the list is rebuilt: rows re-queried under a
    // filter stay where the person selected them while their answers come.
    void holdRows(const QList<int> &listRows);

    // The list row of a view row; -1 for an invalid index.
    int listRow(const QModelIndex &viewIndex) const;
    // The view row of a list row; -1 when the filter hides it.
    int viewRow(int listRow) const;

protected:
    bool lessThan(const QModelIndex &left, const QModelIndex &right) const override;
    bool filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const override;

private:
    void refilter();
    void releaseHeld();
    SortKey keyOf(int row, int column) const;
    const SortKey &sortKey(int row, int column) const;

    ResultListModel &m_list;
    ViewFilter m_filter = ShowAll;
    QString m_search;
    QSet<int> m_held;
    // The sort key of every list row in column m_keyColumn; -1: none made.
    mutable std::vector<SortKey> m_keys;
    mutable int m_keyColumn = -1;
};
