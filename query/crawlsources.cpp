#include "query/crawlsources.h"

#include "shell/resultlist.h"

CrawlSources::CrawlSources(std::shared_ptr<const CrawlFrontier> frontier)
    : m_frontier(std::move(frontier))
{
}

int CrawlSources::depth(int row) const
{
    const AddressId id = m_frontier->atRow(row);
    return id < 0 ? -1 : m_frontier->address(id).depth;
}

int CrawlSources::count(int row) const
{
    const AddressId id = m_frontier->atRow(row);
    return id < 0 ? 0 : m_frontier->sourceCount(id);
}

bool CrawlSources::orphan(int row) const
{
    const AddressId id = m_frontier->atRow(row);
    return id > 0 && m_frontier->sourceCount(id) == 0 && m_frontier->address(id).sitemap;
}

void CrawlSources::visit(int row, const Visit &visit, int limit) const
{
    const AddressId id = m_frontier->atRow(row);
    if (id < 0 || limit == 0)
        return;
    if (orphan(row)) {
        visit(sitemapPage(), QString());
        return;
    }
    m_frontier->visitSources(
        id, [this, &visit](AddressId source, const QString &text) { visit(m_frontier->address(source).key, text); }, limit);
}

void CrawlSources::visitLinks(const VisitLink &visit) const
{
    m_frontier->visitLinks([this, &visit](AddressId source, AddressId target, const QString &text) {
        const int row = m_frontier->address(target).row;
        if (row >= 0)
            visit(m_frontier->address(source).key, text, row);
    });
}

SurveySources::SurveySources(const ResultListModel &list, QString pageKey)
    : m_list(list)
    , m_pageKey(std::move(pageKey))
{
}

int SurveySources::depth(int row) const
{
    if (!m_list.hasRow(row))
        return -1;
    return m_list.caption(row) == QLatin1String("0") ? 0 : 1;
}

int SurveySources::count(int row) const
{
    return depth(row) == 1 ? 1 : 0;
}

void SurveySources::visit(int row, const Visit &visit, int limit) const
{
    if (limit != 0 && depth(row) == 1)
        visit(m_pageKey, m_list.cell(row, CellLinkText));
}

void SurveySources::visitLinks(const VisitLink &visit) const
{
    for (int row = 0; row < m_list.count(); ++row) {
        if (depth(row) == 1)
            visit(m_pageKey, m_list.cell(row, CellLinkText), row);
    }
}
