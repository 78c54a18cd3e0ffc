#pragma once

#include <QString>
#include <QtGlobal>

class ResultListModel;

// What a run without a screen tells about the list on standard error.
struct ListTally
{
    int rows = 0;
    int alive = 0; // 访问 "√"
    int dead = 0; // 访问 "×"
    int prFound = 0; // a PR cell that holds a rank
    int newDead = 0; // 变化 "新死链"
    int fixed = 0; // 变化 "已修复"
};

ListTally tallyList(const ResultListModel &list);

// "进度: 120/300, 死链 3, 预计剩余 2 秒": done of total answers after elapsedMs;
// the time left is guessed from the pace so far, and left out before the
// first answer.
QString progressText(int done, int total, int dead, qint64 elapsedMs);

// "完成: 300 行, √ 290, × 10, PR 12 个, 输出 out.csv"; with changes (a
// run compared with the result store) "..., PR 12 个, 新死链 2, 已修复 1,
// 输出 out.csv".
QString summaryText(const ListTally &tally, const QString &outputName, bool withChanges = false);
