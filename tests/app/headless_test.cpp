// The program run without a screen, as a script runs it: exit statuses, what
// reaches the output on a time-out or a signal, standard output, and the rows
// it builds from a file against the window's own.
#include "app/Unit1.h"
#include "support/loopserver.h"
#include "support/windowtesting.h"

#include <QAction>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <thread>

#include <sys/stat.h>

namespace {

using prqtest::LoopServer;
using prqtest::ProgramRun;

struct Headless : ::testing::Test
{
    LoopServer web;
    // While set, /hold keeps its reply back (at most 20 s).
    std::atomic<bool> hold {true};
    std::atomic<int> holdSeen {0};
    std::atomic<int> fastDone {0};
    QTemporaryDir dir;
    QString servers;

    void SetUp() override
    {
        web.get(R"(/p\d+)", [this](const httplib::Request &, httplib::Response &res) {
            res.set_content("<html>live</html>", "text/html");
            ++fastDone;
        });
        web.get(R"(/d(\d+))", [](const httplib::Request &req, httplib::Response &res) {
            std::this_thread::sleep_for(std::chrono::milliseconds(std::stoi(req.matches[1])));
            res.set_content("late", "text/plain");
        });
        web.get("/gone", [](const httplib::Request &, httplib::Response &res) {
            res.status = 404;
            res.set_content("not here", "text/html");
        });
        web.get("/denied", [](const httplib::Request &, httplib::Response &res) {
            res.status = 403;
            res.set_content("no robots", "text/html");
        });
        web.get("/hold", [this](const httplib::Request &, httplib::Response &res) {
            ++holdSeen;
            for (int waited = 0; hold && waited < 20000; waited += 5)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            res.set_content("held", "text/plain");
        });
        web.get("/huge", [](const httplib::Request &, httplib::Response &res) {
            // Past the 16 MB cap: the second link is never read.
            std::string page = "<a href=\"/p1\">first</a>";
            page.append(std::size_t(17) << 20, ' ');
            page += "<a href=\"/p2\">second</a>";
            res.set_content(page, "text/html");
        });
        web.start();
        // No ranking request is ever sent by these runs; the pool still
        // points at loopback so that none could leave the machine.
        servers = write(QStringLiteral("servers.txt"), QStringLiteral("127.0.0.1:%1\n").arg(prqtest::closedLoopbackPort()).toUtf8());
    }
    void TearDown() override
    {
        hold = false;
        web.stop();
    }

    QString host() const { return QStringLiteral("127.0.0.1:%1").arg(web.port()); }
    QString write(const QString &name, const QByteArray &bytes)
    {
        const QString path = dir.filePath(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return path;
    }
    QString list(const QStringList &paths)
    {
        QStringList lines;
        for (const QString &p : paths)
            lines << (p.isEmpty() ? QString() : host() + p);
        return write(QStringLiteral("in.txt"), (lines.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8());
    }
    ProgramRun run(QStringList args, const std::function<void(QProcess &)> &whileRunning = {})
    {
        args << QStringLiteral("--servers") << servers << QStringLiteral("--banner") << QStringLiteral("none");
        return prqtest::runProgram(QStringLiteral(PRQUERY_EXE), args, whileRunning);
    }
    static QByteArray read(const QString &path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(missing)");
    }
};

TEST_F(Headless, ExitStatusOfFinishedRuns)
{
    const QString out = dir.filePath(QStringLiteral("out.txt"));
    const QString live = list({"/p1", "/p2"});
    const ProgramRun fine = run({"--batch", live, "--out", out, "--no-pr", "--fail-on-dead"});
    EXPECT_EQ(fine.exitCode, 0) << fine.err.toStdString();
    // The folder of the two pages was probed once for soft 404s.
    EXPECT_TRUE(fine.err.contains(QStringLiteral("完成: 2 行, √ 2, × 0, 存疑 0, PR 0 个, 软404探测 1 次, 新死链 0, 已修复 0, 输出 ") + out))
        << fine.err.toStdString();

    // A server that refuses robots is doubtful, not dead.
    const ProgramRun doubtful = run({"--batch", list({"/p1", "/denied"}), "--out", out, "--no-pr", "--fail-on-dead", "--soft404", "off"});
    EXPECT_EQ(doubtful.exitCode, 0) << doubtful.err.toStdString();
    EXPECT_TRUE(doubtful.err.contains(QStringLiteral("完成: 2 行, √ 1, × 0, 存疑 1, PR 0 个, 新死链 0, 已修复 0, 输出 "))) << doubtful.err.toStdString();
    EXPECT_EQ(run({"--batch", list({"/p1", "/denied"}), "--out", out, "--no-pr", "--fail-on-dead", "--status-policy", "403:dead"}).exitCode, 3);

    const QString withDead = list({"/p1", "/gone"});
    const ProgramRun dead = run({"--batch", withDead, "--out", out, "--no-pr", "--fail-on-dead"});
    EXPECT_EQ(dead.exitCode, 3) << dead.err.toStdString();
    // Written all the same, with every column: the verdict is the answer.
    EXPECT_EQ(read(out), ("1\t批量\t--\t" + host() + "/p1\t√\t--\r\r\n2\t批量\t--\t" + host() + "/gone\t×\t--\r\r\n").toUtf8());
    // --short keeps the address and PR alone; --long is the default now.
    EXPECT_EQ(run({"--batch", withDead, "--out", out, "--no-pr", "--short"}).exitCode, 0);
    EXPECT_EQ(read(out), (host() + "/p1\t--\r\r\n" + host() + "/gone\t--\r\r\n").toUtf8());
    EXPECT_EQ(run({"--batch", withDead, "--out", out, "--no-pr"}).exitCode, 0);

    const ProgramRun version = run({"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out, QByteArray("prquery 1.0\n"));
    const ProgramRun help = run({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    for (const char *option : {"--servers", "--banner", "--batch", "--site", "--filter", "--out", "--format", "--short", "--long", "--no-pr", "--no-deadlink",
             "--interval", "--concurrency", "--per-host", "--timeout", "--request-timeout", "--fail-on-dead", "--version", "--help"})
        EXPECT_TRUE(help.out.contains(option)) << option;
    // A refused command line is one line in Chinese and where to look.
    const struct
    {
        QStringList args;
        const char *why;
    } refused[] = {
        {{"--batch", live, "--out", out, "--format", "xml"}, "--format 只能是 tsv、csv 或 jsonl"},
        {{"--batch", live, "--out", out, "--per-host", "0"}, "--per-host 须为 1 到 1000 的整数"},
        {{"--bogus"}, "未知选项: --bogus"},
        {{"--batch", live, "--out", out, "stray"}, "未知参数: stray"},
    };
    for (const auto &r : refused) {
        const ProgramRun bad = run(r.args);
        EXPECT_EQ(bad.exitCode, 2);
        EXPECT_EQ(bad.err, QStringLiteral("prquery: ") + QString::fromUtf8(r.why) + QStringLiteral("\n用 --help 查看用法\n"));
    }
}

TEST_F(Headless, APageCutAtTheCapSaysSoAndFailsAStrictRun)
{
    const QString out = dir.filePath(QStringLiteral("out.csv"));
    const QStringList args {"--site", host() + "/huge", "--out", out, "--no-pr", "--no-deadlink"};
    const ProgramRun plain = run(args);
    EXPECT_EQ(plain.exitCode, 0) << plain.err.toStdString();
    EXPECT_TRUE(plain.err.contains(QStringLiteral("已截断"))) << plain.err.toStdString();
    EXPECT_TRUE(plain.err.contains(QStringLiteral("列出 1 个链接"))) << plain.err.toStdString();
    const QByteArray written = read(out);
    EXPECT_TRUE(written.contains(QStringLiteral("已截断").toUtf8())) << written.left(400).toStdString();
    EXPECT_FALSE(written.contains("/p2"));

    EXPECT_EQ(run(args + QStringList {"--strict"}).exitCode, 1);
    EXPECT_EQ(run(args + QStringList {"--fail-on-dead"}).exitCode, 1);
}

TEST_F(Headless, AnOutputThatCannotBeWrittenFailsBeforeAnyRequest)
{
    const QString in = list({"/p1"});
    const QString existing = write(QStringLiteral("keep.txt"), "kept");
    for (const QString &out : {dir.path(), dir.filePath(QStringLiteral("missing/out.txt")), existing + QStringLiteral("/out.txt")}) {
        const ProgramRun r = run({"--batch", in, "--out", out, "--no-pr"});
        EXPECT_EQ(r.exitCode, 2) << out.toStdString();
        EXPECT_TRUE(r.err.contains(QStringLiteral("无法写入"))) << r.err.toStdString();
    }
    EXPECT_EQ(web.requestCount(), 0u);
    EXPECT_EQ(read(existing), QByteArray("kept"));
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("missing"))));
}

TEST_F(Headless, TimeOutAndStopSignalsWriteTheRowsAsTheyStand)
{
    const QString in = list({"/p1", "/hold", "/p2"});
    const QString out = dir.filePath(QStringLiteral("out.jsonl"));
    // The values of one key, row by row.
    const auto values = [&](const QString &key) {
        QStringList cells;
        for (const QByteArray &line : read(out).split('\n')) {
            if (!line.isEmpty())
                cells << QJsonDocument::fromJson(line).object().value(key).toString();
        }
        return cells;
    };
    const auto access = [&] { return values(QStringLiteral("access")); };
    // The check still on its way when the run ended is no answer: "--".
    const QStringList partial = {"√", "--", "√"};

    QElapsedTimer clock;
    clock.start();
    const ProgramRun timedOut = run({"--batch", in, "--out", out, "--no-pr", "--timeout", "1"});
    EXPECT_EQ(timedOut.exitCode, 1) << timedOut.err.toStdString();
    EXPECT_LT(clock.elapsed(), 10000);
    EXPECT_EQ(access(), partial);
    EXPECT_EQ(values(QStringLiteral("status")), (QStringList {"200", "未完成", "200"}));
    EXPECT_TRUE(timedOut.err.contains(QStringLiteral("超时"))) << timedOut.err.toStdString();
    // Not "完成": the run was cut short.
    EXPECT_TRUE(timedOut.err.contains(QStringLiteral("未完成: 2/3 行已查询, √ 2, × 0"))) << timedOut.err.toStdString();

    // Once the held check has started, the other two have their answers.
    const auto stopWith = [this](int signalNumber) {
        return [this, signalNumber](QProcess &p) {
            const int seen = holdSeen;
            prqtest::waitUntil([&] { return holdSeen > seen && fastDone >= 2 * (seen + 1); }, 20000);
            QThread::msleep(300);
            ::kill(pid_t(p.processId()), signalNumber);
        };
    };
    for (const auto &[signalNumber, status] : {std::pair {SIGTERM, 143}, std::pair {SIGINT, 130}}) {
        QFile::remove(out);
        const ProgramRun stopped = run({"--batch", in, "--out", out, "--no-pr"}, stopWith(signalNumber));
        EXPECT_EQ(stopped.exitCode, status) << stopped.err.toStdString();
        EXPECT_EQ(access(), partial) << signalNumber;
        EXPECT_TRUE(stopped.err.contains(QStringLiteral("未完成: 2/3 行已查询"))) << stopped.err.toStdString();
    }
}

// A list that never ends (a FIFO that no writer opens) is read on a thread
// of its own: the time-out and the stop signals act during the import.
TEST_F(Headless, AListThatNeverEndsYieldsToTimeOutAndSignals)
{
    const QString fifo = dir.filePath(QStringLiteral("never.fifo"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString out = dir.filePath(QStringLiteral("out.txt"));
    QElapsedTimer clock;
    clock.start();
    const ProgramRun timedOut = run({"--batch", fifo, "--out", out, "--no-pr", "--timeout", "1"});
    EXPECT_EQ(timedOut.exitCode, 1) << timedOut.err.toStdString();
    EXPECT_LT(clock.elapsed(), 10000);
    EXPECT_TRUE(QFile::exists(out)) << "the rows as they stand (none) are written";
    for (const auto &[signalNumber, status] : {std::pair {SIGTERM, 143}, std::pair {SIGINT, 130}}) {
        const ProgramRun stopped = run({"--batch", fifo, "--out", out, "--no-pr"}, [signalNumber = signalNumber](QProcess &p) {
            QThread::msleep(500);
            ::kill(pid_t(p.processId()), signalNumber);
        });
        EXPECT_EQ(stopped.exitCode, status) << stopped.err.toStdString();
    }
}

TEST_F(Headless, StandardOutputCarriesTheRowsInListOrder)
{
    // The first rows answer last.
    const QString in = list({"/d400", "/d200", "", "/d0", "/gone"});
    const ProgramRun r = run({"--batch", in, "--out", "-", "--no-pr", "--format", "jsonl"});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    QList<QByteArray> lines = r.out.split('\n');
    ASSERT_EQ(lines.takeLast(), QByteArray());
    ASSERT_EQ(lines.size(), 5);
    const QStringList urls = {host() + "/d400", host() + "/d200", "", host() + "/d0", host() + "/gone"};
    const QStringList access = {"√", "√", "--", "√", "×"}; // a blank line is never checked
    for (int i = 0; i < lines.size(); ++i) {
        const QJsonObject o = QJsonDocument::fromJson(lines.at(i)).object();
        EXPECT_EQ(o.value(QStringLiteral("row")).toInt(), i + 1);
        EXPECT_EQ(o.value(QStringLiteral("url")).toString(), urls.at(i));
        EXPECT_EQ(o.value(QStringLiteral("access")).toString(), access.at(i));
    }
    EXPECT_EQ(QJsonDocument::fromJson(lines.at(4)).object().value(QStringLiteral("status")).toString(), QStringLiteral("404"));
    EXPECT_TRUE(r.err.contains(QStringLiteral("输出 标准输出"))) << r.err.toStdString();
    EXPECT_FALSE(QFile::exists(QStringLiteral("-")));

    // The format follows the extension unless it is named.
    const QString csv = dir.filePath(QStringLiteral("out.CSV"));
    EXPECT_EQ(run({"--batch", in, "--out", csv, "--no-pr", "--no-deadlink"}).exitCode, 0);
    EXPECT_TRUE(read(csv).startsWith("\xEF\xBB\xBF\xE5\xBA\x8F\xE5\x8F\xB7,")); // BOM, 序号
    EXPECT_EQ(run({"--batch", in, "--out", csv, "--no-pr", "--no-deadlink", "--format", "tsv"}).exitCode, 0);
    EXPECT_TRUE(read(csv).startsWith(("1\t批量\t--\t" + host() + "/d400\t").toUtf8()));
}

TEST_F(Headless, WithNeitherQueryTheListIsWrittenAtOnce)
{
    QStringList paths;
    for (int i = 0; i < 500; ++i)
        paths << QStringLiteral("/p%1").arg(i);
    const QString in = list(paths);
    const QString out = dir.filePath(QStringLiteral("out.txt"));
    QElapsedTimer clock;
    clock.start();
    // The interval would make a walk take 500 x 100 s.
    const ProgramRun r = run({"--batch", in, "--out", out, "--no-pr", "--no-deadlink", "--interval", "100000"});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_LT(clock.elapsed(), 10000);
    EXPECT_EQ(read(out).count("\r\r\n"), 500);
    EXPECT_EQ(web.requestCount(), 0u);
}

// A run without a screen builds no window: it needs no platform plugin and no
// runtime folder, and standard error carries only its own lines.
TEST_F(Headless, RunsWithoutAnyWindowPlatform)
{
    const QString in = list({"/p1", "/gone"});
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    qputenv("QT_QPA_PLATFORM", "no-such-platform");
    qunsetenv("XDG_RUNTIME_DIR");
    const ProgramRun r = run({"--batch", in, "--out", "-", "--no-pr", "--long"});
    qputenv("QT_QPA_PLATFORM", platform);
    if (!runtime.isEmpty())
        qputenv("XDG_RUNTIME_DIR", runtime);
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, ("1\t批量\t--\t" + host() + "/p1\t√\t--\r\r\n2\t批量\t--\t" + host() + "/gone\t×\t--\r\r\n").toUtf8());
    const QStringList lines = r.err.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (const QString &line : lines) {
        const bool ours = line.startsWith(QStringLiteral("进度: ")) || line.startsWith(QStringLiteral("提示：")) || line.startsWith(QStringLiteral("完成: "));
        EXPECT_TRUE(ours) << line.toStdString();
    }
}

TEST_F(Headless, RowsFromAFileAreTheWindowsRows)
{
    // 100,000 lines with what a line splitter gets wrong: empty lines, every
    // kind of line break, blanks, tabs, Chinese, schemes and slashes that
    // normurl rewrites, a form feed, the separators U+2028 and U+2029, a
    // no-break space and a very long line.
    QByteArray bytes;
    const char *shapes[] = {"http://www.a%1.com//x", "", "  spaced %1  ", "tab\t%1", "中文%1.cn/页", "HTTPS://b%1.org///y", "x%1\f\u2029y\u2028", "\\\\share\\%1\u00a0"};
    const char *breaks[] = {"\n", "\r\n", "\r"};
    for (int i = 0; i < 100000; ++i) {
        bytes += QByteArray(shapes[i % 8]).replace("%1", QByteArray::number(i));
        bytes += breaks[(i / 8) % 3];
    }
    bytes += QByteArray(5000, 'L') + "\n";
    const QString in = write(QStringLiteral("big.txt"), bytes);

    const QString fromWindow = dir.filePath(QStringLiteral("window.txt"));
    auto form = prqtest::makeWindow({QStringLiteral("127.0.0.1:9")});
    form->seams().openFile = [&](const FileDialogQuestion &) { return FileDialogAnswer {in, QString()}; };
    form->seams().saveFile = [&](const FileDialogQuestion &) { return FileDialogAnswer {fromWindow, QString()}; };
    form->setChoices(false, false, false, 0, 100000);
    form->btn4Click();
    form->btn1Click();
    form->findChild<QAction *>(QStringLiteral("N3"))->trigger();
    ASSERT_EQ(form->state().lv1.count(), 100001);
    form.reset();

    const QString fromProgram = dir.filePath(QStringLiteral("program.txt"));
    const ProgramRun r = run({"--batch", in, "--out", fromProgram, "--no-pr", "--no-deadlink", "--long"});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QByteArray expected = read(fromWindow);
    EXPECT_EQ(read(fromProgram), expected);
    EXPECT_EQ(expected.count("\r\r\n"), 100001);
}

} // namespace
