#include "query/settle.h"

#include "query/dispatch.h"
#include "query/myhttpget.h"
#include "shell/celltexts.h"
#include "shell/formstate.h"
#include "shell/ranksource.h"

#include <QSet>

namespace {

// The rows of the current list with a request of mode on its way.
struct InFlight
{
    QSet<int> rank;
    QSet<int> reach;
};

InFlight inFlight(const FormState &form)
{
    InFlight rows;
    for (const Tmyhttpget *request : form.findChildren<Tmyhttpget *>(QString(), Qt::FindDirectChildrenOnly)) {
        if (request->listGeneration != form.lv1.generation())
            continue;
        if (request->mode == dispatch::ModeRank)
            rows.rank.insert(request->rowindex);
        else if (request->mode == dispatch::ModeReach)
            rows.reach.insert(request->rowindex);
    }
    for (const int row : form.rankSource().waitingRows())
        rows.rank.insert(row);
    return rows;
}

bool waiting(const QString &cell)
{
    return cell == celltext::Pending || cell == celltext::Requery;
}

void settle(FormState &form, bool all)
{
    ResultListModel &list = form.lv1;
    const InFlight sent = inFlight(form);
    for (int row = 0; row < list.count(); ++row) {
        bool settled = false;
        bool wasSent = false;
        for (const auto &[cell, rows] : {std::pair {CellAccess, &sent.reach}, std::pair {CellPr, &sent.rank}}) {
            if (!waiting(list.cell(row, cell)))
                continue;
            const bool onItsWay = rows->contains(row);
            if (onItsWay && !all)
                continue;
            list.setCell(row, cell, celltext::NoAnswer);
            settled = true;
            wasSent = wasSent || onItsWay;
        }
        if (settled && !list.check(row))
            list.addNote(row, wasSent ? celltext::Unfinished : celltext::Unsent);
    }
}

} // namespace

void settleUnsent(FormState &form)
{
    settle(form, false);
}

void settleAll(FormState &form)
{
    settle(form, true);
}
