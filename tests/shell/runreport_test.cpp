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
}

TEST(RunReport, ProgressGuessesTheTimeLeftFromThePaceSoFar)
{
    EXPECT_EQ(progressText(0, 300, 0, 500), QStringLiteral("进度: 0/300, 死链 0"));
    EXPECT_EQ(progressText(100, 300, 3, 1000), QStringLiteral("进度: 100/300, 死链 3, 预计剩余 2 秒"));
    EXPECT_EQ(progressText(299, 300, 3, 10000), QStringLiteral("进度: 299/300, 死链 3, 预计剩余 1 秒")); // rounded up
    EXPECT_EQ(progressText(300, 300, 4, 10000), QStringLiteral("进度: 300/300, 死链 4"));
}

} // namespace
