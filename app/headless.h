#pragma once

#include <QTextStream>

struct Options;
struct WindowEndpoints;

// Runs a batch or a site survey through the very same window, off screen:
// imports or surveys, presses the button, waits until the walk has ended and
// every request has completed, and exports. Progress goes to err.
// Returns the exit status: 0 done, 1 failure or time-out.
int runHeadless(const Options &options, const WindowEndpoints &endpoints, QTextStream &err);
