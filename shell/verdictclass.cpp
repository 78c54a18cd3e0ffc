#include "shell/verdictclass.h"

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
