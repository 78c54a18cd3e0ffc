#pragma once

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
    bool longForm = false; // --long
    int timeoutSeconds = 0; // --timeout S; 0: no limit
    QString rankSource = QStringLiteral("toolbar"); // --rank-source toolbar|opr
    QString oprKey; // --opr-key KEY
    QString oprEndpoint; // --opr-endpoint URL; empty: the service's own
    QString extract = QStringLiteral("pattern"); // --extract pattern|html
    bool intervalGiven = false; // --interval was on the command line
    QString format; // --format tsv|csv|jsonl; empty: by the extension of --out
    int concurrency = 32; // --concurrency N: checks in flight at once, check-only runs
    int perHost = 4; // --per-host N: checks in flight to one host
    bool failOnDead = false; // --fail-on-dead: exit 3 when a row is "×"
    int requestTimeoutSeconds = 120; // --request-timeout S: the limit of one request
    QString store; // --store FILE|none: the result store; empty: the default file
    qint64 cacheAgeSeconds = 0; // --cache-age DURATION: answers this young are taken from the store; 0: off
    bool resume = false; // --resume: continue the last unfinished run of the same input
    bool failOnNewDead = false; // --fail-on-new-dead: exit 3 when a row is 新死链

    bool headless() const { return !batchFile.isEmpty() || !site.isEmpty(); }
    bool outToStdout() const { return outFile == QLatin1String("-"); }
    int filterIndex() const; // 0 all, 1 internal, 2 external
    bool openPageRank() const { return rankSource == QLatin1String("opr"); }
    bool storeOff() const { return store == QLatin1String("none"); }
    // --opr-key, else the environment's OPR_API_KEY; empty when neither.
    QString apiKey() const;
};

struct ParsedOptions
{
    Options options;
    bool ok = false;
    bool help = false;
    bool version = false;
    QString error; // why the arguments were refused
};

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
