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

LinkSurvey surveyLinks(LinkExtractor &extractor, const QString &page, const QString &siteurl, const QString &pageUrl)
{
    const PageLinks found = extractor.extract(page);
    LinkSurvey survey;
    survey.limit = found.limit;

    // Lower-cased before the suffix rule looks at it, so that a site typed
    // in capitals keeps as many labels as its links do.
    QString siteDomain;
    try {
        siteDomain = getdomain2(asciilower(withWebScheme(siteurl)));
    } catch (const AppError &) {
        return survey;
    }

    static const QString kSeparator = QStringLiteral("[@m@]");
    static const QString kIn = kSeparator + QStringLiteral("in");
    static const QString kOut = kSeparator + QStringLiteral("out");
    const LinkResolver resolver(pageUrl, found.baseHref);
    QStringList &records = survey.records;
    records.reserve(qsizetype(found.links.size()));
    for (const PageLink &link : found.links) {
        const ReadLink read = resolver.read(link.href);
        if (read.kind == ReadLink::Kind::NotWeb)
            continue;
        if (read.kind == ReadLink::Kind::Unaddressable) {
            // Listed, never dropped: it is the one link of the page that is
            // certainly broken.
            bool in = false;
            try {
                in = asciilower(getdomain2(read.url)) == siteDomain;
            } catch (const AppError &) {
            }
            records.append(read.url % kSeparator % link.text % (in ? kIn : kOut) % UnaddressableRecordEnd);
            continue;
        }
        try {
            const QString linkDomain = asciilower(getdomain2(read.url));
            records.append(read.url % kSeparator % link.text % (linkDomain == siteDomain ? kIn : kOut));
        } catch (const AppError &) {
            // This link only: the others are still listed.
        }
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
