#pragma once

#include <QByteArray>

// Figures of this process, for the benchmarks.
namespace procstats {

// One figure of /proc/self/status ("Threads", "VmRSS" in KiB); 0 when absent.
long statusField(const QByteArray &name);
// Processor time, user and system, of the whole process and of the calling
// thread.
double processCpuSeconds();
double threadCpuSeconds();
// The processor time of the threads of this process named name, together.
double namedThreadsCpuSeconds(const QByteArray &name);

} // namespace procstats
