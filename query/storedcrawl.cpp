#include "query/storedcrawl.h"

#include "store/resultstore.h"

#include <QDateTime>

StoredCrawl::StoredCrawl(ResultStore *store, RunHandle run, qint64 continuedRun)
    : m_store(store)
    , m_run(std::move(run))
    , m_continued(continuedRun)
{
}

void StoredCrawl::queued(const QString &key, int depth)
{
    if (m_store)
        m_store->recordQueued(m_run, FrontierEntry {key, depth});
}

void StoredCrawl::pageArrived(const QString &key, int depth, const FetchResult &record, const Page &page)
{
    PageRead read;
    read.url = key;
    read.depth = depth;
    read.status = record.finalStatus();
    read.outcome = record.reason == FetchFailure::None ? QString() : reasonKey(record.reason);
    read.readAt = QDateTime::currentMSecsSinceEpoch();
    read.readable = page.readable;
    read.links.reserve(qsizetype(page.links.size()));
    for (const FoundLink &link : page.links)
        read.links << LinkFound {key, link.url, link.text, link.internal, link.unaddressable};
    if (m_store)
        m_store->recordPageRead(m_run, std::move(read));
}

void StoredCrawl::robotsArrived(const QString &origin, const Robots &robots)
{
    RobotsRead read;
    read.origin = origin;
    read.status = robots.record.finalStatus();
    read.outcome = robots.record.reason == FetchFailure::None ? QString() : reasonKey(robots.record.reason);
    read.fetched = robots.success;
    read.body = robots.body;
    if (m_store)
        m_store->recordRobots(m_run, std::move(read));
}

void StoredCrawl::sitemapDone(const Sitemap &sitemap)
{
    if (m_store)
        m_store->recordSitemap(m_run, SitemapRead {sitemap.pages, sitemap.full});
}

std::optional<CrawlJournal::Page> StoredCrawl::page(const QString &key)
{
    if (m_continued == 0 || !m_store)
        return std::nullopt;
    const std::optional<PageRead> read = m_store->pageOf(m_continued, key);
    if (!read)
        return std::nullopt;
    Page page;
    page.readable = read->readable;
    page.links.reserve(std::size_t(read->links.size()));
    for (const LinkFound &link : read->links)
        page.links.push_back(FoundLink {link.target, link.anchorText, link.internal.value_or(false), link.unaddressable});
    return page;
}

std::optional<CrawlJournal::Robots> StoredCrawl::robots(const QString &origin)
{
    if (m_continued == 0 || !m_store)
        return std::nullopt;
    const std::optional<RobotsRead> read = m_store->robotsOf(m_continued, origin);
    if (!read)
        return std::nullopt;
    Robots robots;
    if (read->status > 0)
        robots.record.hops = {read->status};
    robots.record.reason = read->outcome.isEmpty() ? FetchFailure::None : reasonFromKey(read->outcome);
    robots.success = read->fetched;
    robots.body = read->body;
    return robots;
}

std::optional<CrawlJournal::Sitemap> StoredCrawl::sitemap()
{
    if (m_continued == 0 || !m_store)
        return std::nullopt;
    const std::optional<SitemapRead> read = m_store->sitemapOf(m_continued);
    if (!read)
        return std::nullopt;
    return Sitemap {read->pages, read->full};
}
