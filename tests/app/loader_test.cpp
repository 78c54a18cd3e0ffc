// The program started through the dynamic loader, as some launchers and
// sandboxes start it, runs a headless batch like any other start.
#include "support/loopserver.h"
#include "support/windowtesting.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

TEST(Loader, HeadlessBatchThroughTheLoader)
{
    const QString loader = QStringLiteral("/lib64/ld-linux-x86-64.so.2");
    if (!QFileInfo(loader).isExecutable())
        GTEST_SKIP() << "no loader at " << loader.toStdString();
    prqtest::LoopServer web;
    web.get("/live", [](const httplib::Request &, httplib::Response &res) { res.set_content("<html>live</html>", "text/html"); });
    web.start();
    QTemporaryDir dir;
    const QString list = dir.filePath(QStringLiteral("in.txt"));
    const QString servers = dir.filePath(QStringLiteral("servers.txt"));
    const QString out = dir.filePath(QStringLiteral("out.tsv"));
    const QString host = QStringLiteral("127.0.0.1:%1").arg(web.port());
    {
        QFile f(list);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write((host + QStringLiteral("/live\n") + host + QStringLiteral("/live\n")).toUtf8());
        QFile s(servers);
        ASSERT_TRUE(s.open(QIODevice::WriteOnly));
        s.write(QStringLiteral("127.0.0.1:%1\n").arg(prqtest::closedLoopbackPort()).toUtf8());
    }
    const prqtest::ProgramRun run = prqtest::runProgram(loader,
        {QStringLiteral(PRQUERY_EXE), QStringLiteral("--batch"), list, QStringLiteral("--no-pr"), QStringLiteral("--long"),
            QStringLiteral("--out"), out, QStringLiteral("--servers"), servers, QStringLiteral("--banner"), QStringLiteral("none")});
    web.stop();
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    QFile written(out);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    const QByteArray rows = written.readAll();
    EXPECT_EQ(rows.count("\t\xE2\x88\x9A\t"), 2) << rows.constData(); // "√" twice
}

} // namespace
