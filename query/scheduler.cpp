#include "query/scheduler.h"

#include "query/dispatch.h"
#include "shell/celltexts.h"
#include "shell/formstate.h"
#include "shell/ranksource.h"

#include <QScopedValueRollback>

namespace {

// A request start processes pending events, so a command run inside it can
// clear or rebuild the list. Each request reads its row when it is built; a
// request whose row is gone, or belongs to an earlier list, is not sent.
bool rowStillThere(const FormState &form, int row, quint64 generation)
{
    return form.lv1.generation() == generation && form.lv1.hasRow(row) && !form.lv1.isBlank(row);
}

void sendReach(FormState &form, int row)
{
    // The record of an earlier check no longer describes the row.
    form.lv1.clearCheck(row);
    if (form.checkIntercepted(row))
        return;
    gotourl(form, form.lv1.cell(row, CellUrl), row, dispatch::ModeReach);
}

} // namespace

void tmr2Timer(FormState &form)
{
    if (form.inTick)
        return;
    const QScopedValueRollback<bool> inTick(form.inTick, true);

    if (form.requeueGeneration != form.lv1.generation())
        form.requeue.clear();
    if (!form.requeue.isEmpty()) {
        // A row of a re-query takes this tick's place in the walk.
        N4Click(form, form.requeue.takeFirst());
        if (form.requeue.isEmpty() && form.curindex > form.lv1.count() - 1)
            form.tmr2.stop();
        return;
    }

    // Rows whose every answer is known already (a run continued, the
    // cache) take no tick of their own.
    while (form.answerKnown(form.curindex, RowQuery::Whole))
        ++form.curindex;
    const int row = form.curindex;
    const quint64 generation = form.lv1.generation();
    // "停止" pressed inside one of this tick's request starts ends the walk
    // there: nothing more is sent.
    const bool walking = form.tmr2.isActive();
    const auto stopped = [&form, walking] { return walking && !form.tmr2.isActive(); };
    if (form.bschck2 && rowStillThere(form, row, generation) && !form.answerKnown(row, RowQuery::Rank))
        form.rankSource().queryRow(row);
    if (form.bschck3 && form.walkChecks && rowStillThere(form, row, generation) && !stopped())
        sendReach(form, row);
    if (form.lv1.generation() != generation && form.lv1.count() > 0) {
        // The list was rebuilt inside this tick: the new run has set its own
        // position, which this tick must not move.
        return;
    }
    ++form.curindex;
    if (form.curindex > form.lv1.count() - 1 && form.requeue.isEmpty())
        form.tmr2.stop();
}

void bsknspndt1Change(FormState &form, int value)
{
    // QTimer restarts a running timer when its interval is set.
    form.tmr2.setInterval(value);
}

void N4Click(FormState &form, int selectedRow)
{
    // A blank line has nothing to ask about.
    if (!form.lv1.hasRow(selectedRow) || form.lv1.isBlank(selectedRow))
        return;
    const quint64 generation = form.lv1.generation();
    form.lv1.setCell(selectedRow, CellAccess, celltext::Requery);
    form.lv1.setCell(selectedRow, CellPr, celltext::Requery);
    form.rankSource().requeryRow(selectedRow);
    if (rowStillThere(form, selectedRow, generation))
        sendReach(form, selectedRow);
}

void N4Click(FormState &form, const QList<int> &selectedRows)
{
    QList<int> rows;
    for (int row : selectedRows) {
        if (form.lv1.hasRow(row) && !form.lv1.isBlank(row))
            rows << row;
    }
    if (rows.isEmpty())
        return;
    // The interval is the ranking service's only throttle: the first row goes
    // at once, the others one a tick, as the walk would send them. A row keeps
    // its cells until its turn, so that a stop leaves no row waiting for
    // nothing.
    if (form.requeueGeneration != form.lv1.generation())
        form.requeue.clear();
    form.requeueGeneration = form.lv1.generation();
    form.requeue << rows.mid(1);
    if (!form.requeue.isEmpty() && !form.tmr2.isActive())
        form.tmr2.start();
    N4Click(form, rows.constFirst());
}

void btnStopClick(FormState &form)
{
    form.requeue.clear();
    emit form.stopRequested();
    // A whole-site query whose page is still coming would start a walk when
    // it arrives: it ends here, as a failed page that lists nothing.
    cancelRequests(form, dispatch::ModeSite);
    if (!form.tmr2.isActive())
        return;
    form.tmr2.stop();
    form.setLbl13(QStringLiteral("提示：查询已停止"));
}
