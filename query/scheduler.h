#pragma once

#include <QList>

class FormState;

// The query timer's tick: sends the requests of row curindex, advances it, and
// turns the timer off after the last row.
void tmr2Timer(FormState &form);

// The interval box changed: the timer takes the new interval, and a running
// timer starts its wait anew.
void bsknspndt1Change(FormState &form, int value);

// "重新查询": sends both requests of the selected row at once (row -1: none).
void N4Click(FormState &form, int selectedRow);

// "重新查询" over several rows (the rows of a multiple selection): the first
// is sent at once, the others one a tick, so that the interval keeps pacing
// the ranking service. The query timer runs until
// they are sent; a rebuilt list drops those not yet sent.
void N4Click(FormState &form, const QList<int> &selectedRows);

// "停止": ends the walk, drops the rows of a re-query not yet sent, and
// cancels a whole-site query whose page has not come yet, at once. Requests in flight still write their answers; the list keeps every
// cell.
void btnStopClick(FormState &form);
