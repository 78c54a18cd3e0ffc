#include "shell/resultlist.h"

#include "shell/celltexts.h"

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
    {"状态", 90, Qt::AlignHCenter | Qt::AlignVCenter},
    {"耗时", 60, Qt::AlignRight | Qt::AlignVCenter},
    {"最终网址", 200, Qt::AlignLeft | Qt::AlignVCenter},
};

// Every cell of a checked row gives the whole chain (the 状态 cell may elide
// it), where the check ended, how long it took and why it failed, in words:
// the HTTP library's own sentences are for the details pane.
QString checkTooltip(const FetchResult &r)
{
    return QStringLiteral("状态: %1\n最终网址: %2\n耗时: %3 ms\n%4").arg(statusText(r), r.finalUrl).arg(r.elapsedMs).arg(reasonWords(r));
}
// A row that waits for its check is not greyed: it is on its way.
RowTone toneOfRow(const ResultRow &r)
{
    if (r.verdict != VerdictClass::Unchecked)
        return toneOf(r.verdict);
    const QString &access = r.cells[CellAccess];
    return access == celltext::Pending || access == celltext::Requery ? RowTone::Normal : RowTone::Skipped;
}

} // namespace

QString rowNoteText(RowNote note)
{
    switch (note) {
    case RowNote::None:
        return QString();
    case RowNote::Blank:
        return QStringLiteral("空行");
    case RowNote::Unsent:
        return QStringLiteral("未查询");
    case RowNote::Unfinished:
        return QStringLiteral("未完成");
    }
    return QString();
}

QString reasonWords(const FetchResult &result)
{
    FetchResult plain = result;
    plain.detail.clear();
    return reasonText(plain);
}

RowTone toneOf(VerdictClass verdict)
{
    switch (verdict) {
    case VerdictClass::Alive:
        return RowTone::Normal;
    case VerdictClass::Dead:
    case VerdictClass::Soft404:
    case VerdictClass::Invalid:
        return RowTone::Bad;
    case VerdictClass::Blocked:
        return RowTone::Doubt;
    case VerdictClass::Unchecked:
    case VerdictClass::Robots:
        return RowTone::Skipped;
    }
    return RowTone::Normal;
}

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
    const ResultRow &r = m_rows[std::size_t(index.row())];
    if (role == Qt::ToolTipRole && r.check)
        return checkTooltip(*r.check);
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole) {
        switch (index.column()) {
        case 0:
            return r.caption;
        case ColumnStatus:
            return r.check ? statusText(*r.check) : rowNoteText(r.note);
        case ColumnElapsed:
            return r.check ? QString::number(r.check->elapsedMs) : QString();
        case ColumnFinalUrl:
            return r.check ? r.check->finalUrl : QString();
        default:
            return r.cells[std::size_t(index.column() - 1)];
        }
    }
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(kColumns[index.column()].alignment);
    if (role == RowToneRole)
        return int(toneOfRow(r));
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

bool ResultListModel::columnShownAtStart(int column)
{
    return column >= 0 && column <= ColumnStatus;
}

QString ResultListModel::statusOf(int row) const
{
    if (!hasRow(row))
        return QString();
    const ResultRow &r = m_rows[std::size_t(row)];
    return r.check ? statusText(*r.check) : rowNoteText(r.note);
}

void ResultListModel::setNote(int row, RowNote note)
{
    if (!hasRow(row) || m_rows[std::size_t(row)].note == note)
        return;
    m_rows[std::size_t(row)].note = note;
    emit dataChanged(index(row, 0), index(row, ColumnCount - 1));
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

const FetchResult *ResultListModel::check(int row) const
{
    return hasRow(row) ? m_rows[std::size_t(row)].check.get() : nullptr;
}

void ResultListModel::setCheck(int row, const FetchResult &result)
{
    if (!hasRow(row))
        return;
    m_rows[std::size_t(row)].check = std::make_shared<const FetchResult>(result);
    m_rows[std::size_t(row)].note = RowNote::None;
    emit dataChanged(index(row, 0), index(row, ColumnCount - 1), {Qt::DisplayRole, Qt::ToolTipRole});
}

void ResultListModel::setVerdict(int row, VerdictClass verdict)
{
    if (!hasRow(row) || m_rows[std::size_t(row)].verdict == verdict)
        return;
    m_rows[std::size_t(row)].verdict = verdict;
    emit dataChanged(index(row, 0), index(row, ColumnCount - 1));
}

void ResultListModel::clearCheck(int row)
{
    if (!hasRow(row))
        return;
    ResultRow &r = m_rows[std::size_t(row)];
    if (!r.check && r.verdict == VerdictClass::Unchecked && r.note == RowNote::None)
        return;
    r.check.reset();
    r.verdict = VerdictClass::Unchecked;
    r.note = RowNote::None;
    emit dataChanged(index(row, 0), index(row, ColumnCount - 1), {Qt::DisplayRole, Qt::ToolTipRole});
}
