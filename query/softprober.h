#pragma once

#include "fetch/fetchresult.h"
#include "survey/softnotfound.h"

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QString>

#include <memory>
#include <vector>

class FormState;
class HostQueue;

// Finds soft 404s: a check that answered 2xx is compared with what its
// folder answers for a random name (the folder's address plus 25 random
// lower-case letters, same scheme, host and port), probed once per folder
// and run. A probe that answers anything but 2xx shows a folder that
// behaves: its pages are what they say. Otherwise a page that reads as the
// probe (isSoftNotFound) is the site's "not found" page, class Soft404; the
// site's root page never is.
//
// The engine owns one for its runs and installs judge() as the state's
// judgeSoft. A row whose folder is still being probed waits, unanswered,
// until the probe has answered. Probes are no rows: they go through the
// check queue's host queue when one is given (under the same limits as the
// checks), and are otherwise sent at once. They are requests of the state
// (mode dispatch::ModeProbe), counted by requestsInFlight. Main thread only.
class SoftProber final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SoftProber)

public:
    explicit SoftProber(FormState &form, QObject *parent = nullptr);
    ~SoftProber() override;

    // Probes go through queue from now on; nullptr: sent at once.
    void useQueue(HostQueue *queue);
    // A new run: every folder is forgotten, probes in flight are dropped,
    // and so are the rows that waited for them.
    void reset();

    // FormState::judgeSoft: takes the answer of the check of row over and
    // answers it, now or once its folder's probe has answered. False when
    // there is nothing to compare (the check is off, the root page, a
    // folder that behaves): the row is then Alive.
    bool judge(int row, const QString &url, const FetchResult &record, const QByteArray &body);

    // No row waits for a probe.
    bool idle() const { return m_waitingRows == 0; }
    // Probe requests sent in this run.
    int probesSent() const { return m_sent; }

signals:
    // The last row that waited for a probe has been answered or dropped.
    void settled();

private:
    struct Waiting
    {
        int row = 0;
        quint64 generation = 0;
        FetchResult record;
        SoftPage page;
    };
    struct Folder
    {
        enum class State {
            Probing,
            Behaves,
            AnswersAnything
        };
        State state = State::Probing;
        SoftPage probe; // AnswersAnything: what the random name got
        std::vector<Waiting> waiting;
    };

    void sendProbe(const QString &key, const QString &probeUrl, int order);
    void probeAnswered(const QString &key, const QString &probeUrl, const FetchResult &record, bool fetched, const QByteArray &body);
    void answer(const Waiting &waiting, bool notFoundPage);

    FormState &m_form;
    std::unique_ptr<HostQueue> m_ownQueue; // probes of a run without a check queue
    HostQueue *m_queue = nullptr;
    QHash<QString, Folder> m_folders; // by scheme, host, port and folder
    int m_waitingRows = 0;
    int m_sent = 0;
};
