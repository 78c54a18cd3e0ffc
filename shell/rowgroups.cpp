#include "shell/rowgroups.h"

#include "shell/celltexts.h"
#include "shell/resultlist.h"

RowGroup classGroupOf(const ResultRow &row)
{
    const QString &access = row.cells[CellAccess];
    if (access == celltext::Dead)
        return RowGroup::Dead;
    if (access == celltext::Alive)
        return RowGroup::Live;
    if (access == celltext::Doubtful || row.verdict == VerdictClass::Blocked)
        return RowGroup::Doubt;
    return RowGroup::Unchecked;
}

std::optional<RowGroup> statusGroupOf(const ResultRow &row)
{
    if (!row.check)
        return std::nullopt;
    const int status = row.check->finalStatus();
    if (status >= 200 && status < 300)
        return RowGroup::Status2xx;
    if (status >= 300 && status < 400)
        return RowGroup::Status3xx;
    if (status >= 400 && status < 500)
        return RowGroup::Status4xx;
    if (status >= 500 && status < 600)
        return RowGroup::Status5xx;
    return RowGroup::Failed;
}

bool inGroup(const ResultRow &row, RowGroup group)
{
    if (group <= RowGroup::Unchecked)
        return classGroupOf(row) == group;
    return statusGroupOf(row) == group;
}

QString groupName(RowGroup group)
{
    switch (group) {
    case RowGroup::Live:
        return QStringLiteral("正常");
    case RowGroup::Dead:
        return QStringLiteral("死链");
    case RowGroup::Doubt:
        return QStringLiteral("存疑");
    case RowGroup::Unchecked:
        return QStringLiteral("未检测");
    case RowGroup::Status2xx:
        return QStringLiteral("2xx");
    case RowGroup::Status3xx:
        return QStringLiteral("3xx");
    case RowGroup::Status4xx:
        return QStringLiteral("4xx");
    case RowGroup::Status5xx:
        return QStringLiteral("5xx");
    case RowGroup::Failed:
        return QStringLiteral("失败");
    }
    return QString();
}
