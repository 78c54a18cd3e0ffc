#pragma once

#include "store/records.h"

#include <QDialog>
#include <QList>

class QChartView;
class QLabel;
class QPushButton;
class QTableWidget;
class ResultStore;

// "历史": the runs kept in the result store, newest first (date, input,
// rows, dead links, how each ended), and a line of the dead links of every
// run of the selected run's input. A run chosen with "打开" is shown again
// in the list.
class HistoryDialog final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(HistoryDialog)

public:
    HistoryDialog(ResultStore &store, QWidget *parent = nullptr);

    // The run "打开" chose; 0 before.
    qint64 chosenRun() const { return m_chosen; }
    // The runs listed, newest first.
    const QList<RunSummary> &runs() const { return m_runs; }
    // Selects the run listed at row, as a click does.
    void selectRun(int row);
    // The points of the chart now: dead links per run of one input.
    const QList<RunPoint> &trend() const { return m_trend; }

    // How a run ended, in words.
    static QString endingText(const QString &endingKey);

private:
    void showTrend();

    ResultStore &m_store;
    QList<RunSummary> m_runs;
    QList<RunPoint> m_trend;
    QTableWidget *m_table = nullptr;
    QChartView *m_chart = nullptr;
    QLabel *m_where = nullptr;
    QPushButton *m_open = nullptr;
    qint64 m_chosen = 0;
};
