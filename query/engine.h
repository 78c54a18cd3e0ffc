#pragma once

#include "query/checkqueue.h"
#include "shell/formstate.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class SoftProber;
class Crawl;
class CrawlJournal;
class PageReader;
class TRegExp;
struct RankIndexProgress;

// What a run may reach: the ranking front ends and the Open PageRank
// service. Whoever builds an engine says where; nothing is assumed.
struct EngineEndpoints
{
    // Ranking front ends, one host[:port] an entry; empty: the stored pool.
    QStringList servers;
    // The Open PageRank service; empty: that source reaches nothing.
    QString oprEndpoint;
};

// Where PR cells get their answers.
enum class RankChoice {
    Toolbar,
    OpenPageRank,
    GraphFile, // a ranks file of the web graph, offline
};

// How the rank source reaches the user: the key it sends, and the one
// notice of a refused key per run (empty: the standard error box).
struct RankChoiceSeams
{
    std::function<QString()> key;
    std::function<void(const QString &message)> notice;
    // GraphFile: the ranks file, and the reports on the making of its index
    // (false cancels it).
    QString rankFile;
    std::function<bool(const RankIndexProgress &)> indexProgress;
};

// How the rows of a built list are queried.
enum class Walk {
    Paced, // the query timer, one row per interval
    Queue, // checks through the concurrent check queue, ranks as the source answers
    None, // nothing is asked: the list is the result
};

// What decides the walk of a run: the two boxes, the PR source, and whether
// an interval was asked for explicitly (the command line's --interval).
struct WalkChoices
{
    bool queryPr = true;
    bool deadLink = true;
    RankChoice source = RankChoice::Toolbar;
    bool intervalAsked = false;
};

// The interval paces the toolbar ranking service, and nothing else needs
// pacing: a run walks at the interval only when it asks that service (or an
// interval was asked for); otherwise the checks go through the queue and the
// PR cells fill as their source answers. With neither box ticked nothing is
// asked.
Walk chooseWalk(const WalkChoices &choices);

// What a run is started from.
enum class RunKind {
    Batch, // the lines of the entry box or of a list file
    Site, // the links of a site page
    Crawl, // the pages of a site, read to a depth above 1
};

// How a run ended.
enum class RunEnding {
    Completed, // answered as far as it will be
    TimedOut, // the time allowed for the whole run passed
    Interrupted, // SIGINT
    Terminated, // SIGTERM
    Stopped, // "停止"
    Failed, // the site page could not be read, or the run failed
    Replaced, // another run took the list
    Closed, // the window closed
};

// The stable key of an ending: "completed", "timeout", "sigint", "sigterm",
// "stopped", "failed", "replaced", "closed".
QString runEndingKey(RunEnding ending);

// The engine of one window or one command-line run: it owns the run's state
// and composes what a run needs (stored texts, server pool, link pattern,
// the regex object, the rank source, the survey of a site page), drives the
// walk, and tells by signals what happens. It knows no widget: the window
// mirrors the state into its controls and the command line reads the
// signals. Main thread only.
class Engine final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Engine)

public:
    explicit Engine(EngineEndpoints endpoints, QObject *parent = nullptr);
    ~Engine() override;

    FormState &state() { return *m_state; }
    const FormState &state() const { return *m_state; }
    const EngineEndpoints &endpoints() const { return m_endpoints; }

    // Replaces the rank source by the chosen one; a source of a run under
    // way stops answering.
    void setRankChoice(RankChoice choice, RankChoiceSeams seams = {});
    RankChoice rankChoice() const { return m_rankChoice; }

    // Whether an interval was asked for explicitly, which keeps every run
    // paced; and the limits of the check queue.
    void setIntervalAsked(bool asked) { m_intervalAsked = asked; }
    void setQueueLimits(CheckQueueLimits limits) { m_limits = limits; }
    const CheckQueueLimits &queueLimits() const { return m_limits; }
    // The walk a list built now would take, and the walk of the current run.
    Walk nextWalk() const;
    Walk walk() const { return m_walk; }

    // "批量查询PR" with the text of the entry box (or of a list file).
    void startBatch(const QString &entryText);
    // "整站查询" with the typed site address.
    void startSite(const QString &siteText);
    // A run over rows kept from an earlier one, to be asked as a built list
    // is (a run continued from the result store); input is the site address
    // of a site run.
    void startStored(RunKind kind, const QString &input, std::vector<ResultRow> rows);
    // One tick of the query timer; the timer calls it, and so may a test.
    void tick();
    // "停止": nothing more is sent; answers on their way still land, the
    // cells that wait for nothing else read "--", and the run ends as
    // stopped once its answers are in.
    void stop();
    // Gives each crawl, as it starts, the journal it writes its answers in
    // (and takes those of an earlier crawl from, when it goes on with one);
    // none: a crawl keeps nothing.
    using CrawlJournalSource = std::function<std::shared_ptr<CrawlJournal>()>;
    void setCrawlJournalSource(CrawlJournalSource source) { m_journalSource = std::move(source); }
    // Ends the run under way before it has finished (a time-out, a stop
    // signal, the window closing); its later answers are still routed.
    void closeRun(RunEnding how);
    // A run has been opened and not yet closed.
    bool runOpen() const { return m_runOpen; }

    // The list of the current run has been answered as far as it will be:
    // nothing left to send, nothing in flight, no rank pending, no row
    // waiting for its folder's soft-404 probe.
    bool runFinished() const;
    // A list has been built and its run has not yet been told ended.
    bool runActive() const { return m_runActive; }

    // Soft-404 probes sent in the current run.
    int softProbesSent() const;
    // Pages of the current run whose body was cut at the cap: their links
    // are those of the part read.
    int pagesCut() const { return m_pagesCut; }
    // The crawl of the current whole-site query with a depth above 1; none
    // for any other run.
    const Crawl *crawl() const { return m_crawl; }

signals:
    // The tick about to run will query this row (a re-query's tick too).
    void tickStarting(int row);
    void sitePageListed();
    // The page of a whole-site query could not be read (or not requested);
    // lbl13 says why.
    void sitePageFailed();
    void rowAnswered(int row);
    // A crawl read a page or listed rows.
    void crawlProgressed();
    // Told once a run, when runFinished() has become true.
    void runEnded();
    // A notice of the run, as lbl13 shows it (never a request start).
    void notice(const QString &text);
    // A command starts a run, before its list is built: input is the site
    // address of a site run, as typed.
    void runOpened(RunKind kind, const QString &input);
    // Told once for every opened run, however it ended; a finished run is
    // told runEnded first. A run that a new one replaces is closed before
    // the new one opens.
    void runClosed(RunEnding how);

private:
    void openRun(RunKind kind, const QString &input);
    void onRunStarted();
    void startCrawl(const QString &siteText);
    // The crawl of an earlier run stops answering and goes.
    void retireCrawl();
    void onCrawlRows();
    // Asks the rank source for every row from m_rankNext on (of the list of
    // generation), now or once the current event has been handled.
    void askRanks(quint64 generation);
    void askRanksLater();
    // Rows whose PR the source has yet to be asked.
    bool ranksToAsk() const;
    void startQueue(quint64 generation);
    // Looks, once the current event has been handled, whether the run has
    // ended.
    void checkLater();
    void checkFinished();
    // Reads the links of the site page off this thread, then lists them.
    void readSitePage(const QString &siteUrl, const FetchResult &record, const QByteArray &body);
    // A page (of row, or -1) was cut at the body cap: said in 状态 and told.
    void pageCut(int row, const QString &note, int links, const QString &url);

    EngineEndpoints m_endpoints;
    FormState *m_state;
    std::unique_ptr<TRegExp> m_myreg;
    RankChoice m_rankChoice = RankChoice::Toolbar;
    Walk m_walk = Walk::Paced;
    CheckQueueLimits m_limits;
    std::unique_ptr<SoftProber> m_prober;
    PageReader *m_pages; // a child
    int m_pagesCut = 0;
    std::unique_ptr<CheckQueue> m_queue;
    Crawl *m_crawl = nullptr; // a child
    CrawlJournalSource m_journalSource;
    bool m_intervalAsked = false;
    // Without a paced walk: the next row whose PR the source has yet to be
    // asked, and whether that asking is posted.
    bool m_askRanks = false; // a run without a paced walk that wants PR
    int m_rankNext = 0;
    bool m_ranksPosted = false;
    bool m_runActive = false; // a list has been built and its run not yet told ended
    bool m_queueStarting = false;
    bool m_checkPosted = false;
    bool m_sitePending = false; // a site page was asked for and has not been told
    bool m_runOpen = false; // told runOpened, not yet runClosed
    bool m_stopRequested = false; // "停止" during the open run
    quint64 m_released = 0; // requests of the state released so far
};
