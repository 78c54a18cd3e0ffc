#pragma once

#include <QTextStream>

struct Options;
struct EngineEndpoints;

// Exit statuses of a run without a screen.
namespace headlessexit {
constexpr int Done = 0;
constexpr int Failed = 1; // a failure, or --timeout
constexpr int BadArguments = 2; // also an --out that cannot be written
constexpr int DeadFound = 3; // --fail-on-dead and a row is "×"
constexpr int Interrupted = 130; // SIGINT
constexpr int Terminated = 143; // SIGTERM
} // namespace headlessexit

// Runs a batch or a site survey on an engine of its own, without a window:
// builds the rows straight from the imported file (or from the surveyed
// page), queries them the way the options ask, and exports. With neither
// query it exports as soon as the list is built; a check-only run without
// --interval goes through the concurrent check queue; otherwise the query
// timer walks the list. --timeout, SIGINT and SIGTERM export the rows as they
// stand. Progress and the summary go to err. Needs a QCoreApplication.
int runHeadless(const Options &options, const EngineEndpoints &endpoints, QTextStream &err);
