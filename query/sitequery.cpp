#include "query/sitequery.h"

#include "base/textutil.h"
#include "query/batch.h"
#include "query/crawlkey.h"
#include "query/crawlsources.h"
#include "query/dispatch.h"
#include "shell/celltexts.h"
#include "shell/formstate.h"
#include "survey/htmllinks.h"
#include "survey/linkextract.h"
#include "survey/linkresolve.h"
#include "survey/patternlinks.h"
#include "survey/regexp.h"

#include <memory>
#include <vector>

void btn3Click(FormState &form, const QString &siteText)
{
    form.siteurl = siteText;
    form.lv1.clear();
    gotourl(form, form.siteurl, 0, dispatch::ModeSite);
}

void siteReplyBranch(FormState &form, TRegExp &myreg, const QString &siteUrl, const QString &finalUrl, const QString &page)
{
    std::unique_ptr<LinkExtractor> extractor;
    if (form.bschck4)
        extractor = std::make_unique<HtmlLinkExtractor>();
    else
        extractor = std::make_unique<PatternLinkExtractor>(myreg, form.linkexpr);
    const QStringList records = linkRecords(*extractor, page, siteUrl, pageAddress(siteUrl, finalUrl));

    const QString access = form.bschck3 ? celltext::Pending : celltext::NoAnswer;
    const QString rank = form.bschck2 ? celltext::Pending : celltext::NoAnswer;
    const QString &inside = celltext::Internal;
    const QString &outside = celltext::External;

    form.lv1.addRow(ResultRow {QStringLiteral("0"), {inside, celltext::SiteRow, siteUrl, access, rank}});
    form.setLbl13(QStringLiteral("提示：") + siteUrl + QStringLiteral("访问成功..."));

    const QString separator = QStringLiteral("[@m@]");
    std::vector<ResultRow> rows;
    rows.reserve(std::size_t(records.size()));
    for (qsizetype i = 0; i < records.size(); ++i) {
        const QString &record = records.at(i);
        const bool unaddressable = record.endsWith(UnaddressableRecordEnd);
        const QStringList pieces = splitstr(unaddressable ? record.chopped(UnaddressableRecordEnd.size()) : record, separator);
        // A link that is no address keeps the form it was written in.
        const QString url = unaddressable ? pieces.value(0) : normurl(pieces.value(0));
        const QString mark = pieces.value(2) == QLatin1String("out") ? outside : inside;
        ResultRow row {QString::number(i + 1), {mark, pieces.value(1), url, access, rank}};
        row.unaddressable = unaddressable;
        rows.push_back(std::move(row));
    }
    form.lv1.addRows(std::move(rows));
    form.lv1.setSources(std::make_shared<SurveySources>(form.lv1, addressKey(withWebScheme(siteUrl))));

    // The filter looks at every row of the list once, the rows of an earlier
    // site query included; the rest keep their order and their numbers.
    const QString *drop = nullptr;
    if (form.rdlist1 == 1)
        drop = &outside;
    else if (form.rdlist1 == 2)
        drop = &inside;
    if (drop)
        form.lv1.removeRowsIf([drop](const ResultRow &row) { return row.cells[CellInternal] == *drop; });
    startListRun(form);
    emit form.sitePageListed();
}

bool answerUnaddressable(FormState &form, int row)
{
    if (!form.lv1.hasRow(row) || !form.lv1.row(row).unaddressable)
        return false;
    FetchResult record;
    record.finalUrl = form.lv1.cell(row, CellUrl);
    checkAnswered(form, row, record, verdictMark(VerdictClass::Invalid), VerdictClass::Invalid, false);
    return true;
}
