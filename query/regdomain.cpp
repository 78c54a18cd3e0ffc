#include "query/regdomain.h"

#include "base/textutil.h"
#include "fetch/urlparts.h"

#include <QUrl>

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

} // namespace

RowDomain rowDomain(const QString &rowUrl)
{
    // The host the row's fetch connects to.
    QString host = SplitURL(rowUrl).Host;
    while (host.endsWith(QLatin1Char('.')))
        host.chop(1);
    // An address written as numbers, in any form the fetch takes as one,
    // names no domain.
    if (host.isEmpty() || isNumericHost(host))
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
