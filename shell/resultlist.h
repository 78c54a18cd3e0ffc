#pragma once

#include "fetch/fetchresult.h"
#include "shell/verdictclass.h"

#include <QAbstractTableModel>
#include <QString>

#include <array>
#include <functional>
#include <memory>
#include <vector>

// Why a row has no check to show: the 状态 column says so instead of staying
// empty, so that nobody takes a cell that will never be answered for one
// still on its way.
enum class RowNote : quint8 {
    None,
    Blank, // "空行": the entry line held nothing; never queried
    Unsent, // "未查询": the run ended (stop, time-out, signal, a box unticked) before it was sent
    Unfinished, // "未完成": sent, but the run ended before the answer came
};

// The 状态 text of a note; empty for None.
QString rowNoteText(RowNote note);

// The reason of a check in the system's own words ("请求超时"), without the
// HTTP library's sentences, which only the details pane shows on request.
QString reasonWords(const FetchResult &result);

// One row of the result list: a caption and exactly five cell texts, and the
// record of the row's last reachability check, if one has ended. The 状态
// column shows that record; it is not one of the cell texts, so the exports
// of the list never see it.
struct ResultRow
{
    QString caption;
    std::array<QString, 5> cells;
    std::shared_ptr<const FetchResult> check = nullptr;
    // What the row's last answer means; Unchecked until a check has ended.
    VerdictClass verdict = VerdictClass::Unchecked;
    // Shown in 状态 while the row has no check.
    RowNote note = RowNote::None;
};

// Cell indices, by column.
enum ResultCell : int {
    CellInternal = 0, // 站内?
    CellLinkText = 1, // 链接词
    CellUrl = 2, // 网址
    CellAccess = 3, // 访问
    CellPr = 4, // PR
};

// The columns of the check record, after the caption and the five cells.
constexpr int ColumnStatus = 6; // 状态
constexpr int ColumnElapsed = 7; // 耗时
constexpr int ColumnFinalUrl = 8; // 最终网址

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
    static constexpr int ColumnCount = 9;

    explicit ResultListModel(QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    static int columnWidth(int column);
    // Whether the column is shown before a person chooses otherwise.
    static bool columnShownAtStart(int column);
    // The 状态 text of a row: its check's, or its note's.
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
    void setCheck(int row, const FetchResult &result);
    // Empties the 状态 column of the row, as a new check of it starts; the
    // row is unchecked again.
    void clearCheck(int row);
    VerdictClass verdict(int row) const { return hasRow(row) ? m_rows[std::size_t(row)].verdict : VerdictClass::Unchecked; }
    void setVerdict(int row, VerdictClass verdict);
    RowNote note(int row) const { return hasRow(row) ? m_rows[std::size_t(row)].note : RowNote::None; }
    void setNote(int row, RowNote note);

    quint64 generation() const { return m_generation; }
    // A new run starts on the list: answers for the rows as they were no
    // longer belong to it.
    void markRebuilt() { ++m_generation; }

private:
    std::vector<ResultRow> m_rows;
    quint64 m_generation = 0;
};
