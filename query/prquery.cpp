#include "query/prquery.h"

#include "base/errors.h"
#include "base/textutil.h"
#include "query/batch.h"
#include "query/checksum.h"

#include <algorithm>
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

bool isControl(QChar c)
{
    const QChar::Category category = c.category();
    return category == QChar::Other_Control || category == QChar::Other_Format || category == QChar::Separator_Line
        || category == QChar::Separator_Paragraph;
}

RankCell cellText(std::optional<QString> rank, bool refused)
{
    if (refused)
        return {QStringLiteral("IP被屏蔽"), QString()};
    if (!rank)
        return {QStringLiteral("--"), QString()};
    const QString text = trimctl(*rank);
    if (text.size() > MaxRankLength)
        return {QStringLiteral("--"), QStringLiteral("排名应答无效：排名超过 %1 个字符").arg(MaxRankLength)};
    if (std::any_of(text.begin(), text.end(), isControl))
        return {QStringLiteral("--"), QStringLiteral("排名应答无效：排名含控制字符")};
    return {text, QString()};
}

bool isTrimmedByte(char c)
{
    return static_cast<unsigned char>(c) <= 32;
}

} // namespace

std::optional<QString> getrank(const QString &reply)
{
    const std::optional<qsizetype> start = rankFieldStart(reply, QStringLiteral("Rank_"), QLatin1Char(':'));
    if (!start)
        return std::nullopt;
    return reply.mid(*start);
}

RankCell rankCell(const QString &reply)
{
    return cellText(getrank(reply), reply.contains(QStringLiteral("sorry")));
}

QString prcell(const QString &reply)
{
    return rankCell(reply).text;
}

RankCell rankCellOfReply(const QByteArray &body)
{
    if (!isValidUtf8(body))
        return rankCell(decodeText(body));
    // In UTF-8 every ASCII character is a byte of its own and no other
    // character holds such a byte, so the bytes are searched as they are and
    // only the rank field is decoded, and only when it can be short enough.
    const std::optional<qsizetype> start = rankFieldStart(body, QByteArrayLiteral("Rank_"), ':');
    std::optional<QString> rank;
    if (start) {
        QByteArrayView field = QByteArrayView(body).sliced(*start);
        while (!field.isEmpty() && isTrimmedByte(field.front()))
            field = field.sliced(1);
        while (!field.isEmpty() && isTrimmedByte(field.back()))
            field.chop(1);
        // No character takes more than four bytes.
        rank = field.size() > 4 * MaxRankLength ? QString(MaxRankLength + 1, u'?') : QString::fromUtf8(field);
    }
    return cellText(std::move(rank), body.contains("sorry"));
}

QString prcellOfReply(const QByteArray &body)
{
    return rankCellOfReply(body).text;
}
