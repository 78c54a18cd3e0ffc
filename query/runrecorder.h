#pragma once

#include "query/engine.h"
#include "query/storedanswers.h"
#include "store/records.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <memory>
#include <vector>

class ResultStore;

// Keeps every run of an engine in the result store, by watching what the
// engine tells: a run opened (its input and choices), its list built (the
// rows), every answer (each check and PR, and how the check compares with
// the address's last one: the 变化 column), and how the run closed. It also
// gives the engine what the store knows before a row is asked (the cache,
// and the answers of a run being continued).
class RunRecorder final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(RunRecorder)

public:
    // program: "window" or "cli".
    RunRecorder(Engine &engine, ResultStore &store, QString program, QObject *parent = nullptr);
    // A run still open is recorded as closed with the window.
    ~RunRecorder() override;

    ResultStore &store() { return m_store; }

    // What a batch run is started from, for the list of runs: a list
    // file, or the window's entry box (the default).
    void setBatchInput(const QString &label) { m_batchInput = label; }
    // Rows whose address was checked "√" (and PR answers) within this many
    // seconds are answered from the store; 0: none.
    void setCacheAge(qint64 seconds);
    qint64 cacheAgeSeconds() const { return m_answers.cacheAgeSeconds(); }

    // Continues a run kept in the store: its rows are built again, those it
    // answered take their answers from the store, and the rest are asked.
    // False when the run has no rows to continue with.
    bool resume(qint64 runId);

    // The key of the input a batch or a site survey would have: the last
    // unfinished run of that key is the one --resume continues.
    static QString batchInputKey(const QString &entryText);
    QString siteInputKey(const QString &siteText) const;

    // The store's run of the list being asked (null before the first run):
    // a crawl records the pages it reads, the links it finds and what it
    // queues under it (ResultStore::recordPageRead, ...).
    const RunHandle &currentRun() const { return m_run; }
    // The run being continued (0: a new run): a crawl takes the pages it
    // read and its frontier from it (ResultStore::pagesRead, ::frontier).
    qint64 continuedRun() const { return m_continued; }

signals:
    // A run has closed, and how; its 新死链 and 已修复 counts.
    void runRecorded(RunEnding how, int newDead, int fixed);

private:
    void onRunOpened(RunKind kind, const QString &input);
    void onRunStarted();
    void onRowAnswered(int row);
    void onRowsAdded(int first, int last);
    // The crawl settings, link filter and extractor a crawl was run with.
    void takeCrawlChoices(const QString &options);
    void onRunClosed(RunEnding how);
    void recordCheck(int row, const ResultRow &r, const StoredAnswers::Taken &taken);
    void recordRank(int row, const QString &pr, const StoredAnswers::Taken &taken);
    QString optionsJson() const;

    QPointer<Engine> m_engine;
    FormState &m_state; // the engine's; it outlives the engine's own members
    ResultStore &m_store;
    const QString m_program;
    QString m_batchInput = QStringLiteral("窗口");
    StoredAnswers m_answers;

    RunHandle m_run;
    bool m_open = false; // m_run is open and not yet closed
    bool m_openPending = false; // a batch's run is opened once its rows are known
    RunStart m_pendingStart;
    RunKind m_kind = RunKind::Batch;
    qint64 m_continuing = 0; // resume() asked for this run, to open next
    qint64 m_continued = 0; // the open run continues this one
    quint64 m_generation = 0; // the list the run's answers belong to
    bool m_keepRows = false; // the run's rows are kept
    int m_rowsKept = 0; // rows of the list kept so far
    // What has been recorded of each row, to tell a new answer.
    std::vector<std::shared_ptr<const FetchResult>> m_seenCheck;
    std::vector<QString> m_seenPr;
};
