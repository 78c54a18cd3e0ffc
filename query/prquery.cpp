#include "query/prquery.h"

#include "query/batch.h"
#include "query/checksum.h"
#include "shell/errors.h"
#include "shell/textutil.h"

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
    std::seed_seq seed{quint32(ticks), quint32(quint64(ticks) >> 32)};
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

std::optional<QString> getrank(const QString &reply)
{
    if (reply.isEmpty() || !reply.contains(QStringLiteral("Rank_")))
        return std::nullopt;
    const QStringList pieces = splitstr(reply, QStringLiteral(":"));
    if (pieces.size() != 3)
        return std::nullopt;
    return pieces.at(2);
}

QString prcell(const QString &reply)
{
    QString cell = QStringLiteral("--");
    if (!reply.isEmpty()) {
        if (std::optional<QString> rank = getrank(reply))
            cell = *rank;
    }
    if (reply.contains(QStringLiteral("sorry")))
        cell = QStringLiteral("IP被屏蔽");
    return trimctl(cell);
}
