#pragma once

#include "app/Unit1.h"
#include "support/waiting.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class QProcess;

namespace prqtest {

// A loopback port on which nothing listens (a server was there a moment ago).
int closedLoopbackPort();

// Seams that never block and launch nothing: dialogs answer "cancel", the
// browser opens nothing.
WindowSeams quietSeams();

// The window, off screen, with a loopback server pool and the banner given
// (none by default). Nothing it does can reach a public address.
std::unique_ptr<TForm1> makeWindow(const QStringList &servers, const QString &bannerUrl = QString());

// Runs program with args to its end (at most a minute): its exit code, -1 when
// it did not finish, and what it wrote on standard output and standard error.
// whileRunning, when given, is called once the program has started (it may
// wait, send the program a signal, ...).
struct ProgramRun
{
    int exitCode = -1;
    QByteArray out;
    QString err;
};
ProgramRun runProgram(const QString &program, const QStringList &args, const std::function<void(QProcess &)> &whileRunning = {});

} // namespace prqtest
