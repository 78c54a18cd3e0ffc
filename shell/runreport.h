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
    int doubtful = 0; // 访问 "?" (存疑)
    int prFound = 0; // a PR cell that holds a rank
    int newDead = 0; // 变化 "新死链"
    int fixed = 0; // 变化 "已修复"
    int robots = 0; // forbidden by robots.txt, never requested
};

ListTally tallyList(const ResultListModel &list);

// "进度: 120/300, 死链 3, 预计剩余 2 秒": done of total answers after elapsedMs;
// the time left is guessed from the pace so far, and left out before the
// first answer.
QString progressText(int done, int total, int dead, qint64 elapsedMs);

// ", 已读网页 12/40": the pages a crawl has read of those it knows to read.
QString crawlProgressText(int pagesRead, int pagesToRead);

// "完成: 300 行, √ 285, × 10, 存疑 5, PR 12 个, 输出 out.csv"; rows that
// robots.txt forbids are counted apart (", robots禁止 3") when there are any;
// with softProbes of 0 or more (a run that compared pages with their
// folders' probes), ", 软404探测 7 次"; with changes (a run compared with the
// result store), ", 新死链 2, 已修复 1"; then the output.
QString summaryText(const ListTally &tally, const QString &outputName, int softProbes = -1, bool withChanges = false);
// The same for a run that a time-out or a signal ended: "未完成: 120/300 行已查询,
// √ 110, × 10, 存疑 0, PR 0 个, 输出 out.csv", done of total rows answered.
QString unfinishedText(const ListTally &tally, int done, int total, const QString &outputName, int softProbes = -1, bool withChanges = false);
