#include "fetch/urlparts.h"

#include "base/textutil.h"

#include <arpa/inet.h>

#include <algorithm>

namespace {

int defaultPort(bool secure)
{
    return secure ? 443 : 80;
}

// A port text that is a whole decimal number names that port, or none when
// it is out of range; any other text leaves the scheme's default.
int portFromText(const QString &text, bool secure)
{
    const QByteArray latin = text.toLatin1();
    if (!isWholeDecimal(latin))
        return defaultPort(secure);
    bool ok = false;
    const int value = latin.toInt(&ok, 10);
    return ok && value >= 1 && value <= 65535 ? value : 0;
}

// The characters of the numeric IPv4 forms. inet_aton also takes a number
// followed by white space and anything at all; libcurl does not.
bool onlyIPv4Characters(QStringView host)
{
    return !host.isEmpty() && std::all_of(host.begin(), host.end(), [](QChar c) {
        return hexDigitValue(c.unicode()) >= 0 || c == u'.' || c == u'x' || c == u'X';
    });
}

bool parseIPv4(QStringView host, in_addr *address)
{
    return onlyIPv4Characters(host) && ::inet_aton(host.toLatin1().constData(), address) != 0;
}

bool isBracketedIPv6(QStringView host)
{
    if (host.size() < 3 || !host.startsWith(u'[') || !host.endsWith(u']'))
        return false;
    in6_addr address {};
    return ::inet_pton(AF_INET6, host.sliced(1, host.size() - 2).toLatin1().constData(), &address) == 1;
}

} // namespace

bool isWholeDecimal(QByteArrayView text)
{
    if (text.startsWith('+') || text.startsWith('-'))
        text = text.sliced(1);
    return !text.isEmpty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

TSplitURL SplitURL(const QString &url)
{
    TSplitURL parts;
    QString rest = url;
    if (startsWithAsciiNoCase(url, u"http://")) {
        rest = url.mid(7);
    } else if (startsWithAsciiNoCase(url, u"https://")) {
        rest = url.mid(8);
        parts.Secure = true;
    }
    const qsizetype slash = rest.indexOf(u'/');
    const QString hostPart = slash < 0 ? rest : rest.left(slash);
    parts.Path = slash < 0 ? QStringLiteral("/") : rest.mid(slash);
    const qsizetype colon = hostPart.indexOf(u':');
    if (colon < 0) {
        parts.Host = hostPart;
        parts.PortText = QString::number(defaultPort(parts.Secure));
    } else {
        parts.Host = hostPart.left(colon);
        parts.PortText = hostPart.mid(colon + 1);
    }
    parts.Port = portFromText(parts.PortText, parts.Secure);
    return parts;
}

QByteArray requestTarget(const QString &path)
{
    static const char hex[] = "0123456789ABCDEF";
    const QByteArray bytes = path.toUtf8();
    QByteArray target;
    target.reserve(bytes.size());
    for (const char ch : bytes) {
        const auto b = static_cast<unsigned char>(ch);
        if (b <= 0x20 || b == '#' || b >= 0x7F) {
            target += '%';
            target += hex[b >> 4];
            target += hex[b & 0xF];
        } else {
            target += ch;
        }
    }
    return target;
}

bool isNumericHost(QStringView host)
{
    in_addr v4 {};
    return parseIPv4(host, &v4) || isBracketedIPv6(host);
}

QString connectHost(const QString &host)
{
    in_addr v4 {};
    if (!parseIPv4(host, &v4))
        return host;
    char text[INET_ADDRSTRLEN] = {};
    return QString::fromLatin1(::inet_ntop(AF_INET, &v4, text, sizeof text));
}

bool hasControlCharacter(QStringView text)
{
    return std::any_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x20 || c.unicode() == 0x7F; });
}
