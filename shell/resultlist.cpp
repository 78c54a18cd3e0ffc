#include "shell/resultlist.h"

#include "shell/celltexts.h"

#include <QDateTime>
#include <QStringList>

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
    {"来源", 50, Qt::AlignHCenter | Qt::AlignVCenter},
    {"耗时", 60, Qt::AlignRight | Qt::AlignVCenter},
    {"最终网址", 200, Qt::AlignLeft | Qt::AlignVCenter},
    {"深度", 50, Qt::AlignHCenter | Qt::AlignVCenter},
    {"孤立", 50, Qt::AlignHCenter | Qt::AlignVCenter},
    {"变化", 70, Qt::AlignHCenter | Qt::AlignVCenter},
};

// A tooltip does not grow with a page linked from everywhere.
constexpr int TooltipSources = 10;

// Every cell of a checked row gives the whole 状态 (its cell may elide the
// chain), where the check ended, how long it took and why it failed, in
// words: the HTTP library's own sentences are for the details pane.
QString checkTooltip(const ResultRow &row)
{
    const FetchResult &r = *row.check;
    return QStringLiteral("状态: %1\n最终网址: %2\n耗时: %3 ms\n%4").arg(rowStatusText(row), r.finalUrl).arg(r.elapsedMs).arg(reasonWords(r));
}
// A row that waits for its check is not greyed: it is on its way.
RowTone toneOfRow(const ResultRow &r)
{
    if (r.verdict != VerdictClass::Unchecked)
        return toneOf(r.verdict);
    const QString &access = r.cells[CellAccess];
    return access == celltext::Pending || access == celltext::Requery ? RowTone::Normal : RowTone::Skipped;
}

QString sourcesText(const RowSources &sources, int row)
{
    return sources.orphan(row) ? RowSources::sitemapPage() : QString::number(sources.count(row));
}

QString sourcesTooltip(const RowSources &sources, int row)
{
    QStringList lines;
    sources.visit(
        row, [&lines](const QString &page, const QString &text) { lines << (text.isEmpty() ? page : page + QStringLiteral("  ") + text); },
        TooltipSources);
    const int more = sources.count(row) - int(lines.size());
    if (more > 0)
        lines << QStringLiteral("… 另有 %1 个").arg(more);
    return lines.join(QLatin1Char('\n'));
}

const QString NoteJoint = QStringLiteral("; ");

// A note without the words of a run's end: a check that starts, or ends,
// makes them untrue.
QString withoutEndWords(const QString &note)
{
    if (note.isEmpty())
        return note;
    QStringList parts = note.split(NoteJoint, Qt::SkipEmptyParts);
    const qsizetype before = parts.size();
    parts.removeAll(celltext::Unsent);
    parts.removeAll(celltext::Unfinished);
    return parts.size() == before ? note : parts.join(NoteJoint);
}

} // namespace

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

QString rowStatusText(const ResultRow &row)
{
    // A row answered without a request (robots.txt, no address) has words
    // of its class all the same.
    QString check = verdictStatusText(row.check ? *row.check : FetchResult {}, row.verdict);
    if (row.checkFromCache && !check.isEmpty())
        check = QStringLiteral("缓存 ") + check;
    if (row.note.isEmpty())
        return check;
    return check.isEmpty() ? row.note : check + NoteJoint + row.note;
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
    if (index.column() == ColumnSources && (role == Qt::DisplayRole || role == Qt::ToolTipRole)) {
        if (!m_sources)
            return QString();
        return role == Qt::DisplayRole ? sourcesText(*m_sources, index.row()) : sourcesTooltip(*m_sources, index.row());
    }
    if (role == Qt::ToolTipRole && (r.check || m_tooltipLines))
        return tooltip(r);
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole) {
        switch (index.column()) {
        case 0:
            return r.caption;
        case ColumnStatus:
            return rowStatusText(r);
        case ColumnElapsed:
            return r.check ? QString::number(r.check->elapsedMs) : QString();
        case ColumnFinalUrl:
            return r.check ? r.check->finalUrl : QString();
        case ColumnDepth: {
            const int depth = m_sources ? m_sources->depth(index.row()) : -1;
            return depth >= 0 ? QString::number(depth) : QString();
        }
        case ColumnOrphan:
            return m_sources && m_sources->orphan(index.row()) ? celltext::Orphan : QString();
        case ColumnChange:
            return rowChangeText(r.change);
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

QString ResultListModel::tooltip(const ResultRow &r) const
{
    QStringList lines;
    if (r.check)
        lines << checkTooltip(r);
    if (r.change == RowChange::StillDead && r.deadSinceMs > 0) {
        const QString since = QDateTime::fromMSecsSinceEpoch(r.deadSinceMs).toString(QStringLiteral("yyyy-MM-dd HH:mm"));
        lines << QStringLiteral("持续死链, 自 %1 起").arg(since);
    }
    if (m_tooltipLines) {
        const QString more = m_tooltipLines(r);
        if (!more.isEmpty())
            lines << more;
    }
    return lines.join(QLatin1Char('\n'));
}

int ResultListModel::columnWidth(int column)
{
    return column >= 0 && column < ColumnCount ? kColumns[column].width : 0;
}

bool ResultListModel::columnShownAtStart(int column)
{
    // 来源 and 变化 too: a crawl's rows say at once where they were found,
    // and every row what changed since its address's last check.
    return (column >= 0 && column <= ColumnStatus) || column == ColumnSources || column == ColumnChange;
}

QString ResultListModel::statusOf(int row) const
{
    if (!hasRow(row))
        return QString();
    return rowStatusText(m_rows[std::size_t(row)]);
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
    m_sources.reset();
    endResetModel();
}

void ResultListModel::setSources(std::shared_ptr<const RowSources> sources)
{
    m_sources = std::move(sources);
    if (!m_rows.empty())
        emit dataChanged(index(0, ColumnSources), index(count() - 1, ColumnCount - 1));
}

void ResultListModel::sourcesChanged(int row)
{
    if (hasRow(row))
        emit dataChanged(index(row, ColumnSources), index(row, ColumnCount - 1), {Qt::DisplayRole, Qt::ToolTipRole});
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

void ResultListModel::setCheck(int row, const FetchResult &result, bool fromCache)
{
    if (!hasRow(row))
        return;
    ResultRow &r = m_rows[std::size_t(row)];
    r.check = std::make_shared<const FetchResult>(result);
    r.note = withoutEndWords(r.note);
    r.checkFromCache = fromCache;
    emit dataChanged(index(row, 0), index(row, ColumnCount - 1), {Qt::DisplayRole, Qt::ToolTipRole});
}

void ResultListModel::setVerdict(int row, VerdictClass verdict)
{
    if (!hasRow(row) || m_rows[std::size_t(row)].verdict == verdict)
        return;
    m_rows[std::size_t(row)].verdict = verdict;
    emit dataChanged(index(row, 0), index(row, ColumnCount - 1));
}

void ResultListModel::setChange(int row, RowChange change, qint64 deadSinceMs)
{
    if (!hasRow(row))
        return;
    ResultRow &r = m_rows[std::size_t(row)];
    if (r.change == change && r.deadSinceMs == deadSinceMs)
        return;
    r.change = change;
    r.deadSinceMs = deadSinceMs;
    const QModelIndex at = index(row, ColumnChange);
    emit dataChanged(at, at, {Qt::DisplayRole, Qt::ToolTipRole});
}

void ResultListModel::clearCheck(int row)
{
    if (!hasRow(row))
        return;
    ResultRow &r = m_rows[std::size_t(row)];
    QString note = withoutEndWords(r.note);
    if (!r.check && r.verdict == VerdictClass::Unchecked && note == r.note && r.change == RowChange::Same)
        return;
    r.check.reset();
    r.checkFromCache = false;
    r.verdict = VerdictClass::Unchecked;
    r.note = std::move(note);
    r.change = RowChange::Same;
    r.deadSinceMs = 0;
    emit dataChanged(index(row, 0), index(row, ColumnCount - 1), {Qt::DisplayRole, Qt::ToolTipRole});
}

void ResultListModel::setNote(int row, const QString &note)
{
    if (!hasRow(row))
        return;
    ResultRow &r = m_rows[std::size_t(row)];
    r.noteStartsWithRank = false;
    writeNote(row, note);
}

void ResultListModel::writeNote(int row, const QString &note)
{
    ResultRow &r = m_rows[std::size_t(row)];
    if (r.note == note)
        return;
    r.note = note;
    emit dataChanged(index(row, ColumnStatus), index(row, ColumnStatus));
}

void ResultListModel::addNote(int row, const QString &part)
{
    if (!hasRow(row) || part.isEmpty())
        return;
    const QString &note = m_rows[std::size_t(row)].note;
    if (note.isEmpty())
        writeNote(row, part);
    else if (!note.split(NoteJoint).contains(part))
        writeNote(row, note + NoteJoint + part);
}

void ResultListModel::dropNote(int row, const QString &part)
{
    if (!hasRow(row))
        return;
    ResultRow &r = m_rows[std::size_t(row)];
    QStringList parts = r.note.split(NoteJoint, Qt::SkipEmptyParts);
    const qsizetype at = parts.indexOf(part);
    if (at < 0)
        return;
    parts.removeAt(at);
    if (at == 0)
        r.noteStartsWithRank = false;
    writeNote(row, parts.join(NoteJoint));
}

void ResultListModel::setRankNote(int row, const QString &why)
{
    if (!hasRow(row))
        return;
    ResultRow &r = m_rows[std::size_t(row)];
    QStringList parts = r.note.split(NoteJoint, Qt::SkipEmptyParts);
    if (r.noteStartsWithRank && !parts.isEmpty())
        parts.removeFirst();
    if (!why.isEmpty())
        parts.prepend(why);
    r.noteStartsWithRank = !why.isEmpty();
    writeNote(row, parts.join(NoteJoint));
}

void ResultListModel::setRankFigures(int row, std::optional<RankFigures> figures)
{
    if (hasRow(row))
        m_rows[std::size_t(row)].rank = std::move(figures);
}
