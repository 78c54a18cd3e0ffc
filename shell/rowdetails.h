#pragma once

#include "shell/verdictclass.h"

#include <QDateTime>
#include <QList>
#include <QString>

#include <functional>

class ResultListModel;

// One reply of a check: its status and where it sent the request next (the
// Location of a redirect); empty where the check did not keep it.
struct RowHop
{
    int status = 0;
    QString location;
};

// A page that links to a row's address, with the text of its link.
struct RowSource
{
    QString page;
    QString anchorText;
};

// One earlier check of an address, as a store of past runs keeps it.
struct AddressVisit
{
    QDateTime at;
    QString access; // 访问
    QString status; // 状态
    QString pr;
    QString change; // 变化, in the store's words
};

// What the details pane shows of one row. Texts are ready to show.
struct RowDetails
{
    QString address; // 网址 as listed
    QString finalUrl; // where the check ended; empty before one
    QList<RowHop> hops; // the redirect chain, one reply a hop
    QString status; // the 状态 text
    QString elapsed; // "123 ms"; empty before a check
    QString verdict; // the row's class in words
    QString reason; // why, in the system's words; empty when nothing went wrong
    QString libraryText; // the HTTP library's own words, shown on request
    QString pr; // the PR cell
    QString prSource; // where PR comes from
};

// The row's class in words: "未检测", "正常", "死链", ...
QString verdictWords(VerdictClass verdict);

// The details of list row row; prSource names the PR source in use. A row
// that does not exist gives empty details.
RowDetails rowDetails(const ResultListModel &list, int row, const QString &prSource);

// The hops of a check: each reply's status; the reply before the last one
// sent the request to the final address, so its Location is known.
QList<RowHop> hopsOf(const QList<int> &statuses, const QString &finalUrl);

// Where the details of a row come from beyond the row itself. A site crawl
// fills sources (the pages that link to the row, with their anchor texts);
// a store of past runs fills history (the address's earlier checks). An empty
// slot shows nothing.
struct DetailsSlots
{
    std::function<QList<RowSource>(int listRow)> sources;
    std::function<QList<AddressVisit>(const QString &address)> history;
};

// The pages a site list found to link to a row, with their anchor texts, in
// the order found (the surveyed page for a survey, every page read for a
// crawl; RowSources::sitemapPage() for a page only the sitemap names), at
// most limit of them and then one line that counts the rest ("… 另有 n 个",
// no page). A batch row and the site's own row have none.
QList<RowSource> listedSources(const ResultListModel &list, int listRow, int limit = 1000);
// Whether a source's page is a page to open: not the sitemap, not the line
// that counts the rest.
bool isOpenablePage(const QString &page);
