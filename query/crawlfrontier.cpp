#include "query/crawlfrontier.h"

AddressId MemoryFrontier::find(const QString &key) const
{
    return m_byKey.value(key, -1);
}

AddressId MemoryFrontier::add(const CrawlAddress &address)
{
    const auto id = AddressId(m_records.size());
    m_keys.push_back(address.key);
    m_records.emplace_back();
    m_byKey.insert(address.key, id);
    update(id, address);
    return id;
}

CrawlAddress MemoryFrontier::address(AddressId id) const
{
    const Record &r = m_records.at(std::size_t(id));
    CrawlAddress a;
    a.key = m_keys[std::size_t(id)];
    a.row = r.row;
    a.depth = r.depth;
    a.internal = r.flags & Internal;
    a.sitemap = r.flags & Sitemap;
    a.candidate = r.flags & Candidate;
    a.read = r.flags & Read;
    a.forbidden = r.flags & Forbidden;
    return a;
}

void MemoryFrontier::update(AddressId id, const CrawlAddress &address)
{
    Record &r = m_records.at(std::size_t(id));
    if (address.row != r.row && address.row >= 0) {
        if (m_byRow.size() <= std::size_t(address.row))
            m_byRow.resize(std::size_t(address.row) + 1, -1);
        m_byRow[std::size_t(address.row)] = id;
    }
    r.row = address.row;
    r.depth = qint16(address.depth);
    r.flags = quint8((address.internal ? Internal : 0) | (address.sitemap ? Sitemap : 0) | (address.candidate ? Candidate : 0)
        | (address.read ? Read : 0) | (address.forbidden ? Forbidden : 0));
}

AddressId MemoryFrontier::atRow(int row) const
{
    return row >= 0 && std::size_t(row) < m_byRow.size() ? m_byRow[std::size_t(row)] : -1;
}

qint32 MemoryFrontier::textId(const QString &text)
{
    const auto known = m_textIds.constFind(text);
    if (known != m_textIds.constEnd())
        return *known;
    const auto id = qint32(m_texts.size());
    m_texts.push_back(text);
    m_textIds.insert(text, id);
    return id;
}

void MemoryFrontier::addLink(AddressId source, AddressId target, const QString &text)
{
    const auto link = qint32(m_links.size());
    m_links.push_back({source, target, textId(text), -1});
    Record &r = m_records.at(std::size_t(target));
    if (r.lastLink >= 0)
        m_links[std::size_t(r.lastLink)].next = link;
    else
        r.firstLink = link;
    r.lastLink = link;
    ++r.sources;
}

int MemoryFrontier::sourceCount(AddressId target) const
{
    return m_records.at(std::size_t(target)).sources;
}

void MemoryFrontier::visitSources(AddressId target, const VisitSource &visit, int limit) const
{
    for (qint32 at = m_records.at(std::size_t(target)).firstLink; at >= 0 && limit != 0; --limit) {
        const Link &link = m_links[std::size_t(at)];
        visit(link.source, m_texts[std::size_t(link.text)]);
        at = link.next;
    }
}

void MemoryFrontier::visitLinks(const VisitLink &visit) const
{
    for (const Link &link : m_links)
        visit(link.source, link.target, m_texts[std::size_t(link.text)]);
}
