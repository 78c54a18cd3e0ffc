#include "shell/runreport.h"

#include "shell/celltexts.h"
#include "shell/resultlist.h"

ListTally tallyList(const ResultListModel &list)
{
    ListTally t;
    t.rows = list.count();
    for (int i = 0; i < t.rows; ++i) {
        const QString &access = list.cell(i, CellAccess);
        if (access == celltext::Alive)
            ++t.alive;
        else if (access == celltext::Dead)
            ++t.dead;
        else if (access == celltext::Doubtful)
            ++t.doubtful;
        const QString &pr = list.cell(i, CellPr);
        if (!pr.isEmpty() && pr.front().isDigit())
            ++t.prFound;
        const RowChange change = list.change(i);
        if (change == RowChange::NewDead)
            ++t.newDead;
        else if (change == RowChange::Fixed)
            ++t.fixed;
        if (list.verdict(i) == VerdictClass::Robots)
            ++t.robots;
    }
    return t;
}

QString progressText(int done, int total, int dead, qint64 elapsedMs)
{
    QString text = QStringLiteral("进度: %1/%2, 死链 %3").arg(done).arg(total).arg(dead);
    if (done > 0 && done < total) {
        const qint64 leftMs = elapsedMs * (total - done) / done;
        text += QStringLiteral(", 预计剩余 %1 秒").arg((leftMs + 999) / 1000);
    }
    return text;
}

QString crawlProgressText(int pagesRead, int pagesToRead)
{
    return QStringLiteral(", 已读网页 %1/%2").arg(pagesRead).arg(pagesToRead);
}

namespace {

// What follows the rows in both summaries: ", √ 285, × 10, 存疑 5, PR 12 个,
// 输出 out.csv", with the robots, probe and change counts where they apply.
QString tallyTail(const ListTally &tally, const QString &outputName, int softProbes, bool withChanges)
{
    QString text = QStringLiteral(", √ %1, × %2, 存疑 %3").arg(tally.alive).arg(tally.dead).arg(tally.doubtful);
    if (tally.robots > 0)
        text += QStringLiteral(", robots禁止 %1").arg(tally.robots);
    text += QStringLiteral(", PR %1 个").arg(tally.prFound);
    if (softProbes >= 0)
        text += QStringLiteral(", 软404探测 %1 次").arg(softProbes);
    if (withChanges)
        text += QStringLiteral(", 新死链 %1, 已修复 %2").arg(tally.newDead).arg(tally.fixed);
    return text + QStringLiteral(", 输出 ") + outputName;
}

} // namespace

QString summaryText(const ListTally &tally, const QString &outputName, int softProbes, bool withChanges)
{
    return QStringLiteral("完成: %1 行").arg(tally.rows) + tallyTail(tally, outputName, softProbes, withChanges);
}

QString unfinishedText(const ListTally &tally, int done, int total, const QString &outputName, int softProbes, bool withChanges)
{
    return QStringLiteral("未完成: %1/%2 行已查询").arg(done).arg(total) + tallyTail(tally, outputName, softProbes, withChanges);
}
