#pragma once

#include <QString>
#include <QtGlobal>

#include <optional>

// How a row's answer compares with the last check of its address in an
// earlier run, as the result store remembers it. The 变化 column, the
// exports and the counts of a run read it.
enum class RowChange {
    Same, // as before, or nothing to compare (not checked, no store)
    NewDead, // 新死链: dead now, alive at its last check
    Fixed, // 已修复: alive now, dead at its last check
    StillDead, // 持续死链: dead now and at its last check
    New, // 新链接: never checked before
};

// The 变化 text: "新死链", "已修复", "持续死链", "新链接"; empty for Same.
QString rowChangeText(RowChange change);

// The stable key of a change, as the result store keeps it: "new_dead",
// "fixed", "still_dead", "new"; empty for Same. And back.
QString rowChangeKey(RowChange change);
RowChange rowChangeFromKey(const QString &key);

// The change from what a check found before to what it finds now. Dead
// and alive are compared; an answer that is neither (blocked, not
// checked) is no change.
struct ChangeInput
{
    bool checkedBefore = false;
    bool deadBefore = false;
    bool aliveBefore = false;
    bool deadNow = false;
    bool aliveNow = false;
};
RowChange rowChangeOf(const ChangeInput &in);
