#include "store/records.h"

#include <QStringList>

#include <array>

bool RunSummary::resumable() const
{
    return rowsStored && ending != QLatin1String("completed") && ending != QLatin1String("failed");
}

VerdictClass verdictFromKey(const QString &key)
{
    static const std::array all = {VerdictClass::Unchecked, VerdictClass::Alive, VerdictClass::Dead, VerdictClass::Blocked,
        VerdictClass::Soft404, VerdictClass::Invalid, VerdictClass::Robots};
    for (const VerdictClass v : all) {
        if (verdictClassKey(v) == key)
            return v;
    }
    return VerdictClass::Unchecked;
}

QString hopsText(const QList<int> &hops)
{
    QString out;
    for (qsizetype i = 0; i < hops.size(); ++i) {
        if (i > 0)
            out += QLatin1Char(',');
        out += QString::number(hops.at(i));
    }
    return out;
}

QList<int> hopsFromText(const QString &text)
{
    QList<int> out;
    if (text.isEmpty())
        return out;
    for (const QString &part : text.split(QLatin1Char(',')))
        out << part.toInt();
    return out;
}

FetchFailure reasonFromKey(const QString &key)
{
    for (int i = int(FetchFailure::NameNotResolved); i <= int(FetchFailure::Other); ++i) {
        if (reasonKey(FetchFailure(i)) == key)
            return FetchFailure(i);
    }
    return FetchFailure::Other;
}
