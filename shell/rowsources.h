#pragma once

#include <QString>

#include <functional>

// Where the rows of a site list were found: each row's depth and the pages
// that link to it, with their anchor texts, in the order found. The survey
// of a page and the crawl of a site each give one to the result list; a
// batch list has none. Rows are the list's own positions.
class RowSources
{
public:
    RowSources() = default;
    virtual ~RowSources() = default;
    RowSources(const RowSources &) = delete;
    RowSources &operator=(const RowSources &) = delete;

    using Visit = std::function<void(const QString &page, const QString &text)>;
    using VisitLink = std::function<void(const QString &page, const QString &text, int row)>;

    // The page a sitemap alone names stands as its source under this name.
    static QString sitemapPage() { return QStringLiteral("sitemap"); }

    // The typed page is depth 0, its links depth 1, and so on.
    virtual int depth(int row) const = 0;
    // Pages found to link to the row.
    virtual int count(int row) const = 0;
    // Named by the sitemap and linked from no page that was read.
    virtual bool orphan(int row) const = 0;
    // Each source of the row in the order found, at most limit of them
    // (-1: all): an orphan's one source is sitemapPage() with no text.
    virtual void visit(int row, const Visit &visit, int limit = -1) const = 0;
    // Every link found that leads to a row, in the order found.
    virtual void visitLinks(const VisitLink &visit) const = 0;
};
