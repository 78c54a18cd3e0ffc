#include "store/inputkey.h"

#include <QCryptographicHash>

namespace {

void addText(QCryptographicHash &hash, const QString &text)
{
    // The length first: no two different lists give the same bytes.
    const qint64 size = text.size();
    hash.addData(QByteArrayView(reinterpret_cast<const char *>(&size), sizeof size));
    hash.addData(QByteArrayView(reinterpret_cast<const char *>(text.utf16()), text.size() * 2));
}

} // namespace

QString listInputKey(const std::vector<QString> &urls)
{
    QCryptographicHash hash(QCryptographicHash::Sha1);
    hash.addData("list\n");
    for (const QString &url : urls)
        addText(hash, url);
    return QString::fromLatin1(hash.result().toHex());
}

QString siteInputKey(const QString &siteUrl, int linkFilter, bool htmlExtract)
{
    QCryptographicHash hash(QCryptographicHash::Sha1);
    hash.addData("site\n");
    addText(hash, siteUrl);
    addText(hash, QString::number(linkFilter));
    addText(hash, htmlExtract ? QStringLiteral("html") : QStringLiteral("pattern"));
    return QString::fromLatin1(hash.result().toHex());
}

QString crawlInputKey(const QString &siteUrl, int linkFilter, bool htmlExtract, const CrawlSettings &crawl)
{
    QCryptographicHash hash(QCryptographicHash::Sha1);
    hash.addData("crawl\n");
    addText(hash, siteUrl);
    addText(hash, QString::number(linkFilter));
    addText(hash, htmlExtract ? QStringLiteral("html") : QStringLiteral("pattern"));
    addText(hash, QString::number(crawl.depth));
    addText(hash, QString::number(crawl.maxPages));
    addText(hash, crawl.scope == CrawlSettings::Scope::Prefix ? QStringLiteral("prefix") : QStringLiteral("site"));
    addText(hash, crawl.robots ? QStringLiteral("robots") : QString());
    addText(hash, crawl.sitemap ? QStringLiteral("sitemap") : QString());
    addText(hash, crawl.sitemapUrl);
    return QString::fromLatin1(hash.result().toHex());
}
