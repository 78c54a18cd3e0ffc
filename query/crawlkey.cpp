#include "query/crawlkey.h"

#include "base/textutil.h"
#include "survey/linkresolve.h"

#include <QStringList>

namespace {

// RFC 3986, 5.2.4, over a path that starts with "/".
QString withoutDotSegments(QStringView path)
{
    if (!path.contains(u'.'))
        return path.toString();
    QList<QStringView> out;
    qsizetype i = 0;
    const qsizetype n = path.size();
    bool trailingSlash = false;
    while (i < n) {
        // path[i] is "/": the segment runs to the next one.
        qsizetype end = path.indexOf(u'/', i + 1);
        if (end < 0)
            end = n;
        const QStringView segment = path.mid(i + 1, end - i - 1);
        const bool last = end == n;
        if (segment == u".") {
            trailingSlash = last;
        } else if (segment == u"..") {
            if (!out.isEmpty())
                out.removeLast();
            trailingSlash = last;
        } else {
            out.append(segment);
            trailingSlash = false;
        }
        i = end;
    }
    QString result;
    result.reserve(path.size());
    for (const QStringView segment : out) {
        result += u'/';
        result += segment;
    }
    if (trailingSlash || result.isEmpty())
        result += u'/';
    return result;
}

} // namespace

QString addressKey(const QString &url)
{
    const QString address = withWebScheme(url);
    const qsizetype schemeEnd = address.indexOf(QLatin1String("://"));
    const QString scheme = asciilower(address.left(schemeEnd));
    QStringView rest = QStringView(address).mid(schemeEnd + 3);
    const qsizetype hash = rest.indexOf(u'#');
    if (hash >= 0)
        rest = rest.left(hash);

    qsizetype authorityEnd = 0;
    while (authorityEnd < rest.size() && rest[authorityEnd] != u'/' && rest[authorityEnd] != u'?')
        ++authorityEnd;
    const QStringView authority = rest.left(authorityEnd);
    QStringView path = rest.mid(authorityEnd);
    QStringView query;
    const qsizetype question = path.indexOf(u'?');
    if (question >= 0) {
        query = path.mid(question);
        path = path.left(question);
    }

    // user info, host and port; the host may be an IPv6 address in brackets.
    const qsizetype at = authority.lastIndexOf(u'@');
    const QStringView userInfo = at >= 0 ? authority.left(at + 1) : QStringView();
    QStringView hostPort = authority.mid(at + 1);
    QStringView port;
    const qsizetype bracket = hostPort.lastIndexOf(u']');
    const qsizetype colon = hostPort.lastIndexOf(u':');
    if (colon >= 0 && colon > bracket) {
        port = hostPort.mid(colon + 1);
        hostPort = hostPort.left(colon);
    }
    const bool defaultPort = port.isEmpty() || (scheme == QLatin1String("http") && port == u"80")
        || (scheme == QLatin1String("https") && port == u"443");

    QString key;
    key.reserve(address.size());
    key += scheme;
    key += QLatin1String("://");
    key += userInfo;
    key += asciilower(hostPort.toString());
    if (!defaultPort) {
        key += u':';
        key += port;
    }
    key += path.isEmpty() ? QStringLiteral("/") : withoutDotSegments(path);
    key += query;
    return key;
}

QString keyOrigin(const QString &key)
{
    const qsizetype schemeEnd = key.indexOf(QLatin1String("://"));
    const qsizetype pathStart = key.indexOf(u'/', schemeEnd < 0 ? 0 : schemeEnd + 3);
    return pathStart < 0 ? key : key.left(pathStart);
}

QString keyFolder(const QString &key)
{
    const qsizetype schemeEnd = key.indexOf(QLatin1String("://"));
    qsizetype end = key.indexOf(u'?', schemeEnd < 0 ? 0 : schemeEnd + 3);
    if (end < 0)
        end = key.size();
    const qsizetype slash = key.lastIndexOf(u'/', end - 1);
    return key.left(slash + 1);
}
