#include "survey/linkextract.h"

#include "base/errors.h"
#include "base/textutil.h"
#include "survey/htmllinks.h"
#include "survey/linkextractor.h"
#include "survey/linkresolve.h"
#include "survey/patternlinks.h"
#include "survey/regexp.h"
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

PageSurvey surveyPageLinks(LinkExtractor &extractor, const QString &page, const QString &siteurl, const QString &pageUrl)
{
    const PageLinks found = extractor.extract(page);
    PageSurvey survey;
    survey.limit = found.limit;
    const QString siteDomain = siteDomainOf(siteurl);
    if (siteDomain.isEmpty())
        return survey;

    const LinkResolver resolver(pageUrl, found.baseHref);
    std::vector<FoundLink> &links = survey.links;
    links.reserve(found.links.size());
    for (const PageLink &link : found.links) {
        ReadLink read = resolver.read(link.href);
        if (read.kind == ReadLink::Kind::NotWeb)
            continue;
        if (read.kind == ReadLink::Kind::Unaddressable) {
            // Listed, never dropped: it is the one link of the page that is
            // certainly broken.
            const bool internal = inSite(read.url, siteDomain);
            links.push_back({std::move(read.url), link.text, internal, true});
            continue;
        }
        try {
            const QString linkDomain = asciilower(getdomain2(read.url));
            links.push_back({std::move(read.url), link.text, linkDomain == siteDomain, false});
        } catch (const AppError &) {
            // This link only: the others are still listed.
        }
    }
    return survey;
}

std::vector<FoundLink> pageLinks(LinkExtractor &extractor, const QString &page, const QString &siteurl, const QString &pageUrl)
{
    return surveyPageLinks(extractor, page, siteurl, pageUrl).links;
}

LinkSurvey surveyLinks(LinkExtractor &extractor, const QString &page, const QString &siteurl, const QString &pageUrl)
{
    static const QString kSeparator = QStringLiteral("[@m@]");
    static const QString kIn = kSeparator + QStringLiteral("in");
    static const QString kOut = kSeparator + QStringLiteral("out");
    const PageSurvey found = surveyPageLinks(extractor, page, siteurl, pageUrl);
    LinkSurvey survey;
    survey.limit = found.limit;
    survey.records.reserve(qsizetype(found.links.size()));
    for (const FoundLink &link : found.links) {
        QString record = link.url % kSeparator % link.text % (link.internal ? kIn : kOut);
        if (link.unaddressable)
            record += UnaddressableRecordEnd;
        survey.records.append(record);
    }
    return survey;
}

QStringList linkRecords(LinkExtractor &extractor, const QString &page, const QString &siteurl, const QString &pageUrl)
{
    return surveyLinks(extractor, page, siteurl, pageUrl).records;
}

LinkSurvey surveyPage(LinkReader reader, const QString &pattern, const QString &page, const QString &siteurl, const QString &pageUrl)
{
    if (reader == LinkReader::Html) {
        HtmlLinkExtractor extractor;
        return surveyLinks(extractor, page, siteurl, pageUrl);
    }
    TRegExp myreg;
    PatternLinkExtractor extractor(myreg, pattern);
    return surveyLinks(extractor, page, siteurl, pageUrl);
}

QStringList ExprTest(TRegExp &myreg, const QString &pattern, const QString &page, const QString &siteurl)
{
    PatternLinkExtractor extractor(myreg, pattern);
    return linkRecords(extractor, page, siteurl, pageAddress(siteurl, QString()));
}
