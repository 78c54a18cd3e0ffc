#pragma once

#include "shell/ranksource.h"
#include "shell/resultlist.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>

class FormState;
class RankIndex;
class RankIndexLoader;

// How far the index of a ranks file has come while it is made.
struct RankIndexProgress
{
    QString file; // the ranks file
    double share = 0; // 0 to 1
    bool done = false; // the last report: made, failed or cancelled
    bool failed = false; // done, and there is no index
    bool rebuilding = false; // an index was there that could not be used
};

// The line that tells how far the index has come (the last one whether it
// is there).
QString rankIndexProgressText(const RankIndexProgress &progress);

struct GraphRankSettings
{
    QString rankFile;
    // Where indexes are kept; empty: the user's data folder.
    QString indexFolder;
    // Tells the user, once per run, why the file gives no PR. Empty: the
    // standard error box.
    std::function<void(const QString &message)> notice;
    // Reports on the making of the index, on the main thread; false cancels
    // it. Empty: nothing is shown.
    std::function<bool(const RankIndexProgress &)> progress;
};

// The PR cell and the figures that an index gives a row address. The row's
// domain is its registrable domain; in a host-level file the host is tried
// first. An address without a domain (an IP address, a bare public suffix)
// gets "--"; a domain the file does not list "0".
struct GraphAnswer
{
    QString cell;
    std::optional<RankFigures> figures;
};
GraphAnswer graphAnswer(const RankIndex &index, const QString &rowUrl, const QString &release);

// PR from a ranks file of the open web graph, offline: no request is sent.
// Once a list is built every row of it is answered from the file's index, a
// slice of rows at a time so that the window stays live; the walk's ticks
// add nothing. The first use of a file makes its index on a worker thread;
// rows wait for it. A file that cannot be used is said once per run, and
// the rows get "--".
class GraphRankSource final : public QObject, public RankSource
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(GraphRankSource)

public:
    GraphRankSource(FormState &form, GraphRankSettings settings);
    ~GraphRankSource() override;

    void listBuilt() override;
    void queryRow(int row) override;
    void requeryRow(int row) override;
    int rowsWaiting() const override;
    void stop() override;
    bool needsWalk() const override { return false; }

private:
    // Gets the index going when there is none yet, or when the last try
    // failed and may now go otherwise (cancelled, or the file changed).
    void prepare(bool retry);
    // A row asked (again, when retry: a failed index is tried anew): answered
    // now when the index is ready, else when it is.
    void askRow(int row, bool retry);
    bool ready() const;
    bool failed() const;
    void answerRow(int row);
    void fillSome();
    void loaderFinished();
    // The index will not come for this run: its rows get "--".
    void settleWithout();

    FormState &m_form;
    GraphRankSettings m_settings;
    QString m_release;
    std::unique_ptr<RankIndexLoader> m_loader;
    std::optional<qint64> m_triedSize; // the file as the last try found it
    qint64 m_triedTime = 0;

    // The list whose every row is answered, and the next row to answer.
    bool m_filling = false;
    quint64 m_fillGeneration = 0;
    int m_next = 0;
    // Rows asked one by one while the index is on its way.
    QList<int> m_waiting;
    quint64 m_waitingGeneration = 0;
    // The run told why the file gives nothing.
    std::optional<quint64> m_noticed;
    QTimer m_slice;
};
