#include "shell/verdictclass.h"

#include "fetch/fetchresult.h"
#include "shell/celltexts.h"

QString verdictClassKey(VerdictClass verdict)
{
    switch (verdict) {
    case VerdictClass::Unchecked:
        return QStringLiteral("unchecked");
    case VerdictClass::Alive:
        return QStringLiteral("alive");
    case VerdictClass::Dead:
        return QStringLiteral("dead");
    case VerdictClass::Blocked:
        return QStringLiteral("blocked");
    case VerdictClass::Soft404:
        return QStringLiteral("soft404");
    case VerdictClass::Invalid:
        return QStringLiteral("invalid");
    case VerdictClass::Robots:
        return QStringLiteral("robots");
    }
    return QStringLiteral("unchecked");
}

QString verdictMark(VerdictClass verdict)
{
    switch (verdict) {
    case VerdictClass::Alive:
        return celltext::Alive;
    case VerdictClass::Dead:
    case VerdictClass::Soft404:
    case VerdictClass::Invalid:
        return celltext::Dead;
    case VerdictClass::Blocked:
        return celltext::Doubtful;
    case VerdictClass::Robots: // never requested: nothing to mark
    case VerdictClass::Unchecked:
        break;
    }
    return celltext::NoAnswer;
}

namespace {

// Why a server would refuse a robot, by what it answered.
QString refusalWord(const FetchResult &record)
{
    if (record.challenged)
        return QStringLiteral("人机验证");
    switch (record.finalStatus()) {
    case 401:
    case 407:
        return QStringLiteral("需登录");
    case 429:
        return QStringLiteral("限流");
    case 403:
    case 999:
        return QStringLiteral("拒绝");
    default:
        // A code the user's policy moved here.
        return QStringLiteral("存疑");
    }
}

} // namespace

QString verdictStatusText(const FetchResult &record, VerdictClass verdict)
{
    QString word;
    if (verdict == VerdictClass::Invalid)
        return QStringLiteral("无效网址");
    if (verdict == VerdictClass::Robots)
        return celltext::RobotsForbidden;
    if (verdict == VerdictClass::Blocked)
        word = refusalWord(record);
    else if (verdict == VerdictClass::Soft404)
        word = QStringLiteral("软404");
    const QString text = statusText(record);
    if (word.isEmpty())
        return text;
    return text.isEmpty() ? word : text + QLatin1Char(' ') + word;
}
