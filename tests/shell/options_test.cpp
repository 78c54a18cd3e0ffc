#include "base/errors.h"
#include "shell/options.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

ParsedOptions parse(std::initializer_list<const char *> args)
{
    QStringList list {QStringLiteral("prquery")};
    for (const char *a : args)
        list << QString::fromUtf8(a);
    return parseOptions(list);
}

TEST(Options, AcceptedCommandLines)
{
    ParsedOptions p = parse({});
    ASSERT_TRUE(p.ok);
    EXPECT_FALSE(p.options.headless());

    p = parse({"--servers", "s.txt", "--banner", "none"});
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.options.serversFile, QStringLiteral("s.txt"));
    EXPECT_TRUE(p.options.bannerGiven);
    EXPECT_EQ(p.options.requestTimeoutSeconds, 120);

    // The limit of one request serves the window too.
    for (const char *seconds : {"1", "3600"}) {
        p = parse({"--request-timeout", seconds});
        ASSERT_TRUE(p.ok) << p.error.toStdString();
        EXPECT_EQ(p.options.requestTimeoutSeconds, QByteArray(seconds).toInt());
    }

    p = parse({"--batch", "in.txt", "--out", "o.txt", "--interval", "200", "--no-pr", "--no-deadlink", "--long", "--timeout", "30"});
    ASSERT_TRUE(p.ok) << p.error.toStdString();
    EXPECT_TRUE(p.options.headless());
    EXPECT_EQ(p.options.intervalMs, 200);
    EXPECT_TRUE(p.options.noPr && p.options.noDeadLink && p.options.longForm);
    EXPECT_FALSE(p.options.shortForm);
    EXPECT_EQ(p.options.timeoutSeconds, 30);
    p = parse({"--batch", "in.txt", "--out", "o.txt", "--short"});
    ASSERT_TRUE(p.ok) << p.error.toStdString();
    EXPECT_TRUE(p.options.shortForm);

    p = parse({"--site", "http://a.com", "--filter", "external", "--out", "o.txt"});
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.options.filterIndex(), 2);
    EXPECT_EQ(p.options.extract, QStringLiteral("pattern"));

    p = parse({"--site", "http://a.com", "--extract", "html", "--out", "o.txt"});
    ASSERT_TRUE(p.ok) << p.error.toStdString();
    EXPECT_EQ(p.options.extract, QStringLiteral("html"));
    // Without the crawl's options a site run reads its page alone.
    CrawlSettings crawl = p.options.crawlSettings();
    EXPECT_EQ(crawl.depth, 1);
    EXPECT_FALSE(crawl.crawls());
    EXPECT_EQ(crawl.maxPages, 10000);
    EXPECT_TRUE(crawl.robots && crawl.sitemap && crawl.sitemapUrl.isEmpty());
    EXPECT_EQ(crawl.scope, CrawlSettings::Scope::Site);

    p = parse({"--site", "http://a.com", "--depth", "100", "--max-pages", "10000000", "--scope", "prefix", "--robots", "off", "--sitemap",
        "https://a.com/map.xml.gz", "--inlinks", "in.csv", "--out", "o.txt"});
    ASSERT_TRUE(p.ok) << p.error.toStdString();
    crawl = p.options.crawlSettings();
    EXPECT_EQ(crawl.depth, 100);
    EXPECT_EQ(crawl.maxPages, 10000000);
    EXPECT_EQ(crawl.scope, CrawlSettings::Scope::Prefix);
    EXPECT_FALSE(crawl.robots);
    EXPECT_TRUE(crawl.sitemap);
    EXPECT_EQ(crawl.sitemapUrl, QStringLiteral("https://a.com/map.xml.gz"));
    EXPECT_EQ(p.options.inlinksFile, QStringLiteral("in.csv"));
    EXPECT_FALSE(parse({"--site", "a", "--out", "o", "--sitemap", "off"}).options.crawlSettings().sitemap);

    // The PR source, for the window as for a run.
    EXPECT_FALSE(parse({}).options.openPageRank());
    p = parse({"--rank-source", "opr", "--opr-key", "k1", "--opr-endpoint", "http://127.0.0.1:9/api"});
    ASSERT_TRUE(p.ok) << p.error.toStdString();
    EXPECT_TRUE(p.options.openPageRank());
    EXPECT_EQ(p.options.oprEndpoint, QStringLiteral("http://127.0.0.1:9/api"));
    qputenv("OPR_API_KEY", "from-env");
    EXPECT_EQ(p.options.apiKey(), QStringLiteral("k1"));
    EXPECT_EQ(parse({"--rank-source", "opr"}).options.apiKey(), QStringLiteral("from-env"));
    qunsetenv("OPR_API_KEY");
    EXPECT_FALSE(p.options.intervalGiven);

    // auto, the default: the ranks file, else Open PageRank with a key, else
    // the toolbar service.
    EXPECT_EQ(parse({}).options.rankSource, QStringLiteral("auto"));
    EXPECT_EQ(parse({}).options.chosenRankSource(), QStringLiteral("toolbar"));
    EXPECT_EQ(parse({"--opr-key", "k"}).options.chosenRankSource(), QStringLiteral("opr"));
    EXPECT_EQ(parse({"--opr-key", "k", "--rank-file", "r.txt.gz"}).options.chosenRankSource(), QStringLiteral("graph"));
    qputenv("OPR_API_KEY", "from-env");
    EXPECT_EQ(parse({}).options.chosenRankSource(), QStringLiteral("opr"));
    EXPECT_EQ(parse({"--rank-source", "toolbar"}).options.chosenRankSource(), QStringLiteral("toolbar"));
    qunsetenv("OPR_API_KEY");
    p = parse({"--rank-source", "graph", "--rank-file", "r.txt.gz"});
    ASSERT_TRUE(p.ok) << p.error.toStdString();
    EXPECT_EQ(p.options.chosenRankSource(), QStringLiteral("graph"));
    EXPECT_EQ(p.options.rankFile, QStringLiteral("r.txt.gz"));
    EXPECT_EQ(p.options.concurrency, 32);
    EXPECT_EQ(p.options.perHost, 4);
    EXPECT_TRUE(p.options.format.isEmpty());

    p = parse({"--batch", "in.txt", "--out", "-", "--format", "jsonl", "--concurrency", "8", "--per-host", "2", "--fail-on-dead", "--interval", "1000"});
    ASSERT_TRUE(p.ok) << p.error.toStdString();
    EXPECT_TRUE(p.options.outToStdout());
    EXPECT_EQ(p.options.format, QStringLiteral("jsonl"));
    EXPECT_EQ(p.options.concurrency, 8);
    EXPECT_EQ(p.options.perHost, 2);
    EXPECT_TRUE(p.options.failOnDead);
    EXPECT_TRUE(p.options.intervalGiven); // even at the default value
    EXPECT_TRUE(p.options.soft404);
    EXPECT_EQ(p.options.statusPolicy.classOf(403), std::nullopt);

    p = parse({"--batch", "in.txt", "--out", "o", "--status-policy", "403:dead,5xx:blocked", "--soft404", "off"});
    ASSERT_TRUE(p.ok) << p.error.toStdString();
    EXPECT_FALSE(p.options.soft404);
    EXPECT_EQ(p.options.statusPolicy.classOf(403), VerdictClass::Dead);
    EXPECT_EQ(p.options.statusPolicy.classOf(502), VerdictClass::Blocked);
    // The window reads them too.
    p = parse({"--status-policy", "999:alive", "--soft404", "on"});
    ASSERT_TRUE(p.ok) << p.error.toStdString();
    EXPECT_EQ(p.options.statusPolicy.classOf(999), VerdictClass::Alive);

    // A csv export may keep its cells as they are.
    for (const auto &args : {std::initializer_list<const char *> {"--batch", "a", "--out", "o.CSV", "--csv-raw"},
             {"--batch", "a", "--out", "-", "--format", "csv", "--csv-raw"}}) {
        p = parse(args);
        ASSERT_TRUE(p.ok) << p.error.toStdString();
        EXPECT_TRUE(p.options.csvRaw);
    }
    EXPECT_FALSE(parse({"--batch", "a", "--out", "o.csv"}).options.csvRaw);

    // The result store: the default file unless named or refused.
    p = parse({"--batch", "in.txt", "--out", "o.txt"});
    EXPECT_TRUE(p.options.store.isEmpty());
    EXPECT_FALSE(p.options.storeOff() || p.options.resume || p.options.failOnNewDead);
    EXPECT_EQ(p.options.cacheAgeSeconds, 0);
    p = parse({"--batch", "in.txt", "--out", "o.txt", "--store", "r.sqlite", "--cache-age", "12h", "--resume", "--fail-on-new-dead"});
    ASSERT_TRUE(p.ok) << p.error.toStdString();
    EXPECT_EQ(p.options.store, QStringLiteral("r.sqlite"));
    EXPECT_EQ(p.options.cacheAgeSeconds, 12 * 3600);
    EXPECT_TRUE(p.options.resume && p.options.failOnNewDead);
    EXPECT_TRUE(parse({"--store", "none"}).options.storeOff()); // the window too
    EXPECT_TRUE(parse({"--batch", "in.txt", "--out", "o.txt", "--store", "none", "--fail-on-dead"}).ok);

    p = parse({"--version"});
    ASSERT_TRUE(p.ok);
    EXPECT_TRUE(p.version);
    EXPECT_EQ(versionText(), QStringLiteral("prquery 1.0\n"));
}

TEST(Options, RefusedCommandLines)
{
    const std::initializer_list<const char *> bad[] = {
        {"--bogus"},
        {"--batch", "in.txt"}, // no --out
        {"--batch", "a", "--site", "b", "--out", "o"}, // both
        {"--batch", "a", "--out", "o", "--interval", "100"},
        {"--batch", "a", "--out", "o", "--interval", "x"},
        {"--batch", "a", "--out", "o", "--filter", "internal"},
        {"--site", "a", "--out", "o", "--filter", "some"},
        {"--site", "a", "--out", "o", "--extract", "dom"},
        {"--batch", "a", "--out", "o", "--extract", "html"},
        {"--extract", "pattern"},
        {"--out", "o"}, // nothing to run
        {"--servers"}, // missing value
        {"--batch", "a", "--out", "o", "--timeout", "0"},
        {"--rank-source", "google"},
        {"--rank-source", "graph"}, // no file
        {"--rank-source", "toolbar", "--rank-file", "r.txt.gz"},
        {"--rank-source", "opr", "--rank-file", "r.txt.gz"},
        {"--rank-file", ""},
        {"--opr-endpoint", "ftp://127.0.0.1/x"},
        {"--opr-endpoint", "not an address"},
        {"--batch", "a", "--out", "o", "--format", "json"},
        {"--batch", "a", "--out", "o", "--concurrency", "0"},
        {"--batch", "a", "--out", "o", "--per-host", "1001"},
        {"--fail-on-dead"}, // nothing to run
        {"--format", "csv"},
        {"--request-timeout", "0"},
        {"--request-timeout", "3601"},
        {"--request-timeout", "2m"},
        {"--batch", "a", "--out", "o", "--short", "--long"},
        {"--short"}, // nothing to run
        {"--batch", "a", "--out", "o", "--cache-age", "30"}, // no unit
        {"--batch", "a", "--out", "o", "--cache-age", "1w"},
        {"--batch", "a", "--out", "o", "--cache-age", "-1h"},
        {"--batch", "a", "--out", "o", "--store", ""},
        {"--batch", "a", "--out", "o", "--store", "none", "--fail-on-new-dead"},
        {"--batch", "a", "--out", "o", "--store", "none", "--resume"},
        {"--batch", "a", "--out", "o", "--store", "none", "--cache-age", "1d"},
        {"--resume"}, // nothing to run
        {"--cache-age", "1h"},
        {"--batch", "a", "--out", "o.txt", "--csv-raw"}, // not a csv export
        {"--batch", "a", "--out", "o.csv", "--format", "tsv", "--csv-raw"},
        {"--csv-raw"},
        {"--status-policy", "403:gone"},
        {"--soft404", "yes"},
        {"--site", "a", "--out", "o", "--depth", "0"},
        {"--site", "a", "--out", "o", "--depth", "101"},
        {"--site", "a", "--out", "o", "--max-pages", "0"},
        {"--site", "a", "--out", "o", "--max-pages", "10000001"},
        {"--site", "a", "--out", "o", "--scope", "folder"},
        {"--site", "a", "--out", "o", "--robots", "yes"},
        {"--site", "a", "--out", "o", "--sitemap", "ftp://a/s.xml"},
        {"--site", "a", "--out", "o", "--sitemap", "sitemap.xml"},
        {"--batch", "a", "--out", "o", "--depth", "2"}, // a crawl needs a site
        {"--batch", "a", "--out", "o", "--inlinks", "i.csv"},
        {"--depth", "2"},
    };
    for (const auto &args : bad) {
        const ParsedOptions p = parse(args);
        EXPECT_FALSE(p.ok) << *args.begin();
        EXPECT_FALSE(p.error.isEmpty());
        EXPECT_FALSE(p.error.contains(QLatin1Char('\n'))) << p.error.toStdString();
    }
    // What Qt's parser refuses is told in Chinese too.
    EXPECT_EQ(parse({"--bogus"}).error, QStringLiteral("未知选项: --bogus"));
    EXPECT_EQ(parse({"-x"}).error, QStringLiteral("未知选项: -x"));
    EXPECT_EQ(parse({"--batch", "a", "--out"}).error, QStringLiteral("选项 --out 缺少值"));
    EXPECT_EQ(parse({"--no-pr=yes"}).error, QStringLiteral("选项 --no-pr 不带值"));
}

TEST(Options, Durations)
{
    const struct
    {
        const char *text;
        std::optional<qint64> seconds;
    } cases[] = {
        {"0", 0},
        {"45s", 45},
        {"30m", 1800},
        {"12h", 43200},
        {"7d", 604800},
        {"0d", 0},
        {"", std::nullopt},
        {"5", std::nullopt},
        {"1.5h", std::nullopt},
        {"h", std::nullopt},
        {"3 d", std::nullopt},
        {"2D", std::nullopt},
    };
    for (const auto &c : cases)
        EXPECT_EQ(parseDuration(QString::fromUtf8(c.text)), c.seconds) << c.text;
}

TEST(Options, ServersFile)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("servers.txt"));
    auto write = [&](const QByteArray &bytes) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
    };
    write("# loopback front ends\r\n127.0.0.1:8080\n\n  127.0.0.1  \nlocalhost:1\n");
    EXPECT_EQ(readServersFile(path), (QStringList {QStringLiteral("127.0.0.1:8080"), QStringLiteral("127.0.0.1"), QStringLiteral("localhost:1")}));
    write("127.0.0.1/x\n");
    EXPECT_THROW(readServersFile(path), AppError);
    write("\n# none\n");
    EXPECT_THROW(readServersFile(path), AppError);
    try {
        readServersFile(dir.filePath(QStringLiteral("missing")));
        ADD_FAILURE() << "a missing file was read";
    } catch (const AppError &e) {
        EXPECT_EQ(e.message(), QStringLiteral("无法打开文件 \"%1\": 没有那个文件或目录").arg(dir.filePath(QStringLiteral("missing"))));
    }
}

} // namespace
