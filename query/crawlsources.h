#pragma once

#include "query/crawlfrontier.h"
#include "shell/rowsources.h"

#include <memory>

class ResultListModel;

// The rows' sources as a crawl's frontier holds them; source pages are
// named by their keys.
class CrawlSources final : public RowSources
{
public:
    explicit CrawlSources(std::shared_ptr<const CrawlFrontier> frontier);

    int depth(int row) const override;
    int count(int row) const override;
    bool orphan(int row) const override;
    void visit(int row, const Visit &visit, int limit = -1) const override;
    void visitLinks(const VisitLink &visit) const override;

private:
    std::shared_ptr<const CrawlFrontier> m_frontier;
};

// The rows of the survey of one page: the site row (caption "0") at depth
// 0, every other row at depth 1 with the page as its one source and the
// row's own anchor text.
class SurveySources final : public RowSources
{
public:
    SurveySources(const ResultListModel &list, QString pageKey);

    int depth(int row) const override;
    int count(int row) const override;
    bool orphan(int) const override { return false; }
    void visit(int row, const Visit &visit, int limit = -1) const override;
    void visitLinks(const VisitLink &visit) const override;

private:
    const ResultListModel &m_list;
    QString m_pageKey;
};
