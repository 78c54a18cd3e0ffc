#pragma once

#include "store/records.h"

#include <QString>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <variant>
#include <vector>

// The thread that writes the result store. Records are handed over from
// the main thread without waiting and written in batches, one transaction
// each: every quarter of a second, or sooner once many are waiting, so that
// a process killed at any moment loses at most the last second. A store that
// another process is writing is waited for and the batch tried again; any
// other failure (a full disk, a read-only or damaged file) is told once and
// ends the writing, with the file left as its last good transaction left it.
class StoreWriter final
{
public:
    struct Options
    {
        int batchMs = 250;
        std::size_t batchRecords = 4000;
        int busyTimeoutMs = 1000; // one wait for the lock; the batch is then tried again
        int maxPageCount = 0; // > 0: the file may grow no further (tests of a full disk)
    };
    // Told on the writer thread, once: why nothing more is written.
    using ProblemSink = std::function<void(const QString &message)>;

    StoreWriter(const QString &path, Options options, ProblemSink problem);
    // Writes what is waiting, for at most the time given to finish(), then
    // ends the thread.
    ~StoreWriter();
    Q_DISABLE_COPY_MOVE(StoreWriter)

    struct OpenRun
    {
        RunHandle run;
        RunStart start;
        // For a list key: the addresses of the rows (the key is worked out
        // here, off the main thread).
        std::shared_ptr<const std::vector<QString>> keyUrls;
    };
    struct ContinueRun
    {
        RunHandle run;
        qint64 runId = 0;
    };
    struct Rows
    {
        RunHandle run;
        std::shared_ptr<const std::vector<StoredRow>> rows;
        int first = 0; // the list position of the first of rows
        int count = 0; // rows in the list; rows may be empty when they are not kept
    };
    struct Check
    {
        RunHandle run;
        CheckRecord record;
    };
    struct Rank
    {
        RunHandle run;
        RankRecord record;
    };
    struct EndRun
    {
        RunHandle run;
        RunEnd end;
    };
    struct Page
    {
        RunHandle run;
        PageRead page;
    };
    struct Link
    {
        RunHandle run;
        LinkFound link;
    };
    struct Queued
    {
        RunHandle run;
        FrontierEntry entry;
    };
    struct Robots
    {
        RunHandle run;
        RobotsRead robots;
    };
    struct Sitemap
    {
        RunHandle run;
        SitemapRead sitemap;
    };
    using Record = std::variant<OpenRun, ContinueRun, Rows, Check, Rank, EndRun, Page, Link, Queued, Robots, Sitemap>;

    void post(Record record);
    // Waits until everything posted so far has been written (or dropped
    // after a failure); false when timeoutMs passed first.
    bool flush(int timeoutMs);
    // How long the destructor may still wait for a busy store.
    void setFinishTimeout(int ms) { m_finishTimeoutMs = ms; }
    // Records not written because the store failed or stayed busy.
    std::size_t dropped() const;

private:
    class Session;
    void loop();

    const QString m_path;
    const Options m_options;
    const ProblemSink m_problem;
    std::atomic<int> m_finishTimeoutMs {5000};

    mutable std::mutex m_mutex;
    std::condition_variable m_wake; // to the writer: records, a flush, the end
    std::condition_variable m_written; // to the waiters: a batch is done
    std::deque<Record> m_queue;
    std::size_t m_posted = 0;
    std::size_t m_done = 0; // written or dropped
    std::size_t m_dropped = 0;
    bool m_flushWanted = false;
    bool m_stopping = false;
    bool m_failed = false;
    std::thread m_thread;
};
