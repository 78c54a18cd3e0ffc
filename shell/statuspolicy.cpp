#include "shell/statuspolicy.h"

#include <QStringList>

namespace {

std::optional<VerdictClass> className(const QString &name)
{
    if (name == QLatin1String("alive"))
        return VerdictClass::Alive;
    if (name == QLatin1String("dead"))
        return VerdictClass::Dead;
    if (name == QLatin1String("blocked"))
        return VerdictClass::Blocked;
    return std::nullopt;
}

bool isDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

} // namespace

std::optional<StatusPolicy> StatusPolicy::parse(const QString &text, QString *error)
{
    const auto fail = [error](const QString &why) {
        if (error)
            *error = why;
        return std::nullopt;
    };
    StatusPolicy policy;
    if (text.trimmed().isEmpty())
        return policy;
    for (const QString &raw : text.split(QLatin1Char(','))) {
        const QString entry = raw.trimmed().toLower();
        const qsizetype colon = entry.indexOf(QLatin1Char(':'));
        const QString code = entry.left(colon).trimmed();
        const std::optional<VerdictClass> verdict = className(colon < 0 ? QString() : entry.mid(colon + 1).trimmed());
        if (colon < 0 || !verdict)
            return fail(QStringLiteral("\"%1\" 应为 代码:类别, 类别为 alive、dead 或 blocked").arg(raw.trimmed()));
        const bool range = code.size() == 3 && code.at(0) >= u'1' && code.at(0) <= u'9' && code.mid(1) == QLatin1String("xx");
        const bool single = code.size() == 3 && code.at(0) >= u'1' && isDigit(code.at(0)) && isDigit(code.at(1)) && isDigit(code.at(2));
        if (range)
            policy.m_ranges[std::size_t(code.at(0).unicode() - u'0')] = verdict;
        else if (single)
            policy.m_codes.insert(code.toInt(), *verdict);
        else
            return fail(QStringLiteral("\"%1\" 中的代码应为 100 到 999 的三位数或 4xx 这样的范围").arg(raw.trimmed()));
    }
    return policy;
}

std::optional<VerdictClass> StatusPolicy::classOf(int code) const
{
    const auto exact = m_codes.constFind(code);
    if (exact != m_codes.constEnd())
        return *exact;
    if (code >= 100 && code <= 999)
        return m_ranges[std::size_t(code / 100)];
    return std::nullopt;
}
