#pragma once

#include "query/crawlfrontier.h"
#include "query/crawljournal.h"
#include "query/hostqueue.h"
#include "query/pagereader.h"
#include "shell/crawlsettings.h"
#include "shell/resultlist.h"
#include "survey/linkextract.h"
#include "survey/robotsrules.h"

#include <QByteArray>
#include <QHash>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <deque>
#include <functional>
#include <memory>
#include <vector>

class FormState;
class TRegExp;
class THTTPGet;
struct FetchResult;

// "整站查询" with a depth above 1: reads the typed page, then every internal
// page it links to, level by level, up to the depth and the page limit, and
// lists each address it finds once, as it finds it. A page's check and its
// reading are one request; every request goes through a per-host queue with
// the check queue's limits. With robots.txt obeyed, each internal origin's
// robots.txt is read before anything else is asked of it, and an address it
// forbids is never requested. The sitemap's pages join the typed page's
// links at depth 1.
//
// Pages are read as fast as the limits allow, but their links are listed in
// the order a crawler reading one page at a time would list them (level by
// level, and within a level in the order found), so a run gives the same
// rows in the same order whatever the order of the replies, and each row
// keeps the anchor text and 内/外 of its first finding at the lowest depth.
//
// The list is the form's result list; the crawl adds rows to it, writes the
// rows' checks through the window's routing, and tells the list where each
// row was found. Main thread only.
class Crawl final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Crawl)

public:
    // A page over this is read only as far as this.
    static constexpr qint32 PageBodyLimit = 16 * 1024 * 1024;
    // A sitemap file, compressed or not, is fetched only as far as this.
    static constexpr qint32 SitemapBodyLimit = 50 * 1024 * 1024;
    // Sitemap files read at most in one run, indexes included.
    static constexpr int MaxSitemapFiles = 1000;

    // frontier: where the addresses and links are kept; a new one in memory
    // when none is given. It must be empty. journal: where the crawl writes
    // down its answers, and whence a crawl going on from an earlier one takes
    // that one's (the rows' checks come from the form's known answers);
    // none: kept nowhere.
    Crawl(FormState &form, TRegExp &myreg, HostQueueLimits limits, std::shared_ptr<CrawlFrontier> frontier = nullptr,
        std::shared_ptr<CrawlJournal> journal = nullptr, QObject *parent = nullptr);
    ~Crawl() override;

    // Clears the list and starts with the typed site address, by the
    // settings in the form.
    void start(const QString &siteText);
    // "停止": nothing new starts; requests in flight still write their checks,
    // but list nothing more.
    void stop();
    // From now on, answers that arrive are dropped unread: the list belongs
    // to another run.
    void abandon();

    // Nothing more will be listed or answered by the crawl.
    bool finished() const;
    // A row that robots.txt forbids gets its "robots禁止" again, without a
    // request (a re-query); true when row is one.
    bool answerIfForbidden(int row);

    struct Progress
    {
        int pagesRead = 0;
        int pagesToRead = 0; // read, and still to be read as far as known
    };
    Progress progress() const;

signals:
    // Rows were added to the list.
    void rowsAdded();
    // The progress changed.
    void progressed();
    // finished() has become true.
    void ended();
    // A page (of row, or -1) was cut at the body cap; links were read from
    // the part that came.
    void pageCut(int row, const QString &note, int links, const QString &url);

private:
    struct Origin
    {
        enum class State {
            Unknown,
            Reading,
            Known,
        };
        State state = State::Unknown;
        RobotsRules rules = RobotsRules::allowAll();
        std::vector<AddressId> waiting;
    };
    // A page whose reply has come, waiting for its turn to be listed.
    struct Arrived
    {
        bool readable = false;
        std::vector<FoundLink> links;
    };

    bool current() const;
    // current(), and the site page has not failed.
    bool live() const;
    // The list is another's now: nothing more is sent.
    void letGo();
    int originOf(const QString &key);
    void send(AddressId id);
    void enqueue(AddressId id, const CrawlAddress &address);
    void forbid(AddressId id, CrawlAddress address);
    void answerForbidden(int row);
    QString requestUrl(AddressId id, const CrawlAddress &address) const;
    std::unique_ptr<THTTPGet> newFetch(const QString &url, int row, qint32 bodyLimit) const;

    void readRobots(int origin, const QString &originKey);
    void robotsArrived(int origin, const QString &originKey, THTTPGet *sender, bool success, const QByteArray &body);
    void robotsKnown(int origin, const QString &originKey, const FetchResult &record, bool success, const QByteArray &body);
    void startSitemaps(const RobotsRules &rules, const QString &originKey);
    void readSitemap(const QString &url, int level, bool quietWhenMissing);
    void sitemapArrived(const QString &url, int level, bool quietWhenMissing, THTTPGet *sender, bool success, const QByteArray &body);
    void sitemapFilesDone();

    void arrived(AddressId id, THTTPGet *sender, bool success, const QByteArray &body);
    // An address the journal has the answer of: answered from there, in
    // turn, as a reply would be; false when it must be asked.
    bool answerFromJournal(AddressId id, const CrawlAddress &address);
    void landed(AddressId id, const CrawlAddress &address, Arrived page);
    // Runs fn after the current event, after those queued before it, as a
    // reply would arrive.
    void later(std::function<void()> fn);
    void postLater();
    void runLater();
    // How pages are read: the link pattern or the HTML parser, as ticked.
    PageReader::Reading reading() const;
    // Says that a page (row, or -1 when it has none) was read only in part.
    void noteLimit(int row, const ReadLimit &limit, const QString &url);
    // A page whose links are read (or that was not to be read): written
    // down, then listed in its turn.
    void pageRead(AddressId id, const CrawlAddress &address, const FetchResult &record, Arrived page);
    bool readable(const CrawlAddress &address, bool success, const FetchResult &record) const;
    void routeCheck(THTTPGet *sender, bool success, int row);
    void listSite(THTTPGet *sender, bool success, const QByteArray &body);
    // The typed page was read: its links are listed and the run starts.
    void siteListed(const std::vector<FoundLink> &links, const std::function<void(int row)> &answerSiteRow);
    void failSite();

    // Lists what has come in turn; see the class comment.
    void drain();
    // Lists the links of a page that was read; returns the new addresses.
    std::vector<AddressId> listLinks(AddressId page, const std::vector<FoundLink> &links);
    std::vector<AddressId> listSitemapPages();
    // A new address of depth found from a page (or the sitemap): its row,
    // if the filter keeps it, and whether its page is to be read.
    AddressId found(const QString &key, const QString &text, bool internal, int depth, bool sitemap, std::vector<ResultRow> &rows);
    void sendAll(const std::vector<AddressId> &ids);
    void notice(const QString &text);
    void checkEnded();

    FormState &m_form;
    TRegExp &m_myreg;
    CrawlSettings m_settings;
    HostQueue m_queue;
    std::shared_ptr<CrawlFrontier> m_frontier;
    std::shared_ptr<CrawlJournal> m_journal;
    // Answers from the journal waiting for their turn.
    std::deque<std::function<void()>> m_later;
    bool m_laterPosted = false;

    QString m_siteText;
    QString m_siteDomain;
    QString m_folder; // the scope of Prefix
    quint64 m_generation = 0; // of the list the crawl fills
    bool m_listed = false; // the site page has been listed
    bool m_failed = false;
    bool m_stopped = false;
    bool m_abandoned = false;
    bool m_ended = false;
    QPointer<THTTPGet> m_siteRequest;
    bool m_siteReading = false; // the site page's links are being read; m_siteRequest is held
    PageReader *m_pages = new PageReader(this);

    std::vector<Origin> m_origins;
    QHash<QString, int> m_originIndex;

    // Pages to be listed, in the order they are listed: -1 stands for the
    // sitemap's pages, after the site page.
    std::deque<AddressId> m_toList;
    QHash<AddressId, Arrived> m_arrived;
    int m_pagesRead = 0;

    // The sitemap: files still coming, files asked in all, pages found.
    int m_sitemapFiles = 0;
    int m_sitemapFilesAsked = 0;
    bool m_sitemapPending = false;
    bool m_sitemapFull = false;
    bool m_sitemapFromJournal = false;
    QStringList m_sitemapPages;
};
