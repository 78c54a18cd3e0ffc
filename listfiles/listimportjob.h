#pragma once

#include "listfiles/listimport.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <memory>
#include <thread>

// An import (readListFile) on a thread of its own, so that the thread that
// starts it, the window's or the command line's event loop, never waits on
// a slow or endless source and can cancel it: a FIFO that no writer opens,
// an input that never closes.
//
// Each start ends in exactly one finished or failed, raised on the job's
// thread from its event loop, unless the job is destroyed first; failed
// says whether the import was cancelled. Destroying a job cancels its
// import and waits for its thread, a tenth of a second at most.
class ListImportJob final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ListImportJob)

public:
    explicit ListImportJob(QObject *parent = nullptr);
    ~ListImportJob() override;

    // Starts reading path ("-": standard input); false, doing nothing, while
    // an import is under way.
    bool start(const QString &path, qsizetype capacity = MemoCapacity);
    // The import under way gives up; failed(..., true) follows.
    void cancel();
    bool running() const { return m_running; }

signals:
    void finished(const ListText &list);
    // message is the error's text ("Cannot open file ...", "导入已取消", ...).
    void failed(const QString &message, bool cancelled);

private:
    void join();

    std::shared_ptr<std::atomic<bool>> m_cancel;
    std::thread m_thread;
    bool m_running = false;
};
