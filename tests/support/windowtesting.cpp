#include "support/windowtesting.h"

#include "support/loopserver.h"

#include <QHeaderView>
#include <QProcess>
#include <QTableView>
#include <QTest>

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

QStringList shownColumn(const QTableView *view, int column)
{
    QStringList out;
    const QAbstractItemModel *m = view->model();
    for (int r = 0; r < m->rowCount(); ++r)
        out << m->index(r, column).data().toString();
    return out;
}

void clickHeader(QTableView *view, int column)
{
    QHeaderView *h = view->horizontalHeader();
    QTest::mouseClick(h->viewport(), Qt::LeftButton, {}, QPoint(h->sectionViewportPosition(column) + 5, h->height() / 2));
}

void clickRow(QTableView *view, int row, bool addToSelection)
{
    const QPoint at(20, view->rowViewportPosition(row) + view->rowHeight(row) / 2);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, addToSelection ? Qt::ControlModifier : Qt::NoModifier, at);
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
