#include "shell/listcounts.h"

#include "shell/resultlist.h"

ListCounts::ListCounts(const ResultListModel &list, QObject *parent)
    : QObject(parent)
    , m_list(list)
{
    connect(&list, &QAbstractItemModel::modelReset, this, &ListCounts::recountAll);
    connect(&list, &QAbstractItemModel::rowsRemoved, this, &ListCounts::recountAll);
    connect(&list, &QAbstractItemModel::rowsInserted, this, [this](const QModelIndex &, int first, int last) { addRows(first, last); });
    connect(&list, &QAbstractItemModel::dataChanged, this,
        [this](const QModelIndex &topLeft, const QModelIndex &bottomRight) { rowsChanged(topLeft.row(), bottomRight.row()); });
    recountAll();
}

void ListCounts::recountAll()
{
    m_counts.fill(0);
    m_class.assign(std::size_t(m_list.count()), NoGroup);
    m_status.assign(std::size_t(m_list.count()), NoGroup);
    for (int row = 0; row < m_list.count(); ++row)
        put(row);
    emit changed();
}

void ListCounts::addRows(int first, int last)
{
    m_class.resize(std::size_t(m_list.count()), NoGroup);
    m_status.resize(std::size_t(m_list.count()), NoGroup);
    for (int row = first; row <= last; ++row)
        put(row);
    emit changed();
}

void ListCounts::rowsChanged(int first, int last)
{
    for (int row = first; row <= last && row < total(); ++row) {
        take(row);
        put(row);
    }
    emit changed();
}

void ListCounts::take(int row)
{
    for (auto *groups : {&m_class, &m_status}) {
        quint8 &g = (*groups)[std::size_t(row)];
        if (g != NoGroup)
            --m_counts[g];
        g = NoGroup;
    }
}

void ListCounts::put(int row)
{
    const ResultRow &r = m_list.row(row);
    const auto cls = quint8(classGroupOf(r));
    m_class[std::size_t(row)] = cls;
    ++m_counts[cls];
    if (const std::optional<RowGroup> status = statusGroupOf(r)) {
        m_status[std::size_t(row)] = quint8(*status);
        ++m_counts[std::size_t(*status)];
    }
}

QString countLabelText(int shown, int total, bool filtered)
{
    if (!filtered)
        return QStringLiteral("数量(%1)").arg(total);
    return QStringLiteral("数量(%1/%2)").arg(shown).arg(total);
}

QString deadLabelText(int dead)
{
    return QStringLiteral("死链=(%1)").arg(dead);
}

QString doubtLabelText(int doubtful)
{
    return QStringLiteral("存疑=(%1)").arg(doubtful);
}

QList<ChartBar> chartBars(const ListCounts &counts)
{
    QList<ChartBar> bars;
    for (int g = 0; g < RowGroupCount; ++g)
        bars << ChartBar {RowGroup(g), groupName(RowGroup(g)), counts.count(RowGroup(g))};
    return bars;
}
