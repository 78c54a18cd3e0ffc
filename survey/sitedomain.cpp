#include "survey/sitedomain.h"

#include "shell/errors.h"
#include "shell/textutil.h"

#include <QStringBuilder>

namespace {

// Searched as one text: ".<label>" is found when the label begins one of
// these names, or is empty.
const QString &suffixText()
{
    static const QString text = QStringLiteral(
        ".com.net.org.int.edu.gov.mil.biz.info.name.pro.museum.aero.coop.travel.asia.jobs.mobi.tel.cat.co.ne");
    return text;
}

} // namespace

QString getdomain2(const QString &url)
{
    const QStringList beforeQuery = splitstr(url, QStringLiteral("?"));
    if (beforeQuery.isEmpty())
        throw AppError(QStringLiteral("Empty address"));
    // Only pieces 0 to 2 at "/", and whether there are three, play a part:
    // the rest of the path is cut off before splitting, which changes neither.
    const QString &head = beforeQuery.at(0);
    const qsizetype firstSlash = head.indexOf(u'/');
    const qsizetype secondSlash = firstSlash < 0 ? -1 : head.indexOf(u'/', firstSlash + 1);
    const qsizetype thirdSlash = secondSlash < 0 ? -1 : head.indexOf(u'/', secondSlash + 1);
    const QStringList parts = splitstr(thirdSlash < 0 ? head : head.left(thirdSlash), QStringLiteral("/"));
    if (parts.isEmpty())
        throw AppError(QStringLiteral("Address without a host: ") + url);
    const QStringList hostAndPort = splitstr(parts.size() >= 3 ? parts.at(2) : parts.at(0), QStringLiteral(":"));
    if (hostAndPort.isEmpty())
        throw AppError(QStringLiteral("Address without a host: ") + url);
    const QStringList labels = splitstr(hostAndPort.at(0), QStringLiteral("."));
    if (labels.size() < 2)
        throw AppError(QStringLiteral("Host of a single label: ") + url);

    const qsizetype n = labels.size();
    const QString &last = labels.at(n - 1);
    const QString &second = labels.at(n - 2);
    if (last.size() > 2 || !suffixText().contains(u'.' % second))
        return second % u'.' % last;
    if (n < 3)
        throw AppError(QStringLiteral("Host too short for its suffix: ") + url);
    return labels.at(n - 3) % u'.' % second % u'.' % last;
}
