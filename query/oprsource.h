#pragma once

#include "query/dispatch.h"
#include "shell/ranksource.h"

#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <functional>

class FormState;
class THTTPGet;

struct OprSettings
{
    QString endpoint;
    // The API key, read when a run starts and for every request.
    std::function<QString()> key;
    // Calls resume once seconds have passed; a 429 holds the source back
    // through it. Empty: a timer of the source.
    std::function<void(int seconds, std::function<void()> resume)> pause;
    // Tells the user, once per run, why the source stopped asking: the key
    // was refused, the endpoint redirected to another host, or the service
    // kept answering 429. Empty: the standard error box.
    std::function<void(const QString &message)> report;
    // Why a domain the service answered for got "--" (a rank outside 0 to
    // 10), once per domain. Empty: not told.
    std::function<void(const QString &domain, const QString &reason)> reason;
    // Least time between the starts of two requests: two a second at most.
    int minGapMs = 500;
    // The longest the pauses of one run of 429 answers may add up to.
    int maxPauseSeconds = 120;
};

// Open PageRank as the source of PR cells. As soon as a list is built, every
// distinct registrable domain of its rows is asked, in requests of at most
// 100 domains, one request in flight at a time; each domain once per run.
// The walk then writes each row from its domain's answer, at its tick when
// the answer is there, or the moment it arrives. The key goes only to the
// endpoint's host: a redirect elsewhere is not followed. A refused key, such
// a redirect, or a 429 beyond opr::MaxPausesInARow (or maxPauseSeconds) ends
// the asking: every row left gets "--" and the run can end.
class OprRankSource final : public QObject, public RankSource
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(OprRankSource)

public:
    static QString keyRejectedText() { return QStringLiteral("Open PageRank: API key rejected"); }

    OprRankSource(FormState &form, OprSettings settings);
    ~OprRankSource() override;

    void listBuilt() override;
    void queryRow(int row) override;
    void requeryRow(int row) override;
    int rowsWaiting() const override;

private:
    // Starts a new run when the list is not the one the state belongs to,
    // and then asks for every domain of it, or, for a run that a re-query
    // starts (its PR was not wanted when the list was built), for none.
    void followList(bool wholeList);
    // The domain of row, in the run of the current list. A row without one
    // is answered "--" at once, and the result is empty.
    QString domainOf(int row, bool wholeList);
    void waitFor(int row, const QString &domain);
    void ask(const QString &domain);
    void fillQueue();
    void sendNext();
    void finished(THTTPGet *request, const QByteArray *body);
    void answer(const QString &domain, const QString &cell, const QString &note = QString());
    // Nothing more is asked in this run: domains and every row still
    // waiting get "--", and the user is told why, once.
    void endRun(const QStringList &domains, const QString &message);

    FormState &m_form;
    OprSettings m_settings;

    // The run: the list it belongs to and what is known of its domains.
    quint64 m_generation = 0;
    bool m_started = false;
    quint64 m_run = 0; // a pause of an earlier run resumes nothing
    QHash<QString, RankAnswer> m_answers;
    QHash<QString, QList<int>> m_waiting; // rows whose tick or re-query came before the answer
    QStringList m_queue; // asked, not yet sent, in order
    QSet<QString> m_asked; // in m_queue or in flight
    int m_scanned = 0; // rows whose domain has been asked
    QStringList m_sent; // the domains of the request in flight
    THTTPGet *m_request = nullptr; // the request in flight, owned by this
    bool m_paused = false;
    int m_pausesInARow = 0;
    int m_pausedSeconds = 0; // by the current run of 429 answers
    bool m_ended = false;
    QElapsedTimer m_lastStart;
    QTimer m_gap;
};
