#pragma once

#include "survey/markupbounds.h"

#include <QString>
#include <QStringList>

#include <vector>

class LinkExtractor;
class TRegExp;

// One link of a page as the survey lists it: the address it leads to, its
// cleaned anchor text, and whether it stays within the site. An
// unaddressable link is one that no rule makes an address: its url is the
// link as written, and it is listed, never requested.
struct FoundLink
{
    QString url;
    QString text;
    bool internal = false;
    bool unaddressable = false;
};

// The site domain that links are compared with: that of siteurl
// lower-cased (read as "http://" + siteurl when it names no scheme); empty
// when it has none.
QString siteDomainOf(const QString &siteurl);
// Whether the site domain of url is siteDomain (see siteDomainOf); false
// when url has none.
bool inSite(const QString &url, const QString &siteDomain);

// The links of a page, as linkRecords reads them, as values, and how much of
// the page they come from.
struct PageSurvey
{
    std::vector<FoundLink> links;
    ReadLimit limit;
};
PageSurvey surveyPageLinks(LinkExtractor &extractor, const QString &page, const QString &siteurl, const QString &pageUrl);
std::vector<FoundLink> pageLinks(LinkExtractor &extractor, const QString &page, const QString &siteurl, const QString &pageUrl);

// The links of a page as records address + "[@m@]" + anchor text + "[@m@]in"
// or "[@m@]out", in page order, one per anchor the extractor reads, repeats
// kept. pageUrl is the address the page was read from (see pageAddress);
// every address is resolved against it or the page's <base> (see
// LinkResolver), and a link of another scheme is skipped. A link is "in"
// when its site domain, lower-cased, equals that of siteurl lower-cased
// (read as "http://" + siteurl when it names no scheme). A link whose domain
// cannot be worked out is skipped, and so is every link when the site's
// cannot. A link that no rule makes an address is kept, as written, and its
// record ends in UnaddressableRecordEnd (after "in" or "out", "out" when its
// domain cannot be worked out). A failure to read the page at all raises
// AppError.
QStringList linkRecords(LinkExtractor &extractor, const QString &page, const QString &siteurl, const QString &pageUrl);

// The records of a page and how much of it they come from: limit.text() is
// the note for the status line ("解析受限：...") when the page was not read
// whole.
struct LinkSurvey
{
    QStringList records;
    ReadLimit limit;
};
LinkSurvey surveyLinks(LinkExtractor &extractor, const QString &page, const QString &siteurl, const QString &pageUrl);

enum class LinkReader {
    Pattern, // the link pattern, through a regex object of the survey's own
    Html, // the HTML5 parser
};

// surveyLinks with an extractor of its own: it touches nothing that any
// other call shares, so that it may run on any thread, several at once.
// Memory and time stay bounded whatever the page holds (see boundMarkup and
// TreeBudget); the pattern reads in time linear in the page.
LinkSurvey surveyPage(LinkReader reader, const QString &pattern, const QString &page, const QString &siteurl, const QString &pageUrl);
// The end of the record of a link that is no address: "[@m@]invalid".
// Never the end of another record, which ends in "[@m@]in" or "[@m@]out".
inline const QString UnaddressableRecordEnd = QStringLiteral("[@m@]invalid");

// linkRecords with the link pattern, for a page read from siteurl itself.
QStringList ExprTest(TRegExp &myreg, const QString &pattern, const QString &page, const QString &siteurl);
