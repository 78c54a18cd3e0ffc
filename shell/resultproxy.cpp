#include "shell/resultproxy.h"

#include "shell/celltexts.h"
#include "shell/resultlist.h"

namespace {

constexpr int ColumnPr = CellPr + 1;

// A cell that reads as a whole number of up to 18 digits, such as a caption
// or a rank. Read by hand: a sort calls this millions of times, and
// QString::toLongLong copies the text first.
bool asNumber(const QString &text, qlonglong &value)
{
    const qsizetype n = text.size();
    if (n == 0 || n > 18)
        return false;
    qlonglong v = 0;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u < u'0' || u > u'9')
            return false;
        v = v * 10 + (u - u'0');
    }
    value = v;
    return true;
}

// Negative, zero or positive, as left sorts before, with or after right.
int compareCells(const QString &left, const QString &right)
{
    qlonglong l = 0;
    qlonglong r = 0;
    const bool ln = asNumber(left, l);
    const bool rn = asNumber(right, r);
    if (ln && rn)
        return l < r ? -1 : (l > r ? 1 : 0);
    if (ln != rn)
        return ln ? -1 : 1;
    const int folded = left.compare(right, Qt::CaseInsensitive);
    return folded != 0 ? folded : left.compare(right);
}

} // namespace

ResultListProxy::ResultListProxy(ResultListModel &list, QObject *parent)
    : QSortFilterProxyModel(parent)
    , m_list(list)
{
    setSourceModel(&list);
    // Answers keep arriving while a person looks at a sorted or filtered view.
    setDynamicSortFilter(true);
}

QStringList ResultListProxy::filterTexts()
{
    return {QStringLiteral("全部"), QStringLiteral("只看死链"), QStringLiteral("只看正常"), QStringLiteral("只看存疑"), QStringLiteral("只看变化")};
}

void ResultListProxy::setViewFilter(ViewFilter filter)
{
    if (filter == m_filter)
        return;
    m_filter = filter;
    invalidateRowsFilter();
}

int ResultListProxy::listRow(const QModelIndex &viewIndex) const
{
    if (!viewIndex.isValid())
        return -1;
    return mapToSource(viewIndex).row();
}

int ResultListProxy::viewRow(int listRow) const
{
    if (!m_list.hasRow(listRow))
        return -1;
    return mapFromSource(m_list.index(listRow, 0)).row();
}

bool ResultListProxy::lessThan(const QModelIndex &left, const QModelIndex &right) const
{
    const int column = left.column();
    const int l = left.row();
    const int r = right.row();
    int order = 0;
    if (column >= ColumnStatus) {
        // Built from the check record, the sources or the change, not stored
        // as a cell.
        order = compareCells(m_list.data(left).toString(), m_list.data(right).toString());
    } else {
        // The stored texts, without a copy into a QVariant: a sort of many
        // rows makes millions of these comparisons.
        const QString &a = column == 0 ? m_list.caption(l) : m_list.cell(l, column - 1);
        const QString &b = column == 0 ? m_list.caption(r) : m_list.cell(r, column - 1);
        order = compareCells(a, b);
        if (column == ColumnPr && sortOrder() == Qt::DescendingOrder) {
            qlonglong unused = 0;
            const bool an = asNumber(a, unused);
            const bool bn = asNumber(b, unused);
            // The comparison is turned round for a descending sort; a text
            // must still come out after every number.
            if (an != bn)
                return !an;
        }
    }
    if (order != 0)
        return order < 0;
    // Equal cells keep list order whichever way the sort runs.
    return sortOrder() == Qt::AscendingOrder ? l < r : l > r;
}

bool ResultListProxy::filterAcceptsRow(int sourceRow, const QModelIndex &) const
{
    if (m_filter == ShowAll || !m_list.hasRow(sourceRow))
        return true;
    if (m_filter == ShowChanged)
        return m_list.change(sourceRow) != RowChange::Same;
    const QString &access = m_list.cell(sourceRow, CellAccess);
    switch (m_filter) {
    case ShowDead:
        return access == celltext::Dead;
    case ShowLive:
        return access == celltext::Alive;
    case ShowDoubtful:
        return access == celltext::Doubtful;
    case ShowAll:
    case ShowChanged:
        break;
    }
    return true;
}
