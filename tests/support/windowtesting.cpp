#include "support/windowtesting.h"

#include "support/loopserver.h"

#include <QProcess>

namespace prqtest {

int closedLoopbackPort()
{
    LoopServer closed;
    closed.start(1);
    return closed.port();
}

WindowSeams quietSeams()
{
    WindowSeams seams;
    seams.openFile = [](const QString &, const QString &, const QString &) { return QString(); };
    seams.saveFile = seams.openFile;
    seams.openUrl = [](const QUrl &) {};
    return seams;
}

std::unique_ptr<TForm1> makeWindow(const QStringList &servers, const QString &bannerUrl)
{
    WindowEndpoints endpoints;
    endpoints.servers = servers;
    endpoints.bannerUrl = bannerUrl;
    auto form = std::make_unique<TForm1>(endpoints, quietSeams());
    form->show();
    return form;
}

ProgramRun runProgram(const QString &program, const QStringList &args, const std::function<void(QProcess &)> &whileRunning)
{
    QProcess process;
    process.start(program, args);
    if (whileRunning && process.waitForStarted(10000))
        whileRunning(process);
    ProgramRun run;
    if (process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit)
        run.exitCode = process.exitCode();
    run.out = process.readAllStandardOutput();
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

} // namespace prqtest
