#include "query/crawl.h"

#include "base/errors.h"
#include "base/guard.h"
#include "base/textutil.h"
#include "fetch/finishedrequest.h"
#include "fetch/httpget.h"
#include "query/batch.h"
#include "query/crawlkey.h"
#include "query/crawlsources.h"
#include "query/dispatch.h"
#include "query/myhttpget.h"
#include "shell/celltexts.h"
#include "shell/formstate.h"
#include "survey/linkresolve.h"
#include "survey/sitemapreader.h"

#include <QSet>
#include <QTimer>

#include <utility>

namespace {

// The request order of robots.txt and sitemaps: before any page.
constexpr quint64 FirstOrder = 0;
constexpr AddressId SitemapTurn = -1;
constexpr int MaxSitemapLevel = 2; // an index of indexes, at most

bool isHtml(const QString &contentType)
{
    const QString type = asciilower(contentType.section(QLatin1Char(';'), 0, 0).trimmed());
    return type == QLatin1String("text/html") || type == QLatin1String("application/xhtml+xml");
}

bool isWebAddress(const QString &url)
{
    return startsWithAsciiNoCase(url, u"http://") || startsWithAsciiNoCase(url, u"https://");
}

} // namespace

Crawl::Crawl(FormState &form, TRegExp &myreg, HostQueueLimits limits, std::shared_ptr<CrawlFrontier> frontier, std::shared_ptr<CrawlJournal> journal,
    QObject *parent)
    : QObject(parent)
    , m_form(form)
    , m_myreg(myreg)
    , m_queue(limits)
    , m_frontier(frontier ? std::move(frontier) : std::make_shared<MemoryFrontier>())
    , m_journal(journal ? std::move(journal) : std::make_shared<UnkeptJournal>())
{
    connect(&m_queue, &HostQueue::becameIdle, this, &Crawl::checkEnded);
}

Crawl::~Crawl() = default;

void Crawl::start(const QString &siteText)
{
    m_settings = m_form.crawl;
    m_siteText = siteText;
    m_form.siteurl = siteText;
    m_form.lv1.clear();
    m_generation = m_form.lv1.generation();
    m_form.lv1.setSources(std::make_shared<CrawlSources>(m_frontier));
    m_siteDomain = siteDomainOf(siteText);

    CrawlAddress site;
    site.key = addressKey(withWebScheme(siteText));
    site.internal = true;
    site.candidate = true;
    m_folder = keyFolder(site.key);
    m_frontier->add(site);
    m_journal->queued(site.key, 0);
    m_toList.push_back(0);
    if (m_settings.sitemap) {
        m_toList.push_back(SitemapTurn);
        m_sitemapPending = true;
    }
    m_form.showRequestStart(siteText);
    send(0);
    if (!m_settings.robots)
        startSitemaps(RobotsRules::allowAll(), keyOrigin(site.key));
    m_queue.kick();
}

bool Crawl::current() const
{
    return !m_abandoned && m_form.lv1.generation() == m_generation;
}

bool Crawl::live() const
{
    return current() && !m_failed;
}

void Crawl::stop()
{
    if (m_ended || m_stopped)
        return;
    m_stopped = true;
    m_queue.dropWaiting();
    m_later.clear();
    for (Origin &origin : m_origins)
        origin.waiting.clear();
    m_toList.clear();
    m_arrived.clear();
    m_pages->forget();
    m_sitemapPending = false;
    if (!m_listed) {
        // The site page is not listed yet: the query ends as a page that
        // could not be read, as the survey's does.
        if (m_siteReading) {
            m_siteReading = false;
            const FinishedRequest done(m_siteRequest.data());
            failSite();
        } else if (m_siteRequest) {
            m_siteRequest->Cancel();
        } else {
            failSite();
        }
    } else {
        m_form.setLbl13(QStringLiteral("提示：查询已停止"));
    }
    checkEnded();
}

void Crawl::abandon()
{
    m_abandoned = true;
    m_queue.dropWaiting();
    m_later.clear();
}

void Crawl::letGo()
{
    // Another list: what waits is not sent, what is in flight still lands.
    m_queue.dropWaiting();
    m_later.clear();
    for (Origin &origin : m_origins)
        origin.waiting.clear();
    checkEnded();
}

bool Crawl::finished() const
{
    if (m_abandoned || m_failed)
        return true;
    if (!m_queue.idle() || !m_later.empty())
        return false;
    // The list was cleared or rebuilt: nothing more is listed.
    if (!current())
        return true;
    for (const Origin &origin : m_origins) {
        if (!origin.waiting.empty())
            return false;
    }
    return m_stopped || (m_listed && m_toList.empty());
}

Crawl::Progress Crawl::progress() const
{
    Progress p;
    p.pagesRead = m_pagesRead;
    const int toRead = int(m_toList.size()) - (m_sitemapPending ? 1 : 0);
    p.pagesToRead = std::min(m_settings.maxPages, m_pagesRead + std::max(0, toRead));
    return p;
}

int Crawl::originOf(const QString &key)
{
    const QString origin = keyOrigin(key);
    const auto known = m_originIndex.constFind(origin);
    if (known != m_originIndex.constEnd())
        return *known;
    const int index = int(m_origins.size());
    m_origins.emplace_back();
    m_originIndex.insert(origin, index);
    return index;
}

void Crawl::send(AddressId id)
{
    const CrawlAddress address = m_frontier->address(id);
    if (address.internal && m_settings.robots) {
        const QString originKey = keyOrigin(address.key);
        const int o = originOf(address.key);
        Origin &origin = m_origins[std::size_t(o)];
        if (origin.state != Origin::State::Known) {
            origin.waiting.push_back(id);
            if (origin.state == Origin::State::Unknown)
                readRobots(o, originKey);
            return;
        }
        if (!origin.rules.allowed(address.key)) {
            forbid(id, address);
            return;
        }
    }
    if (!answerFromJournal(id, address))
        enqueue(id, address);
}

bool Crawl::answerFromJournal(AddressId id, const CrawlAddress &address)
{
    // The row's check is the one the run being continued kept for it;
    // without it the address is asked again, page and all.
    const bool checked = address.row >= 0 && m_form.bschck3;
    if (checked && !m_form.knowsAnswer(address.row, RowQuery::Check))
        return false;
    std::optional<CrawlJournal::Page> page;
    if (address.candidate) {
        page = m_journal->page(address.key);
        if (!page)
            return false;
    } else if (!checked) {
        return false;
    }
    later([this, id, page = std::move(page)]() mutable {
        if (!live())
            return;
        if (id == 0 && !m_listed) {
            // Its check may not have been kept (it waited for its folder's
            // probe): then it is asked again.
            bool unanswered = false;
            siteListed(page->links, [this, &unanswered](int row) {
                unanswered = row >= 0 && m_form.bschck3 && !m_form.answerKnown(row, RowQuery::Check);
            });
            if (unanswered && current())
                enqueue(0, m_frontier->address(0));
            return;
        }
        const CrawlAddress now = m_frontier->address(id);
        if (now.row >= 0 && m_form.bschck3)
            m_form.answerKnown(now.row, RowQuery::Check);
        if (page)
            landed(id, now, Arrived {page->readable && !m_stopped, std::move(page->links)});
    });
    return true;
}

void Crawl::later(std::function<void()> fn)
{
    m_later.push_back(std::move(fn));
    postLater();
}

void Crawl::postLater()
{
    if (m_laterPosted)
        return;
    m_laterPosted = true;
    // From the event loop, as a reply's handler is: an error is shown, not
    // thrown through Qt, and the answers after it still come.
    QTimer::singleShot(0, this, [this] {
        m_laterPosted = false;
        guard::run([this] { runLater(); });
        if (!m_later.empty())
            postLater();
    });
}

void Crawl::runLater()
{
    // What an answer adds joins this pass; the queue is left as the list
    // leaves it (stopped, let go) between answers.
    while (!m_later.empty()) {
        const std::function<void()> fn = std::move(m_later.front());
        m_later.pop_front();
        fn();
    }
    // What the answers sent waits in the queue: a reply would have kicked it.
    m_queue.kick();
    checkEnded();
}

QString Crawl::requestUrl(AddressId id, const CrawlAddress &address) const
{
    if (id == 0)
        return m_siteText;
    return address.row >= 0 ? m_form.lv1.cell(address.row, CellUrl) : normurl(address.key);
}

std::unique_ptr<THTTPGet> Crawl::newFetch(const QString &url, int row, qint32 bodyLimit) const
{
    std::unique_ptr<Tmyhttpget> request = newRequest(m_form, url, row, dispatch::ModeReach);
    request->MaxBodySize = bodyLimit;
    return request;
}

void Crawl::enqueue(AddressId id, const CrawlAddress &address)
{
    const QString url = requestUrl(id, address);
    const qint32 limit = address.candidate ? PageBodyLimit : dispatch::ReachBodyLimit;
    m_queue.add(
        quint64(id), url,
        [this, url, id, limit] {
            std::unique_ptr<THTTPGet> request = newFetch(url, m_frontier->address(id).row, limit);
            if (id == 0)
                m_siteRequest = request.get();
            return request;
        },
        [this, id](THTTPGet *sender, bool success, const QByteArray &body) { arrived(id, sender, success, body); });
}

void Crawl::forbid(AddressId id, CrawlAddress address)
{
    address.forbidden = true;
    m_frontier->update(id, address);
    if (id == 0) {
        notice(QStringLiteral("提示：robots.txt 禁止访问 ") + m_siteText);
        failSite();
        return;
    }
    if (address.row >= 0 && m_form.bschck3)
        answerForbidden(address.row);
    if (address.candidate) {
        m_arrived.insert(id, Arrived {});
        drain();
    }
}

void Crawl::answerForbidden(int row)
{
    checkAnswered(m_form, row, FetchResult {}, celltext::NoAnswer, VerdictClass::Robots, false);
}

bool Crawl::answerIfForbidden(int row)
{
    if (!current() || !m_listed)
        return false;
    const AddressId id = m_frontier->atRow(row);
    if (id < 0 || !m_frontier->address(id).forbidden)
        return false;
    answerForbidden(row);
    return true;
}

// robots.txt, by RFC 9309: 2xx is read; 4xx means no rules; a server error,
// no answer at all, or a 429 that outlasted its tries means that nothing may
// be fetched. Redirects are followed as any fetch follows them.
void Crawl::readRobots(int origin, const QString &originKey)
{
    m_origins[std::size_t(origin)].state = Origin::State::Reading;
    if (std::optional<CrawlJournal::Robots> known = m_journal->robots(originKey)) {
        later([this, origin, originKey, known = std::move(*known)] {
            if (live())
                robotsKnown(origin, originKey, known.record, known.success, known.body);
        });
        return;
    }
    const QString url = originKey + QStringLiteral("/robots.txt");
    m_queue.add(
        FirstOrder, url, [this, url] { return newFetch(url, -1, qint32(RobotsRules::MaxBytes)); },
        [this, origin, originKey](THTTPGet *sender, bool success, const QByteArray &body) { robotsArrived(origin, originKey, sender, success, body); });
}

void Crawl::robotsArrived(int o, const QString &originKey, THTTPGet *sender, bool success, const QByteArray &body)
{
    const FinishedRequest done(sender);
    if (!live()) {
        letGo();
        return;
    }
    const FetchResult &record = sender->FetchRecord();
    m_journal->robotsArrived(originKey, CrawlJournal::Robots {record, success, body});
    robotsKnown(o, originKey, record, success, body);
}

void Crawl::robotsKnown(int o, const QString &originKey, const FetchResult &record, bool success, const QByteArray &body)
{
    const int status = record.finalStatus();
    RobotsRules rules = RobotsRules::allowAll();
    if (success && status >= 200 && status < 300) {
        rules = RobotsRules::parse(body);
    } else if ((status >= 400 && status < 500 && status != 429) || record.reason == FetchFailure::EmptyBody
        || record.reason == FetchFailure::TooManyRedirects) {
        // No rules.
    } else {
        rules = RobotsRules::disallowAll();
        notice(QStringLiteral("提示：") + originKey + QStringLiteral("/robots.txt 无法读取 (") + statusText(record)
            + QStringLiteral(")，不访问该站点的任何网页"));
    }
    if (rules.crawlDelayMs() > 0)
        m_queue.setSpacing(HostQueue::hostKey(originKey), rules.crawlDelayMs());

    Origin &origin = m_origins[std::size_t(o)];
    origin.rules = rules;
    origin.state = Origin::State::Known;
    const std::vector<AddressId> waiting = std::exchange(origin.waiting, {});
    const bool siteOrigin = originKey == keyOrigin(m_frontier->address(0).key);
    for (const AddressId id : waiting) {
        send(id);
        if (m_failed)
            return;
    }
    if (siteOrigin)
        startSitemaps(rules, originKey);
    drain();
}

void Crawl::startSitemaps(const RobotsRules &rules, const QString &originKey)
{
    if (!m_settings.sitemap || !m_sitemapPending || m_sitemapFilesAsked > 0 || m_sitemapFromJournal)
        return;
    if (std::optional<CrawlJournal::Sitemap> known = m_journal->sitemap()) {
        m_sitemapFromJournal = true;
        m_sitemapPages = known->pages;
        m_sitemapFull = known->full;
        later([this] {
            if (live())
                sitemapFilesDone();
        });
        return;
    }
    if (!m_settings.sitemapUrl.isEmpty()) {
        readSitemap(withWebScheme(m_settings.sitemapUrl), 0, false);
    } else if (!rules.sitemaps().isEmpty()) {
        // The lines should be absolute; one from the root is read as such.
        for (const QString &url : rules.sitemaps())
            readSitemap(url.startsWith(QLatin1Char('/')) ? originKey + url : url, 0, false);
    } else {
        readSitemap(originKey + QStringLiteral("/sitemap.xml"), 0, true);
    }
    if (m_sitemapFiles == 0)
        sitemapFilesDone();
}

void Crawl::readSitemap(const QString &url, int level, bool quietWhenMissing)
{
    if (!isWebAddress(url))
        return;
    if (m_sitemapFilesAsked >= MaxSitemapFiles) {
        if (m_sitemapFilesAsked++ == MaxSitemapFiles)
            notice(QStringLiteral("提示：sitemap 文件超过 %1 个，其余未读").arg(MaxSitemapFiles));
        return;
    }
    ++m_sitemapFilesAsked;
    ++m_sitemapFiles;
    m_queue.add(
        FirstOrder, url, [this, url] { return newFetch(url, -1, SitemapBodyLimit); },
        [this, url, level, quietWhenMissing](THTTPGet *sender, bool success, const QByteArray &body) {
            sitemapArrived(url, level, quietWhenMissing, sender, success, body);
        });
}

void Crawl::sitemapArrived(const QString &url, int level, bool quietWhenMissing, THTTPGet *sender, bool success, const QByteArray &body)
{
    const FinishedRequest done(sender);
    --m_sitemapFiles;
    if (!live()) {
        letGo();
        return;
    }
    const FetchResult &record = sender->FetchRecord();
    if (!success || record.finalStatus() >= 400) {
        if (!(quietWhenMissing && record.finalStatus() == 404))
            notice(QStringLiteral("提示：sitemap 无法读取 (") + statusText(record) + QStringLiteral(")：") + url);
    } else if (m_sitemapPending && !m_sitemapFull) {
        SitemapLimits limits;
        const SitemapContent content = ::readSitemap(body, limits);
        if (!content.problem.isEmpty())
            notice(QStringLiteral("提示：sitemap ") + url + QStringLiteral("：") + content.problem);
        if (content.kind == SitemapContent::Kind::Index && level < MaxSitemapLevel) {
            for (const QString &file : content.locations)
                readSitemap(file, level + 1, false);
        } else if (content.kind == SitemapContent::Kind::Pages) {
            for (const QString &page : content.locations) {
                // The sitemap adds at most as many pages as may be read.
                if (m_sitemapPages.size() >= m_settings.maxPages) {
                    m_sitemapFull = true;
                    notice(QStringLiteral("提示：sitemap 的网页超过最多页面 %1，其余未列出").arg(m_settings.maxPages));
                    break;
                }
                m_sitemapPages << page;
            }
        }
    }
    if (m_sitemapFiles == 0)
        sitemapFilesDone();
}

void Crawl::sitemapFilesDone()
{
    if (!m_sitemapPending)
        return;
    m_sitemapPending = false;
    if (!m_sitemapFromJournal)
        m_journal->sitemapDone(CrawlJournal::Sitemap {m_sitemapPages, m_sitemapFull});
    drain();
}

bool Crawl::readable(const CrawlAddress &address, bool success, const FetchResult &record) const
{
    if (!address.candidate || !success || record.finalStatus() >= 400 || !isHtml(record.contentType))
        return false;
    // Where the page ended up decides: a redirect may leave the site or the
    // folder.
    const QString finalUrl = record.finalUrl.isEmpty() ? address.key : record.finalUrl;
    if (!inSite(finalUrl, m_siteDomain))
        return false;
    return m_settings.scope == CrawlSettings::Scope::Site || addressKey(finalUrl).startsWith(m_folder);
}

PageReader::Reading Crawl::reading() const
{
    return PageReader::Reading {m_form.bschck4 ? LinkReader::Html : LinkReader::Pattern, m_form.linkexpr};
}

void Crawl::noteLimit(int row, const ReadLimit &limit, const QString &url)
{
    if (!limit.limited())
        return;
    if (row >= 0 && m_form.lv1.hasRow(row))
        m_form.lv1.addNote(row, limit.text());
    notice(limit.text() + QStringLiteral("：") + url);
}

void Crawl::routeCheck(THTTPGet *sender, bool success, int row)
{
    auto *request = qobject_cast<Tmyhttpget *>(sender);
    if (row < 0 || !m_form.bschck3 || !request) {
        const FinishedRequest done(sender);
        return;
    }
    // The request was made before its row's list was started (the site
    // page) or it belongs to it: either way the answer is the row's.
    request->rowindex = row;
    request->listGeneration = m_form.lv1.generation();
    if (success)
        getstr(m_form, sender, QByteArray());
    else
        geterror(m_form, sender);
}

void Crawl::arrived(AddressId id, THTTPGet *sender, bool success, const QByteArray &body)
{
    if (!live()) {
        const FinishedRequest done(sender);
        letGo();
        return;
    }
    if (id == 0 && !m_listed) {
        listSite(sender, success, body);
        return;
    }
    const CrawlAddress address = m_frontier->address(id);
    const FetchResult record = sender->FetchRecord();
    const bool readIt = !m_stopped && readable(address, success, record);
    PageReader::Page page;
    if (readIt) {
        page = PageReader::Page {body, record.contentType, m_siteText, pageAddress(requestUrl(id, address), record.finalUrl)};
    }
    routeCheck(sender, success, address.row);
    if (!readIt) {
        pageRead(id, address, record, Arrived {});
        return;
    }
    if (!address.candidate || m_stopped)
        return;
    // The page is listed in its turn once its links are read; the crawl
    // does not end while its turn waits.
    const QString url = page.pageUrl;
    m_pages->readLinks(std::move(page), reading(), [this, id, address, record, url](PageReader::Answer<PageSurvey> answer) {
        if (m_stopped || !current())
            return;
        Arrived arrived;
        arrived.readable = true;
        if (const auto *survey = std::get_if<PageSurvey>(&answer)) {
            arrived.links = survey->links;
            noteLimit(address.row, survey->limit, url);
            if (record.bodyTruncated)
                emit pageCut(address.row, PageReader::cutNote(PageBodyLimit), int(survey->links.size()), url);
        } else {
            notice(std::get<QString>(answer) + QStringLiteral("：") + url);
        }
        pageRead(id, address, record, std::move(arrived));
        // Out of the queue's own completion, which starts what was added.
        m_queue.kick();
    });
}

void Crawl::pageRead(AddressId id, const CrawlAddress &address, const FetchResult &record, Arrived page)
{
    // A page cut short by "停止" is not written down: going on reads it.
    if (address.candidate && !m_stopped && !address.read)
        m_journal->pageArrived(address.key, address.depth, record, CrawlJournal::Page {page.readable, page.links});
    landed(id, address, std::move(page));
}

void Crawl::landed(AddressId id, const CrawlAddress &address, Arrived page)
{
    if (address.candidate && !m_stopped) {
        m_arrived.insert(id, std::move(page));
        drain();
    }
}

void Crawl::listSite(THTTPGet *sender, bool success, const QByteArray &body)
{
    const FetchResult &record = sender->FetchRecord();
    if (!success || record.finalStatus() >= 400) {
        const FinishedRequest done(sender);
        failSite();
        return;
    }
    // The typed page is read whatever it is, as the survey reads it. Its
    // request is held until then: its answer is the site row's check.
    m_siteRequest = sender;
    m_siteReading = true;
    m_pages->readLinks(PageReader::Page {body, record.contentType, m_siteText, pageAddress(m_siteText, record.finalUrl)}, reading(),
        [this, success, record](PageReader::Answer<PageSurvey> answer) {
            m_siteReading = false;
            THTTPGet *sender = m_siteRequest.data();
            if (const auto *error = std::get_if<QString>(&answer)) {
                const FinishedRequest done(sender);
                guard::showError(*error);
                failSite();
                return;
            }
            if (!live()) {
                const FinishedRequest done(sender);
                return;
            }
            const PageSurvey &survey = std::get<PageSurvey>(answer);
            m_journal->pageArrived(m_frontier->address(0).key, 0, record, CrawlJournal::Page {true, survey.links});
            siteListed(survey.links, [this, sender, success](int row) { routeCheck(sender, success, row); });
            noteLimit(m_form.lv1.hasRow(0) ? 0 : -1, survey.limit, m_siteText);
            if (record.bodyTruncated)
                emit pageCut(m_form.lv1.hasRow(0) ? 0 : -1, PageReader::cutNote(PageBodyLimit), int(survey.links.size()), m_siteText);
            m_queue.kick();
        });
}

void Crawl::siteListed(const std::vector<FoundLink> &links, const std::function<void(int row)> &answerSiteRow)
{
    CrawlAddress site = m_frontier->address(0);
    if (m_form.rdlist1 != 2) {
        const QString access = m_form.bschck3 ? celltext::Pending : celltext::NoAnswer;
        const QString rank = m_form.bschck2 ? celltext::Pending : celltext::NoAnswer;
        m_form.lv1.addRow(ResultRow {QStringLiteral("0"), {celltext::Internal, celltext::SiteRow, m_siteText, access, rank}});
        site.row = 0;
    }
    site.read = true;
    m_frontier->update(0, site);
    ++m_pagesRead;
    m_form.setLbl13(QStringLiteral("提示：") + m_siteText + QStringLiteral("访问成功..."));
    m_listed = true;
    m_toList.pop_front();
    const std::vector<AddressId> added = listLinks(0, links);
    // The walk and the gauge start from here; the rows that follow join them.
    m_form.listGrowing = true;
    startListRun(m_form);
    m_generation = m_form.lv1.generation();
    answerSiteRow(site.row);
    emit m_form.sitePageListed();
    if (!current())
        return;
    sendAll(added);
    emit rowsAdded();
    drain();
}

void Crawl::failSite()
{
    if (m_failed)
        return;
    m_failed = true;
    m_queue.dropWaiting();
    m_form.setLbl13(QStringLiteral("提示：") + m_siteText + QStringLiteral("访问失败..."));
    emit m_form.sitePageFailed();
    checkEnded();
}

void Crawl::drain()
{
    if (!m_listed || m_stopped || !current())
        return;
    std::vector<AddressId> added;
    const int before = m_form.lv1.count();
    while (!m_toList.empty()) {
        const AddressId id = m_toList.front();
        if (id == SitemapTurn) {
            if (m_sitemapPending)
                break;
            m_toList.pop_front();
            const std::vector<AddressId> more = listSitemapPages();
            added.insert(added.end(), more.begin(), more.end());
            continue;
        }
        const auto at = m_arrived.find(id);
        if (at == m_arrived.end())
            break;
        const Arrived page = std::move(*at);
        m_arrived.erase(at);
        m_toList.pop_front();
        if (page.readable && m_pagesRead < m_settings.maxPages) {
            ++m_pagesRead;
            CrawlAddress address = m_frontier->address(id);
            address.read = true;
            m_frontier->update(id, address);
            const std::vector<AddressId> more = listLinks(id, page.links);
            added.insert(added.end(), more.begin(), more.end());
        }
    }
    if (m_form.lv1.count() != before || !added.empty()) {
        sendAll(added);
        emit rowsAdded();
    }
    emit progressed();
    checkEnded();
}

AddressId Crawl::found(const QString &key, const QString &text, bool internal, int depth, bool sitemap, std::vector<ResultRow> &rows)
{
    CrawlAddress address;
    address.key = key;
    address.depth = depth;
    address.internal = internal;
    address.sitemap = sitemap;
    const AddressId id = AddressId(m_frontier->count());
    const bool listed = m_form.rdlist1 == 0 || (m_form.rdlist1 == 1) == internal;
    if (listed) {
        address.row = m_form.lv1.count() + int(rows.size());
        const QString access = m_form.bschck3 ? celltext::Pending : celltext::NoAnswer;
        const QString rank = m_form.bschck2 ? celltext::Pending : celltext::NoAnswer;
        rows.push_back(ResultRow {QString::number(id), {internal ? celltext::Internal : celltext::External, text, normurl(key), access, rank}});
    }
    address.candidate = internal && depth < m_settings.depth && m_pagesRead < m_settings.maxPages
        && (m_settings.scope == CrawlSettings::Scope::Site || key.startsWith(m_folder));
    m_frontier->add(address);
    if (address.candidate) {
        m_toList.push_back(id);
        m_journal->queued(key, depth);
    }
    return id;
}

std::vector<AddressId> Crawl::listLinks(AddressId page, const std::vector<FoundLink> &links)
{
    const int depth = m_frontier->address(page).depth + 1;
    std::vector<AddressId> added;
    std::vector<ResultRow> rows;
    std::vector<int> grown;
    // A page gives each (target, text) once, however often it repeats it.
    QSet<QPair<AddressId, QString>> given;
    for (const FoundLink &link : links) {
        const QString key = addressKey(link.url);
        AddressId target = m_frontier->find(key);
        if (target < 0) {
            target = found(key, link.text, link.internal, depth, false, rows);
            added.push_back(target);
        } else if (given.contains({target, link.text})) {
            continue;
        }
        given.insert({target, link.text});
        m_frontier->addLink(page, target, link.text);
        const int row = m_frontier->address(target).row;
        if (row >= 0 && row < m_form.lv1.count())
            grown.push_back(row);
    }
    m_form.lv1.addRows(std::move(rows));
    for (const int row : grown)
        m_form.lv1.sourcesChanged(row);
    return added;
}

std::vector<AddressId> Crawl::listSitemapPages()
{
    std::vector<AddressId> added;
    std::vector<ResultRow> rows;
    for (const QString &page : std::exchange(m_sitemapPages, {})) {
        if (!isWebAddress(page) || !inSite(page, m_siteDomain))
            continue;
        const QString key = addressKey(page);
        const AddressId known = m_frontier->find(key);
        if (known >= 0) {
            CrawlAddress address = m_frontier->address(known);
            address.sitemap = true;
            m_frontier->update(known, address);
            continue;
        }
        added.push_back(found(key, QString(), true, 1, true, rows));
    }
    m_form.lv1.addRows(std::move(rows));
    return added;
}

void Crawl::sendAll(const std::vector<AddressId> &ids)
{
    const int rows = m_form.lv1.count();
    if (m_listed) {
        m_form.setLbl2(QStringLiteral("数量(") + QString::number(rows) + QLatin1Char(')'));
        m_form.pr1.setMaximum(rows);
    }
    for (const AddressId id : ids) {
        if (m_stopped || !current())
            return;
        const CrawlAddress address = m_frontier->address(id);
        // An address that is neither to be read nor checked costs nothing.
        if (address.candidate || (address.row >= 0 && m_form.bschck3))
            send(id);
    }
}

void Crawl::notice(const QString &text)
{
    m_form.setLbl13(text);
}

void Crawl::checkEnded()
{
    if (m_ended || !finished())
        return;
    m_ended = true;
    if (current() && m_listed) {
        m_form.listGrowing = false;
        completionCheck(m_form, true);
    }
    emit progressed();
    emit ended();
}
