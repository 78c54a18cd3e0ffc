#pragma once

#include "ranks/rankindex.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <memory>
#include <thread>

// Gets the index of one ranks file for a run: maps the one made before when
// it is whole and belongs to the file as it is now, and otherwise makes it on
// a worker thread, telling how far it has come, until it is there, fails or
// is cancelled. Nothing of a failed or cancelled build is kept.
class RankIndexLoader final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(RankIndexLoader)

public:
    enum class State {
        Idle,
        Building,
        Ready,
        Failed,
    };

    // folder: where indexes are kept; empty: rankIndexFolder().
    explicit RankIndexLoader(QString source, QString folder = QString(), QObject *parent = nullptr);
    // Stops a build under way and waits for its thread.
    ~RankIndexLoader() override;

    // Looks for the index, and starts making it when there is none: Ready or
    // Failed when it returns, or Building until finished().
    void start();
    // Stops a build under way: it ends Failed, cancelled().
    void cancel();

    State state() const { return m_state; }
    const std::shared_ptr<const RankIndex> &index() const { return m_index; }
    // Why it failed, in a sentence that names the file.
    const QString &error() const { return m_error; }
    bool cancelled() const { return m_cancelledEnd; }
    // An index was there that could not be used (damaged, half-written): the
    // build replaces it.
    bool rebuilding() const { return m_rebuilding; }
    const QString &source() const { return m_source; }

signals:
    // The share of the build done, 0 to 1, now and then.
    void progress(double share);
    // The build has ended: state() is Ready or Failed.
    void finished();

private:
    void work();
    void ended(std::shared_ptr<const RankIndex> index, const QString &error, bool cancelled);

    QString m_source;
    QString m_folder;
    State m_state = State::Idle;
    std::shared_ptr<const RankIndex> m_index;
    QString m_error;
    bool m_cancelledEnd = false;
    bool m_rebuilding = false;
    std::atomic<bool> m_cancel {false};
    std::atomic<int> m_shown {-1}; // the last progress handed on, in thousandths
    std::thread m_worker;
};
