#pragma once

#include "query/crawljournal.h"
#include "store/records.h"

#include <QPointer>

class ResultStore;

// The journal of a crawl in the result store, under the store's run of the
// crawl: pages (with the links read off them), robots.txt, the sitemap and
// the queue. Going on from continuedRun (0: a new crawl), it reads that run's
// records back; a run going on is the same run, so what it adds is read back
// too when it is cut off again.
class StoredCrawl final : public CrawlJournal
{
public:
    // Writes and reads nothing once store is gone.
    StoredCrawl(ResultStore *store, RunHandle run, qint64 continuedRun);

    void queued(const QString &key, int depth) override;
    void pageArrived(const QString &key, int depth, const FetchResult &record, const Page &page) override;
    void robotsArrived(const QString &origin, const Robots &robots) override;
    void sitemapDone(const Sitemap &sitemap) override;

    std::optional<Page> page(const QString &key) override;
    std::optional<Robots> robots(const QString &origin) override;
    std::optional<Sitemap> sitemap() override;

private:
    QPointer<ResultStore> m_store;
    const RunHandle m_run;
    const qint64 m_continued;
};
