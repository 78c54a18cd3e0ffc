#pragma once

#include <QStringList>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace prqbench {

// One run of the program as a child process, its output going nowhere.
struct ChildRun
{
    int status = -1;
    double seconds = 0;
    double peakMB = 0;
    double cpuSeconds = 0; // user and system time of the child
};

// Runs the program (PRQUERY_EXE) with args to its end.
ChildRun runProgram(const char *program, const QStringList &args);

#ifdef PRQUERY_EXE
// The program of this build.
inline ChildRun runProgram(const QStringList &args)
{
    return runProgram(PRQUERY_EXE, args);
}
#endif

// Writes bytes to the file name in dir; its path.
QString writeFile(const QTemporaryDir &dir, const QString &name, const QByteArray &bytes);

// The run's wall time as the iteration's time, and its figures as counters;
// a failed run fails the benchmark.
void report(benchmark::State &state, const ChildRun &run);

} // namespace prqbench
