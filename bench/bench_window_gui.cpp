// The window as a link checker, off screen, against loopback servers.
//
// BM_ChecksWindowVsCommandLine: 300 addresses on ten loopback hosts that
// answer after 20 ms, 查询PR unticked, checked by the window (from the click
// to the end of the run) and by the program without a screen (from its start
// to its exit, start-up included). The window should need at most 1.5 times
// the command line's time.
//
// BM_LargeListStalls: a list of 100,000 answered rows; the longest time the
// main thread is away from its event loop for a keystroke in the search box
// (the filter that follows it included), a header click (a sort by PR), and
// a burst of answers with the counts and the chart that follow them. Each
// should stay under 200 ms.
#include "app/Unit1.h"
#include "query/dispatch.h"
#include "shell/resultproxy.h"
#include "support/loopserver.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QHeaderView>
#include <QLineEdit>
#include <QProcess>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

namespace {

constexpr int Hosts = 10;
constexpr int Rows = 300;

// The longest gap between beats of a 2 ms timer while work runs: how long the
// main thread was away from its event loop.
class StallMeter final
{
public:
    StallMeter()
    {
        m_beat.setTimerType(Qt::PreciseTimer);
        m_beat.setInterval(2);
        QObject::connect(&m_beat, &QTimer::timeout, [this] {
            m_longest = std::max(m_longest, m_since.elapsed());
            m_since.restart();
        });
    }
    void start()
    {
        m_longest = 0;
        m_since.start();
        m_beat.start();
    }
    qint64 stop()
    {
        m_beat.stop();
        return std::max(m_longest, m_since.elapsed());
    }

private:
    QTimer m_beat;
    QElapsedTimer m_since;
    qint64 m_longest = 0;
};

void runEvents(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

void BM_ChecksWindowVsCommandLine(benchmark::State &state)
{
    std::vector<std::unique_ptr<prqtest::LoopServer>> servers;
    QStringList lines;
    for (int h = 0; h < Hosts; ++h) {
        auto server = std::make_unique<prqtest::LoopServer>();
        server->bindTo("127.0.0." + std::to_string(h + 1));
        server->get(R"(/p\d+)", [](const httplib::Request &, httplib::Response &res) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            res.set_content("<html>live</html>", "text/html");
        });
        server->start(8);
        servers.push_back(std::move(server));
    }
    for (int i = 0; i < Rows; ++i)
        lines << QStringLiteral("127.0.0.%1:%2/p%3").arg(i % Hosts + 1).arg(servers[std::size_t(i % Hosts)]->port()).arg(i);
    const QString text = lines.join(QLatin1Char('\n'));

    QTemporaryDir dir;
    const QString in = dir.filePath(QStringLiteral("in.txt"));
    const QString pool = dir.filePath(QStringLiteral("servers.txt"));
    {
        QFile f(in);
        f.open(QIODevice::WriteOnly);
        f.write(text.toUtf8());
        QFile g(pool);
        g.open(QIODevice::WriteOnly);
        g.write("127.0.0.1:9\n");
    }

    WindowEndpoints endpoints;
    endpoints.servers = {QStringLiteral("127.0.0.1:9")};
    TForm1 form(endpoints, TForm1::defaultSeams());
    form.seams().settings = {};
    form.show();
    form.setChoices(false, true, true, 0, 1000);
    form.setEntryText(text);

    for (auto _ : state) {
        QEventLoop loop;
        QObject::connect(&form.engine(), &Engine::runEnded, &loop, &QEventLoop::quit);
        QElapsedTimer clock;
        clock.start();
        form.btn1Click();
        loop.exec();
        const double windowMs = double(clock.elapsed());

        QProcess cli;
        clock.restart();
        cli.start(QStringLiteral(PRQUERY_EXE), {QStringLiteral("--servers"), pool, QStringLiteral("--banner"), QStringLiteral("none"), QStringLiteral("--batch"), in, QStringLiteral("--out"), dir.filePath(QStringLiteral("out.txt")), QStringLiteral("--no-pr")});
        cli.waitForFinished(120000);
        const double cliMs = double(clock.elapsed());

        state.counters["window_ms"] = windowMs;
        state.counters["cli_ms"] = cliMs;
        state.counters["window_vs_cli"] = windowMs / cliMs;
        if (form.state().donecount != Rows || cli.exitCode() != 0)
            state.SkipWithError("not every row was answered");
    }
}
BENCHMARK(BM_ChecksWindowVsCommandLine)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_LargeListStalls(benchmark::State &state)
{
    const int rows = int(state.range(0));
    WindowEndpoints endpoints;
    endpoints.servers = {QStringLiteral("127.0.0.1:9")};
    TForm1 form(endpoints, TForm1::defaultSeams());
    form.seams().settings = {};
    form.show();
    form.setChoices(false, false, true, 0, 1000); // nothing is asked
    QStringList lines;
    lines.reserve(rows);
    for (int i = 0; i < rows; ++i)
        lines << QStringLiteral("www.site%1.example/page/%2").arg(i % 5000).arg(i);
    form.setEntryText(lines.join(QLatin1Char('\n')));
    form.btn1Click();
    ResultListModel &list = form.state().lv1;
    const QString marks[] = {QStringLiteral("√"), QStringLiteral("×"), QStringLiteral("--")};
    for (int i = 0; i < rows; ++i) {
        list.setCell(i, CellPr, i % 7 == 0 ? QStringLiteral("--") : QString::number(i % 11));
        list.setCell(i, CellAccess, marks[i % 3]);
    }
    runEvents(300);

    auto *search = form.findChild<QLineEdit *>(QStringLiteral("edtSearch"));
    auto *view = form.findChild<QTableView *>(QStringLiteral("lv1"));
    QHeaderView *header = view->horizontalHeader();
    StallMeter meter;
    const auto clickPr = [header] {
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(header->sectionViewportPosition(CellPr + 1) + 5, header->height() / 2));
    };
    for (auto _ : state) {
        // A header click: every row sorted by PR.
        meter.start();
        clickPr();
        runEvents(200);
        const qint64 sortClick = meter.stop();

        // Answers landing in the sorted list: counts and chart follow.
        meter.start();
        for (int burst = 0; burst < 20; ++burst) {
            for (int i = 0; i < 50; ++i) {
                const int row = (burst * 4999 + i * 97) % rows;
                list.setCell(row, CellAccess, marks[(burst + i) % 2]);
            }
            QCoreApplication::processEvents();
        }
        runEvents(200);
        const qint64 answers = meter.stop();

        // A keystroke in the search box, and the filter it starts once the
        // typing pauses, over the sorted rows.
        meter.start();
        QTest::keyClick(search, Qt::Key_7);
        runEvents(400);
        const qint64 keystroke = meter.stop();
        const int matched = form.view().rowCount();

        // Back to list order and every row for the next round.
        search->clear();
        clickPr();
        clickPr();
        runEvents(400);

        state.counters["sort_click_stall_ms"] = double(sortClick);
        state.counters["answers_chart_stall_ms"] = double(answers);
        state.counters["keystroke_stall_ms"] = double(keystroke);
        state.counters["rows_matched"] = matched;
    }
}
BENCHMARK(BM_LargeListStalls)->Arg(100000)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
