#pragma once

#include "shell/knownanswers.h"
#include "store/records.h"

#include <QHash>
#include <QList>
#include <QString>

#include <optional>
#include <vector>

class FormState;
class ResultStore;

// What the result store knows of a list's rows before they are asked: the
// answers of the run being continued, and, within the cache age, a "√"
// check of the same address and a PR of the same address (toolbar) or
// registrable domain (Open PageRank) from any run. A "×" or any other
// failed answer is never taken from the cache.
class StoredAnswers final : public KnownAnswers
{
public:
    StoredAnswers(FormState &form, ResultStore &store);
    Q_DISABLE_COPY_MOVE(StoredAnswers)

    // 0: no cache.
    void setCacheAge(qint64 seconds) { m_cacheAgeMs = seconds * 1000; }
    qint64 cacheAgeSeconds() const { return m_cacheAgeMs / 1000; }
    // The PR source whose answers may be taken from the cache ("toolbar",
    // "opr"); empty: none.
    void setRankSource(const QString &source) { m_rankSource = source; }
    const QString &rankSource() const { return m_rankSource; }

    // The answers of run, being continued, for the list built next; its
    // own checks are no earlier checks of its rows.
    void continueWith(qint64 run, QList<std::optional<PriorCheck>> checks, QList<QString> ranks, QList<QString> rankNotes);
    // The run the current list's checks are recorded in (known once the
    // store has written it): its checks are not earlier checks either.
    void setCurrentRun(RunHandle run) { m_currentRun = std::move(run); }

    // The last check of row's address before this run; looked up once per
    // row of the list, a stretch of rows at a time.
    const std::optional<PriorState> &prior(int row);
    // What the rank of row is keyed by for a source: its address, or its
    // registrable domain.
    static QString rankKey(const QString &source, const QString &url);

    // How the answer just written into a row came about.
    enum class Origin {
        Asked, // a reply
        Continued, // the run being continued had it
        Cached, // taken from the cache
    };
    struct Taken
    {
        Origin origin = Origin::Asked;
        qint64 at = 0; // Cached: when it was first asked
    };
    // Asked from the routing's rowAnswered: how the answer being written
    // into row came about (Asked unless this object writes it).
    Taken originOf(int row) const;

    bool knows(int row, RowQuery what) override;
    bool answer(int row, RowQuery what) override;

private:
    struct Known
    {
        Origin origin = Origin::Asked;
        qint64 at = 0;
    };
    // What is known of one part of row; Asked when nothing.
    Known checkKnown(int row);
    Known rankKnown(int row);
    const std::optional<StoredRank> &cachedRank(int row);
    qint64 exceptRun();
    // Each known answer is given once a list: a re-query asks.
    bool given(int row, RowQuery what) const;
    void markGiven(int row, RowQuery what);
    // Whatever was known belongs to the list it was found for: a list
    // built since takes the answers of a run being continued, if any.
    void followList();

    FormState &m_form;
    ResultStore &m_store;
    qint64 m_cacheAgeMs = 0;
    QString m_rankSource;
    RunHandle m_currentRun;
    qint64 m_exceptRun = 0;

    // Of the list built last.
    quint64 m_generation = 0;
    QList<std::optional<PriorCheck>> m_continuedChecks;
    QList<QString> m_continuedRanks;
    QList<QString> m_continuedRankNotes;
    QList<std::optional<PriorCheck>> m_nextChecks;
    QList<QString> m_nextRanks;
    QList<QString> m_nextRankNotes;
    qint64 m_nextRun = 0;
    std::vector<std::optional<PriorState>> m_priors; // by row
    std::vector<int> m_stretchRead; // by stretch of rows: how many were looked up
    QHash<int, std::optional<StoredRank>> m_ranks;
    std::vector<bool> m_given; // by row: check, rank

    // The answer being written: set while the routing tells it.
    int m_writingRow = -1;
    Known m_writing;
};
