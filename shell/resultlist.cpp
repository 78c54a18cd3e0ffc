#include "shell/resultlist.h"

#include <algorithm>
#include <iterator>

namespace {
struct ColumnInfo
{
    const char *header;
    int width;
    Qt::Alignment alignment;
};

const ColumnInfo kColumns[ResultListModel::ColumnCount] = {
    {"序号", 50, Qt::AlignLeft | Qt::AlignVCenter},
    {"站内?", 50, Qt::AlignHCenter | Qt::AlignVCenter},
    {"链接词", 100, Qt::AlignLeft | Qt::AlignVCenter},
    {"网址", 310, Qt::AlignLeft | Qt::AlignVCenter},
    {"访问", 50, Qt::AlignHCenter | Qt::AlignVCenter},
    {"PR", 80, Qt::AlignHCenter | Qt::AlignVCenter},
};
} // namespace

ResultListModel::ResultListModel(QObject *parent)
    : QAbstractTableModel(parent)
{
}

int ResultListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : count();
}

int ResultListModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant ResultListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || !hasRow(index.row()) || index.column() < 0 || index.column() >= ColumnCount)
        return {};
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole) {
        const ResultRow &r = m_rows[std::size_t(index.row())];
        return index.column() == 0 ? r.caption : r.cells[std::size_t(index.column() - 1)];
    }
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(kColumns[index.column()].alignment);
    return {};
}

QVariant ResultListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= ColumnCount)
        return {};
    if (role == Qt::DisplayRole)
        return QString::fromUtf8(kColumns[section].header);
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(kColumns[section].alignment);
    return {};
}

int ResultListModel::columnWidth(int column)
{
    return column >= 0 && column < ColumnCount ? kColumns[column].width : 0;
}

void ResultListModel::addRow(const ResultRow &row)
{
    const int at = count();
    beginInsertRows(QModelIndex(), at, at);
    m_rows.push_back(row);
    endInsertRows();
}

void ResultListModel::addRows(std::vector<ResultRow> rows)
{
    if (rows.empty())
        return;
    const int at = count();
    beginInsertRows(QModelIndex(), at, at + int(rows.size()) - 1);
    if (m_rows.empty()) {
        m_rows = std::move(rows);
    } else {
        m_rows.insert(m_rows.end(), std::make_move_iterator(rows.begin()), std::make_move_iterator(rows.end()));
    }
    endInsertRows();
}

void ResultListModel::clear() noexcept
{
    ++m_generation;
    beginResetModel();
    std::vector<ResultRow>().swap(m_rows);
    endResetModel();
}

void ResultListModel::removeRowsIf(const std::function<bool(const ResultRow &)> &drop)
{
    const auto kept = std::remove_if(m_rows.begin(), m_rows.end(), drop);
    if (kept == m_rows.end())
        return;
    beginResetModel();
    m_rows.erase(kept, m_rows.end());
    endResetModel();
}

void ResultListModel::setCell(int row, int k, const QString &text)
{
    if (!hasRow(row) || k < 0 || k >= 5)
        return;
    QString &slot = m_rows[std::size_t(row)].cells[std::size_t(k)];
    if (slot == text)
        return;
    slot = text;
    const QModelIndex at = index(row, k + 1);
    emit dataChanged(at, at, {Qt::DisplayRole});
}
