#pragma once

#include <QByteArray>
#include <QStringList>

class QTemporaryDir;

namespace benchmark {
class State;
}

namespace prqbench {

// One run of a program as a child process, to its end.
struct ChildRun
{
    int status = -1;
    double seconds = 0;
    double peakMB = 0; // its peak resident memory
    double cpuSeconds = 0; // user and system time of the child
};

// Runs program with args, its output going nowhere.
ChildRun runChild(const char *program, const QStringList &args);

// The run as the iteration's time and as counters (wall_s, peak_MB, cpu_s);
// a run that did not exit 0 marks the benchmark failed.
void report(benchmark::State &state, const ChildRun &run);

// Writes bytes to the file name in dir; returns its path.
QString writeFile(const QTemporaryDir &dir, const QString &name, const QByteArray &bytes);

} // namespace prqbench
