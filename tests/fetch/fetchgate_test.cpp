// The gate of an engine, with a launcher that only records: the order, the
// cap, and how a shortage holds fetches back, without a socket.
#include "fetch/fetchgate.h"

#include "fetchtesting.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <vector>

namespace {

using namespace std::chrono_literals;

// A gate whose launcher keeps what it was given, or refuses it while
// `refuse` is set, as an engine does that finds no resources.
struct FakeEngine
{
    explicit FakeEngine(int capacity, std::chrono::milliseconds pause = 250ms)
        : gate(
            [this](TFetchNode &fetch) {
                ++attempts;
                if (refuse)
                    return false;
                launched.push_back(fetch.front().settings.URL);
                running.emplace_back();
                running.back().splice(running.back().begin(), fetch);
                return true;
            },
            capacity, pause)
    {
    }

    // A fetch named name, whose reports are counted.
    TFetchNode fetch(const QString &name, int requestTimeoutMs = 60000)
    {
        TFetchNode node(1);
        node.front().settings.URL = name;
        node.front().settings.RequestTimeoutMs = requestTimeoutMs;
        node.front().link = std::make_shared<TFetchLink>();
        node.front().link->Report = [this, name](TFetchCompletion &completion) {
            reported.push_back(name);
            reasons.push_back(completion.record.reason);
            EXPECT_EQ(completion.record.finalUrl, name);
        };
        return node;
    }
    // The running fetch called name ends, or runs short and asks to wait.
    void end(const QString &name, bool shortage = false)
    {
        for (auto it = running.begin(); it != running.end(); ++it) {
            if (it->front().settings.URL != name)
                continue;
            if (shortage) {
                ASSERT_TRUE(gate.Retry(*it));
                gate.Release(false);
            } else {
                gate.Release(true);
            }
            running.erase(it);
            return;
        }
        FAIL() << "not running: " << qPrintable(name);
    }

    bool refuse = false;
    int attempts = 0;
    QStringList launched;
    std::vector<TFetchNode> running;
    QStringList reported;
    std::vector<FetchFailure> reasons;
    FetchGate gate;
};

TEST(FetchGate, LaunchesInOrderUpToTheCap)
{
    FakeEngine engine(2);
    for (const char *name : {"a", "b", "c", "d", "e"})
        engine.gate.Submit(engine.fetch(QString::fromLatin1(name)));
    EXPECT_EQ(engine.launched, QStringList({"a", "b"}));
    EXPECT_EQ(engine.gate.Waiting(), 3);
    EXPECT_EQ(engine.gate.InFlight(), 2);

    // Each end lets the next one go, from the event processing.
    engine.end(QStringLiteral("a"));
    EXPECT_EQ(engine.launched.size(), 2);
    ASSERT_TRUE(waitFor([&] { return engine.launched.size() == 3; }));
    EXPECT_EQ(engine.launched.last(), QStringLiteral("c"));

    // One withdrawn while it waits never runs, and is reported cancelled.
    TFetchNode extra = engine.fetch(QStringLiteral("f"));
    const TFetchLink *f = extra.front().link.get();
    engine.gate.Submit(std::move(extra));
    EXPECT_TRUE(engine.gate.Withdraw(f));
    EXPECT_FALSE(engine.gate.Withdraw(f));
    EXPECT_TRUE(engine.reported.isEmpty()); // never from inside the call
    ASSERT_TRUE(waitFor([&] { return engine.reported.size() == 1; }));
    EXPECT_EQ(engine.reported, QStringList({"f"}));
    EXPECT_EQ(engine.reasons.at(0), FetchFailure::Cancelled);

    engine.end(QStringLiteral("b"));
    engine.end(QStringLiteral("c"));
    ASSERT_TRUE(waitFor([&] { return engine.launched.size() == 5; }));
    EXPECT_EQ(engine.launched, QStringList({"a", "b", "c", "d", "e"}));
    EXPECT_EQ(engine.gate.Waiting(), 0);

    // A wider cap lets more go at once.
    for (const char *name : {"g", "h", "i"})
        engine.gate.Submit(engine.fetch(QString::fromLatin1(name)));
    EXPECT_EQ(engine.gate.Waiting(), 3);
    EXPECT_EQ(engine.gate.SetCapacity(5), 2);
    EXPECT_EQ(engine.gate.Waiting(), 0);
    EXPECT_EQ(engine.gate.InFlight(), 5);
}

// A fetch that ran short goes back to the front of the queue, and no more
// run than ran then; each fetch that ends normally lets one more run again.
TEST(FetchGate, AShortageLowersTheLimitUntilFetchesEnd)
{
    FakeEngine engine(4);
    for (const char *name : {"a", "b", "c", "d", "e", "f"})
        engine.gate.Submit(engine.fetch(QString::fromLatin1(name)));
    ASSERT_EQ(engine.launched, QStringList({"a", "b", "c", "d"}));

    engine.end(QStringLiteral("c"), true); // three others ran when it found none
    EXPECT_EQ(engine.gate.Limit(), 3);
    EXPECT_EQ(engine.gate.InFlight(), 3);
    QCoreApplication::processEvents();
    EXPECT_EQ(engine.launched.size(), 4); // held back

    engine.end(QStringLiteral("a")); // the limit grows by one, and one slot is free
    ASSERT_TRUE(waitFor([&] { return engine.launched.size() == 6; }));
    EXPECT_EQ(engine.launched.mid(4), QStringList({"c", "e"})); // the one that ran short first
    EXPECT_EQ(engine.gate.Limit(), 4);
    EXPECT_EQ(engine.gate.InFlight(), 4);
    EXPECT_EQ(engine.gate.Waiting(), 1);
    EXPECT_TRUE(engine.reported.isEmpty());
}

// With nothing running whose end would free something, a fetch that ran
// short waits a pause and is tried again; one still short at its
// whole-request limit is reported as a shortage.
TEST(FetchGate, AShortageWithNothingRunningPausesThenTriesAgain)
{
    FakeEngine engine(4, 40ms);
    engine.gate.Submit(engine.fetch(QStringLiteral("a")));
    ASSERT_EQ(engine.launched.size(), 1);
    QElapsedTimer clock;
    clock.start();
    engine.end(QStringLiteral("a"), true);
    EXPECT_EQ(engine.gate.Limit(), 1);
    ASSERT_TRUE(waitFor([&] { return engine.launched.size() == 2; }));
    EXPECT_GE(clock.elapsed(), 35);
    EXPECT_LT(clock.elapsed(), 1000);
    engine.end(QStringLiteral("a"));

    // A launcher that finds nothing is the same shortage.
    engine.refuse = true;
    engine.gate.Submit(engine.fetch(QStringLiteral("b"), 200));
    ASSERT_TRUE(waitFor([&] { return engine.reported.size() == 1; }));
    EXPECT_GE(clock.elapsed(), 200);
    EXPECT_EQ(engine.reasons.at(0), FetchFailure::Resources);
    EXPECT_GE(engine.attempts, 3); // tried after each pause
    EXPECT_LE(engine.attempts, 8);
    EXPECT_EQ(engine.gate.InFlight(), 0);
}

// A stop requested while a fetch ran short ends it: it does not go back.
TEST(FetchGate, AStoppedFetchDoesNotGoBackToWait)
{
    FakeEngine engine(2);
    engine.gate.Submit(engine.fetch(QStringLiteral("a")));
    ASSERT_EQ(engine.running.size(), 1u);
    engine.running.front().front().link->StopRequested = true;
    EXPECT_FALSE(engine.gate.Retry(engine.running.front()));
    EXPECT_EQ(engine.gate.Waiting(), 0);
    EXPECT_EQ(engine.running.front().size(), 1u); // still the caller's to report
}

} // namespace
