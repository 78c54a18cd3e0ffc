#pragma once

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
    // Tells the user, once per run, that the key was refused. Empty: the
    // standard error box.
    std::function<void(const QString &message)> report;
    // Least time between the starts of two requests: two a second at most.
    int minGapMs = 500;
};

// Open PageRank as the source of PR cells. As soon as a list is built, every
// distinct registrable domain of its rows is asked, in requests of at most
// 100 domains, one request in flight at a time; each domain once per run.
// The walk then writes each row from its domain's answer, at its tick when
// the answer is there, or the moment it arrives.
class OprRankSource final : public QObject, public RankSource
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(OprRankSource)

public:
    static QString keyRejectedText() { return QStringLiteral("Open PageRank 拒绝了 API 密钥"); }

    OprRankSource(FormState &form, OprSettings settings);
    ~OprRankSource() override;

    void listBuilt() override;
    void queryRow(int row) override;
    void requeryRow(int row) override;
    int rowsWaiting() const override;
    QList<int> waitingRows() const override;
    void stop() override;

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
    void answer(const QString &domain, const QString &cell);
    void rejectKey(const QStringList &domains);

    FormState &m_form;
    OprSettings m_settings;

    // The run: the list it belongs to and what is known of its domains.
    quint64 m_generation = 0;
    bool m_started = false;
    quint64 m_run = 0; // a pause of an earlier run resumes nothing
    QHash<QString, QString> m_answers;
    QHash<QString, QList<int>> m_waiting; // rows whose tick or re-query came before the answer
    QStringList m_queue; // asked, not yet sent, in order
    QSet<QString> m_asked; // in m_queue or in flight
    int m_scanned = 0; // rows whose domain has been asked
    QStringList m_sent; // the domains of the request in flight
    THTTPGet *m_request = nullptr; // the request in flight, owned by this
    bool m_paused = false;
    bool m_keyRejected = false;
    QElapsedTimer m_lastStart;
    QTimer m_gap;
};
