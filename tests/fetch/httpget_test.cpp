#include "fetch/httpget.h"

#include "base/errors.h"
#include "base/guard.h"
#include "fetch/fetchgate.h"
#include "fetch/mainthreadcall.h"
#include "fetchtesting.h"
#include "rawserver.h"
#include "support/loopserver.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QPointer>
#include <QThread>

#include <chrono>
#include <thread>

namespace {

using prqtest::LoopServer;

// The way the request dispatch uses the component: a subclass with two
// fields, owned by the window, deleted by its own completion handler.
class TRowGet final : public THTTPGet
{
public:
    using THTTPGet::THTTPGet;
    QString mode;
    int rowindex = -1;
};

void answerAfter(LoopServer &server, const std::string &path, int delayMs, const std::string &body)
{
    server.get(path, [delayMs, body](const httplib::Request &, httplib::Response &res) {
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
        res.set_content(body, "text/plain");
    });
}

// The component's behaviour on each engine.
class Component : public EngineTest
{
};

// Waits, without running any event, until a fetch has queued its
// completion for the main thread.
bool completionQueued()
{
    for (int i = 0; i < 5000 && fetchcall::pendingCalls() == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return fetchcall::pendingCalls() > 0;
}

TEST_P(Component, FetchStringWhileBusyStartsNothing)
{
    LoopServer server;
    answerAfter(server, "/slow", 200, "once");
    server.start();
    Watched w(server.url("/slow"), engine());
    w.get.FetchString();
    EXPECT_TRUE(w.get.Busy());
    w.get.FetchString();
    ASSERT_TRUE(waitFor([&] { return w.raised.events() > 0; }));
    EXPECT_FALSE(w.get.Busy());
    ASSERT_TRUE(THTTPGetThread::WaitForAll(5000));
    QCoreApplication::processEvents();
    EXPECT_EQ(w.raised.done, 1);
    EXPECT_EQ(w.raised.errors, 0);
    EXPECT_EQ(server.requestCount(), 1u);

    // An idle component starts again.
    w.get.FetchString();
    ASSERT_TRUE(waitFor([&] { return w.raised.events() == 2; }));
    EXPECT_EQ(w.raised.body, "once");
}

// FetchString runs what waits for the main thread before it returns, in the
// busy case too: here the component's own completion.
TEST_F(FetchTest, FetchStringRunsPendingCompletions)
{
    LoopServer server;
    answerAfter(server, "/", 0, "queued");
    server.start();
    Watched w(server.url("/"));
    w.get.FetchString();
    ASSERT_TRUE(completionQueued());
    EXPECT_EQ(w.raised.events(), 0);
    w.get.FetchString();
    EXPECT_EQ(w.raised.done, 1);
    EXPECT_EQ(w.raised.body, "queued");
    EXPECT_EQ(server.requestCount(), 1u);
}

// Cancel ends in OnError, whether the worker still waits on the network or
// has already finished with a body and only waits for its completion.
TEST_P(Component, CancelEndsInOnError)
{
    RawServer server([](RawServer::Connection &c) {
        if (c.target() == "/done")
            c.send("HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\nbody");
        else
            c.stall();
    });
    for (const char *path : {"/silent", "/done"}) {
        Watched w(server.url(path), engine());
        w.get.FetchString();
        if (QByteArray(path) == "/done") {
            ASSERT_TRUE(completionQueued());
        } else {
            ASSERT_TRUE(waitFor([&] { return server.heads().size() == 1; }));
        }
        QElapsedTimer clock;
        clock.start();
        w.get.Cancel();
        ASSERT_TRUE(waitFor([&] { return w.raised.events() > 0; }, 1000)) << path;
        EXPECT_LT(clock.elapsed(), 1000) << path;
        EXPECT_EQ(w.raised.errors, 1) << path;
        EXPECT_FALSE(w.get.Busy());
    }
}

// A busy component that is destroyed raises nothing, neither at once nor
// later, also when its completion is already queued for the main thread.
TEST_P(Component, DestroyingABusyComponentRaisesNothingEver)
{
    LoopServer server;
    answerAfter(server, "/slow", 100, "late");
    answerAfter(server, "/fast", 0, "early");
    server.start();
    for (const char *path : {"/slow", "/fast"}) {
        Raised raised;
        int progress = 0;
        auto *get = new THTTPGet(nullptr);
        get->URL = server.url(QString::fromLatin1(path));
        get->Engine = engine();
        get->OnProgress = [&progress](THTTPGetThread *, qint32, qint32) { ++progress; };
        recordInto(*get, raised);
        get->FetchString();
        if (QByteArray(path) == "/fast") {
            ASSERT_TRUE(completionQueued());
        }
        delete get;
        ASSERT_TRUE(THTTPGetThread::WaitForAll(5000)) << path;
        QCoreApplication::processEvents();
        EXPECT_EQ(raised.events(), 0) << path;
        EXPECT_EQ(progress, 0) << path;
    }
}

// What the end of the application does: every worker stops at once, attached
// or not, nothing more is raised, and later fetches run normally.
TEST_P(Component, StopAllEndsEveryWorker)
{
    RawServer server([](RawServer::Connection &c) { c.stall(); });
    Watched attached(server.url("/a"), engine());
    auto *detached = new THTTPGet(nullptr);
    detached->URL = server.url("/d");
    detached->Engine = engine();
    attached.get.FetchString();
    detached->FetchString();
    ASSERT_TRUE(waitFor([&] { return server.heads().size() == 2; }));
    delete detached;
    QElapsedTimer clock;
    clock.start();
    EXPECT_TRUE(THTTPGetThread::StopAll(5000));
    EXPECT_LT(clock.elapsed(), 1000);
    QCoreApplication::processEvents();
    EXPECT_EQ(attached.raised.events(), 0);

    const Raised later = fetch(QStringLiteral("http://127.0.0.1:%1/").arg(closedPort()));
    EXPECT_EQ(later.errors, 1);
}

// Handlers that delete their sender, as the window's do, and start new
// fetches from inside a completion; the window owns whatever is in flight.
TEST_P(Component, HandlersMayDeleteTheirSenderAndStartMore)
{
    LoopServer server;
    server.get(R"(/row/(\d+))", [](const httplib::Request &req, httplib::Response &res) {
        res.set_content("row " + std::string(req.matches[1]), "text/plain");
    });
    // A thread for each connection that the shared engine keeps open for
    // the next fetch.
    server.start(32);
    QObject window;
    std::map<int, QByteArray> answers;
    int failures = 0;

    std::function<void(int)> start = [&](int row) {
        auto *get = new TRowGet(&window);
        get->mode = QStringLiteral("gethttp");
        get->rowindex = row;
        get->URL = server.url(QStringLiteral("/row/%1").arg(row));
        get->Engine = engine();
        get->OnDoneString = [&](THTTPGet *Sender, const QByteArray &Result) {
            auto *request = static_cast<TRowGet *>(Sender);
            const int done = request->rowindex;
            answers[done] = Result;
            delete request;
            if (done < 30) // each first-generation answer starts one more
                start(done + 100);
        };
        get->OnError = [&](THTTPGet *Sender) {
            ++failures;
            delete Sender;
        };
        get->FetchString();
    };
    for (int row = 0; row < 30; ++row)
        start(row);
    ASSERT_TRUE(waitFor([&] { return answers.size() + failures == 60; }));
    EXPECT_EQ(failures, 0);
    for (const auto &[row, body] : answers)
        EXPECT_EQ(body, "row " + QByteArray::number(row));
    EXPECT_TRUE(window.children().isEmpty());
}

// Completion and progress run on the main thread, progress after every
// block of at most 1025 bytes, with the worker as its sender.
TEST_F(FetchTest, ProgressAndCompletionOnTheMainThread)
{
    LoopServer server;
    answerAfter(server, "/body", 0, std::string(5000, 'p'));
    server.start();
    QThread *const mainThread = QThread::currentThread();
    std::vector<qint32> readed;
    bool progressOnMain = true;
    bool totalRight = true;
    THTTPGetThread *progressSender = nullptr;
    const Raised raised = fetchOnce(server.url("/body"), [&](THTTPGet &g) {
        g.OnProgress = [&](THTTPGetThread *Sender, qint32 TotalSize, qint32 Readed) {
            progressOnMain = progressOnMain && QThread::currentThread() == mainThread;
            totalRight = totalRight && TotalSize == 5000;
            progressSender = Sender;
            readed.push_back(Readed);
        };
    });
    EXPECT_EQ(raised.body.size(), 5000);
    EXPECT_TRUE(progressOnMain);
    EXPECT_TRUE(totalRight);
    EXPECT_NE(progressSender, nullptr);
    ASSERT_GE(readed.size(), 5u);
    qint32 previous = 0;
    for (qint32 r : readed) {
        EXPECT_GT(r, previous);
        EXPECT_LE(r - previous, 1025);
        previous = r;
    }
    EXPECT_EQ(previous, 5000);
}

TEST_F(FetchTest, WaitThreadDoesNotWaitForTheFetch)
{
    LoopServer server;
    answerAfter(server, "/slow", 300, "later");
    server.start();
    Watched w(server.url("/slow"));
    w.get.WaitThread = true;
    QElapsedTimer clock;
    clock.start();
    w.get.FetchString();
    EXPECT_LT(clock.elapsed(), 250);
    EXPECT_EQ(w.raised.events(), 0);
    ASSERT_TRUE(waitFor([&] { return w.raised.events() > 0; }));
    EXPECT_EQ(w.raised.body, "later");
}

// An exception from a handler ends in the error box, not in the event loop,
// and the fetcher carries on.
TEST_P(Component, HandlerErrorsGoToTheErrorBox)
{
    LoopServer server;
    answerAfter(server, "/", 0, "x");
    server.start();
    QStringList shown;
    const guard::ErrorBox previous = guard::setErrorBox(
        [&shown](const QString &, const QString &message) { shown << message; });
    int calls = 0;
    for (int i = 0; i < 2; ++i) {
        THTTPGet get(nullptr);
        get.URL = server.url("/");
        get.Engine = engine();
        get.OnDoneString = [&calls](THTTPGet *, const QByteArray &) {
            ++calls;
            throw AppError(QStringLiteral("handler failed"));
        };
        get.FetchString();
        ASSERT_TRUE(waitFor([&] { return calls == i + 1; }));
    }
    guard::setErrorBox(previous);
    EXPECT_EQ(shown, QStringList({"handler failed.", "handler failed."}));
}

// Every socket a fetch opens is closed again, whatever its outcome.
TEST_P(Component, NothingIsLeftOpen)
{
    const auto openFiles = [] { return QDir(QStringLiteral("/proc/self/fd")).count(); };
    fetch(QStringLiteral("http://127.0.0.1:%1/").arg(closedPort())); // first use sets the client up
    const auto before = openFiles();
    {
        RawServer server([](RawServer::Connection &c) {
            if (c.target() == "/ok")
                c.send("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok");
            else if (c.target() == "/bad")
                c.send("HTTP/1.1 200 OK\r\nContent-Length: x\r\n\r\nok");
            else
                c.stall();
        });
        for (const char *path : {"/ok", "/bad", "/ok", "/bad"})
            fetch(server.url(QString::fromLatin1(path)));
        fetch(server.url("/silent"), [](THTTPGet &g) { g.IdleTimeoutMs = 100; });
        auto *cancelled = new THTTPGet(nullptr);
        cancelled->URL = server.url("/silent");
        cancelled->Engine = engine();
        cancelled->FetchString();
        ASSERT_TRUE(waitFor([&] { return server.heads().size() == 6; }));
        delete cancelled;
        ASSERT_TRUE(THTTPGetThread::WaitForAll(5000));
    }
    // Connections a server left open are kept a moment for the next fetch.
    EXPECT_TRUE(waitFor([&] { return openFiles() == before; }, 2000)) << openFiles() << " open, " << before << " before";
}

// Voluntary context switches of the fetch workers so far.
long contextSwitches()
{
    long total = 0;
    const QDir tasks(QStringLiteral("/proc/self/task"));
    for (const QString &task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(tasks.filePath(task) + QStringLiteral("/comm"));
        if (!comm.open(QIODevice::ReadOnly) || comm.readAll().trimmed() != "prq-fetch")
            continue;
        QFile status(tasks.filePath(task) + QStringLiteral("/status"));
        if (!status.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray &line : status.readAll().split('\n')) {
            if (line.startsWith("voluntary_ctxt_switches:"))
                total += line.mid(24).trimmed().toLong();
        }
    }
    return total;
}

// Beyond the cap, fetches wait in the order they were started; one that is
// cancelled while it waits ends in OnError at once and never goes out. A
// waiting worker sleeps until its socket or a stop wakes it.
TEST_F(FetchTest, FetchesBeyondTheCapWaitInOrder)
{
    RawServer server([](RawServer::Connection &c) { c.stall(); });
    const int previous = TFetchGate::SetCapacity(2);
    std::vector<std::unique_ptr<Watched>> fetches;
    for (int i = 0; i < 5; ++i) {
        fetches.push_back(std::make_unique<Watched>(server.url(QStringLiteral("/%1").arg(i))));
        fetches.back()->get.FetchString();
    }
    ASSERT_TRUE(waitFor([&] { return server.heads().size() == 2; }));
    EXPECT_EQ(TFetchGate::Waiting(), 3);

    // Two workers waiting on silent sockets for a second: a wake-up ten
    // times a second would be twenty.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const long switchesBefore = contextSwitches();
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    EXPECT_LT(contextSwitches() - switchesBefore, 8);

    fetches[3]->get.Cancel();
    ASSERT_TRUE(waitFor([&] { return fetches[3]->raised.events() == 1; }, 1000));
    EXPECT_EQ(fetches[3]->raised.errors, 1);
    EXPECT_EQ(fetches[3]->raised.record.reason, FetchFailure::Cancelled);
    // Each end lets the next waiting one go.
    for (const int running : {0, 1}) {
        fetches[running]->get.Cancel();
        ASSERT_TRUE(waitFor([&] { return fetches[running]->raised.events() == 1; }, 1000));
        ASSERT_TRUE(waitFor([&] { return server.heads().size() == size_t(3 + running); }));
    }
    std::vector<std::string> targets;
    for (const std::string &head : server.heads())
        targets.push_back(head.substr(4, 2));
    std::sort(targets.begin(), targets.begin() + 2); // the first two start together
    EXPECT_EQ(targets, (std::vector<std::string> {"/0", "/1", "/2", "/4"}));
    for (const int running : {2, 4})
        fetches[running]->get.Cancel();
    ASSERT_TRUE(waitFor([&] { return fetches[2]->raised.events() + fetches[4]->raised.events() == 2; }));
    TFetchGate::SetCapacity(previous);
}

PRQ_ON_BOTH_ENGINES(Component);

} // namespace
