#include "shell/resultlist.h"
#include "shell/runreport.h"

#include <gtest/gtest.h>

namespace {

TEST(RunReport, TallyCountsVerdictsAndRanks)
{
    ResultListModel list;
    const auto row = [&](const char *access, const char *pr) {
        list.addRow(ResultRow {QStringLiteral("1"), {QStringLiteral("批量"), QStringLiteral("--"), QStringLiteral("a.cn"), QString::fromUtf8(access), QString::fromUtf8(pr)}});
    };
    row("√", "5");
    row("×", "--");
    row("×", "IP被屏蔽");
    row("查询中...", "0");
    row("√", "查询中...");
    row("?", "--");
    const ListTally t = tallyList(list);
    EXPECT_EQ(t.rows, 6);
    EXPECT_EQ(t.alive, 2);
    EXPECT_EQ(t.dead, 2);
    EXPECT_EQ(t.doubtful, 1);
    EXPECT_EQ(t.prFound, 2);
    EXPECT_EQ(summaryText(t, QStringLiteral("out.csv")), QStringLiteral("完成: 6 行, √ 2, × 2, 存疑 1, PR 2 个, 输出 out.csv"));
    EXPECT_EQ(summaryText(t, QStringLiteral("-"), 0), QStringLiteral("完成: 6 行, √ 2, × 2, 存疑 1, PR 2 个, 软404探测 0 次, 输出 -"));
    // A run cut short never says "完成".
    EXPECT_EQ(unfinishedText(t, 3, 6, QStringLiteral("-")), QStringLiteral("未完成: 3/6 行已查询, √ 2, × 2, 存疑 1, PR 2 个, 输出 -"));

    // Compared with the result store: the rows that died and those fixed.
    list.setChange(1, RowChange::NewDead, 0);
    list.setChange(2, RowChange::StillDead, 1);
    list.setChange(0, RowChange::Fixed, 0);
    list.setChange(4, RowChange::New, 0);
    const ListTally c = tallyList(list);
    EXPECT_EQ(c.newDead, 1);
    EXPECT_EQ(c.fixed, 1);
    EXPECT_EQ(summaryText(c, QStringLiteral("out.csv"), 0, true),
        QStringLiteral("完成: 6 行, √ 2, × 2, 存疑 1, PR 2 个, 软404探测 0 次, 新死链 1, 已修复 1, 输出 out.csv"));
}

TEST(RunReport, ChangeFromTheLastCheckOfTheAddress)
{
    // checked before, dead before, alive before, dead now, alive now -> change
    const struct
    {
        ChangeInput in;
        RowChange change;
    } cases[] = {
        {{false, false, false, true, false}, RowChange::New},
        {{false, false, false, false, true}, RowChange::New},
        {{false, false, false, false, false}, RowChange::Same}, // not checked now
        {{true, false, true, true, false}, RowChange::NewDead},
        {{true, true, false, false, true}, RowChange::Fixed},
        {{true, true, false, true, false}, RowChange::StillDead},
        {{true, false, true, false, true}, RowChange::Same},
        {{true, false, false, true, false}, RowChange::Same}, // before: neither (blocked)
        {{true, true, false, false, false}, RowChange::Same}, // now: neither
    };
    for (const auto &c : cases)
        EXPECT_EQ(rowChangeOf(c.in), c.change) << int(c.change);
    EXPECT_EQ(rowChangeText(RowChange::NewDead), QStringLiteral("新死链"));
    EXPECT_EQ(rowChangeText(RowChange::Fixed), QStringLiteral("已修复"));
    EXPECT_EQ(rowChangeText(RowChange::StillDead), QStringLiteral("持续死链"));
    EXPECT_EQ(rowChangeText(RowChange::New), QStringLiteral("新链接"));
    EXPECT_EQ(rowChangeText(RowChange::Same), QString());
    for (const RowChange c : {RowChange::Same, RowChange::NewDead, RowChange::Fixed, RowChange::StillDead, RowChange::New})
        EXPECT_EQ(rowChangeFromKey(rowChangeKey(c)), c);
}

TEST(RunReport, ProgressGuessesTheTimeLeftFromThePaceSoFar)
{
    EXPECT_EQ(progressText(0, 300, 0, 500), QStringLiteral("进度: 0/300, 死链 0"));
    EXPECT_EQ(progressText(100, 300, 3, 1000), QStringLiteral("进度: 100/300, 死链 3, 预计剩余 2 秒"));
    EXPECT_EQ(progressText(299, 300, 3, 10000), QStringLiteral("进度: 299/300, 死链 3, 预计剩余 1 秒")); // rounded up
    EXPECT_EQ(progressText(300, 300, 4, 10000), QStringLiteral("进度: 300/300, 死链 4"));
}

} // namespace
