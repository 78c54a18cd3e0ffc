#include "query/regdomain.h"

#include "base/textutil.h"
#include "fetch/httpgetthread.h"

#include <QUrl>

#include <arpa/inet.h>
#include <libpsl.h>

#include <algorithm>

namespace {

// The newest list on the machine: the distribution's file when it is newer
// than the one built into the library. Loaded once; never changes after.
const psl_ctx_t *suffixList()
{
    static const psl_ctx_t *const list = [] {
        const psl_ctx_t *latest = psl_latest(nullptr);
        return latest ? latest : psl_builtin();
    }();
    return list;
}

// Every form that the fetch would connect to as an address, not a name:
// dotted quads and their short and numeric forms ("127.1", "2130706433"),
// and bracketed IPv6.
bool isIpAddress(const QString &host)
{
    if (host.startsWith(QLatin1Char('[')))
        return true;
    const QByteArray latin = host.toLatin1();
    in_addr v4 {};
    in6_addr v6 {};
    return ::inet_aton(latin.constData(), &v4) != 0 || ::inet_pton(AF_INET6, latin.constData(), &v6) == 1;
}

} // namespace

RowDomain rowDomain(const QString &rowUrl)
{
    // The host the row's fetch connects to.
    QString host = SplitURL(rowUrl).Host;
    while (host.endsWith(QLatin1Char('.')))
        host.chop(1);
    if (host.isEmpty() || isIpAddress(host))
        return {};
    // Only a name with other than ASCII letters needs its punycode form.
    const bool ascii = std::all_of(host.begin(), host.end(), [](QChar c) { return c.unicode() < 0x80; });
    const QByteArray lower = ascii ? asciilower(host).toLatin1() : asciilower(QString::fromLatin1(QUrl::toAce(host))).toLatin1();
    // Only what a host name may hold reaches the list: a user part, a space
    // or any other stray character makes the address name no domain.
    const bool hostName = !lower.isEmpty() && std::all_of(lower.begin(), lower.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '-';
    });
    if (!hostName)
        return {};
    const char *domain = psl_registrable_domain(suffixList(), lower.constData());
    return {QString::fromLatin1(lower), domain ? QString::fromLatin1(domain) : QString()};
}

QString registrableDomain(const QString &rowUrl)
{
    return rowDomain(rowUrl).domain;
}
