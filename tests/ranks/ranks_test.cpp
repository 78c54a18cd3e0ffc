// The ranks files of the web graph and their index: reading the published
// form, scores and figures, damaged indexes, and every kind of bad file.
#include "base/errors.h"
#include "ranks/rankbuild.h"
#include "ranks/rankformat.h"
#include "ranks/rankindex.h"
#include "ranks/rankloader.h"
#include "support/rankfiles.h"
#include "support/waiting.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <optional>

namespace {

using prqtest::DomainRanks;
using prqtest::HostRanks;
using prqtest::writeRanksFile;

TEST(RankFormat, TheHeaderNamesTheColumnsAndTheLevel)
{
    const struct
    {
        const char *header;
        std::optional<RankLevel> level;
    } cases[] = {
        {"#harmonicc_pos\t#harmonicc_val\t#pr_pos\t#pr_val\t#host_rev\t#n_hosts", RankLevel::Domain},
        {"#harmonicc_pos\t#harmonicc_val\t#pr_pos\t#pr_val\t#host_rev", RankLevel::Host},
        {"#harmonicc_pos\t#harmonicc_val\t#pr_pos\t#pr_val\t#host_rev\r", RankLevel::Host},
        // Spelled otherwise, and in another order.
        {"#Harmonic Centrality Pos\t#harmonic_centrality_val\t#PageRank-Pos\t#pagerank_val\t#domain_rev\t#num_hosts", RankLevel::Domain},
        {"#host_rev\t#pr_val\t#pr_pos\t#harmonicc_val\t#harmonicc_pos", RankLevel::Host},
        // Not a header of a ranks file.
        {"harmonicc_pos\t#harmonicc_val\t#pr_pos\t#pr_val\t#host_rev", std::nullopt}, // no "#"
        {"#harmonicc_pos\t#harmonicc_val\t#pr_pos\t#host_rev", std::nullopt}, // no PageRank value
        {"#harmonicc_pos\t#harmonicc_val\t#pr_pos\t#pr_val\t#host_rev\t#extra", std::nullopt},
        {"#harmonicc_pos\t#harmonicc_pos\t#pr_pos\t#pr_val\t#host_rev", std::nullopt},
        {"#harmonicc_pos #harmonicc_val #pr_pos #pr_val #host_rev", std::nullopt}, // spaces, not tabs
        {"<!DOCTYPE html>", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto &c : cases) {
        const std::optional<RankColumns> columns = readRankHeader(c.header);
        ASSERT_EQ(columns.has_value(), c.level.has_value()) << c.header;
        if (columns) {
            EXPECT_EQ(columns->level, *c.level) << c.header;
        }
    }
    const RankColumns reordered = *readRankHeader("#host_rev\t#pr_val\t#pr_pos\t#harmonicc_val\t#harmonicc_pos");
    EXPECT_EQ(reordered.name, 0);
    EXPECT_EQ(reordered.prVal, 1);
    EXPECT_EQ(reordered.prPos, 2);
    EXPECT_EQ(reordered.harmonicPos, 4);
    EXPECT_EQ(reordered.count, 5);
}

TEST(RankFormat, TheReleaseAndTheReversedNames)
{
    EXPECT_EQ(rankRelease(QStringLiteral("/data/cc-main-2024-feb-apr-may-domain-ranks.txt.gz")), QStringLiteral("cc-main-2024-feb-apr-may"));
    EXPECT_EQ(rankRelease(QStringLiteral("cc-main-2023-may-sep-nov-host-ranks.txt")), QStringLiteral("cc-main-2023-may-sep-nov"));
    EXPECT_EQ(rankRelease(QStringLiteral("ranks.txt.gz")), QString());
    EXPECT_EQ(rankRelease(QStringLiteral("my-domain-ranks-copy.txt")), QString());

    const struct
    {
        const char *name;
        const char *host;
        const char *domain;
    } cases[] = {
        {"www.example.com", "com.example", "com.example.www"},
        {"blog.example.com", "com.example.blog", "com.example.blog"},
        {"example.co.uk", "uk.co.example", "uk.co.example"},
        {"www.com", "com.www", "com.www"}, // one label would be left
        {"www.www.example.com", "com.example.www", "com.example.www.www"},
        {"localhost", "localhost", "localhost"},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(reversedHost(c.name), c.host) << c.name;
        EXPECT_EQ(reversedDomain(c.name), c.domain) << c.name;
    }
}

struct RankIndexTest : ::testing::Test
{
    QTemporaryDir dir;
    QString folder() const { return dir.filePath(QStringLiteral("index")); }
    // The files in the index folder: never a half-made one.
    QStringList indexFiles() const { return QDir(folder()).entryList(QDir::Files | QDir::Hidden); }

    std::unique_ptr<RankIndex> build(const QString &name, const QByteArray &content)
    {
        const QString path = dir.filePath(name);
        writeRanksFile(path, content);
        const RankBuildSummary built = buildRankIndex(path, folder());
        QString why;
        std::unique_ptr<RankIndex> index = RankIndex::open(built.indexPath, built.stamp, &why);
        EXPECT_TRUE(index) << why.toStdString();
        return index;
    }
};

RankHit hitOf(const RankIndex &index, const char *name)
{
    const RankLookup found = index.find(name);
    EXPECT_EQ(found.kind, RankLookup::Kind::Found) << name;
    return found.hit;
}

TEST_F(RankIndexTest, EachLevelPlainOrGzipGivesEveryNameItsFigures)
{
    QDir().mkpath(folder());
    for (const char *suffix : {".txt", ".txt.gz"}) {
        SCOPED_TRACE(suffix);
        const std::unique_ptr<RankIndex> domains = build(QStringLiteral("cc-main-2024-domain-ranks") + QLatin1String(suffix), DomainRanks);
        ASSERT_TRUE(domains);
        EXPECT_EQ(domains->level(), RankLevel::Domain);
        EXPECT_EQ(domains->names(), 5u);
        const struct
        {
            const char *name;
            quint32 rankPos, harmonicPos;
            int score;
        } expected[] = {
            {"com.google", 1, 2, 10},
            {"com.example", 2, 1, 9},
            {"de.xn--bcher-kva", 3, 4, 7},
            {"org.example", 4, 3, 4},
            {"uk.co.bbc", 5, 5, 0},
        };
        for (const auto &e : expected) {
            const RankHit hit = hitOf(*domains, e.name);
            EXPECT_EQ(hit.rankPos, e.rankPos) << e.name;
            EXPECT_EQ(hit.harmonicPos, e.harmonicPos) << e.name;
            EXPECT_EQ(hit.score, e.score) << e.name;
        }
        EXPECT_EQ(domains->find("com.example.www").kind, RankLookup::Kind::Absent);
        EXPECT_EQ(domains->find("net.unknown").kind, RankLookup::Kind::Absent);
        EXPECT_EQ(domains->find("").kind, RankLookup::Kind::Absent);

        const std::unique_ptr<RankIndex> hosts = build(QStringLiteral("cc-main-2024-host-ranks") + QLatin1String(suffix), HostRanks);
        ASSERT_TRUE(hosts);
        EXPECT_EQ(hosts->level(), RankLevel::Host);
        EXPECT_EQ(hitOf(*hosts, "com.example").score, 10);
        EXPECT_EQ(hitOf(*hosts, "com.example.blog").score, 8);
        EXPECT_EQ(hitOf(*hosts, "org.example").score, 0);
    }
}

TEST_F(RankIndexTest, NamesAreReadInLowerCase)
{
    const std::unique_ptr<RankIndex> index = build(QStringLiteral("upper.txt"),
        "#harmonicc_pos\t#harmonicc_val\t#pr_pos\t#pr_val\t#host_rev\r\n1\t1\t1\t0.5\tCOM.Example\r\n2\t1\t2\t0.1\tcom.other\r\n");
    ASSERT_TRUE(index);
    EXPECT_EQ(hitOf(*index, "com.example").score, 10);
}

TEST_F(RankIndexTest, TheScoreFallsWithThePositionFromTenToZero)
{
    // One name: it is the top, and the bottom.
    EXPECT_EQ(hitOf(*build(QStringLiteral("one.txt"), "#harmonicc_pos\t#harmonicc_val\t#pr_pos\t#pr_val\t#host_rev\n1\t1\t1\t0.3\tcom.a\n"), "com.a").score, 10);
    // All of one value: all at the top.
    const std::unique_ptr<RankIndex> flat
        = build(QStringLiteral("flat.txt"), "#harmonicc_pos\t#harmonicc_val\t#pr_pos\t#pr_val\t#host_rev\n1\t1\t1\t0.3\tcom.a\n2\t1\t2\t0.3\tcom.b\n");
    EXPECT_EQ(hitOf(*flat, "com.b").score, 10);

    // Values that fall as a power law over 1,000 positions: 10 at the top,
    // 0 at the bottom, and never rising with the position.
    QByteArray text = "#harmonicc_pos\t#harmonicc_val\t#pr_pos\t#pr_val\t#host_rev\n";
    for (int i = 1; i <= 1000; ++i)
        text += "1\t1\t" + QByteArray::number(i) + '\t' + QByteArray::number(0.01 / (i * i)) + "\tcom.n" + QByteArray::number(i) + '\n';
    const std::unique_ptr<RankIndex> index = build(QStringLiteral("power.txt"), text);
    ASSERT_TRUE(index);
    EXPECT_EQ(hitOf(*index, "com.n1").score, 10);
    EXPECT_EQ(hitOf(*index, "com.n1000").score, 0);
    // The formula itself, at a middle position: floor(10 ln(v/vmin) / ln(vmax/vmin)).
    EXPECT_EQ(hitOf(*index, "com.n10").score, int(10 * std::log(1e6 / 100) / std::log(1e6)));
    int last = 10;
    for (quint32 p = 1; p <= 1001; ++p) {
        const int score = RankIndex::scoreOf(p, index->thresholds());
        EXPECT_LE(score, last) << p;
        last = score;
    }
    EXPECT_EQ(RankIndex::scoreOf(1001, index->thresholds()), 0);

    // A file whose values rise with the position: the score still falls.
    const std::unique_ptr<RankIndex> odd
        = build(QStringLiteral("odd.txt"), "#harmonicc_pos\t#harmonicc_val\t#pr_pos\t#pr_val\t#host_rev\n1\t1\t1\t0.001\tcom.a\n1\t1\t2\t0.5\tcom.b\n1\t1\t3\t1e-9\tcom.c\n");
    EXPECT_GE(hitOf(*odd, "com.a").score, hitOf(*odd, "com.b").score);
    EXPECT_EQ(hitOf(*odd, "com.b").score, 10);
}

TEST_F(RankIndexTest, ADamagedHalfWrittenOrForeignIndexIsNotUsed)
{
    const QString source = dir.filePath(QStringLiteral("d.txt"));
    writeRanksFile(source, DomainRanks);
    const RankBuildSummary built = buildRankIndex(source, folder());
    QFile file(built.indexPath);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray whole = file.readAll();
    file.close();
    ASSERT_TRUE(RankIndex::open(built.indexPath, built.stamp));

    const auto opens = [&](const QByteArray &bytes, const SourceStamp &stamp) {
        QFile out(built.indexPath);
        out.open(QIODevice::WriteOnly);
        out.write(bytes);
        out.close();
        QString why;
        const bool ok = RankIndex::open(built.indexPath, stamp, &why) != nullptr;
        EXPECT_TRUE(ok || !why.isEmpty());
        return ok;
    };
    QByteArray flipped = whole;
    flipped[flipped.size() / 2] = char(flipped[flipped.size() / 2] ^ 0x10);
    EXPECT_FALSE(opens(flipped, built.stamp));
    EXPECT_FALSE(opens(whole.left(whole.size() - 9), built.stamp));
    EXPECT_FALSE(opens(whole.left(100), built.stamp));
    EXPECT_FALSE(opens(QByteArray(), built.stamp));
    EXPECT_FALSE(opens(QByteArray(whole.size(), 'x'), built.stamp));
    EXPECT_FALSE(opens(whole, SourceStamp {built.stamp.size + 1, built.stamp.mtimeNs}));
    EXPECT_TRUE(opens(whole, built.stamp));
}

TEST_F(RankIndexTest, NamesWhoseRecordKeysMeetAreToldApartByTheirWholeKey)
{
    // Made by hand: "com.a" shares its record key with a name whose whole key
    // differs, and "com.b" its whole key with another name.
    QDir().mkpath(folder());
    const quint64 a = rankKey("com.a");
    const quint64 b = rankKey("com.b");
    const std::vector<RankIndexEntry> none;
    RankIndexContents contents;
    contents.source = {1, 2};
    contents.bucketBits = 1;
    contents.thresholds = {5, 4, 3, 2, 1, 0, 0, 0, 0, 0};
    contents.entries = &none;
    contents.overflow = {{a, 3, 7}, {a ^ 1, 1, 1}, {b, 0, 0}};
    std::sort(contents.overflow.begin(), contents.overflow.end(), [](const RankIndexEntry &x, const RankIndexEntry &y) { return x.key < y.key; });
    ASSERT_TRUE(sameRecordKey(a, a ^ 1, 1));
    const QString path = rankIndexPath(folder(), contents.source);
    writeRankIndex(path, contents);
    const std::unique_ptr<RankIndex> index = RankIndex::open(path, contents.source);
    ASSERT_TRUE(index);
    const RankHit hit = hitOf(*index, "com.a");
    EXPECT_EQ(hit.rankPos, 3u);
    EXPECT_EQ(hit.harmonicPos, 7u);
    EXPECT_EQ(hit.score, 3);
    EXPECT_EQ(index->find("com.b").kind, RankLookup::Kind::Ambiguous);
    EXPECT_EQ(index->find("com.c").kind, RankLookup::Kind::Absent);
}

TEST_F(RankIndexTest, BadInputIsNamedByItsLineAndLeavesNoIndex)
{
    const QByteArray header = "#harmonicc_pos\t#harmonicc_val\t#pr_pos\t#pr_val\t#host_rev\t#n_hosts\n";
    QByteArray cutGzip;
    {
        writeRanksFile(dir.filePath(QStringLiteral("whole.gz")), prqtest::manyRanks(2000));
        QFile whole(dir.filePath(QStringLiteral("whole.gz")));
        whole.open(QIODevice::ReadOnly);
        cutGzip = whole.readAll();
        cutGzip.chop(cutGzip.size() / 3);
    }
    QByteArray damagedGzip;
    {
        QFile whole(dir.filePath(QStringLiteral("whole.gz")));
        whole.open(QIODevice::ReadOnly);
        damagedGzip = whole.readAll();
        for (qsizetype i = damagedGzip.size() / 2; i < damagedGzip.size() / 2 + 64; ++i)
            damagedGzip[i] = char(damagedGzip[i] ^ 0x5a);
    }
    const struct
    {
        const char *name;
        QByteArray bytes; // written as they are
        QStringList said;
    } cases[] = {
        {"page.txt", "<!DOCTYPE html>\n<html></html>\n", {"不是排名文件", "第 1 行"}},
        {"empty.txt", "", {"空文件"}},
        {"header.txt", header, {"没有任何名称"}},
        {"few.txt", header + "1\t1\t1\t0.5\tcom.a\t1\n2\t1\t2\t0.4\tcom.b\n", {"第 3 行", "应有 6 个字段", "实有 5 个"}},
        {"many.txt", header + "1\t1\t1\t0.5\tcom.a\t1\t9\n", {"第 2 行", "实有 7 个"}},
        {"blank.txt", header + "1\t1\t1\t0.5\tcom.a\t1\n\n", {"第 3 行", "实有 1 个"}},
        {"word.txt", header + "1\t1\t1\tmuch\tcom.a\t1\n", {"第 2 行", "pr_val 不是数值", "much"}},
        {"float.txt", header + "1\t1\t1.5\t0.5\tcom.a\t1\n", {"第 2 行", "pr_pos 不是整数"}},
        {"zero.txt", header + "0\t1\t1\t0.5\tcom.a\t1\n", {"第 2 行", "harmonicc_pos 须在 1 到 4294967295 之间"}},
        {"huge.txt", header + "1\t1\t99999999999\t0.5\tcom.a\t1\n", {"第 2 行", "pr_pos"}},
        {"negative.txt", header + "1\t1\t1\t-0.5\tcom.a\t1\n", {"第 2 行", "pr_val 须大于 0"}},
        {"nan.txt", header + "1\t1\t1\tnan\tcom.a\t1\n", {"第 2 行", "pr_val 不是数值"}},
        {"hosts.txt", header + "1\t1\t1\t0.5\tcom.a\tmany\n", {"第 2 行", "n_hosts"}},
        {"noname.txt", header + "1\t1\t1\t0.5\t\t1\n", {"第 2 行", "名称为空"}},
        {"twice.txt", header + "1\t1\t1\t0.5\tcom.a\t1\n2\t1\t2\t0.4\tcom.b\t1\n3\t1\t3\t0.3\tCOM.A\t1\n", {"第 4 行", "com.a", "第 2 行重复"}},
        {"cut.txt.gz", cutGzip, {"被截断"}},
        {"damaged.txt.gz", damagedGzip, {"损坏"}},
    };
    for (const auto &c : cases) {
        const QString path = dir.filePath(QString::fromLatin1(c.name));
        QFile out(path);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(c.bytes);
        out.close();
        QString message;
        try {
            buildRankIndex(path, folder());
        } catch (const AppError &e) {
            message = e.message();
        }
        for (const QString &part : c.said)
            EXPECT_TRUE(message.contains(part)) << c.name << ": " << message.toStdString();
        EXPECT_TRUE(message.contains(path)) << c.name << ": " << message.toStdString();
        EXPECT_EQ(indexFiles(), QStringList()) << c.name;
    }
    try {
        buildRankIndex(dir.filePath(QStringLiteral("missing.txt")), folder());
        ADD_FAILURE() << "a missing file was read";
    } catch (const AppError &e) {
        EXPECT_TRUE(e.message().contains(QStringLiteral("无法打开排名文件")));
    }
}

TEST_F(RankIndexTest, AFileThatChangesWhileItIsReadIsRefused)
{
    const QString path = dir.filePath(QStringLiteral("growing.txt"));
    writeRanksFile(path, prqtest::manyRanks(100000));
    bool appended = false;
    QString message;
    try {
        buildRankIndex(path, folder(), [&](double share) {
            if (share > 0 && !appended) {
                appended = true;
                QFile more(path);
                more.open(QIODevice::Append);
                more.write("100001\t1\t100001\t1e-9\tcom.late\t1\n");
            }
            return true;
        });
    } catch (const AppError &e) {
        message = e.message();
    }
    EXPECT_TRUE(appended);
    EXPECT_TRUE(message.contains(QStringLiteral("被改动"))) << message.toStdString();
    EXPECT_EQ(indexFiles(), QStringList());
}

TEST_F(RankIndexTest, ACancelledBuildLeavesNoIndex)
{
    const QString path = dir.filePath(QStringLiteral("big.txt"));
    writeRanksFile(path, prqtest::manyRanks(100000));
    for (const double stopAt : {0.0, 0.5, 0.95}) {
        bool cancelled = false;
        try {
            buildRankIndex(path, folder(), [stopAt](double share) { return share < stopAt; });
        } catch (const RankBuildCancelled &) {
            cancelled = true;
        }
        EXPECT_TRUE(cancelled) << stopAt;
        EXPECT_EQ(indexFiles(), QStringList()) << stopAt;
    }
}

TEST_F(RankIndexTest, TheLoaderBuildsOnceThenMapsAndRebuildsADamagedIndex)
{
    const QString path = dir.filePath(QStringLiteral("cc-main-2024-domain-ranks.txt.gz"));
    writeRanksFile(path, DomainRanks);
    const auto load = [&](bool expectBuild) {
        auto loader = std::make_unique<RankIndexLoader>(path, folder());
        loader->start();
        EXPECT_EQ(loader->state() == RankIndexLoader::State::Building, expectBuild);
        EXPECT_TRUE(prqtest::waitUntil([&] { return loader->state() != RankIndexLoader::State::Building; }));
        EXPECT_EQ(loader->state(), RankIndexLoader::State::Ready) << loader->error().toStdString();
        return loader;
    };
    EXPECT_EQ(hitOf(*load(true)->index(), "com.google").score, 10);
    EXPECT_EQ(indexFiles().size(), 1);
    EXPECT_EQ(hitOf(*load(false)->index(), "com.google").score, 10);

    const QString index = QDir(folder()).filePath(indexFiles().constFirst());
    QFile file(index);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    file.seek(file.size() / 2);
    file.write("garbage");
    file.close();
    std::unique_ptr<RankIndexLoader> again = load(true);
    EXPECT_TRUE(again->rebuilding());
    EXPECT_EQ(hitOf(*again->index(), "com.example").score, 9);
    EXPECT_EQ(hitOf(*load(false)->index(), "com.example").score, 9);

    // A bad file fails with the reason; the loader says so once it is done.
    writeRanksFile(path, "#not\tranks\n");
    RankIndexLoader bad(path, folder());
    bad.start();
    ASSERT_TRUE(prqtest::waitUntil([&] { return bad.state() != RankIndexLoader::State::Building; }));
    EXPECT_EQ(bad.state(), RankIndexLoader::State::Failed);
    EXPECT_TRUE(bad.error().contains(QStringLiteral("第 1 行"))) << bad.error().toStdString();
    EXPECT_FALSE(bad.cancelled());
}

} // namespace
