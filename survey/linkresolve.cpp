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

// The scheme a link names, lower-cased; empty when it names none. As a
// browser reads it: an ASCII letter, then letters, digits, "+", "-" or ".",
// up to the first ":".
QString schemeOf(const QString &link)
{
    if (link.isEmpty() || !isAsciiAlpha(link.at(0)))
        return {};
    for (qsizetype i = 1; i < link.size(); ++i) {
        const QChar c = link.at(i);
        if (c == u':')
            return asciilower(link.left(i));
        if (!isAsciiAlpha(c) && !(c >= u'0' && c <= u'9') && c != u'+' && c != u'-' && c != u'.')
            return {};
    }
    return {};
}

bool isWebScheme(const QString &scheme)
{
    return scheme == QLatin1String("http") || scheme == QLatin1String("https");
}

// In a web address a backslash before the query is a slash.
QString slashed(QString link)
{
    for (QChar &c : link) {
        if (c == u'?' || c == u'#')
            break;
        if (c == u'\\')
            c = u'/';
    }
    return link;
}

QString withoutFragment(const QString &link)
{
    const qsizetype hash = link.indexOf(u'#');
    return hash < 0 ? link : link.left(hash);
}

// The text of an address, with what a person cannot see escaped: spaces,
// and the controls and format characters (zero-width spaces among them)
// that would hide in a cell. Other characters stay readable.
QString addressText(const QUrl &url)
{
    const QString text = url.toString(QUrl::RemoveFragment | QUrl::EncodeSpaces);
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        const QChar::Category category = c.category();
        const bool invisible = c.unicode() > 0x7F
            && (category == QChar::Other_Format || category == QChar::Other_Control || category == QChar::Separator_Space
                || category == QChar::Separator_Line || category == QChar::Separator_Paragraph);
        if (!invisible) {
            out += c;
            continue;
        }
        for (const char byte : QString(c).toUtf8())
            out += QLatin1Char('%') + QString::number(uchar(byte), 16).toUpper().rightJustified(2, QLatin1Char('0'));
    }
    return out;
}

// An http or https address with any number of slashes after its scheme, as
// a browser reads it.
QUrl absoluteAddress(const QString &scheme, const QString &rest)
{
    qsizetype from = 0;
    while (from < rest.size() && rest.at(from) == u'/')
        ++from;
    return QUrl(scheme + QStringLiteral("://") + rest.mid(from));
}

// A relative path whose first segment holds a colon would name a scheme to
// the RFC 3986 reader; "./" in front keeps it a path.
QString asRelativeReference(const QString &reference)
{
    qsizetype end = 0;
    while (end < reference.size() && reference.at(end) != u'/' && reference.at(end) != u'?' && reference.at(end) != u'#')
        ++end;
    return reference.left(end).contains(u':') ? QStringLiteral("./") + reference : reference;
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

ReadLink LinkResolver::read(const QString &href) const
{
    const QString link = cleaned(href);
    const QString scheme = schemeOf(link);
    if (!scheme.isEmpty() && !isWebScheme(scheme))
        return {ReadLink::Kind::NotWeb, QString()};
    const auto web = [](const QUrl &url) { return ReadLink {ReadLink::Kind::Web, addressText(url)}; };
    const ReadLink unaddressable {ReadLink::Kind::Unaddressable, link};
    QString reference = slashed(link);
    if (!scheme.isEmpty()) {
        if (startsWithAsciiNoCase(link, u"http://") || startsWithAsciiNoCase(link, u"https://")) {
            const QString written = withoutFragment(link);
            if (isWebUrl(QUrl(written)))
                return {ReadLink::Kind::Web, written};
        }
        const QString rest = reference.mid(scheme.size() + 1);
        // "http:page" and "http:/page" are relative to a base of the same
        // scheme; otherwise the scheme starts a whole address.
        if (rest.startsWith(QLatin1String("//")) || scheme != m_base.scheme()) {
            const QUrl url = absoluteAddress(scheme, rest);
            return isWebUrl(url) ? web(url) : unaddressable;
        }
        reference = rest;
    }
    // Without a web address to stand on, a relative link says nothing
    // about itself.
    if (!isWebUrl(m_base))
        return {ReadLink::Kind::NotWeb, QString()};
    // An empty link is the page itself.
    const QUrl relative(asRelativeReference(reference));
    if (!reference.isEmpty() && !relative.isValid())
        return unaddressable;
    const QUrl url = m_base.resolved(relative);
    return isWebUrl(url) ? web(url) : unaddressable;
}

QString LinkResolver::resolve(const QString &href) const
{
    const ReadLink link = read(href);
    return link.kind == ReadLink::Kind::Web ? link.url : QString();
}
