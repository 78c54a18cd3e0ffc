// A 200-row batch at the 200 ms interval through the real window (off screen)
// against loopback ranking and web servers. Reports how long the walk took
// against 200 x 200 ms, and the longest stall of the window's event loop
// while the replies arrived.
#include "app/Unit1.h"
#include "query/dispatch.h"
#include "support/loopserver.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <algorithm>

namespace {

void BM_BatchWalk(benchmark::State &state)
{
    const int rows = int(state.range(0));
    const int interval = 200;
    prqtest::LoopServer ranking;
    ranking.get("/search", [](const httplib::Request &, httplib::Response &res) { res.set_content("Rank_1:1:5\n", "text/plain"); });
    ranking.start();
    prqtest::LoopServer web;
    web.get(R"(/page\d+)", [](const httplib::Request &, httplib::Response &res) { res.set_content(std::string(10000, 'x'), "text/html"); });
    web.start();

    WindowEndpoints endpoints;
    endpoints.servers = {QStringLiteral("127.0.0.1:%1").arg(ranking.port())};
    TForm1 form(endpoints, TForm1::defaultSeams());
    form.show();
    form.setChoices(true, true, true, 0, interval);
    QStringList lines;
    for (int i = 0; i < rows; ++i)
        lines << QStringLiteral("127.0.0.1:%1/page%2").arg(web.port()).arg(i);
    form.setEntryText(lines.join(QLatin1Char('\n')));
    FormState &s = form.state();

    for (auto _ : state) {
        qint64 maxGapMs = 0;
        qint64 walkMs = 0;
        QElapsedTimer clock;
        QElapsedTimer sinceBeat;
        QTimer beat;
        beat.setTimerType(Qt::PreciseTimer);
        beat.setInterval(5);
        QObject::connect(&beat, &QTimer::timeout, [&] {
            maxGapMs = std::max(maxGapMs, sinceBeat.elapsed() - 5);
            sinceBeat.restart();
        });
        QEventLoop loop;
        QTimer poll;
        poll.setInterval(1);
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (walkMs == 0 && !s.tmr2.isActive())
                walkMs = clock.elapsed();
            if (walkMs != 0 && requestsInFlight(s) == 0)
                loop.quit();
        });
        clock.start();
        sinceBeat.start();
        form.btn1Click();
        beat.start();
        poll.start();
        loop.exec();
        const qint64 allMs = clock.elapsed();
        const double ideal = double(rows) * interval;
        state.counters["walk_ms"] = double(walkMs);
        state.counters["walk_vs_ideal_pct"] = (double(walkMs) - ideal) / ideal * 100.0;
        state.counters["all_replies_ms"] = double(allMs);
        state.counters["max_loop_stall_ms"] = double(maxGapMs);
        state.counters["replies_counted"] = s.donecount;
        if (s.donecount != rows || s.lv1.cell(rows - 1, CellPr) != QLatin1String("5"))
            state.SkipWithError("not every row was answered");
    }
}
BENCHMARK(BM_BatchWalk)->Arg(200)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
