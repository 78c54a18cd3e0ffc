// The program itself, run without a screen as a script runs it, against
// loopback servers: a check-only batch over ten hosts, a site page listed
// with neither query, and a million-line batch with neither query. Figures are
// wall time from start to exit, the child's processor time (which a busy
// machine inflates less) and its peak resident memory.
#include "support/childrun.h"
#include "support/loopserver.h"

#include <QByteArray>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

namespace {

using prqbench::ChildRun;
using prqbench::report;
using prqbench::writeFile;

ChildRun runProgram(const QStringList &args)
{
    return prqbench::runChild(PRQUERY_EXE, args);
}

// 300 addresses, 30 on each of 127.0.0.1 to 127.0.0.10, every server
// answering after 20 ms and counting the requests it serves at once.
void BM_CheckOnlyTenHosts(benchmark::State &state)
{
    struct Host
    {
        prqtest::LoopServer server;
        std::atomic<int> now {0};
        std::atomic<int> most {0};
    };
    std::vector<std::unique_ptr<Host>> hosts;
    QStringList lines;
    for (int h = 1; h <= 10; ++h) {
        auto host = std::make_unique<Host>();
        Host *raw = host.get();
        host->server.bindTo("127.0.0." + std::to_string(h)).get(R"(/page\d+)", [raw](const httplib::Request &, httplib::Response &res) {
            const int n = ++raw->now;
            int seen = raw->most.load();
            while (n > seen && !raw->most.compare_exchange_weak(seen, n)) {
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            --raw->now;
            res.set_content(std::string(2000, 'x'), "text/html");
        });
        host->server.start(8);
        for (int i = 0; i < 30; ++i)
            lines << QStringLiteral("127.0.0.%1:%2/page%3").arg(h).arg(host->server.port()).arg(i);
        hosts.push_back(std::move(host));
    }
    QTemporaryDir dir;
    const QString in = writeFile(dir, QStringLiteral("in.txt"), lines.join(QLatin1Char('\n')).toUtf8());
    const QString servers = writeFile(dir, QStringLiteral("servers.txt"), "127.0.0.1:9\n");
    for (auto _ : state) {
        QStringList args {"--servers", servers, "--banner", "none", "--batch", in, "--no-pr", "--out", dir.filePath("out.csv")};
        // 1: only the work the checks did before soft-404 probes and the
        // result store, for comparing with earlier builds.
        if (state.range(0) == 1)
            args << "--soft404"
                 << "off"
                 << "--store"
                 << "none";
        const ChildRun run = runProgram(args);
        report(state, run);
    }
    int most = 0;
    size_t requests = 0;
    for (const auto &h : hosts) {
        most = std::max(most, h->most.load());
        requests += h->server.requestCount();
    }
    state.counters["max_in_flight_per_host"] = most;
    state.counters["requests"] = double(requests);
}
BENCHMARK(BM_CheckOnlyTenHosts)->Arg(0)->Arg(1)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);

// A page of 3,860 links listed and written, neither query.
void BM_SitePageListOnly(benchmark::State &state)
{
    QByteArray page = "<html><body>\n";
    for (int i = 0; i < 3860; ++i)
        page += "<li><a href=\"/news/2024/item" + QByteArray::number(i) + ".html\">新闻 <b>第" + QByteArray::number(i) + "条</b></a></li>\n";
    page += "</body></html>\n";
    prqtest::LoopServer site;
    site.get("/index.html", [&page](const httplib::Request &, httplib::Response &res) { res.set_content(page.toStdString(), "text/html; charset=utf-8"); });
    site.start();
    QTemporaryDir dir;
    const QString servers = writeFile(dir, QStringLiteral("servers.txt"), "127.0.0.1:9\n");
    for (auto _ : state) {
        const ChildRun run = runProgram({"--servers", servers, "--banner", "none", "--site", site.url("/index.html"), "--no-pr", "--no-deadlink",
            "--long", "--out", dir.filePath("out.txt")});
        report(state, run);
    }
    QFile out(dir.filePath("out.txt"));
    state.counters["rows"] = out.open(QIODevice::ReadOnly) ? double(out.readAll().count("\r\r\n")) : 0;
}
BENCHMARK(BM_SitePageListOnly)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);

// A million-line batch imported, built and written, neither query. Arg 0:
// --store none; 1: kept in the result store (a run of its own each time).
void BM_MillionLineBatchListOnly(benchmark::State &state)
{
    const bool withStore = state.range(0) == 1;
    QTemporaryDir dir;
    QByteArray bytes;
    bytes.reserve(40 << 20);
    for (int i = 0; i < 1000000; ++i)
        bytes += "http://www.example" + QByteArray::number(i % 997) + ".com.cn/news/2024/item_" + QByteArray::number(i) + ".html\n";
    const QString in = writeFile(dir, QStringLiteral("in.txt"), bytes);
    const QString servers = writeFile(dir, QStringLiteral("servers.txt"), "127.0.0.1:9\n");
    for (auto _ : state) {
        const ChildRun run = runProgram({"--servers", servers, "--banner", "none", "--batch", in, "--no-pr", "--no-deadlink", "--out",
            dir.filePath("out.txt"), "--store", withStore ? dir.filePath("results.sqlite") : QStringLiteral("none")});
        report(state, run);
    }
    state.counters["input_MB"] = double(bytes.size()) / (1 << 20);
}
BENCHMARK(BM_MillionLineBatchListOnly)->Arg(0)->Arg(1)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace
