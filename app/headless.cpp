#include "app/headless.h"

#include "app/Unit1.h"
#include "app/stopsignals.h"
#include "base/errors.h"
#include "base/guard.h"
#include "listfiles/atomicsave.h"
#include "listfiles/listexport.h"
#include "listfiles/listimport.h"
#include "query/batch.h"
#include "query/checkqueue.h"
#include "query/dispatch.h"
#include "shell/options.h"
#include "shell/ranksource.h"
#include "shell/runreport.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTimer>

#include <csignal>
#include <memory>
#include <unistd.h>

namespace {

// How the rows are queried once the list is built.
enum class Walk {
    None, // neither query: the list is the result
    Queue, // checks only, as fast as the limits allow
    Paced, // the window's timer, one row per interval
};

Walk walkFor(const Options &o)
{
    if (o.noPr && o.noDeadLink)
        return Walk::None;
    // An explicit interval asks for the paced walk; the ranking service is
    // only ever queried at that pace.
    if (o.noPr && !o.intervalGiven)
        return Walk::Queue;
    return Walk::Paced;
}


// Progress on standard error: on a terminal one line rewritten in place,
// otherwise a line at a time. Other messages never land inside that line.
class ProgressPrinter final
{
public:
    explicit ProgressPrinter(QTextStream &err)
        : m_err(err)
        , m_inPlace(::isatty(STDERR_FILENO) == 1)
    {
    }
    void progress(const QString &text)
    {
        if (m_inPlace) {
            m_err << "\r" << text << "\x1b[K" << Qt::flush;
            m_lineOpen = true;
        } else {
            m_err << text << Qt::endl;
        }
    }
    void message(const QString &text)
    {
        if (m_lineOpen)
            m_err << "\r\x1b[K";
        m_lineOpen = false;
        m_err << text << Qt::endl;
    }

private:
    QTextStream &m_err;
    const bool m_inPlace;
    bool m_lineOpen = false;
};

bool writeOutput(const ResultListModel &list, const Options &o)
{
    return guard::run([&] {
        const ExportFormat format = exportFormatFor(o);
        if (!o.outToStdout()) {
            exportListAs(list, format, !o.longForm, o.outFile);
            return;
        }
        QFile out;
        if (!out.open(STDOUT_FILENO, QIODevice::WriteOnly | QIODevice::Unbuffered))
            throw AppError(out.errorString());
        writeListAs(list, format, !o.longForm, out);
    });
}

} // namespace

int runHeadless(const Options &options, const WindowEndpoints &endpoints, QTextStream &err)
{
    ProgressPrinter printer(err);
    QStringList errors;
    const guard::ErrorBox previous = guard::setErrorBox([&errors, &printer](const QString &, const QString &message) {
        errors << message;
        printer.message(QStringLiteral("错误: ") + message);
    });
    struct Restore
    {
        const guard::ErrorBox &box;
        ~Restore() { guard::setErrorBox(box); }
    } restore {previous};

    // Found out before any request is sent, not after an hour of work.
    if (!options.outToStdout()) {
        if (const int problem = probeSave(options.outFile)) {
            // The system's own words: "I/O error 2" would not tell a missing
            // folder from anything else.
            err << "prquery: --out " << options.outFile << " 无法写入: " << qt_error_string(problem) << Qt::endl;
            return headlessexit::BadArguments;
        }
    }
    StopSignals stopSignals;

    WindowEndpoints headlessEndpoints = endpoints;
    headlessEndpoints.bannerUrl.clear(); // a run without a screen loads no banner
    // Nothing to ask and nothing to open without a screen.
    WindowSeams seams;
    seams.openFile = [](const FileDialogQuestion &) { return FileDialogAnswer(); };
    seams.saveFile = seams.openFile;
    seams.openUrl = [](const QUrl &) {};
    // A refused key is one line on standard error; the rows get "--" and the
    // run goes on, so that the checks and the list are not lost, but it does
    // not end as a success.
    bool rankRefused = false;
    seams.rankSourceNotice = [&printer, &rankRefused](const QString &message) {
        rankRefused = true;
        printer.message(QStringLiteral("错误: ") + message);
    };

    TForm1 form(headlessEndpoints, seams);
    if (!errors.isEmpty())
        return headlessexit::Failed;
    form.setChoices(!options.noPr, !options.noDeadLink, !options.longForm, options.filterIndex(), options.intervalMs);
    form.setRankChoice(options.openPageRank(), options.apiKey());
    form.setHtmlExtract(options.extract == QLatin1String("html"));
    FormState &s = form.state();
    s.requestTimeoutMs = options.requestTimeoutSeconds * 1000;
    const Walk walk = walkFor(options);
    CheckQueueLimits limits;
    limits.total = options.concurrency;
    limits.perHost = options.perHost;
    CheckQueue queue(s, limits);

    QEventLoop loop;
    // How the run ends, and whether the rows are written then: a failure
    // writes nothing, a time-out or a stop signal writes what there is.
    int status = headlessexit::Done;
    bool writeRows = false;
    bool ended = false;
    // The first ending counts: a poll that runs while a request start
    // processes events must not turn a stop signal into a finished run.
    const auto end = [&](int exitStatus, bool write) {
        if (ended)
            return;
        ended = true;
        status = exitStatus;
        writeRows = write;
        loop.quit();
    };
    // A site run knows how its page went from the status line, which names
    // the address as it was typed.
    bool pageListed = false;
    bool pageFailed = false;
    QObject::connect(&s, &FormState::lbl13Changed, &form, [&](const QString &text) {
        // Every request start shows its address; the progress line stands
        // for those.
        if (!text.startsWith(QStringLiteral("正在查询：")))
            printer.message(text);
        if (text == QStringLiteral("提示：") + s.siteurl + QStringLiteral("访问成功..."))
            pageListed = true;
        else if (text == QStringLiteral("提示：") + s.siteurl + QStringLiteral("访问失败..."))
            pageFailed = true;
    });

    bool listBuilt = false;
    // Once the rows are there, the walk that the options ask for replaces
    // the timer that building the list has started.
    const auto startWalk = [&] {
        listBuilt = true;
        if (walk == Walk::Paced)
            return;
        s.tmr2.stop();
        if (walk == Walk::Queue)
            queue.start();
    };
    const auto finished = [&] {
        if (!listBuilt)
            return false;
        switch (walk) {
        case Walk::None:
            return true;
        case Walk::Queue:
            return queue.finished();
        case Walk::Paced:
            return !s.tmr2.isActive() && requestsInFlight(s) == 0 && s.rankSource().rowsWaiting() == 0;
        }
        return true;
    };
    const auto check = [&] {
        if (pageFailed || !errors.isEmpty()) {
            end(headlessexit::Failed, false);
            return;
        }
        if (!listBuilt && pageListed && requestsInFlight(s) == 0)
            startWalk();
        if (!listBuilt && !pageListed && requestsInFlight(s) == 0 && !s.siteurl.isEmpty()) {
            printer.message(QStringLiteral("失败: ") + s.lbl13()); // the page request never started
            end(headlessexit::Failed, false);
            return;
        }
        if (finished())
            end(headlessexit::Done, true);
    };

    const bool site = !options.site.isEmpty();
    if (site) {
        form.setSiteText(options.site);
        if (!guard::run([&form] { form.btn3Click(); }))
            return headlessexit::Failed;
    } else {
        // Straight from the file into rows: the entry box would only hold the
        // text on the way, at several times its size.
        if (!guard::run([&] {
                const ListText list = readListFile(options.batchFile);
                if (list.undecodableLines > 0)
                    printer.message(undecodableLinesNote(list.undecodableLines));
                btn1Click(s, list.text);
            }))
            return headlessexit::Failed;
        startWalk();
    }

    QTimer poll;
    poll.setInterval(20);
    QObject::connect(&poll, &QTimer::timeout, &loop, check);
    poll.start();
    QObject::connect(&queue, &CheckQueue::allDone, &loop, check, Qt::QueuedConnection);
    QTimer::singleShot(0, &loop, check);

    QElapsedTimer clock;
    clock.start();
    QTimer progress;
    progress.setInterval(1000);
    QObject::connect(&progress, &QTimer::timeout, &loop, [&] {
        if (listBuilt && walk != Walk::None)
            printer.progress(progressText(s.donecount, s.pr1.maximum(), tallyList(s.lv1).dead, clock.elapsed()));
    });
    progress.start();

    QTimer timeout;
    timeout.setSingleShot(true);
    QObject::connect(&timeout, &QTimer::timeout, &loop, [&] {
        printer.message(QStringLiteral("超时: %1 秒内未完成 (%2/%3), 写出已有结果").arg(options.timeoutSeconds).arg(s.donecount).arg(s.pr1.maximum()));
        end(headlessexit::Failed, true);
    });
    if (options.timeoutSeconds > 0)
        timeout.start(options.timeoutSeconds * 1000);
    QObject::connect(&stopSignals, &StopSignals::received, &loop, [&](int signalNumber) {
        printer.message(QStringLiteral("收到信号 %1, 写出已有结果").arg(signalNumber == SIGINT ? QStringLiteral("SIGINT") : QStringLiteral("SIGTERM")));
        end(signalNumber == SIGINT ? headlessexit::Interrupted : headlessexit::Terminated, true);
    });

    loop.exec();
    poll.stop();
    progress.stop();
    timeout.stop();
    // Nothing more is started while the rows are written.
    s.tmr2.stop();
    if (!writeRows)
        return status;
    if (!writeOutput(s.lv1, options))
        return headlessexit::Failed;
    const ListTally tally = tallyList(s.lv1);
    printer.message(summaryText(tally, options.outToStdout() ? QStringLiteral("标准输出") : options.outFile));
    if (status == headlessexit::Done && rankRefused)
        status = headlessexit::Failed;
    if (status == headlessexit::Done && options.failOnDead && tally.dead > 0)
        status = headlessexit::DeadFound;
    return status;
}
