#pragma once

#include "shell/rowgroups.h"

#include <QList>
#include <QObject>
#include <QString>

#include <array>
#include <vector>

class ResultListModel;

// The rows of the list by group, kept current as answers land: each change
// of a row moves it from its old groups to its new ones, so that a list of a
// million rows is never counted again for one answer. The labels (数量,
// 死链) and the chart read it.
class ListCounts final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ListCounts)

public:
    explicit ListCounts(const ResultListModel &list, QObject *parent = nullptr);

    int total() const { return int(m_class.size()); }
    int count(RowGroup group) const { return m_counts[std::size_t(group)]; }

signals:
    // The counts changed; told once for every change of the list.
    void changed();

private:
    static constexpr quint8 NoGroup = 0xFF;

    void recountAll();
    void addRows(int first, int last);
    void rowsChanged(int first, int last);
    void take(int row);
    void put(int row);

    const ResultListModel &m_list;
    std::vector<quint8> m_class; // per list row
    std::vector<quint8> m_status; // per list row; NoGroup without a check
    std::array<int, RowGroupCount> m_counts {};
};

// One bar of the chart: a group and its rows.
struct ChartBar
{
    RowGroup group;
    QString label;
    int count = 0;
};

// The bars of the chart, in the order of RowGroup: the classes, then the
// status groups.
QList<ChartBar> chartBars(const ListCounts &counts);

// "数量(n)", or "数量(shown/total)" while a filter or a search hides rows.
QString countLabelText(int shown, int total, bool filtered);
// "死链=(n)"
QString deadLabelText(int dead);
// "存疑=(n)"
QString doubtLabelText(int doubtful);
