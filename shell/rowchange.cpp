#include "shell/rowchange.h"

#include <iterator>

namespace {

// The words of each change, in the order of RowChange.
struct ChangeWords
{
    const char *text; // the 变化 column
    const char *key; // the result store
};

const ChangeWords kWords[] = {
    {"", ""}, // Same
    {"新死链", "new_dead"}, // NewDead
    {"已修复", "fixed"}, // Fixed
    {"持续死链", "still_dead"}, // StillDead
    {"新链接", "new"}, // New
};
static_assert(std::size(kWords) == std::size_t(RowChange::New) + 1);

} // namespace

QString rowChangeText(RowChange change)
{
    return QString::fromUtf8(kWords[std::size_t(change)].text);
}

QString rowChangeKey(RowChange change)
{
    return QString::fromUtf8(kWords[std::size_t(change)].key);
}

RowChange rowChangeFromKey(const QString &key)
{
    for (std::size_t i = 1; i < std::size(kWords); ++i) {
        if (key == QLatin1String(kWords[i].key))
            return RowChange(i);
    }
    return RowChange::Same;
}

RowChange rowChangeOf(const ChangeInput &in)
{
    if (!in.deadNow && !in.aliveNow)
        return RowChange::Same;
    if (!in.checkedBefore)
        return RowChange::New;
    if (in.deadNow && in.aliveBefore)
        return RowChange::NewDead;
    if (in.aliveNow && in.deadBefore)
        return RowChange::Fixed;
    if (in.deadNow && in.deadBefore)
        return RowChange::StillDead;
    return RowChange::Same;
}
