#pragma once

#include <QString>

// How far a whole-site query goes. Depth 1 reads the typed page alone, as
// the survey always has; a greater depth crawls the site.
struct CrawlSettings
{
    enum class Scope {
        Site, // every internal page
        Prefix, // the pages under the typed page's folder
    };

    static constexpr int MaxDepth = 100;
    static constexpr int MaxPagesLimit = 10000000;

    int depth = 1; // 抓取深度
    int maxPages = 10000; // 最多页面: pages read at most
    Scope scope = Scope::Site;
    bool robots = true; // 遵守robots
    bool sitemap = true; // 读取sitemap
    QString sitemapUrl; // read instead of those robots.txt names; empty: those

    bool crawls() const { return depth > 1; }
};
