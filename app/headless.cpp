#include "app/headless.h"

#include "app/stopsignals.h"
#include "base/errors.h"
#include "base/guard.h"
#include "base/syserror.h"
#include "listfiles/atomicsave.h"
#include "listfiles/listexport.h"
#include "listfiles/listimport.h"
#include "listfiles/listimportjob.h"
#include "query/crawl.h"
#include "query/engine.h"
#include "query/graphrank.h"
#include "query/runrecorder.h"
#include "query/scheduler.h"
#include "query/settle.h"
#include "shell/options.h"
#include "shell/runreport.h"
#include "store/resultstore.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTimer>

#include <csignal>
#include <memory>
#include <unistd.h>

namespace {

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

// How a run that ended with this exit status is kept in the store.
RunEnding endingOf(int status)
{
    switch (status) {
    case headlessexit::Done:
        return RunEnding::Completed;
    case headlessexit::Interrupted:
        return RunEnding::Interrupted;
    case headlessexit::Terminated:
        return RunEnding::Terminated;
    default:
        return RunEnding::Failed;
    }
}

bool writeOutput(const ResultListModel &list, const Options &o)
{
    return guard::run([&] {
        const ExportFormat format = exportFormatFor(o);
        if (!o.inlinksFile.isEmpty())
            exportInlinks(list, o.inlinksFile);
        if (!o.outToStdout()) {
            exportListAs(list, format, o.shortForm, o.outFile);
            return;
        }
        QFile out;
        if (!out.open(STDOUT_FILENO, QIODevice::WriteOnly | QIODevice::Unbuffered))
            throw AppError(out.errorString());
        writeListAs(list, format, o.shortForm, out);
    });
}

} // namespace

int runHeadless(const Options &options, const EngineEndpoints &endpoints, QTextStream &err)
{
    ProgressPrinter printer(err);
    QEventLoop loop;
    // How the run ends, and whether the rows are written then: a failure
    // writes nothing, a time-out or a stop signal writes what there is.
    int status = headlessexit::Done;
    bool writeRows = false;
    bool ended = false;
    bool timedOut = false;
    // The first ending counts: an answer that lands while the rows are
    // being written must not turn a stop signal into a finished run.
    const auto end = [&](int exitStatus, bool write) {
        if (ended)
            return;
        ended = true;
        status = exitStatus;
        writeRows = write;
        loop.quit();
    };

    const guard::ErrorBox previous = guard::setErrorBox([&](const QString &, const QString &message) {
        printer.message(QStringLiteral("错误: ") + message);
        end(headlessexit::Failed, false);
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
            err << "prquery: --out " << options.outFile << " 无法写入: " << systemErrorText(problem) << Qt::endl;
            return headlessexit::BadArguments;
        }
    }
    if (!options.inlinksFile.isEmpty()) {
        if (const int problem = probeSave(options.inlinksFile)) {
            err << "prquery: --inlinks " << options.inlinksFile << " 无法写入: " << systemErrorText(problem) << Qt::endl;
            return headlessexit::BadArguments;
        }
    }
    StopSignals stopSignals;

    // Every run is kept, unless asked not to; a store that cannot be used
    // is one line, and the run goes on without it.
    std::unique_ptr<ResultStore> store;
    if (!options.storeOff()) {
        ResultStore::Opened opened = ResultStore::open(options.store.isEmpty() ? defaultStorePath() : options.store);
        if (!opened.problem.isEmpty())
            printer.message(QStringLiteral("警告: ") + opened.problem);
        store = std::move(opened.store);
    }
    if (store)
        QObject::connect(store.get(), &ResultStore::problem, &loop, [&](const QString &text) { printer.message(QStringLiteral("警告: ") + text); });

    Engine engine(endpoints);
    FormState &s = engine.state();
    s.bschck1 = options.shortForm;
    s.bschck2 = !options.noPr;
    s.bschck3 = !options.noDeadLink;
    s.bschck4 = options.extract == QLatin1String("html");
    s.rdlist1 = options.filterIndex();
    s.crawl = options.crawlSettings();
    bsknspndt1Change(s, options.intervalMs);
    s.requestTimeoutMs = options.requestTimeoutSeconds * 1000;
    s.statusPolicy = options.statusPolicy;
    s.soft404Check = options.soft404;
    // A refused key is one line on standard error; the rows get "--" and the
    // run goes on, so that the checks and the list are not lost, but it does
    // not end as a success.
    bool rankRefused = false;
    const QString rankSource = options.chosenRankSource();
    if (rankSource != QLatin1String("toolbar")) {
        RankChoiceSeams seams;
        seams.key = [key = options.apiKey()] { return key; };
        seams.notice = [&printer, &rankRefused](const QString &message) {
            rankRefused = true;
            printer.message(QStringLiteral("错误: ") + message);
        };
        seams.rankFile = options.rankFile;
        // The making of a ranks file's index: a line a second at most.
        seams.indexProgress = [&printer, indexShown = QElapsedTimer()](const RankIndexProgress &p) mutable {
            if (p.done)
                printer.message(rankIndexProgressText(p));
            else if (!indexShown.isValid() || indexShown.elapsed() >= 1000)
                printer.progress(rankIndexProgressText(p));
            if (!indexShown.isValid() || indexShown.elapsed() >= 1000)
                indexShown.start();
            return true;
        };
        engine.setRankChoice(rankSource == QLatin1String("graph") ? RankChoice::GraphFile : RankChoice::OpenPageRank, seams);
    }
    CheckQueueLimits limits;
    limits.total = options.concurrency;
    limits.perHost = options.perHost;
    engine.setQueueLimits(limits);
    // An explicit interval keeps the walk paced; otherwise the engine paces
    // only what must be paced.
    engine.setIntervalAsked(options.intervalGiven);

    std::unique_ptr<RunRecorder> recorder;
    if (store) {
        recorder = std::make_unique<RunRecorder>(engine, *store, QStringLiteral("cli"));
        recorder->setBatchInput(options.batchFile == QLatin1String("-") ? QStringLiteral("标准输入") : options.batchFile);
        recorder->setCacheAge(options.cacheAgeSeconds);
    }

    bool listBuilt = false;
    QObject::connect(&s, &FormState::runStarted, &loop, [&] { listBuilt = true; });
    QObject::connect(&engine, &Engine::notice, &loop, [&](const QString &text) { printer.message(text); });
    QObject::connect(&engine, &Engine::sitePageFailed, &loop, [&] { end(headlessexit::Failed, false); });
    QObject::connect(&engine, &Engine::runEnded, &loop, [&] { end(headlessexit::Done, true); });

    QElapsedTimer clock;
    clock.start();
    QTimer progress;
    progress.setInterval(1000);
    QObject::connect(&progress, &QTimer::timeout, &loop, [&] {
        if (!listBuilt)
            return;
        QString text = progressText(s.donecount, s.pr1.maximum(), tallyList(s.lv1).dead, clock.elapsed());
        if (const Crawl *crawl = engine.crawl()) {
            const Crawl::Progress p = crawl->progress();
            text += crawlProgressText(p.pagesRead, p.pagesToRead);
        } else if (engine.walk() == Walk::None) {
            return;
        }
        printer.progress(text);
    });
    QTimer timeout;
    timeout.setSingleShot(true);
    QObject::connect(&timeout, &QTimer::timeout, &loop, [&] {
        printer.message(QStringLiteral("超时: %1 秒内未完成 (%2/%3), 写出已有结果").arg(options.timeoutSeconds).arg(s.donecount).arg(s.pr1.maximum()));
        timedOut = !ended;
        end(headlessexit::Failed, true);
    });
    QObject::connect(&stopSignals, &StopSignals::received, &loop, [&](int signalNumber) {
        printer.message(QStringLiteral("收到信号 %1, 写出已有结果").arg(signalNumber == SIGINT ? QStringLiteral("SIGINT") : QStringLiteral("SIGTERM")));
        end(signalNumber == SIGINT ? headlessexit::Interrupted : headlessexit::Terminated, true);
    });

    // --resume: the last run of the same input, when it ended early.
    const auto resumed = [&](const QString &inputKey) {
        if (!recorder)
            return false;
        const std::optional<RunSummary> last = store->latestRunOf(inputKey);
        if (last && last->resumable() && recorder->resume(last->id)) {
            printer.message(QStringLiteral("继续 %1 开始的运行 (已有 %2/%3 行的结果)")
                                .arg(QDateTime::fromMSecsSinceEpoch(last->startedAt).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")))
                                .arg(last->answered)
                                .arg(last->rows));
            return true;
        }
        printer.message(QStringLiteral("没有可继续的运行, 从头开始"));
        return false;
    };
    // The list is read on a thread of its own, so that a source that never
    // ends (a FIFO with no writer, an input never closed) cannot keep the
    // time-out and the stop signals from acting: they cancel it.
    ListImportJob import;
    QObject::connect(&import, &ListImportJob::finished, &loop, [&](const ListText &list) {
        if (list.undecodableLines > 0)
            printer.message(undecodableLinesNote(list.undecodableLines));
        // Straight from the file into rows: an entry box would only hold
        // the text on the way, at several times its size.
        guard::run([&] {
            if (!(options.resume && resumed(recorder ? RunRecorder::batchInputKey(list.text) : QString())))
                engine.startBatch(list.text);
        });
    });
    QObject::connect(&import, &ListImportJob::failed, &loop, [&](const QString &message, bool cancelled) {
        if (!cancelled)
            guard::showError(message);
    });
    const bool started = guard::run([&] {
        if (!options.site.isEmpty()) {
            if (!(options.resume && resumed(recorder ? recorder->siteInputKey(options.site) : QString())))
                engine.startSite(options.site);
            return;
        }
        import.start(options.batchFile);
    });
    // A failure has ended the run already (the error box said why); so may
    // a list that was answered inside the command's own request start.
    if (!started)
        end(headlessexit::Failed, false);
    if (!ended) {
        progress.start();
        if (options.timeoutSeconds > 0)
            timeout.start(options.timeoutSeconds * 1000);
        loop.exec();
    }
    import.cancel();
    progress.stop();
    timeout.stop();
    // Nothing more is started while the rows are written.
    s.tmr2.stop();
    engine.closeRun(timedOut ? RunEnding::TimedOut : endingOf(status));
    // The store gets what it has not written yet, while the list is written.
    const auto finishStore = [&] {
        recorder.reset();
        if (store) {
            const QString problem = store->finish();
            if (!problem.isEmpty())
                printer.message(QStringLiteral("警告: ") + problem);
        }
    };
    if (!writeRows) {
        finishStore();
        return status;
    }
    // A run cut short writes "--" where no answer came, never "查询中...".
    const bool unfinished = status != headlessexit::Done;
    if (unfinished)
        settleAll(s);
    const bool written = writeOutput(s.lv1, options);
    finishStore();
    if (!written)
        return headlessexit::Failed;
    const ListTally tally = tallyList(s.lv1);
    const QString output = options.outToStdout() ? QStringLiteral("标准输出") : options.outFile;
    const int probes = s.bschck3 && s.soft404Check ? engine.softProbesSent() : -1;
    printer.message(unfinished ? unfinishedText(tally, s.donecount, s.pr1.maximum(), output, probes, store != nullptr)
                               : summaryText(tally, output, probes, store != nullptr));
    if (status == headlessexit::Done && rankRefused)
        status = headlessexit::Failed;
    // A cut page lists only the links of the part read: a script that asks
    // to be strict hears of it.
    if (status == headlessexit::Done && (options.strict || options.failOnDead) && engine.pagesCut() > 0)
        status = headlessexit::Failed;
    if (status == headlessexit::Done && options.failOnDead && tally.dead > 0)
        status = headlessexit::DeadFound;
    if (status == headlessexit::Done && options.failOnNewDead && tally.newDead > 0)
        status = headlessexit::DeadFound;
    return status;
}
