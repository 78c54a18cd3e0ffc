#pragma once

#include "fetch/fetchresult.h"
#include "survey/linkextract.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

// What a crawl writes down as it goes, and reads back when it goes on from
// an earlier crawl of the same site with the same choices: every answer that
// steers it (whether a page was read and the links read off it, each
// origin's robots.txt, the sitemap's pages once every file is in) and the
// pages it queues. A crawl going on takes the earlier answer of each address
// it comes to instead of asking again; it comes to them in its own order,
// so it lists the same rows as a crawl never cut off, and reads no page
// twice.
class CrawlJournal
{
public:
    struct Page
    {
        bool readable = false; // the links below were read off it
        std::vector<FoundLink> links;
    };
    struct Robots
    {
        FetchResult record; // its hops and reason
        bool success = false;
        QByteArray body;
    };
    struct Sitemap
    {
        QStringList pages;
        bool full = false; // more were named than may be read
    };

    CrawlJournal() = default;
    virtual ~CrawlJournal() = default;
    CrawlJournal(const CrawlJournal &) = delete;
    CrawlJournal &operator=(const CrawlJournal &) = delete;

    // A page is to be read (key: addressKey()).
    virtual void queued(const QString &key, int depth) = 0;
    // The answer of a page that was to be read.
    virtual void pageArrived(const QString &key, int depth, const FetchResult &record, const Page &page) = 0;
    virtual void robotsArrived(const QString &origin, const Robots &robots) = 0;
    virtual void sitemapDone(const Sitemap &sitemap) = 0;

    // What the crawl gone on from had got; nothing for a new crawl.
    virtual std::optional<Page> page(const QString &key) = 0;
    virtual std::optional<Robots> robots(const QString &origin) = 0;
    virtual std::optional<Sitemap> sitemap() = 0;
};

// A crawl that keeps nothing, and goes on from nothing.
class UnkeptJournal final : public CrawlJournal
{
public:
    void queued(const QString &, int) override { }
    void pageArrived(const QString &, int, const FetchResult &, const Page &) override { }
    void robotsArrived(const QString &, const Robots &) override { }
    void sitemapDone(const Sitemap &) override { }
    std::optional<Page> page(const QString &) override { return std::nullopt; }
    std::optional<Robots> robots(const QString &) override { return std::nullopt; }
    std::optional<Sitemap> sitemap() override { return std::nullopt; }
};
