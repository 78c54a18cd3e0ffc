#include "survey/linkextract.h"

#include "base/errors.h"
#include "base/textutil.h"
#include "survey/linkextractor.h"
#include "survey/linkresolve.h"
#include "survey/patternlinks.h"
#include "survey/sitedomain.h"

#include <QStringBuilder>

QString siteDomainOf(const QString &siteurl)
{
    // Lower-cased before the suffix rule looks at it, so that a site typed
    // in capitals keeps as many labels as its links do.
    try {
        return getdomain2(asciilower(withWebScheme(siteurl)));
    } catch (const AppError &) {
        return QString();
    }
}

bool inSite(const QString &url, const QString &siteDomain)
{
    try {
        return !siteDomain.isEmpty() && asciilower(getdomain2(url)) == siteDomain;
    } catch (const AppError &) {
        return false;
    }
}

std::vector<FoundLink> pageLinks(LinkExtractor &extractor, const QString &page, const QString &siteurl, const QString &pageUrl)
{
    const PageLinks found = extractor.extract(page);
    const QString siteDomain = siteDomainOf(siteurl);
    if (siteDomain.isEmpty())
        return {};

    const LinkResolver resolver(pageUrl, found.baseHref);
    std::vector<FoundLink> links;
    links.reserve(found.links.size());
    for (const PageLink &link : found.links) {
        try {
            QString url = resolver.resolve(link.href);
            if (url.isEmpty())
                continue;
            const QString linkDomain = asciilower(getdomain2(url));
            links.push_back({std::move(url), link.text, linkDomain == siteDomain});
        } catch (const AppError &) {
            // This link only: the others are still listed.
        }
    }
    return links;
}

QStringList linkRecords(LinkExtractor &extractor, const QString &page, const QString &siteurl, const QString &pageUrl)
{
    static const QString kSeparator = QStringLiteral("[@m@]");
    static const QString kIn = kSeparator + QStringLiteral("in");
    static const QString kOut = kSeparator + QStringLiteral("out");
    const std::vector<FoundLink> links = pageLinks(extractor, page, siteurl, pageUrl);
    QStringList records;
    records.reserve(qsizetype(links.size()));
    for (const FoundLink &link : links)
        records.append(link.url % kSeparator % link.text % (link.internal ? kIn : kOut));
    return records;
}

QStringList ExprTest(TRegExp &myreg, const QString &pattern, const QString &page, const QString &siteurl)
{
    PatternLinkExtractor extractor(myreg, pattern);
    return linkRecords(extractor, page, siteurl, pageAddress(siteurl, QString()));
}
