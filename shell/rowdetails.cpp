#include "shell/rowdetails.h"

#include "shell/celltexts.h"
#include "shell/resultlist.h"
#include "shell/rowsources.h"

QString verdictWords(VerdictClass verdict)
{
    switch (verdict) {
    case VerdictClass::Unchecked:
        return QStringLiteral("未检测");
    case VerdictClass::Alive:
        return QStringLiteral("正常");
    case VerdictClass::Dead:
        return QStringLiteral("死链");
    case VerdictClass::Blocked:
        return QStringLiteral("存疑 (服务器拒绝了程序访问)");
    case VerdictClass::Soft404:
        return QStringLiteral("软404 (页面内容为“找不到”)");
    case VerdictClass::Invalid:
        return QStringLiteral("无效链接");
    case VerdictClass::Robots:
        return QStringLiteral("robots.txt 禁止访问");
    }
    return QString();
}

QList<RowHop> hopsOf(const QList<int> &statuses, const QString &finalUrl)
{
    QList<RowHop> hops;
    for (qsizetype i = 0; i < statuses.size(); ++i)
        hops << RowHop {statuses.at(i), i == statuses.size() - 2 ? finalUrl : QString()};
    return hops;
}

RowDetails rowDetails(const ResultListModel &list, int row, const QString &prSource)
{
    RowDetails d;
    if (!list.hasRow(row))
        return d;
    const ResultRow &r = list.row(row);
    d.address = r.cells[CellUrl];
    d.status = list.statusOf(row);
    d.verdict = verdictWords(r.verdict);
    d.pr = r.cells[CellPr];
    d.prSource = prSource;
    if (const FetchResult *check = list.check(row)) {
        d.finalUrl = check->finalUrl;
        d.hops = hopsOf(check->hops, check->finalUrl);
        d.elapsed = QStringLiteral("%1 ms").arg(check->elapsedMs);
        if (check->reason != FetchFailure::None)
            d.reason = reasonWords(*check);
        d.libraryText = check->detail;
    }
    return d;
}

bool isOpenablePage(const QString &page)
{
    return !page.isEmpty() && page != RowSources::sitemapPage();
}

QList<RowSource> listedSources(const ResultListModel &list, int listRow, int limit)
{
    const RowSources *sources = list.sources();
    if (!sources || !list.hasRow(listRow))
        return {};
    QList<RowSource> found;
    sources->visit(
        listRow, [&found](const QString &page, const QString &text) { found << RowSource {page, text}; }, limit);
    // A page linked from everywhere does not fill the pane with thousands.
    const int more = sources->count(listRow) + (sources->orphan(listRow) ? 1 : 0) - int(found.size());
    if (more > 0)
        found << RowSource {QString(), QStringLiteral("… 另有 %1 个").arg(more)};
    return found;
}
