#include "base/errors.h"
#include "base/textutil.h"
#include "data/storedtext.h"
#include "query/checksum.h"
#include "query/dispatch.h"
#include "query/myhttpget.h"
#include "query/prquery.h"
#include "shell/formstate.h"
#include "support/loopserver.h"
#include "support/waiting.h"

#include <QFile>
#include <QRegularExpression>
#include <QSet>

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

namespace {

QString q(const char16_t *text)
{
    return QString::fromUtf16(text);
}

TEST(IpList, OneEntryPerLineUnchanged)
{
    EXPECT_EQ(iplistFromText(QStringLiteral("127.0.0.4\r\n127.0.0.8\n")), QStringList({"127.0.0.4", "127.0.0.8"}));
    EXPECT_EQ(iplistFromText(QStringLiteral(" a \r\n\r\n\tb")), QStringList({" a ", "", "\tb"}));
}

TEST(IpList, StoredPoolHoldsNinetyDistinctAddresses)
{
    const QStringList pool = iplistFromText(storedtext::serverPool());
    ASSERT_EQ(pool.size(), 90);
    EXPECT_EQ(QSet<QString>(pool.begin(), pool.end()).size(), 90);
    const QRegularExpression quad(QStringLiteral("^(\\d{1,3})\\.(\\d{1,3})\\.(\\d{1,3})\\.(\\d{1,3})$"));
    for (const QString &ip : pool) {
        const QRegularExpressionMatch m = quad.match(ip);
        ASSERT_TRUE(m.hasMatch()) << ip.toStdString();
        for (int i = 1; i <= 4; ++i)
            EXPECT_LE(m.captured(i).toInt(), 255) << ip.toStdString();
    }
}

TEST(PoolDraw, ReachesEveryIndexAndNoOther)
{
    QSet<int> seen;
    for (int i = 0; i < 3000; ++i) {
        reseedrandom();
        const int index = drawindex(90);
        ASSERT_GE(index, 0);
        ASSERT_LT(index, 90);
        seen.insert(index);
    }
    EXPECT_EQ(seen.size(), 90);
    EXPECT_EQ(drawindex(1), 0);
}

TEST(GetPrUrl, ByteForByte)
{
    const QString script = storedtext::checksumScript();
    const QStringList pool {QStringLiteral("127.0.0.3")};
    const QString url = q(u"http://例子.cn/a b&c=1#frag");
    const QString ch = nativeChecksum(url);
    ASSERT_FALSE(ch.isEmpty());
    EXPECT_EQ(getprurl(url, script, pool),
        QStringLiteral("http://127.0.0.3/search?client=navclient-auto&ch=") + ch
            + QStringLiteral("&features=Rank:FVN&q=info:") + url);

    // A backslash escape is hashed decoded but sent as typed.
    const QString escaped = q(u"a.com/x\\ty");
    EXPECT_EQ(getprurl(escaped, script, pool),
        QStringLiteral("http://127.0.0.3/search?client=navclient-auto&ch=") + checksumOfText(q(u"a.com/x\ty"))
            + QStringLiteral("&features=Rank:FVN&q=info:") + escaped);

    // A failed checksum still gives a request, with "ch=" left empty.
    const QString quoted = q(u"a.com/\"x\"");
    EXPECT_EQ(getprurl(quoted, script, pool),
        QStringLiteral("http://127.0.0.3/search?client=navclient-auto&ch=&features=Rank:FVN&q=info:") + quoted);
    EXPECT_EQ(getprurl(QStringLiteral("a.com"), QStringLiteral("syntax error ("), pool),
        QStringLiteral("http://127.0.0.3/search?client=navclient-auto&ch=&features=Rank:FVN&q=info:a.com"));
}

TEST(GetPrUrl, ServerComesFromThePool)
{
    const QStringList pool {QStringLiteral("127.0.0.1"), QStringLiteral("127.0.0.2"), QStringLiteral("127.0.0.3")};
    for (int i = 0; i < 5; ++i) {
        const QString u = getprurl(QStringLiteral("a.com"), QString(), pool);
        EXPECT_TRUE(pool.contains(u.mid(7, 9))) << u.toStdString();
        EXPECT_EQ(u.mid(16, 8), QStringLiteral("/search?"));
    }
    EXPECT_THROW(getprurl(QStringLiteral("a.com"), QString(), QStringList()), AppError);
}

TEST(PrCell, Table)
{
    struct Case
    {
        const char16_t *reply;
        std::optional<const char16_t *> rank;
        const char16_t *cell;
    };
    const Case cases[] = {
        {u"Rank_1:1:5\n", u"5\n", u"5"},
        {u"Rank_1:1:5\r\n", u"5\r\n", u"5"},
        {u"Rank_1:1:5\nRank_1:1:6\n", std::nullopt, u"--"},
        {u"Rank_1:1:", u"", u""},
        {u"Rank_1:1: \r\n", u" \r\n", u""},
        {u"Error:bad:request", std::nullopt, u"--"},
        {u"rank_1:1:5", std::nullopt, u"--"},
        {u"Rank_1:1:5 sorry", u"5 sorry", u"IP被屏蔽"},
        {u"We're sorry...", std::nullopt, u"IP被屏蔽"},
        {u"", std::nullopt, u"--"},
        {u"Rank_1:5", std::nullopt, u"--"},
        {u"Rank_1:1:\t 1 0 \n", u"\t 1 0 \n", u"1 0"},
        {u"Sorry Rank_1:1:4", u"4", u"4"},
    };
    for (const Case &c : cases) {
        const QString reply = q(c.reply);
        const std::optional<QString> rank = getrank(reply);
        EXPECT_EQ(rank.has_value(), c.rank.has_value()) << reply.toStdString();
        if (rank && c.rank) {
            EXPECT_EQ(*rank, q(*c.rank)) << reply.toStdString();
        }
        EXPECT_EQ(prcell(reply), q(c.cell)) << reply.toStdString();
        EXPECT_EQ(prcellOfReply(reply.toUtf8()), q(c.cell)) << reply.toStdString();
    }
    // A body that is not UTF-8 is read as GB18030 first.
    EXPECT_EQ(prcellOfReply("Rank_1:1:\xD6\xD0"), QStringLiteral("中"));
    EXPECT_EQ(prcellOfReply("\xD6\xD0 sorry"), QStringLiteral("IP被屏蔽"));
}

// Peak resident memory while f runs, above what was resident before it; -1
// where the system cannot reset its high-water mark.
qint64 peakBytesDuring(const std::function<void()> &f)
{
    const auto status = [](const char *field) -> qint64 {
        QFile file(QStringLiteral("/proc/self/status"));
        if (!file.open(QIODevice::ReadOnly))
            return -1;
        for (const QByteArray &line : file.readAll().split('\n')) {
            if (line.startsWith(field))
                return line.mid(qsizetype(strlen(field))).trimmed().split(' ').value(0).toLongLong() * 1024;
        }
        return -1;
    };
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (!clear.open(QIODevice::WriteOnly) || clear.write("5") != 1)
        return -1;
    clear.close();
    const qint64 before = status("VmRSS:");
    f();
    const qint64 peak = status("VmHWM:");
    return before < 0 || peak < 0 ? -1 : peak - before;
}

// A hostile reply is read in bounded memory, from its bytes to its cell.
TEST(PrQuery, HugeReplyParsesInBoundedMemory)
{
    const struct
    {
        QByteArray body;
        const char *cell;
    } cases[] = {
        {QByteArray(16 * 1024 * 1024, ':'), "--"},
        {"Rank_" + QByteArray(16 * 1024 * 1024, ':'), "--"},
        {"Rank_1:1:" + QByteArray(16 * 1024 * 1024, '7'), "--"},
    };
    for (const auto &c : cases) {
        QString cell;
        const qint64 peak = peakBytesDuring([&] { cell = prcellOfReply(c.body); });
        if (peak < 0)
            GTEST_SKIP() << "the system does not report peak memory";
        EXPECT_LT(peak, 64 * 1024 * 1024) << c.body.left(12).constData();
        EXPECT_EQ(cell, QString::fromUtf8(c.cell));
    }
}

// The cell takes a rank only when it is short and holds no control
// character: a reply is a remote text, and the cell goes into exports.
TEST(PrQuery, OnlyAShortCleanRankReachesTheCell)
{
    const struct
    {
        QByteArray reply;
        const char *cell;
        const char *reason; // in the reason, or nullptr for none
    } cases[] = {
        {"Rank_1:1:5\n", "5", nullptr},
        {"Rank_1:1:1234567890123456", "1234567890123456", nullptr},
        {"Rank_1:1:12345678901234567", "--", "16"},
        {"Rank_1:1:5\tforged\tcells\r\n", "--", "控制字符"},
        {"Rank_1:1:5\r\nforged row", "--", "控制字符"},
        {"Rank_1:1:\xE2\x80\xAE"
         "01",
            "--", "控制字符"}, // a right-to-left override
        {"Rank_1:1:" + QByteArray(100000, '7'), "--", "16"},
        {"Rank_1:1:=1+1", "=1+1", nullptr}, // short and clean: the CSV export guards it
        {"Rank_1:1:5 sorry", "IP被屏蔽", nullptr},
        {"no rank", "--", nullptr},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.reply.left(40).constData());
        for (const RankCell &got : {rankCellOfReply(c.reply), rankCell(decodeText(c.reply))}) {
            EXPECT_EQ(got.text, QString::fromUtf8(c.cell));
            if (c.reason)
                EXPECT_TRUE(got.reason.contains(QString::fromUtf8(c.reason))) << got.reason.toStdString();
            else
                EXPECT_TRUE(got.reason.isEmpty()) << got.reason.toStdString();
        }
    }
}

// Against a ranking server: a reply is read only up to its limit, and a
// huge or tab-bearing one leaves "--".
TEST(PrQuery, HostileRankingServer)
{
    prqtest::LoopServer web;
    const struct
    {
        const char *path;
        QByteArray body;
        const char *cell;
    } cases[] = {
        {"/huge", "Rank_1:1:" + QByteArray(16 * 1024 * 1024, '7'), "--"},
        {"/tabs", "Rank_1:1:5\t=cmd|' /C calc'!A0\r\n\r\r\nx\t9", "--"},
        {"/fine", "Rank_1:1:4\n", "4"},
    };
    for (const auto &c : cases) {
        const QByteArray body = c.body;
        web.get(c.path, [body](const httplib::Request &, httplib::Response &res) { res.set_content(body.toStdString(), "text/plain"); });
    }
    web.start();
    for (const auto &c : cases) {
        SCOPED_TRACE(c.path);
        FormState form;
        form.lv1.addRow(ResultRow {QStringLiteral("1"), {QString(), QString(), QStringLiteral("a.cn"), QString(), QStringLiteral("查询中...")}});
        form.pr1.setMaximum(1);
        EXPECT_EQ(newRequest(form, web.url(QString::fromUtf8(c.path)), 0, dispatch::ModeRank)->MaxBodySize, RankReplyLimit);
        gotourl(form, web.url(QString::fromUtf8(c.path)), 0, dispatch::ModeRank);
        ASSERT_TRUE(prqtest::waitUntil([&] { return requestsInFlight(form) == 0; }));
        EXPECT_EQ(form.lv1.cell(0, CellPr), QString::fromUtf8(c.cell));
    }
    web.stop();
}

} // namespace
