#pragma once

#include <QString>

#include <chrono>

// The script host: runs a stored script and hands back one value as text.
// The engine in which a script has run is kept for the next call with the
// same script text (compared in full every time), so a call costs only the
// function it makes; another text gets a new engine that runs it first. An
// engine whose run was cut short by the time limit is never kept.

// A stored script that runs longer than this is interrupted.
inline constexpr std::chrono::milliseconds kScriptTimeLimit {2000};

// Runs script, then evaluates expression and returns its value as text.
// Every failure (the script or the expression throws or does not parse, the
// time limit passes) gives the empty string; so do undefined and null.
QString evaljs(const QString &script, const QString &expression,
    std::chrono::milliseconds limit = kScriptTimeLimit);

// Runs script, then calls its global function named function with argument as
// its only parameter. The argument is handed over as a value, never pasted
// into code, so no text of it can run. Failures give the empty string.
QString calljs(const QString &script, const QString &function, const QString &argument,
    std::chrono::milliseconds limit = kScriptTimeLimit);
