#include "app/storepanel.h"

#include "app/historydialog.h"
#include "base/guard.h"
#include "query/runrecorder.h"
#include "shell/formstate.h"
#include "store/resultstore.h"

#include <QComboBox>
#include <QDateTime>
#include <QHBoxLayout>
#include <QLabel>
#include <QToolButton>

namespace {

QString when(qint64 ms)
{
    return QDateTime::fromMSecsSinceEpoch(ms).toString(QStringLiteral("yyyy-MM-dd HH:mm"));
}

// The history of a row's address, for its tooltip.
QString historyLines(ResultStore &store, const QString &url)
{
    const QList<AddressCheck> checks = store.history(url, 10);
    if (checks.isEmpty())
        return QString();
    QStringList lines {QStringLiteral("历史:")};
    for (const AddressCheck &c : checks) {
        QString mark = c.verdict == VerdictClass::Alive ? QStringLiteral("√") : c.verdict == VerdictClass::Dead ? QStringLiteral("×")
                                                                                                                : verdictClassKey(c.verdict);
        lines << QStringLiteral("%1  %2  %3%4").arg(when(c.checkedAt), mark, c.status, c.cached ? QStringLiteral(" (缓存)") : QString());
    }
    return lines.join(QLatin1Char('\n'));
}

} // namespace

QList<AddressVisit> StorePanel::addressVisits(const QString &url) const
{
    QList<AddressVisit> visits;
    if (!m_store)
        return visits;
    for (const AddressCheck &c : m_store->history(url, 20)) {
        AddressVisit v;
        v.at = QDateTime::fromMSecsSinceEpoch(c.checkedAt);
        v.access = verdictMark(c.verdict);
        v.status = c.cached ? QStringLiteral("缓存 ") + c.status : c.status;
        visits << v;
    }
    return visits;
}

QList<qint64> StorePanel::cacheAges()
{
    return {0, 30 * 60, 12 * 3600, 24 * 3600, 7 * 24 * 3600};
}

StorePanel::StorePanel(Engine &engine, const QString &path, QWidget *parent)
    : QWidget(parent)
    , m_engine(engine)
{
    setObjectName(QStringLiteral("storePanel"));
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    layout->addStretch(1);
    auto *lblCache = new QLabel(QStringLiteral("缓存"), this);
    cbbCache = new QComboBox(this);
    cbbCache->setObjectName(QStringLiteral("cbbCache"));
    cbbCache->setAccessibleName(QStringLiteral("缓存"));
    cbbCache->addItems({QStringLiteral("不用"), QStringLiteral("30分钟"), QStringLiteral("12小时"), QStringLiteral("1天"), QStringLiteral("7天")});
    cbbCache->setToolTip(QStringLiteral("在该时长内检测为 √ 的网址不再请求, 直接显示结果库中的结果 (状态前标 \"缓存\"); × 从不取自缓存"));
    cbbCache->setFixedHeight(20);
    btnHistory = new QToolButton(this);
    btnHistory->setObjectName(QStringLiteral("btnHistory"));
    btnHistory->setText(QStringLiteral("历史"));
    btnResume = new QToolButton(this);
    btnResume->setObjectName(QStringLiteral("btnResume"));
    btnResume->setText(QStringLiteral("继续上次"));
    btnResume->setEnabled(false);
    for (QToolButton *b : {btnHistory, btnResume})
        b->setFixedHeight(20);
    layout->addWidget(lblCache);
    layout->addWidget(cbbCache);
    layout->addWidget(btnHistory);
    layout->addWidget(btnResume);

    ResultStore::Opened opened = ResultStore::open(path);
    m_store = std::move(opened.store);
    FormState &state = engine.state();
    if (!opened.problem.isEmpty())
        state.setLbl13(QStringLiteral("提示：") + opened.problem);
    if (!m_store) {
        setEnabled(false);
        btnHistory->setToolTip(opened.problem);
        return;
    }
    btnHistory->setToolTip(QStringLiteral("以往每次运行的结果与死链变化\n结果库: ") + m_store->path());
    connect(m_store.get(), &ResultStore::problem, this, [&state](const QString &text) { state.setLbl13(QStringLiteral("提示：") + text); });

    m_recorder = std::make_unique<RunRecorder>(engine, *m_store, QStringLiteral("window"));
    connect(m_recorder.get(), &RunRecorder::runRecorded, this, &StorePanel::onRunRecorded);
    ResultStore *store = m_store.get();
    state.lv1.setTooltipLines([store](const ResultRow &row) { return historyLines(*store, row.cells[CellUrl]); });

    connect(btnHistory, &QToolButton::clicked, this, [this] { guard::run([this] { btnHistoryClick(); }); });
    connect(btnResume, &QToolButton::clicked, this, [this] { guard::run([this] { btnResumeClick(); }); });
    connect(cbbCache, &QComboBox::currentIndexChanged, this, [this](int i) { guard::run([this, i] { cbbCacheChange(i); }); });

    runHistory = [](HistoryDialog &dialog) { dialog.exec(); };
    if (const std::optional<RunSummary> last = m_store->latestRun(); last && last->resumable()) {
        setResumable(nullptr, last->id,
            QStringLiteral("继续 %1 开始的运行: %2 (已有 %3/%4 行的结果)").arg(when(last->startedAt), last->input).arg(last->answered).arg(last->rows));
    }
}

// Goes before the engine: the window deletes it first.
StorePanel::~StorePanel()
{
    m_engine.state().lv1.setTooltipLines(nullptr);
    // A run still open is kept as closed with the window.
    m_recorder.reset();
    if (m_store)
        m_store->finish(2000);
}

void StorePanel::setResumable(const RunHandle &run, qint64 id, const QString &tip)
{
    m_resumeRun = run;
    m_resumeId = id;
    btnResume->setEnabled(run || id != 0);
    btnResume->setToolTip(tip);
}

qint64 StorePanel::resumableRun() const
{
    if (m_resumeRun && m_resumeRun->id != 0)
        return m_resumeRun->id;
    return m_resumeId;
}

void StorePanel::onRunRecorded(RunEnding how, int newDead, int fixed)
{
    const bool early = how != RunEnding::Completed && how != RunEnding::Failed;
    // The run asked something when its rows were kept to go on with.
    const bool asked = m_engine.walk() != Walk::None && (m_engine.state().bschck2 || m_engine.state().bschck3);
    if (early && asked)
        setResumable(m_recorder->currentRun(), 0, QStringLiteral("继续刚才未完成的运行"));
    else
        setResumable(nullptr, 0, QString());
    if (how == RunEnding::Completed || how == RunEnding::Stopped) {
        FormState &state = m_engine.state();
        state.setLbl13(state.lbl13() + QStringLiteral("  新死链 %1, 已修复 %2").arg(newDead).arg(fixed));
    }
}

void StorePanel::btnHistoryClick()
{
    // The run that just ended belongs in the list, as it ended.
    m_store->flush(2000);
    HistoryDialog dialog(*m_store, window());
    runHistory(dialog);
    if (dialog.result() == QDialog::Accepted && dialog.chosenRun() != 0)
        showRun(dialog.chosenRun());
}

void StorePanel::btnResumeClick()
{
    qint64 id = resumableRun();
    if (id == 0 && m_resumeRun) {
        // Its first records may still be on their way to the file.
        m_store->flush(2000);
        id = m_resumeRun->id;
    }
    if (id == 0)
        return;
    setResumable(nullptr, 0, QString());
    m_store->flush(2000);
    if (!m_recorder->resume(id))
        m_engine.state().setLbl13(QStringLiteral("提示：上次的运行没有可继续的行"));
}

void StorePanel::cbbCacheChange(int index)
{
    m_recorder->setCacheAge(cacheAges().value(index));
}

bool StorePanel::showRun(qint64 runId)
{
    // What is being written belongs in what is shown.
    m_store->flush(2000);
    const std::optional<StoredRun> run = m_store->loadRun(runId);
    if (!run || run->rows.isEmpty()) {
        m_engine.state().setLbl13(QStringLiteral("提示：该次运行没有保存行"));
        return false;
    }
    FormState &state = m_engine.state();
    if (m_engine.runOpen())
        m_engine.stop();
    state.lv1.clear();
    state.lv1.addRows(listRowsOf(*run, true));
    state.setLbl2(QStringLiteral("数量(") + QString::number(state.lv1.count()) + QLatin1Char(')'));
    state.setLbl13(QStringLiteral("提示：显示 %1 的运行: %2").arg(when(run->summary.startedAt), run->summary.input));
    return true;
}
