#pragma once

#include <QHash>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

// An address of a crawl, by its number in the order found (the site page is
// 0). The number is also the caption of its row.
using AddressId = qint32;

// What a crawl knows of one address.
struct CrawlAddress
{
    QString key; // see addressKey
    qint32 row = -1; // its row in the list; -1 while the filter hides it
    qint32 depth = 0; // the site page 0, its links 1, ...
    bool internal = false; // 内 by the site-domain rule of its first finding
    bool sitemap = false; // named by a sitemap
    bool candidate = false; // its page is to be read, if it turns out to be one
    bool read = false; // its page was read and its links listed
    bool forbidden = false; // robots.txt forbids it; never requested
};

// Every address a crawl has found, and every link between them, in the order
// found: what a crawl needs to go on, to list the rows' sources and to write
// the inlinks. Kept in memory here; a result store may keep it instead, so
// that a crawl can be resumed. Main thread only.
class CrawlFrontier
{
public:
    CrawlFrontier() = default;
    virtual ~CrawlFrontier() = default;
    CrawlFrontier(const CrawlFrontier &) = delete;
    CrawlFrontier &operator=(const CrawlFrontier &) = delete;

    using VisitSource = std::function<void(AddressId source, const QString &text)>;
    using VisitLink = std::function<void(AddressId source, AddressId target, const QString &text)>;

    // The address of key; -1 when it is not known.
    virtual AddressId find(const QString &key) const = 0;
    // Adds an address not known yet; its number is count() before the call.
    virtual AddressId add(const CrawlAddress &address) = 0;
    virtual int count() const = 0;
    virtual CrawlAddress address(AddressId id) const = 0;
    // Everything but the key may change.
    virtual void update(AddressId id, const CrawlAddress &address) = 0;
    // The address of a row of the list; -1 for none.
    virtual AddressId atRow(int row) const = 0;

    // A link from a page that was read; the caller has made sure that the
    // page gives each (target, text) once.
    virtual void addLink(AddressId source, AddressId target, const QString &text) = 0;
    virtual int sourceCount(AddressId target) const = 0;
    // The sources of target in the order found, at most limit (-1: all).
    virtual void visitSources(AddressId target, const VisitSource &visit, int limit) const = 0;
    // Every link in the order found.
    virtual void visitLinks(const VisitLink &visit) const = 0;
};

// The frontier in memory, compact: an address costs its key, a hash entry
// and some twenty bytes; a link sixteen bytes; each distinct anchor text is
// kept once.
class MemoryFrontier final : public CrawlFrontier
{
public:
    MemoryFrontier() = default;

    AddressId find(const QString &key) const override;
    AddressId add(const CrawlAddress &address) override;
    int count() const override { return int(m_records.size()); }
    CrawlAddress address(AddressId id) const override;
    void update(AddressId id, const CrawlAddress &address) override;
    AddressId atRow(int row) const override;

    void addLink(AddressId source, AddressId target, const QString &text) override;
    int sourceCount(AddressId target) const override;
    void visitSources(AddressId target, const VisitSource &visit, int limit) const override;
    void visitLinks(const VisitLink &visit) const override;

private:
    enum Flag : quint8 {
        Internal = 1,
        Sitemap = 2,
        Candidate = 4,
        Read = 8,
        Forbidden = 16,
    };
    struct Record
    {
        qint32 row = -1;
        qint32 firstLink = -1; // of its sources, chained through Link::next
        qint32 lastLink = -1;
        qint32 sources = 0;
        qint16 depth = 0;
        quint8 flags = 0;
    };
    struct Link
    {
        qint32 source;
        qint32 target;
        qint32 text;
        qint32 next; // the target's next source; -1 at the end
    };

    qint32 textId(const QString &text);

    std::vector<QString> m_keys;
    std::vector<Record> m_records;
    QHash<QString, AddressId> m_byKey;
    std::vector<AddressId> m_byRow;
    std::vector<Link> m_links;
    std::vector<QString> m_texts;
    QHash<QString, qint32> m_textIds;
};
