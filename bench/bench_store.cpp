// What keeping every run in the result store costs a run of the program:
// a check-only run of 100,000 addresses with the store and with --store
// none, and a run whose 10,000 rows are all in the cache (the million-line
// run that asks nothing is in bench_headless). Figures are wall time from start to
// exit, the child's processor time (which a busy machine inflates less) and
// its peak resident memory.
#include "store/resultstore.h"
#include "support/childrun.h"
#include "support/loopserver.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace {

using prqbench::ChildRun;
using prqbench::report;
using prqbench::writeFile;

ChildRun runProgram(const QStringList &args)
{
    return prqbench::runChild(PRQUERY_EXE, args);
}

// Servers on 127.0.0.1 to 127.0.0.10 that answer at once.
struct Hosts
{
    std::vector<std::unique_ptr<prqtest::LoopServer>> servers;
    explicit Hosts(int n)
    {
        for (int h = 1; h <= n; ++h) {
            auto s = std::make_unique<prqtest::LoopServer>();
            s->bindTo("127.0.0." + std::to_string(h)).get(R"(/p\d+)", [](const httplib::Request &, httplib::Response &res) {
                res.set_content("<html>live</html>", "text/html");
            });
            s->start(8);
            servers.push_back(std::move(s));
        }
    }
    size_t requests() const
    {
        size_t n = 0;
        for (const auto &s : servers)
            n += s->requestCount();
        return n;
    }
    QByteArray list(int rows) const
    {
        QByteArray bytes;
        for (int i = 0; i < rows; ++i) {
            const auto &s = servers[std::size_t(i) % servers.size()];
            bytes += "127.0.0." + QByteArray::number(int(i % servers.size()) + 1) + ":" + QByteArray::number(s->port()) + "/p" + QByteArray::number(i) + "\n";
        }
        return bytes;
    }
};

QStringList baseArgs(const QString &servers, const QString &in, const QString &out)
{
    return {"--servers", servers, "--banner", "none", "--batch", in, "--out", out};
}

// 100,000 addresses on ten hosts, checks only, with --store none and with
// a store that holds an earlier run of the same list (every row compared
// with its last check). The two alternate, so that a machine whose load
// changes weighs on both alike; the time is the pair's, the counters give
// each side's mean.
void BM_CheckOnly100k(benchmark::State &state)
{
    Hosts hosts(10);
    QTemporaryDir dir;
    const QString in = writeFile(dir, QStringLiteral("in.txt"), hosts.list(100000));
    const QString servers = writeFile(dir, QStringLiteral("servers.txt"), "127.0.0.1:9\n");
    const QStringList args = baseArgs(servers, in, dir.filePath(QStringLiteral("out.csv"))) << "--no-pr"
                                                                                            << "--store";
    const QString store = dir.filePath(QStringLiteral("results.sqlite"));
    if (runProgram(args + QStringList {store}).status != 0) {
        state.SkipWithError("the earlier run failed");
        return;
    }
    double wall[2] = {0, 0};
    double cpu[2] = {0, 0};
    for (auto _ : state) {
        const ChildRun without = runProgram(args + QStringList {QStringLiteral("none")});
        const ChildRun with = runProgram(args + QStringList {store});
        if (without.status != 0 || with.status != 0) {
            state.SkipWithError("the program failed");
            break;
        }
        state.SetIterationTime(without.seconds + with.seconds);
        wall[0] += without.seconds;
        wall[1] += with.seconds;
        cpu[0] += without.cpuSeconds;
        cpu[1] += with.cpuSeconds;
    }
    const double n = double(state.iterations());
    if (n == 0 || wall[0] <= 0)
        return;
    state.counters["wall_none_s"] = wall[0] / n;
    state.counters["wall_store_s"] = wall[1] / n;
    state.counters["cpu_none_s"] = cpu[0] / n;
    state.counters["cpu_store_s"] = cpu[1] / n;
    state.counters["wall_extra_pct"] = 100.0 * (wall[1] - wall[0]) / wall[0];
    state.counters["cpu_extra_pct"] = 100.0 * (cpu[1] - cpu[0]) / cpu[0];
}
BENCHMARK(BM_CheckOnly100k)->Iterations(3)->UseManualTime()->Unit(benchmark::kSecond);

// 10,000 rows checked "√" a moment ago, run again with --cache-age 1h: no
// request goes out.
void BM_AllCached10k(benchmark::State &state)
{
    Hosts hosts(2);
    QTemporaryDir dir;
    const QString in = writeFile(dir, QStringLiteral("in.txt"), hosts.list(10000));
    const QString servers = writeFile(dir, QStringLiteral("servers.txt"), "127.0.0.1:9\n");
    QStringList args = baseArgs(servers, in, dir.filePath(QStringLiteral("out.csv"))) << "--no-pr"
                                                                                      << "--store" << dir.filePath(QStringLiteral("results.sqlite"));
    if (runProgram(args).status != 0) {
        state.SkipWithError("the first run failed");
        return;
    }
    const size_t before = hosts.requests();
    args << "--cache-age"
         << "1h";
    for (auto _ : state)
        report(state, runProgram(args));
    state.counters["requests"] = double(hosts.requests() - before);
}
BENCHMARK(BM_AllCached10k)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);

// The store's own costs, per row of a run: a check handed to the writer and
// written, and the last check of an address looked up (as every checked row
// does to fill 变化).
void BM_WriteAndLookUp(benchmark::State &state)
{
    QTemporaryDir dir;
    ResultStore::Opened opened = ResultStore::open(dir.filePath(QStringLiteral("results.sqlite")));
    ResultStore &store = *opened.store;
    const int rows = int(state.range(0));
    std::vector<QString> urls;
    for (int i = 0; i < rows; ++i)
        urls.push_back(QStringLiteral("127.0.0.%1:8080/p%2?q=%2").arg(i % 10 + 1).arg(i));
    RunStart start;
    start.program = QStringLiteral("cli");
    start.kind = QStringLiteral("batch");
    const RunHandle earlier = store.openRun(start);
    CheckRecord check;
    check.verdict = VerdictClass::Alive;
    check.access = QStringLiteral("√");
    check.fetch.hops = {200};
    for (int i = 0; i < rows; ++i) {
        check.row = i;
        check.url = urls[std::size_t(i)];
        store.recordCheck(earlier, check);
    }
    store.flush(60000);
    double writeSeconds = 0;
    double lookUpSeconds = 0;
    for (auto _ : state) {
        const RunHandle run = store.openRun(start);
        QElapsedTimer clock;
        clock.start();
        // A stretch at a time, as a run looks its rows up.
        for (int i = 0; i < rows; i += 256)
            benchmark::DoNotOptimize(store.lastStates(std::vector<QString>(urls.begin() + i, urls.begin() + std::min(rows, i + 256)), run->id));
        lookUpSeconds += double(clock.nsecsElapsed()) / 1e9;
        clock.restart();
        for (int i = 0; i < rows; ++i) {
            check.row = i;
            check.url = urls[std::size_t(i)];
            store.recordCheck(run, check);
        }
        store.flush(60000);
        writeSeconds += double(clock.nsecsElapsed()) / 1e9;
    }
    state.counters["lookup_us"] = lookUpSeconds * 1e6 / double(rows * state.iterations());
    state.counters["write_us"] = writeSeconds * 1e6 / double(rows * state.iterations());
}
BENCHMARK(BM_WriteAndLookUp)->Arg(100000)->Iterations(2)->Unit(benchmark::kMillisecond);

} // namespace
