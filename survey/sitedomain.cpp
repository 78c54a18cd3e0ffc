#include "survey/sitedomain.h"

#include "base/errors.h"

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

// The pieces that the rule takes from its splits at "?", "/", ":" and "."
// are found in place: a survey works out the domain of every link.
QString getdomain2(const QString &url)
{
    if (url.isEmpty())
        throw AppError(QStringLiteral("网址为空"));
    QStringView head(url);
    const qsizetype query = head.indexOf(u'?');
    if (query >= 0)
        head = head.left(query);
    if (head.isEmpty())
        throw AppError(QStringLiteral("网址中没有主机名: ") + url);

    // Piece 2 at "/" when there are three pieces or more, else piece 0.
    const qsizetype firstSlash = head.indexOf(u'/');
    const qsizetype secondSlash = firstSlash < 0 ? -1 : head.indexOf(u'/', firstSlash + 1);
    QStringView hostAndPort;
    if (secondSlash >= 0) {
        const qsizetype thirdSlash = head.indexOf(u'/', secondSlash + 1);
        hostAndPort = head.mid(secondSlash + 1, thirdSlash < 0 ? -1 : thirdSlash - secondSlash - 1);
    } else {
        hostAndPort = firstSlash < 0 ? head : head.left(firstSlash);
    }
    if (hostAndPort.isEmpty())
        throw AppError(QStringLiteral("网址中没有主机名: ") + url);
    const qsizetype colon = hostAndPort.indexOf(u':');
    const QStringView host = colon < 0 ? hostAndPort : hostAndPort.left(colon);

    // The dots before the last, second-to-last and third-to-last labels.
    const qsizetype lastDot = host.lastIndexOf(u'.');
    if (lastDot < 0)
        throw AppError(QStringLiteral("主机名只有一段, 无法取得网站域名: ") + url);
    const qsizetype secondDot = lastDot == 0 ? -1 : host.lastIndexOf(u'.', lastDot - 1);
    const QStringView last = host.mid(lastDot + 1);
    const QStringView second = host.mid(secondDot + 1, lastDot - secondDot - 1);
    if (last.size() > 2 || !suffixText().contains(u'.' + second.toString()))
        return host.mid(secondDot + 1).toString();
    if (secondDot < 0)
        throw AppError(QStringLiteral("主机名短于其域名后缀: ") + url);
    const qsizetype thirdDot = secondDot == 0 ? -1 : host.lastIndexOf(u'.', secondDot - 1);
    return host.mid(thirdDot + 1).toString();
}
