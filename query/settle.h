#pragma once

class FormState;

// What the cells of rows say once no answer is coming for them. A cell that
// still reads "查询中..." (or "查询...") would pass for an answer on its way,
// in the window and in every export: it reads "--" instead, and the 状态
// column of a row without a check says why ("未查询", "未完成").

// The run has ended or was stopped: every waiting cell whose query was never
// sent (a stop, an unticked box) reads "--", and its row "未查询". Cells whose
// request is on its way, or whose rank source still waits for their answer,
// keep waiting.
void settleUnsent(FormState &form);

// The run is over for good (a time-out or a signal of a run without a
// screen): every waiting cell reads "--"; a row whose request was on its way
// is "未完成", any other "未查询".
void settleAll(FormState &form);
