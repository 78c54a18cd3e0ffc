// The engine that runs many fetches on one thread: a thousand at once with
// stops in the middle, and its cap counted by the server.
#include "fetch/fetchengine.h"
#include "fetch/fetchgate.h"
#include "fetchtesting.h"
#include "loadserver.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>

#include <sys/resource.h>

#include <memory>
#include <vector>

namespace {

using namespace std::chrono_literals;

int threadCount()
{
    return int(QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size());
}

// Room for this many more descriptors, or false when the system allows none.
bool roomForDescriptors(rlim_t wanted)
{
    rlimit limit {};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return false;
    if (limit.rlim_cur >= wanted)
        return true;
    if (limit.rlim_max < wanted)
        return false;
    limit.rlim_cur = wanted;
    return setrlimit(RLIMIT_NOFILE, &limit) == 0;
}

LoadServer::Options hosts(int count, std::chrono::milliseconds delay)
{
    LoadServer::Options options;
    options.hosts = count;
    options.delay = delay;
    return options;
}

// A thousand fetches in flight through one multi handle, on one thread. Of
// those that wait on a silent server a third are cancelled (each ends in
// one OnError), a third destroyed (nothing is raised) and the rest stopped
// by the end of the application (at once, nothing raised); meanwhile the
// fetches of an answering server come through.
TEST_F(FetchTest, AThousandInFlightWithStops)
{
    if (!roomForDescriptors(4096))
        GTEST_SKIP() << "needs 4096 descriptors";
    constexpr int kSilent = 750;
    constexpr int kAnswered = 250;
    LoadServer silent(hosts(10, 24h));
    LoadServer answering(hosts(5, 0ms));
    const int threadsBefore = threadCount();

    std::vector<Raised> raised(kSilent + kAnswered);
    std::vector<THTTPGet *> gets;
    for (int i = 0; i < kSilent + kAnswered; ++i) {
        auto *get = new THTTPGet(nullptr);
        get->Engine = FetchEngine::Shared;
        const bool answered = i % 4 == 3;
        get->URL = answered ? answering.url(i % 5, QStringLiteral("/a%1").arg(i)) : silent.url(i % 10, QStringLiteral("/s%1").arg(i));
        recordInto(*get, raised[size_t(i)]);
        get->FetchString();
        gets.push_back(get);
    }
    int mostThreads = 0;
    ASSERT_TRUE(waitFor(
        [&] {
            mostThreads = std::max(mostThreads, threadCount());
            return silent.held() == kSilent && answering.requests() == kAnswered;
        },
        30000))
        << silent.held() << " held, " << answering.requests() << " answered";
    EXPECT_LE(mostThreads, threadsBefore + 2);
    ASSERT_TRUE(waitFor([&] {
        int done = 0;
        for (int i = 3; i < kSilent + kAnswered; i += 4)
            done += raised[size_t(i)].done;
        return done == kAnswered;
    }));
    for (int i = 3; i < kSilent + kAnswered; i += 4) {
        EXPECT_EQ(raised[size_t(i)].body.size(), 16) << i;
        delete gets[size_t(i)];
        gets[size_t(i)] = nullptr;
    }

    // Stops in the middle.
    int silentSeen = 0;
    std::vector<int> cancelled;
    std::vector<int> left;
    for (int i = 0; i < kSilent + kAnswered; ++i) {
        if (!gets[size_t(i)])
            continue;
        switch (silentSeen++ % 3) {
        case 0:
            gets[size_t(i)]->Cancel();
            cancelled.push_back(i);
            break;
        case 1:
            delete gets[size_t(i)];
            gets[size_t(i)] = nullptr;
            break;
        default:
            left.push_back(i);
        }
    }
    ASSERT_TRUE(waitFor([&] {
        for (const int i : cancelled) {
            if (raised[size_t(i)].events() == 0)
                return false;
        }
        return true;
    }));
    for (const int i : cancelled) {
        EXPECT_EQ(raised[size_t(i)].errors, 1) << i;
        EXPECT_EQ(raised[size_t(i)].record.reason, FetchFailure::Cancelled) << i;
        delete gets[size_t(i)];
        gets[size_t(i)] = nullptr;
    }
    // The rest end at once when the application stops them all.
    QElapsedTimer clock;
    clock.start();
    EXPECT_TRUE(THTTPGetThread::StopAll(5000));
    EXPECT_LT(clock.elapsed(), 1000);
    QCoreApplication::processEvents();
    for (const int i : left) {
        EXPECT_EQ(raised[size_t(i)].events(), 0) << i;
        delete gets[size_t(i)];
    }
    int events = 0;
    for (const Raised &r : raised) {
        events += r.events();
        EXPECT_LE(r.events(), 1);
        EXPECT_FALSE(r.offMainThread);
    }
    EXPECT_EQ(events, kAnswered + int(cancelled.size()));
    // Every silent connection was given up by the client.
    EXPECT_TRUE(waitFor([&] { return silent.abandoned() == kSilent; })) << silent.abandoned();
    EXPECT_EQ(silent.requests(), kSilent);
}

// The engine's own cap holds the rest back, as the server counts.
TEST_F(FetchTest, TheSharedEngineKeepsToItsCap)
{
    FetchGate &gate = TFetchEngine::Of(FetchEngine::Shared).Gate();
    const int before = gate.SetCapacity(6);
    LoadServer server(hosts(3, 30ms));
    std::vector<std::unique_ptr<Watched>> fetches;
    for (int i = 0; i < 36; ++i) {
        fetches.push_back(std::make_unique<Watched>(server.url(i % 3, QStringLiteral("/%1").arg(i)), FetchEngine::Shared));
        fetches.back()->get.FetchString();
    }
    EXPECT_EQ(gate.Waiting(), 30);
    ASSERT_TRUE(waitFor([&] {
        int done = 0;
        for (const auto &f : fetches)
            done += f->raised.done;
        return done == 36;
    }));
    EXPECT_EQ(server.mostHeld(), 6);
    EXPECT_EQ(server.requests(), 36);
    gate.SetCapacity(before);
}

// A connection the server keeps open carries the next fetch to that host;
// one it closes is not asked again.
TEST_F(FetchTest, TheSharedEngineKeepsWhatTheServerKeeps)
{
    for (const bool keepAlive : {true, false}) {
        LoadServer::Options options = hosts(1, 0ms);
        options.keepAlive = keepAlive;
        LoadServer server(options);
        // Each fetch starts from the completion of the one before, so that
        // the engine is never idle long enough to let connections go.
        int done = 0;
        THTTPGet get(nullptr);
        get.Engine = FetchEngine::Shared;
        get.OnDoneString = [&](THTTPGet *, const QByteArray &body) {
            EXPECT_EQ(body.size(), 16);
            if (++done < 5)
                get.FetchString();
        };
        get.URL = server.url(0, QStringLiteral("/"));
        get.FetchString();
        ASSERT_TRUE(waitFor([&] { return done == 5; }));
        EXPECT_EQ(server.requests(), 5);
        EXPECT_EQ(server.connections(), keepAlive ? 1 : 5);
    }
}

} // namespace
