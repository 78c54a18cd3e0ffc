#include "survey/linkresolve.h"

#include "base/textutil.h"

namespace {

bool isWebUrl(const QUrl &url)
{
    return url.isValid() && (url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https"))
        && !url.host().isEmpty();
}

// As the HTML URL parser reads an attribute: C0 controls and spaces at
// either end, tabs and line breaks anywhere, do not count.
QString cleaned(const QString &href)
{
    QString s = trimctl(href);
    s.removeIf([](QChar c) { return c == u'\t' || c == u'\n' || c == u'\r'; });
    return s;
}

bool isAsciiAlpha(QChar c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

// A scheme name (RFC 3986) directly followed by "://".
bool namesScheme(const QString &address)
{
    const qsizetype end = address.indexOf(QLatin1String("://"));
    if (end <= 0 || !isAsciiAlpha(address.at(0)))
        return false;
    for (qsizetype i = 1; i < end; ++i) {
        const QChar c = address.at(i);
        if (!isAsciiAlpha(c) && !(c >= u'0' && c <= u'9') && c != u'+' && c != u'-' && c != u'.')
            return false;
    }
    return true;
}

} // namespace

QString withWebScheme(const QString &address)
{
    return namesScheme(address) ? address : QStringLiteral("http://") + address;
}

QString pageAddress(const QString &requested, const QString &finalUrl)
{
    return finalUrl.isEmpty() ? withWebScheme(requested) : finalUrl;
}

LinkResolver::LinkResolver(const QString &pageUrl, const std::optional<QString> &baseHref)
    : m_base(pageUrl)
{
    if (baseHref) {
        const QUrl base = m_base.resolved(QUrl(cleaned(*baseHref)));
        if (isWebUrl(base))
            m_base = base;
    }
}

QString LinkResolver::resolve(const QString &href) const
{
    const QString link = cleaned(href);
    if (startsWithAsciiNoCase(link, u"http://") || startsWithAsciiNoCase(link, u"https://")) {
        const qsizetype hash = link.indexOf(u'#');
        return hash < 0 ? link : link.left(hash);
    }
    // An empty link is the page itself.
    const QUrl relative(link);
    if (!link.isEmpty() && !relative.isValid())
        return QString();
    const QUrl url = m_base.resolved(relative);
    return isWebUrl(url) ? url.toString(QUrl::RemoveFragment) : QString();
}
