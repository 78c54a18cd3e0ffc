#include "query/toolbarrank.h"

#include "query/dispatch.h"
#include "query/prquery.h"
#include "shell/formstate.h"

ToolbarRankSource::ToolbarRankSource(FormState &form)
    : m_form(form)
{
}

void ToolbarRankSource::queryRow(int row)
{
    const QString url = getprurl(m_form.lv1.cell(row, CellUrl), m_form.memo3, m_form.iplist);
    gotourl(m_form, url, row, dispatch::ModeRank);
}

void ToolbarRankSource::requeryRow(int row)
{
    queryRow(row);
}
