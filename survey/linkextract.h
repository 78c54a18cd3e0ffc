#pragma once

#include <QString>
#include <QStringList>

#include <vector>

class LinkExtractor;
class TRegExp;

// One link of a page as the survey lists it: the address it leads to, its
// cleaned anchor text, and whether it stays within the site.
struct FoundLink
{
    QString url;
    QString text;
    bool internal = false;
};

// The site domain that links are compared with: that of siteurl
// lower-cased (read as "http://" + siteurl when it names no scheme); empty
// when it has none.
QString siteDomainOf(const QString &siteurl);
// Whether the site domain of url is siteDomain (see siteDomainOf); false
// when url has none.
bool inSite(const QString &url, const QString &siteDomain);

// The links of a page, as linkRecords reads them, as values.
std::vector<FoundLink> pageLinks(LinkExtractor &extractor, const QString &page, const QString &siteurl, const QString &pageUrl);

// The links of a page as records address + "[@m@]" + anchor text + "[@m@]in"
// or "[@m@]out", in page order, one per anchor the extractor reads, repeats
// kept. pageUrl is the address the page was read from (see pageAddress);
// every address is resolved against it or the page's <base> (see
// LinkResolver), and one that is not a web address is skipped. A link is
// "in" when its site domain, lower-cased, equals that of siteurl lower-cased
// (read as "http://" + siteurl when it names no scheme). A link whose domain
// cannot be worked out is skipped, and so is every link when the site's
// cannot. A failure to read the page at all raises AppError.
QStringList linkRecords(LinkExtractor &extractor, const QString &page, const QString &siteurl, const QString &pageUrl);

// linkRecords with the link pattern, for a page read from siteurl itself.
QStringList ExprTest(TRegExp &myreg, const QString &pattern, const QString &page, const QString &siteurl);
