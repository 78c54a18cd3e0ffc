#pragma once

#include <QObject>

#include <memory>

class QSocketNotifier;

// Turns SIGINT and SIGTERM into a Qt signal on the main thread, for as long as
// the object lives. The handler only writes the signal's number into a pipe
// (the one thing a handler may safely do); the event loop reads it. The
// handler then falls back to the default action, so a second Ctrl+C ends a
// program that hangs while it saves what it has.
class StopSignals final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(StopSignals)

public:
    explicit StopSignals(QObject *parent = nullptr);
    ~StopSignals() override;

    // False when the pipe or the handlers could not be set up.
    bool installed() const { return m_installed; }

signals:
    void received(int signalNumber);

private:
    void readPipe();

    std::unique_ptr<QSocketNotifier> m_notifier;
    bool m_installed = false;
};
