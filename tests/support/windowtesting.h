#pragma once

#include "app/Unit1.h"
#include "support/waiting.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class QProcess;
class QTableView;

namespace prqtest {

// A loopback port on which nothing listens (a server was there a moment ago).
int closedLoopbackPort();

// Seams that never block and launch nothing: dialogs answer "cancel", the
// browser opens nothing.
WindowSeams quietSeams();

// The window, off screen, with a loopback server pool and the banner given
// (none by default). Nothing it does can reach a public address.
std::unique_ptr<TForm1> makeWindow(const QStringList &servers, const QString &bannerUrl = QString());

// The texts of column c as the view shows them, top to bottom.
QStringList shownColumn(const QTableView *view, int column);
// A left click on the header of column c, as a person sorts by it.
void clickHeader(QTableView *view, int column);
// Clicks view row r (with Ctrl held to add it to the selection).
void clickRow(QTableView *view, int row, bool addToSelection = false);

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
