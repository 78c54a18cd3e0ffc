// A check-only run (the check queue over a list of rows) against 100
// loopback hosts (127.0.0.1 to 127.0.0.100) that answer every request 20 ms
// after it came and then close the connection: the shared engine, the
// thread per fetch, and the yardstick, a plain epoll client under the same
// limits with one new connection a request, on the same list in the same run.
//
// Figures: wall time; the client's processor time per check (the process's,
// less the server's and the sampler's threads), and how much of it the
// application's thread and the shared engine's thread took; the most threads
// the process had beyond those it had before; what the server counted
// (requests, the most it held at once in all and for one host).
//
// The 30,000-address runs take about half a minute together; set
// PRQ_BENCH_QUICK=1 to leave them out.
#include "fetch/fetchengine.h"
#include "fetch/fetchgate.h"
#include "fetch/httpget.h"
#include "fetch/loadserver.h"
#include "query/batch.h"
#include "query/checkqueue.h"
#include "shell/formstate.h"
#include "support/epollchecker.h"
#include "support/loopserver.h"
#include "support/procstats.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QEventLoop>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

namespace {

using namespace std::chrono_literals;

constexpr int kHosts = 100;

enum Client {
    Yardstick,
    Shared,
    OwnThread
};

// Samples the thread count from a thread of its own while a run goes on.
class ThreadSampler final
{
public:
    ThreadSampler()
        : m_thread([this] {
            while (!m_stop) {
                m_peak = std::max(m_peak.load(), procstats::statusField("Threads"));
                std::this_thread::sleep_for(2ms);
            }
            m_cpu = procstats::threadCpuSeconds();
        })
    {
    }
    ~ThreadSampler() { stop(); }
    ThreadSampler(const ThreadSampler &) = delete;
    ThreadSampler &operator=(const ThreadSampler &) = delete;

    void stop()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
    }
    long peak() const { return m_peak; }
    double cpuSeconds() const { return m_cpu; }

private:
    std::atomic<bool> m_stop {false};
    std::atomic<long> m_peak {0};
    double m_cpu = 0;
    std::thread m_thread;
};

// The hosts and the list, made once for every run.
struct Load
{
    Load()
        : server([] {
            LoadServer::Options options;
            options.hosts = kHosts;
            options.delay = 20ms;
            options.bodySize = 2000;
            return options;
        }())
    {
        prqtest::keepTrafficOnLoopback();
    }
    // count addresses, row i on host i % kHosts.
    QString list(int count) const
    {
        QString text;
        for (int i = 0; i < count; ++i)
            text += server.url(i % kHosts, QStringLiteral("/page%1\n").arg(i)).mid(7);
        return text;
    }
    std::vector<EpollTarget> targets(int count) const
    {
        std::vector<EpollTarget> list;
        for (int i = 0; i < count; ++i)
            list.push_back(EpollTarget {server.address(i % kHosts), server.port(i % kHosts), "/page" + std::to_string(i)});
        return list;
    }
    LoadServer server;
};

Load &load()
{
    static Load *const shared = new Load;
    return *shared;
}

// The check queue over the list; the rows answered "√".
int checkQueueRun(const QString &list, int total, int perHost, FetchEngine engine)
{
    FormState form;
    form.bschck2 = false;
    btn1Click(form, list);
    form.tmr2.stop();
    CheckQueueLimits limits;
    limits.total = total;
    limits.perHost = perHost;
    CheckQueue queue(form, limits);
    queue.setFetchEngine(engine);
    QEventLoop loop;
    QObject::connect(&queue, &CheckQueue::allDone, &loop, &QEventLoop::quit, Qt::QueuedConnection);
    queue.start();
    if (!queue.finished())
        loop.exec();
    int answered = 0;
    for (int row = 0; row < form.lv1.count(); ++row)
        answered += form.lv1.cell(row, CellAccess) == QStringLiteral("√") ? 1 : 0;
    THTTPGetThread::WaitForAll(10000);
    return answered;
}

void BM_CheckRun(benchmark::State &state)
{
    const auto client = Client(state.range(0));
    const int count = int(state.range(1));
    const int total = int(state.range(2));
    const int perHost = int(state.range(3));
    if (count > 3000 && qEnvironmentVariableIsSet("PRQ_BENCH_QUICK")) {
        state.SkipWithError("left out (PRQ_BENCH_QUICK)");
        return;
    }
    Load &l = load();
    const QString list = l.list(count);
    const std::vector<EpollTarget> targets = l.targets(count);
    double cpuPerCheck = 0;
    double enginePerCheck = 0;
    double mainPerCheck = 0;
    long extraThreads = 0;
    int answered = 0;
    for (auto _ : state) {
        l.server.resetCounts();
        const long threadsBefore = procstats::statusField("Threads");
        ThreadSampler sampler;
        const double cpuBefore = procstats::processCpuSeconds();
        const double engineBefore = procstats::namedThreadsCpuSeconds("prq-fetches");
        const double mainBefore = procstats::threadCpuSeconds();
        const double serverBefore = l.server.cpuSeconds();
        const auto start = std::chrono::steady_clock::now();
        if (client == Yardstick)
            answered = epollCheck(targets, total, perHost).answered;
        else
            answered = checkQueueRun(list, total, perHost, client == Shared ? FetchEngine::Shared : FetchEngine::OwnThread);
        const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        sampler.stop();
        const double cpu = procstats::processCpuSeconds() - cpuBefore - (l.server.cpuSeconds() - serverBefore) - sampler.cpuSeconds();
        state.SetIterationTime(wall);
        cpuPerCheck += cpu * 1000 / count;
        enginePerCheck += (procstats::namedThreadsCpuSeconds("prq-fetches") - engineBefore) * 1000 / count;
        mainPerCheck += (procstats::threadCpuSeconds() - mainBefore) * 1000 / count;
        extraThreads = std::max(extraThreads, sampler.peak() - threadsBefore - 1); // not the sampler
        if (answered != count) {
            state.SkipWithError("not every row was answered");
            break;
        }
    }
    // Averages over the iterations.
    using benchmark::Counter;
    state.counters["cpu_ms_per_check"] = Counter(cpuPerCheck, Counter::kAvgIterations);
    state.counters["main_thread_ms_per_check"] = Counter(mainPerCheck, Counter::kAvgIterations);
    if (client == Shared)
        state.counters["engine_thread_ms_per_check"] = Counter(enginePerCheck, Counter::kAvgIterations);
    state.counters["threads_added"] = double(extraThreads);
    state.counters["requests"] = double(l.server.requests());
    state.counters["server_most_held"] = l.server.mostHeld();
    int mostPerHost = 0;
    for (int h = 0; h < kHosts; ++h)
        mostPerHost = std::max(mostPerHost, l.server.mostHeld(h));
    state.counters["server_most_per_host"] = mostPerHost;
}

void checkRuns(benchmark::internal::Benchmark *b, int count, int total, int perHost)
{
    b->ArgNames({"client", "urls", "total", "per_host"});
    for (const Client client : {Yardstick, Shared, OwnThread})
        b->Args({client, count, total, perHost});
}
// Raised concurrency, where the processor is the limit.
BENCHMARK(BM_CheckRun)
    ->Apply([](benchmark::internal::Benchmark *b) { checkRuns(b, 30000, 400, 4); })
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
// The default limits, where the servers' 20 ms are the limit.
BENCHMARK(BM_CheckRun)
    ->Apply([](benchmark::internal::Benchmark *b) { checkRuns(b, 3000, 32, 4); })
    ->Iterations(3)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

} // namespace
