#pragma once

#include "query/engine.h"
#include "shell/rowdetails.h"
#include "store/records.h"

#include <QString>
#include <QWidget>

#include <functional>
#include <memory>

class QComboBox;
class QToolButton;
class HistoryDialog;
class ResultStore;
class RunRecorder;

// The window's part of the result store: it keeps every run of the
// window's engine in the store, and offers "历史" (the runs kept, to look
// at and to open again), "继续上次" (continue the last run that ended
// early) and the cache age ("缓存"). The rows' tooltips give the history
// of their address.
class StorePanel final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(StorePanel)

public:
    // Opens the store at path; one that cannot be used is said in the
    // status line, and the panel is disabled.
    StorePanel(Engine &engine, const QString &path, QWidget *parent = nullptr);
    ~StorePanel() override;

    // Null when the store could not be opened.
    ResultStore *store() const { return m_store.get(); }
    RunRecorder *recorder() const { return m_recorder.get(); }

    // Handlers, named after their control and event.
    void btnHistoryClick();
    void btnResumeClick();
    void cbbCacheChange(int index);

    // Shows a kept run in the list with its answers, to look at and to
    // export; nothing is asked. False when it has no rows kept.
    bool showRun(qint64 runId);
    // The run "继续上次" continues; 0: none.
    qint64 resumableRun() const;
    // The earlier checks of an address, newest first, for the details pane;
    // none without a store.
    QList<AddressVisit> addressVisits(const QString &url) const;

    // The cache ages of "缓存", in seconds, in the order of its items.
    static QList<qint64> cacheAges();

    // Answers the history dialog (tests: without blocking); the default
    // shows it and waits.
    std::function<void(HistoryDialog &)> runHistory;

private:
    void onRunRecorded(RunEnding how, int newDead, int fixed);
    void setResumable(const RunHandle &run, qint64 id, const QString &tip);

    Engine &m_engine;
    std::unique_ptr<ResultStore> m_store;
    std::unique_ptr<RunRecorder> m_recorder;
    QToolButton *btnHistory = nullptr;
    QToolButton *btnResume = nullptr;
    QComboBox *cbbCache = nullptr;
    // The run to continue: kept or being kept (its id is known once written).
    RunHandle m_resumeRun;
    qint64 m_resumeId = 0;
};
