// The per-host request queue that check-only runs, the crawl and the probes
// send through: holds, spacing, and work added from a handler.
#include "fetch/finishedrequest.h"
#include "fetch/httpget.h"
#include "query/hostqueue.h"
#include "support/loopserver.h"
#include "support/waiting.h"

#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <mutex>
#include <vector>

namespace {

struct HostQueueTest : ::testing::Test
{
    prqtest::LoopServer a, b;
    std::mutex mutex;
    std::vector<std::pair<char, qint64>> arrivals; // host, ms since the start
    QElapsedTimer clock;

    void SetUp() override
    {
        clock.start();
        const auto note = [this](char host) {
            return [this, host](const httplib::Request &, httplib::Response &res) {
                {
                    std::lock_guard<std::mutex> lock(mutex);
                    arrivals.emplace_back(host, clock.elapsed());
                }
                res.set_content("ok", "text/plain");
            };
        };
        a.bindTo("127.0.0.1").get("/.*", note('a'));
        b.bindTo("127.0.0.2").get("/.*", note('b'));
        a.start();
        b.start();
    }

    // Queues a GET of url whose answer is counted in answered.
    void add(HostQueue &queue, quint64 order, const QString &url, int &answered, std::function<void()> then = {})
    {
        queue.add(
            order, url,
            [url] {
                auto request = std::make_unique<THTTPGet>(nullptr);
                request->URL = url;
                return request;
            },
            [&answered, then](THTTPGet *sender, bool, const QByteArray &) {
                const FinishedRequest done(sender);
                ++answered;
                if (then)
                    then();
            });
    }
    std::vector<std::pair<char, qint64>> seen()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return arrivals;
    }
};

TEST_F(HostQueueTest, AHeldHostWaitsWhileOthersGoOn)
{
    HostQueue queue(HostQueueLimits {});
    int answered = 0;
    for (int i = 0; i < 3; ++i)
        add(queue, quint64(i), a.url(QStringLiteral("/a%1").arg(i)), answered);
    for (int i = 0; i < 3; ++i)
        add(queue, quint64(10 + i), b.url(QStringLiteral("/b%1").arg(i)), answered);
    queue.hold(HostQueue::hostKey(a.url()));
    queue.kick();
    ASSERT_TRUE(prqtest::waitUntil([&] { return answered == 3; }));
    EXPECT_EQ(a.requestCount(), 0u);
    EXPECT_EQ(queue.waiting(), 3);
    queue.letGo(HostQueue::hostKey(a.url()));
    ASSERT_TRUE(prqtest::waitUntil([&] { return queue.idle(); }));
    EXPECT_EQ(answered, 6);
    EXPECT_EQ(a.requestCount(), 3u);
}

TEST_F(HostQueueTest, SpacingKeepsStartsApartOnThatHostOnly)
{
    HostQueue queue(HostQueueLimits {});
    queue.setSpacing(HostQueue::hostKey(a.url()), 150);
    int answered = 0;
    for (int i = 0; i < 3; ++i) {
        add(queue, quint64(2 * i), a.url(QStringLiteral("/a%1").arg(i)), answered);
        add(queue, quint64(2 * i + 1), b.url(QStringLiteral("/b%1").arg(i)), answered);
    }
    queue.kick();
    ASSERT_TRUE(prqtest::waitUntil([&] { return queue.idle(); }));
    std::vector<qint64> atA, atB;
    for (const auto &[host, ms] : seen())
        (host == 'a' ? atA : atB).push_back(ms);
    ASSERT_EQ(atA.size(), 3u);
    ASSERT_EQ(atB.size(), 3u);
    // Arrivals jitter by the time a connection takes; unspaced, these
    // would all come within a few milliseconds.
    EXPECT_GE(atA[1] - atA[0], 110);
    EXPECT_GE(atA[2] - atA[1], 110);
    EXPECT_LT(atB[2], atA[2]) << "the other host is not spaced";
}

TEST_F(HostQueueTest, AHandlerAddsWorkThatStartsAfterIt)
{
    HostQueueLimits limits;
    limits.total = 1;
    HostQueue queue(limits);
    int answered = 0;
    int idleTold = 0;
    QObject::connect(&queue, &HostQueue::becameIdle, [&] { ++idleTold; });
    // Each answer adds the next page, as a crawl does, up to five.
    std::function<void()> next = [&] {
        if (answered < 5)
            add(queue, quint64(answered), a.url(QStringLiteral("/n%1").arg(answered)), answered, next);
    };
    add(queue, 0, a.url(QStringLiteral("/start")), answered, next);
    queue.kick();
    ASSERT_TRUE(prqtest::waitUntil([&] { return queue.idle(); }));
    EXPECT_EQ(answered, 5);
    EXPECT_EQ(a.requestCount(), 5u);
    EXPECT_EQ(idleTold, 1);
}

} // namespace
