// btn1Click on large entry boxes, through the real window with its list view
// shown (off screen). Reports the resident set after the run.
#include "app/Unit1.h"

#include <QCoreApplication>
#include <QFile>

#include <benchmark/benchmark.h>

namespace {

long residentKiB(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(qsizetype(qstrlen(field))).trimmed().split(' ').first().toLong();
    }
    return -1;
}

QString lines(int n)
{
    QString text;
    text.reserve(qsizetype(n) * 40);
    for (int i = 0; i < n; ++i)
        text += QStringLiteral("http://www.site%1.example.com//path/page.html\n").arg(i);
    return text;
}

void BM_btn1Click(benchmark::State &state)
{
    const int n = int(state.range(0));
    WindowEndpoints endpoints;
    endpoints.servers = {QStringLiteral("127.0.0.1:9")};
    TForm1 form(endpoints, TForm1::defaultSeams());
    form.show();
    form.setEntryText(lines(n));
    QCoreApplication::processEvents();
    for (auto _ : state) {
        form.btn1Click();
        QCoreApplication::processEvents(); // the view takes the new rows and paints
        form.state().tmr2.stop();
    }
    if (form.state().lv1.count() != n)
        state.SkipWithError("wrong row count");
    state.counters["rows"] = n;
    state.counters["VmRSS_MiB"] = double(residentKiB("VmRSS:")) / 1024.0;
    state.counters["VmHWM_MiB"] = double(residentKiB("VmHWM:")) / 1024.0;
}
BENCHMARK(BM_btn1Click)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_btn1Click)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace
