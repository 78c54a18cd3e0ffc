#pragma once

#include "shell/crawlsettings.h"
#include "shell/statuspolicy.h"

#include <QString>
#include <QStringList>

#include <optional>

// The command line. Without options the program behaves exactly as the window
// alone; the options point it at other servers or run a batch without a screen.
struct Options
{
    QString serversFile; // --servers FILE: ranking front ends, host[:port] a line
    bool bannerGiven = false;
    QString banner; // --banner URL, or "none"
    QString batchFile; // --batch FILE
    QString site; // --site URL
    QString filter = QStringLiteral("all"); // --filter all|internal|external
    QString outFile; // --out FILE
    int intervalMs = 1000; // --interval MS
    bool noPr = false; // --no-pr
    bool noDeadLink = false; // --no-deadlink
    bool longForm = false; // --long: every column, as without --short
    bool shortForm = false; // --short: tsv of address and PR only
    int timeoutSeconds = 0; // --timeout S; 0: no limit
    QString rankSource = QStringLiteral("auto"); // --rank-source auto|toolbar|opr|graph
    QString rankFile; // --rank-file FILE: a ranks file of the web graph
    QString oprKey; // --opr-key KEY
    QString oprEndpoint; // --opr-endpoint URL; empty: the service's own
    QString extract = QStringLiteral("pattern"); // --extract pattern|html
    bool intervalGiven = false; // --interval was on the command line
    QString format; // --format tsv|csv|jsonl; empty: by the extension of --out
    bool csvRaw = false; // --csv-raw: csv cells as they are, no "'" before a formula
    int concurrency = 32; // --concurrency N: checks in flight at once, check-only runs
    int perHost = 4; // --per-host N: checks in flight to one host
    bool failOnDead = false; // --fail-on-dead: exit 3 when a row is "×"
    int requestTimeoutSeconds = 120; // --request-timeout S: the limit of one request
    StatusPolicy statusPolicy; // --status-policy CODE:CLASS,...
    bool soft404 = true; // --soft404 on|off
    int depth = 1; // --depth N: 1 surveys the page alone, more crawls the site
    int maxPages = 10000; // --max-pages N: pages read at most
    QString scope = QStringLiteral("site"); // --scope site|prefix
    bool robots = true; // --robots on|off
    QString sitemap = QStringLiteral("auto"); // --sitemap auto|off|URL
    QString inlinksFile; // --inlinks FILE: every link found, with its source page
    QString store; // --store FILE|none: the result store; empty: the default file
    qint64 cacheAgeSeconds = 0; // --cache-age DURATION: answers this young are taken from the store; 0: off
    bool resume = false; // --resume: continue the last unfinished run of the same input
    bool failOnNewDead = false; // --fail-on-new-dead: exit 3 when a row is 新死链
    bool strict = false; // --strict: exit 1 when a page was cut at the body cap

    bool headless() const { return !batchFile.isEmpty() || !site.isEmpty(); }
    bool outToStdout() const { return outFile == QLatin1String("-"); }
    int filterIndex() const; // 0 all, 1 internal, 2 external
    bool storeOff() const { return store == QLatin1String("none"); }
    // The PR source of the run: "toolbar", "opr" or "graph", auto resolved
    // by autoRankSource.
    QString chosenRankSource() const;
    bool openPageRank() const { return chosenRankSource() == QLatin1String("opr"); }
    // --opr-key, else the environment's OPR_API_KEY; empty when neither.
    QString apiKey() const;
    // --depth, --max-pages, --scope, --robots and --sitemap.
    CrawlSettings crawlSettings() const;
};

struct ParsedOptions
{
    Options options;
    bool ok = false;
    bool help = false;
    bool version = false;
    QString error; // why the arguments were refused, one line in Chinese
};

// What --rank-source auto stands for: the ranks file when there is one, else
// Open PageRank when a key is known, else the toolbar service.
QString autoRankSource(bool haveRankFile, bool haveKey);

// Parses the program's arguments (arguments.first() is the program name).
ParsedOptions parseOptions(const QStringList &arguments);
// The help, in Chinese: every option with its default.
QString usageText();
// "prquery " and the version.
QString versionText();

// A duration such as "45s", "30m", "12h" or "7d" in seconds ("0" alone is
// 0); nothing when the text is not one.
std::optional<qint64> parseDuration(const QString &text);

// Reads a --servers file: one host[:port] a line; blank lines and lines that
// start with "#" are skipped. Raises AppError when the file cannot be read or
// holds no server or a malformed entry.
QStringList readServersFile(const QString &path);
