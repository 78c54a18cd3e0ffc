#include "query/oprprotocol.h"

#include "base/textutil.h"
#include "fetch/fetchresult.h"
#include "fetch/httpgetthread.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QUrl>

#include <algorithm>
#include <cmath>
#include <optional>

namespace opr {

namespace {

const QString NoRank = QStringLiteral("--");

// The rank of an entry, from a JSON number or a numeric string; "--" with a
// reason for one outside the scale.
struct RankAnswer
{
    QString cell;
    QString reason;
};

RankAnswer rankAnswer(const QString &domain, const QJsonValue &value)
{
    std::optional<double> rank;
    if (value.isDouble()) {
        rank = value.toDouble();
    } else if (value.isString()) {
        bool ok = false;
        const double d = value.toString().trimmed().toDouble(&ok);
        if (ok)
            rank = d;
    }
    if (!rank || !std::isfinite(*rank) || *rank != std::floor(*rank))
        return {NoRank, QString()};
    if (*rank < LowestRank || *rank > HighestRank) {
        const QString shown = std::fabs(*rank) < 1e15 ? QString::number(qint64(*rank)) : QString::number(*rank);
        return {NoRank, QStringLiteral("Open PageRank: %1 的排名 %2 不在 %3 到 %4 之间").arg(domain, shown).arg(LowestRank).arg(HighestRank)};
    }
    return {QString::number(int(*rank)), QString()};
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

QString redirectedText(const QString &otherHost)
{
    return QStringLiteral("Open PageRank: 接口重定向到其他主机 %1，未跟随：API 密钥只发给所设接口的主机").arg(otherHost);
}

QString tooManyRequestsText()
{
    return QStringLiteral("Open PageRank: 服务一直要求稍后再试 (429)，已放弃，其余域名的 PR 记为 --");
}

Reply readReply(const QStringList &domains, const FetchResult &record, const QByteArray *body)
{
    if (!body && record.detail == RedirectElsewhereText()) {
        Reply reply = allFailed(domains);
        reply.kind = Reply::Kind::RedirectedElsewhere;
        reply.otherHost = QUrl(record.finalUrl).host();
        return reply;
    }
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
        if (statusIsOk(entry.value(QLatin1String("status_code")))) {
            const RankAnswer answer = rankAnswer(domain, entry.value(QLatin1String("page_rank_integer")));
            *it = answer.cell;
            if (!answer.reason.isEmpty())
                reply.reasons.insert(domain, answer.reason);
        }
    }
    return reply;
}

} // namespace opr
