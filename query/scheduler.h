#pragma once

class FormState;

// The query timer's tick: sends the requests of row curindex, advances it, and
// turns the timer off after the last row.
void tmr2Timer(FormState &form);

// The interval box changed: the timer takes the new interval, and a running
// timer starts its wait anew.
void bsknspndt1Change(FormState &form, int value);

// "重新查询": sends both requests of the selected row at once (row -1: none).
void N4Click(FormState &form, int selectedRow);
