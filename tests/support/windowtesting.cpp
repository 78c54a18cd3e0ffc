#include "support/windowtesting.h"

#include "support/loopserver.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QThread>

namespace prqtest {

bool waitUntil(const std::function<bool()> &done, int timeoutMs)
{
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
    return true;
}

int closedLoopbackPort()
{
    LoopServer closed;
    closed.start(1);
    return closed.port();
}

WindowSeams quietSeams()
{
    WindowSeams seams;
    seams.openFile = [](const FileDialogQuestion &) { return FileDialogAnswer(); };
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

ProgramRun runProgram(const QString &program, const QStringList &args)
{
    QProcess process;
    process.start(program, args);
    ProgramRun run;
    if (process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit)
        run.exitCode = process.exitCode();
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

} // namespace prqtest
