#include "query/prquery.h"

#include "base/errors.h"
#include "base/textutil.h"
#include "query/batch.h"
#include "query/checksum.h"

#include <chrono>
#include <random>

namespace {

// Process-wide, used from the main thread only.
std::mt19937 &generator()
{
    static std::mt19937 engine;
    return engine;
}

} // namespace

// memo4 is a memo like the entry box and splits into lines the same way.
QStringList iplistFromText(const QString &text)
{
    return entryLines(text);
}

void reseedrandom()
{
    const auto ticks = std::chrono::high_resolution_clock::now().time_since_epoch().count();
    std::seed_seq seed {quint32(ticks), quint32(quint64(ticks) >> 32)};
    generator().seed(seed);
}

int drawindex(int n)
{
    std::uniform_int_distribution<int> pick(0, n - 1);
    return pick(generator());
}

QString getprurl(const QString &url, const QString &script, const QStringList &iplist)
{
    if (iplist.isEmpty())
        throw AppError(QStringLiteral("服务器列表为空"));
    reseedrandom();
    const QString ch = scriptChecksum(script, url);
    const QString &server = iplist.at(drawindex(int(iplist.size())));
    return QStringLiteral("http://") + server + QStringLiteral("/search?client=navclient-auto&ch=") + ch
        + QStringLiteral("&features=Rank:FVN&q=info:") + url;
}

namespace {

// Where the rank field of a reply begins, for the reply's text or for its
// UTF-8 bytes alike. The separators are found without cutting the reply into
// pieces: a hostile reply of nothing but ":" would otherwise become millions
// of strings.
template<typename Text, typename Char>
std::optional<qsizetype> rankFieldStart(const Text &reply, const Text &marker, Char colon)
{
    if (reply.isEmpty() || !reply.contains(marker))
        return std::nullopt;
    const qsizetype first = reply.indexOf(colon);
    const qsizetype second = first < 0 ? -1 : reply.indexOf(colon, first + 1);
    if (second < 0 || reply.indexOf(colon, second + 1) >= 0)
        return std::nullopt;
    return second + 1;
}

QString cellText(std::optional<QString> rank, bool refused)
{
    if (refused)
        return QStringLiteral("IP被屏蔽");
    return rank ? trimctl(*rank) : QStringLiteral("--");
}

} // namespace

std::optional<QString> getrank(const QString &reply)
{
    const std::optional<qsizetype> start = rankFieldStart(reply, QStringLiteral("Rank_"), QLatin1Char(':'));
    if (!start)
        return std::nullopt;
    return reply.mid(*start);
}

QString prcell(const QString &reply)
{
    return cellText(getrank(reply), reply.contains(QStringLiteral("sorry")));
}

QString prcellOfReply(const QByteArray &body)
{
    if (!isValidUtf8(body))
        return prcell(decodeText(body));
    // In UTF-8 every ASCII character is a byte of its own and no other
    // character holds such a byte, so the bytes are searched as they are and
    // only the rank field is decoded.
    const std::optional<qsizetype> start = rankFieldStart(body, QByteArrayLiteral("Rank_"), ':');
    std::optional<QString> rank;
    if (start)
        rank = QString::fromUtf8(QByteArrayView(body).sliced(*start));
    return cellText(std::move(rank), body.contains("sorry"));
}
