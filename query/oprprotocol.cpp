#include "query/oprprotocol.h"

#include "base/textutil.h"
#include "fetch/fetchresult.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

#include <algorithm>
#include <cmath>

namespace opr {

namespace {

const QString NoRank = QStringLiteral("--");

// The integer of an entry, from a JSON number or a numeric string.
QString rankText(const QJsonValue &value)
{
    if (value.isDouble()) {
        const double d = value.toDouble();
        if (std::isfinite(d) && d == std::floor(d) && std::fabs(d) < 1e9)
            return QString::number(qint64(d));
        return NoRank;
    }
    if (value.isString()) {
        bool ok = false;
        const int n = value.toString().trimmed().toInt(&ok);
        return ok ? QString::number(n) : NoRank;
    }
    return NoRank;
}

bool statusIsOk(const QJsonValue &status)
{
    // Absent counts as fine; the service sends it as a number, some proxies
    // as a string.
    if (status.isUndefined() || status.isNull())
        return true;
    if (status.isDouble())
        return status.toInt() == 200;
    return status.toString() == QLatin1String("200");
}

bool namesTheKey(const QString &error)
{
    return error.contains(QLatin1String("key"), Qt::CaseInsensitive);
}

Reply allFailed(const QStringList &domains)
{
    Reply reply;
    reply.kind = Reply::Kind::Failed;
    for (const QString &d : domains)
        reply.cells.insert(d, NoRank);
    return reply;
}

} // namespace

QString requestUrl(const QString &endpoint, const QStringList &domains)
{
    QString url = endpoint;
    QChar joiner = endpoint.contains(QLatin1Char('?')) ? QLatin1Char('&') : QLatin1Char('?');
    for (const QString &d : domains) {
        url += joiner + QStringLiteral("domains[]=") + d;
        joiner = QLatin1Char('&');
    }
    return url;
}

bool usableKey(const QString &key)
{
    const QString k = key.trimmed();
    return !k.isEmpty() && std::all_of(k.begin(), k.end(), [](QChar c) { return c.unicode() > 0x20 && c.unicode() < 0x7F; });
}

QByteArray keyHeader(const QString &key)
{
    return QByteArrayLiteral("API-OPR: ") + key.trimmed().toLatin1();
}

int pauseSeconds(int retryAfterSeconds)
{
    if (retryAfterSeconds < 0)
        return DefaultPauseSeconds;
    return std::min(retryAfterSeconds, MaxPauseSeconds);
}

Reply readReply(const QStringList &domains, const FetchResult &record, const QByteArray *body)
{
    const int status = record.finalStatus();
    if (status == 429) {
        Reply reply;
        reply.kind = Reply::Kind::TooManyRequests;
        reply.pauseSeconds = pauseSeconds(record.retryAfterSeconds);
        return reply;
    }
    const bool refusedByStatus = status == 401 || status == 403;
    const QJsonDocument doc = body ? QJsonDocument::fromJson(*body) : QJsonDocument();
    const QJsonObject top = doc.object();

    // A refused key comes as {"status":false,"error":"Invalid API key"},
    // under a 4xx status or even a 200.
    if (refusedByStatus || (top.value(QLatin1String("status")) == QJsonValue(false) && namesTheKey(top.value(QLatin1String("error")).toString()))) {
        Reply reply;
        reply.kind = Reply::Kind::KeyRejected;
        return reply;
    }
    const QJsonValue entries = top.value(QLatin1String("response"));
    if ((status != 0 && status >= 400) || !entries.isArray())
        return allFailed(domains);

    Reply reply = allFailed(domains);
    reply.kind = Reply::Kind::Ranks;
    for (const QJsonValue &e : entries.toArray()) {
        const QJsonObject entry = e.toObject();
        const QString domain = asciilower(entry.value(QLatin1String("domain")).toString().trimmed());
        // Only the domains asked: a reply cannot answer for any other.
        const auto it = reply.cells.find(domain);
        if (it == reply.cells.end())
            continue;
        if (statusIsOk(entry.value(QLatin1String("status_code"))))
            *it = rankText(entry.value(QLatin1String("page_rank_integer")));
    }
    return reply;
}

} // namespace opr
