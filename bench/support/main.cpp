// The main of every benchmark: an application object for the event loop that
// fetches and timers need, with widgets (off screen) for the benchmarks that
// drive the window.
#ifdef PRQ_BENCH_WIDGETS
#include <QApplication>
using BenchApplication = QApplication;
#else
#include <QCoreApplication>
using BenchApplication = QCoreApplication;
#endif

#include "support/isolation.h"

#include <benchmark/benchmark.h>

int main(int argc, char **argv)
{
    prqtest::isolateFromUser();
#ifdef PRQ_BENCH_WIDGETS
    qputenv("QT_QPA_PLATFORM", "offscreen");
#endif
    BenchApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
