#include "shell/resultproxy.h"

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

// Negative, zero or positive, as left sorts before, with or after right: two
// numbers by value, a number before a text, texts by their characters in any
// letter case, then as they are.
int compareKeys(const ResultListProxy::SortKey &left, const ResultListProxy::SortKey &right)
{
    if (left.isNumber && right.isNumber)
        return left.number < right.number ? -1 : (left.number > right.number ? 1 : 0);
    if (left.isNumber != right.isNumber)
        return left.isNumber ? -1 : 1;
    const int folded = left.folded.compare(right.folded);
    return folded != 0 ? folded : left.text.compare(right.text);
}

} // namespace

ResultListProxy::ResultListProxy(ResultListModel &list, QObject *parent)
    : QSortFilterProxyModel(parent)
    , m_list(list)
{
    // Told before the proxy places a changed row anew, so that it compares
    // the row's new text.
    connect(&list, &QAbstractItemModel::dataChanged, this, [this](const QModelIndex &topLeft, const QModelIndex &bottomRight) {
        if (m_keyColumn < topLeft.column() || m_keyColumn > bottomRight.column())
            return;
        for (int row = topLeft.row(); row <= bottomRight.row() && row < int(m_keys.size()); ++row)
            m_keys[std::size_t(row)] = keyOf(row, m_keyColumn);
    });
    connect(&list, &QAbstractItemModel::modelReset, this, [this] { m_keyColumn = -1; });
    connect(&list, &QAbstractItemModel::rowsRemoved, this, [this] { m_keyColumn = -1; });
    setSourceModel(&list);
    // Answers keep arriving while a person looks at a sorted or filtered view.
    setDynamicSortFilter(true);
    connect(&list, &QAbstractItemModel::modelReset, this, [this] { m_held.clear(); });
}

QStringList ResultListProxy::filterTexts()
{
    QStringList texts {QStringLiteral("全部"), QStringLiteral("只看死链"), QStringLiteral("只看正常")};
    for (int f = ShowDoubtful; f <= ShowFailed; ++f)
        texts << QStringLiteral("只看") + groupName(*groupOf(ViewFilter(f)));
    texts << QStringLiteral("只看变化");
    return texts;
}

ResultListProxy::ViewFilter ResultListProxy::filterFor(RowGroup group)
{
    switch (group) {
    case RowGroup::Live:
        return ShowLive;
    case RowGroup::Dead:
        return ShowDead;
    default:
        return ViewFilter(ShowDoubtful + int(group) - int(RowGroup::Doubt));
    }
}

std::optional<RowGroup> ResultListProxy::groupOf(ViewFilter filter)
{
    switch (filter) {
    case ShowAll:
        return std::nullopt;
    case ShowDead:
        return RowGroup::Dead;
    case ShowLive:
        return RowGroup::Live;
    default:
        if (filter < ShowDoubtful || filter > ShowFailed)
            return std::nullopt;
        return RowGroup(int(RowGroup::Doubt) + filter - ShowDoubtful);
    }
}

void ResultListProxy::setViewFilter(ViewFilter filter)
{
    if (filter == m_filter)
        return;
    m_filter = filter;
    releaseHeld();
    refilter();
}

void ResultListProxy::setSearchText(const QString &text)
{
    if (text == m_search)
        return;
    m_search = text;
    releaseHeld();
    refilter();
}

void ResultListProxy::holdRows(const QList<int> &listRows)
{
    if (!filtered())
        return;
    for (const int row : listRows)
        m_held.insert(row);
}

void ResultListProxy::refilter()
{
    // The view is told once that its rows changed, not once for every run of
    // rows that came or went: with many rows, those runs cost the view
    // seconds. The selection follows its rows all the same.
    invalidate();
}

void ResultListProxy::releaseHeld()
{
    m_held.clear();
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

ResultListProxy::SortKey ResultListProxy::keyOf(int row, int column) const
{
    SortKey key;
    // The stored texts where there are some; the check's columns are built.
    key.text = column == 0 ? m_list.caption(row) : column <= CellPr + 1 ? m_list.cell(row, column - 1)
                                                                        : m_list.data(m_list.index(row, column)).toString();
    key.isNumber = asNumber(key.text, key.number);
    if (key.isNumber)
        key.text.clear();
    else
        key.folded = key.text.toCaseFolded();
    return key;
}

const ResultListProxy::SortKey &ResultListProxy::sortKey(int row, int column) const
{
    // A sort of many rows makes millions of comparisons: each row's key is
    // made once, and again only when the row changes.
    if (column != m_keyColumn) {
        m_keys.clear();
        m_keyColumn = column;
    }
    if (row >= int(m_keys.size())) {
        const int count = m_list.count();
        m_keys.reserve(std::size_t(count));
        for (int r = int(m_keys.size()); r < count; ++r)
            m_keys.push_back(keyOf(r, column));
    }
    return m_keys[std::size_t(row)];
}

bool ResultListProxy::lessThan(const QModelIndex &left, const QModelIndex &right) const
{
    const int column = left.column();
    const int l = left.row();
    const int r = right.row();
    const SortKey &a = sortKey(l, column);
    const SortKey &b = sortKey(r, column);
    const int order = compareKeys(a, b);
    // The comparison is turned round for a descending sort; in the PR column
    // a text must still come out after every number.
    if (column == ColumnPr && sortOrder() == Qt::DescendingOrder && a.isNumber != b.isNumber)
        return !a.isNumber;
    if (order != 0)
        return order < 0;
    // Equal cells keep list order whichever way the sort runs.
    return sortOrder() == Qt::AscendingOrder ? l < r : l > r;
}

bool ResultListProxy::filterAcceptsRow(int sourceRow, const QModelIndex &) const
{
    if (!filtered() || !m_list.hasRow(sourceRow))
        return true;
    if (!m_held.isEmpty() && m_held.contains(sourceRow))
        return true;
    const ResultRow &row = m_list.row(sourceRow);
    if (m_filter == ShowChanged && row.change == RowChange::Same)
        return false;
    if (const std::optional<RowGroup> group = groupOf(m_filter); group && !inGroup(row, *group))
        return false;
    return m_search.isEmpty() || row.cells[CellUrl].contains(m_search, Qt::CaseInsensitive)
        || row.cells[CellLinkText].contains(m_search, Qt::CaseInsensitive);
}
