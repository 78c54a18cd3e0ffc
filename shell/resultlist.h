#pragma once

#include "fetch/fetchresult.h"
#include "shell/celltexts.h"
#include "shell/rowchange.h"
#include "shell/rowsources.h"
#include "shell/verdictclass.h"

#include <QAbstractTableModel>
#include <QString>

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

// The reason of a check in the system's own words ("请求超时"), without the
// HTTP library's sentences, which only the details pane shows on request.
QString reasonWords(const FetchResult &result);

// The raw figures behind a PR cell that a ranks file of the web graph gave:
// positions (0 when the file does not list the name) and the release.
struct RankFigures
{
    quint32 rankPos = 0; // PageRank position
    quint32 harmonicPos = 0; // harmonic-centrality position
    QString release;
};

// One row of the result list: a caption and exactly five cell texts, and the
// record of the row's last reachability check, if one has ended. The 状态
// column shows that record; it is not one of the cell texts, so the exports
// of the list never see it.
struct ResultRow
{
    QString caption;
    std::array<QString, 5> cells;
    std::shared_ptr<const FetchResult> check = nullptr;
    // The check was not made: its answer was taken from the result store.
    bool checkFromCache = false;
    // What the row's last answer means; Unchecked until a check has ended.
    VerdictClass verdict = VerdictClass::Unchecked;
    // Only the exports show them.
    std::optional<RankFigures> rank = std::nullopt;
    // What else 状态 says, after the check's status, in parts joined by
    // "; ": why the PR cell holds no rank (a reply that was no rank), that a
    // page was read only in part, and why a cell reads "--" where an answer
    // was to come: the line was blank (celltext::BlankLine), or the run ended
    // before the row's query was sent (celltext::Unsent) or answered
    // (celltext::Unfinished). So nobody takes a cell that will never be
    // answered for one still on its way.
    QString note = QString();
    // The first part of note is the last PR answer's, which the next one
    // replaces.
    bool noteStartsWithRank = false;
    // The address is a link as written that no rule makes an address: its
    // check is answered without a request.
    bool unaddressable = false;
    // How the last check compares with the one before it in the result
    // store; for StillDead, when the dead streak began (ms since 1970 UTC).
    RowChange change = RowChange::Same;
    qint64 deadSinceMs = 0;
};

// The text of the 状态 column: the check's status ("缓存 " before it when the
// answer came from the result store), then the row's note.
QString rowStatusText(const ResultRow &row);

// Cell indices, by column.
enum ResultCell : int {
    CellInternal = 0, // 站内?
    CellLinkText = 1, // 链接词
    CellUrl = 2, // 网址
    CellAccess = 3, // 访问
    CellPr = 4, // PR
};

// The columns after the caption and the five cells: the check record's, and
// where a site list found the row.
constexpr int ColumnStatus = 6; // 状态
// The number of pages found to link to the row ("sitemap" for an orphan).
constexpr int ColumnSources = 7; // 来源
constexpr int ColumnElapsed = 8; // 耗时
constexpr int ColumnFinalUrl = 9; // 最终网址
// Where a site list found the row: its depth, and whether only the sitemap
// names it.
constexpr int ColumnDepth = 10; // 深度
constexpr int ColumnOrphan = 11; // 孤立
// How the check compares with the address's last one.
constexpr int ColumnChange = 12; // 变化

// The data role by which the view colours a row: a RowTone as an int.
constexpr int RowToneRole = Qt::UserRole + 1;

// How a row is shown at a glance, from its verdict: a dead link red, a
// doubtful one amber, one that was not (or cannot be) checked grey.
enum class RowTone : int {
    Normal,
    Bad,
    Doubt,
    Skipped,
};
RowTone toneOf(VerdictClass verdict);

// The result list lv1: the system's only store of work. Rows are addressed by
// their 0-based position; the list is never sorted.
//
// generation() changes whenever the list is cleared, so that a reply started
// for an earlier list can tell that its row no longer belongs to it.
class ResultListModel final : public QAbstractTableModel
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ResultListModel)

public:
    static constexpr int ColumnCount = 13;

    explicit ResultListModel(QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    static int columnWidth(int column);
    // Whether the column is shown before a person chooses otherwise.
    static bool columnShownAtStart(int column);
    // The 状态 text of a row: rowStatusText().
    QString statusOf(int row) const;

    int count() const { return int(m_rows.size()); }
    bool hasRow(int row) const { return row >= 0 && row < count(); }

    void addRow(const ResultRow &row);
    void addRows(std::vector<ResultRow> rows);
    // Removes every row. Never fails.
    void clear() noexcept;
    // Removes every row for which drop is true, keeping the order of the rest.
    void removeRowsIf(const std::function<bool(const ResultRow &)> &drop);

    const ResultRow &row(int row) const { return m_rows.at(std::size_t(row)); }
    const QString &caption(int row) const { return m_rows.at(std::size_t(row)).caption; }
    const QString &cell(int row, int k) const { return m_rows.at(std::size_t(row)).cells.at(std::size_t(k)); }
    void setCell(int row, int k, const QString &text);

    // The record of the row's last check; nullptr before one has ended.
    const FetchResult *check(int row) const;
    void setCheck(int row, const FetchResult &result, bool fromCache = false);
    // Empties the 状态 column of the row, as a new check of it starts; the
    // row is unchecked again.
    void clearCheck(int row);
    VerdictClass verdict(int row) const { return hasRow(row) ? m_rows[std::size_t(row)].verdict : VerdictClass::Unchecked; }
    void setVerdict(int row, VerdictClass verdict);
    QString note(int row) const { return hasRow(row) ? m_rows[std::size_t(row)].note : QString(); }
    // Replaces the whole note.
    void setNote(int row, const QString &note);
    // Adds a part to the note, unless it is there already; drops one.
    void addNote(int row, const QString &part);
    void dropNote(int row, const QString &part);
    // The part of a PR answer: replaces what an earlier answer said, and
    // keeps every other part.
    void setRankNote(int row, const QString &why);
    // A blank entry line: a row of its own that is never queried.
    bool isBlank(int row) const { return hasRow(row) && m_rows[std::size_t(row)].note == celltext::BlankLine; }

    // The figures of the row's last PR answer; nothing when its source gave
    // none.
    void setRankFigures(int row, std::optional<RankFigures> figures);
    // Where the rows were found (a site list); cleared with the list.
    const RowSources *sources() const { return m_sources.get(); }
    void setSources(std::shared_ptr<const RowSources> sources);
    // The sources of row have grown.
    void sourcesChanged(int row);

    RowChange change(int row) const { return hasRow(row) ? m_rows[std::size_t(row)].change : RowChange::Same; }
    void setChange(int row, RowChange change, qint64 deadSinceMs);

    // More lines for a row's tooltip, such as the history of its address;
    // asked only when a tooltip is shown.
    void setTooltipLines(std::function<QString(const ResultRow &row)> lines) { m_tooltipLines = std::move(lines); }

    quint64 generation() const { return m_generation; }
    // A new run starts on the list: answers for the rows as they were no
    // longer belong to it.
    void markRebuilt() { ++m_generation; }

private:
    QString tooltip(const ResultRow &row) const;

    // Sets the note as it stands, whoever's parts it holds.
    void writeNote(int row, const QString &note);

    std::vector<ResultRow> m_rows;
    std::shared_ptr<const RowSources> m_sources;
    quint64 m_generation = 0;
    std::function<QString(const ResultRow &row)> m_tooltipLines;
};
