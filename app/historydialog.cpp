#include "app/historydialog.h"

#include "store/resultstore.h"

#include <QChart>
#include <QChartView>
#include <QDateTime>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineSeries>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <QValueAxis>

namespace {

QString when(qint64 ms)
{
    return QDateTime::fromMSecsSinceEpoch(ms).toString(QStringLiteral("yyyy-MM-dd HH:mm"));
}

QTableWidgetItem *item(const QString &text, Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter)
{
    auto *it = new QTableWidgetItem(text);
    it->setTextAlignment(alignment);
    return it;
}

} // namespace

QString HistoryDialog::endingText(const QString &endingKey)
{
    static const QHash<QString, QString> words = {
        {QStringLiteral("completed"), QStringLiteral("完成")},
        {QStringLiteral("timeout"), QStringLiteral("超时")},
        {QStringLiteral("sigint"), QStringLiteral("中断 (Ctrl+C)")},
        {QStringLiteral("sigterm"), QStringLiteral("被终止")},
        {QStringLiteral("stopped"), QStringLiteral("停止")},
        {QStringLiteral("failed"), QStringLiteral("失败")},
        {QStringLiteral("replaced"), QStringLiteral("被新查询取代")},
        {QStringLiteral("closed"), QStringLiteral("窗口关闭")},
    };
    // No ending: under way, or cut off without a word (a crash, a kill, a
    // power cut).
    return endingKey.isEmpty() ? QStringLiteral("未完成") : words.value(endingKey, endingKey);
}

HistoryDialog::HistoryDialog(ResultStore &store, QWidget *parent)
    : QDialog(parent)
    , m_store(store)
    , m_runs(store.runs())
{
    setObjectName(QStringLiteral("historyDialog"));
    setWindowTitle(QStringLiteral("历史"));
    resize(760, 620);
    auto *layout = new QVBoxLayout(this);

    m_where = new QLabel(QStringLiteral("结果库: ") + store.path(), this);
    m_where->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(m_where);

    m_table = new QTableWidget(int(m_runs.size()), 6, this);
    m_table->setObjectName(QStringLiteral("historyRuns"));
    m_table->setHorizontalHeaderLabels({QStringLiteral("日期"), QStringLiteral("来源"), QStringLiteral("输入"), QStringLiteral("行数"),
        QStringLiteral("死链"), QStringLiteral("结束")});
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->verticalHeader()->hide();
    m_table->verticalHeader()->setDefaultSectionSize(m_table->fontMetrics().height() + 6);
    const Qt::Alignment centred = Qt::AlignCenter;
    for (int r = 0; r < m_runs.size(); ++r) {
        const RunSummary &run = m_runs.at(r);
        m_table->setItem(r, 0, item(when(run.startedAt)));
        m_table->setItem(r, 1, item(run.program == QLatin1String("cli") ? QStringLiteral("命令行") : QStringLiteral("窗口"), centred));
        m_table->setItem(r, 2, item(run.input));
        m_table->setItem(r, 3, item(run.answered < run.rows ? QStringLiteral("%1/%2").arg(run.answered).arg(run.rows) : QString::number(run.rows), centred));
        m_table->setItem(r, 4, item(QString::number(run.dead), centred));
        m_table->setItem(r, 5, item(endingText(run.ending), centred));
    }
    m_table->horizontalHeader()->setSectionResizeMode(2, QHeaderView::Stretch);
    for (const int c : {0, 1, 3, 4, 5})
        m_table->horizontalHeader()->setSectionResizeMode(c, QHeaderView::ResizeToContents);
    layout->addWidget(m_table, 3);

    auto *chart = new QChart;
    chart->legend()->hide();
    chart->setTitle(QStringLiteral("同一输入每次运行的死链数"));
    m_chart = new QChartView(chart, this);
    m_chart->setObjectName(QStringLiteral("historyChart"));
    m_chart->setRenderHint(QPainter::Antialiasing);
    layout->addWidget(m_chart, 3);

    auto *buttons = new QDialogButtonBox(this);
    m_open = buttons->addButton(QStringLiteral("打开"), QDialogButtonBox::AcceptRole);
    m_open->setObjectName(QStringLiteral("historyOpen"));
    m_open->setToolTip(QStringLiteral("在列表中显示所选运行的结果, 可导出"));
    buttons->addButton(QStringLiteral("关闭"), QDialogButtonBox::RejectRole);
    layout->addWidget(buttons);

    connect(m_table, &QTableWidget::itemSelectionChanged, this, &HistoryDialog::showTrend);
    connect(m_table, &QTableWidget::cellDoubleClicked, m_open, &QPushButton::click);
    connect(buttons, &QDialogButtonBox::accepted, this, [this] {
        const int row = m_table->currentRow();
        if (row < 0 || row >= m_runs.size())
            return;
        m_chosen = m_runs.at(row).id;
        accept();
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    if (!m_runs.isEmpty())
        selectRun(0);
    else
        showTrend();
}

void HistoryDialog::selectRun(int row)
{
    m_table->selectRow(row);
    m_table->setCurrentCell(row, 0);
}

void HistoryDialog::showTrend()
{
    const int row = m_table->currentRow();
    const bool chosen = row >= 0 && row < m_runs.size();
    m_open->setEnabled(chosen && m_runs.at(row).rowsStored);
    m_trend = chosen ? m_store.deadTrend(m_runs.at(row).inputKey) : QList<RunPoint>();

    QChart *chart = m_chart->chart();
    chart->removeAllSeries();
    // A removed axis is handed back to its caller.
    for (QAbstractAxis *axis : chart->axes()) {
        chart->removeAxis(axis);
        delete axis;
    }
    auto *series = new QLineSeries;
    series->setPointsVisible(true);
    int most = 0;
    // One step a run, oldest first: runs minutes or weeks apart read alike.
    for (qsizetype i = 0; i < m_trend.size(); ++i) {
        series->append(double(i + 1), m_trend.at(i).dead);
        most = std::max(most, m_trend.at(i).dead);
    }
    chart->addSeries(series);
    auto *x = new QValueAxis;
    x->setLabelFormat(QStringLiteral("%d"));
    x->setRange(1, std::max<qsizetype>(m_trend.size(), 2));
    x->setTickCount(int(std::min<qsizetype>(std::max<qsizetype>(m_trend.size(), 2), 11)));
    x->setTitleText(QStringLiteral("第几次运行"));
    auto *y = new QValueAxis;
    y->setLabelFormat(QStringLiteral("%d"));
    y->setRange(0, std::max(most, 1));
    y->applyNiceNumbers();
    chart->addAxis(x, Qt::AlignBottom);
    chart->addAxis(y, Qt::AlignLeft);
    series->attachAxis(x);
    series->attachAxis(y);
}
