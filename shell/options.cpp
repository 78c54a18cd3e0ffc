#include "shell/options.h"

#include "shell/errors.h"
#include "shell/textutil.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QFile>
#include <QRegularExpression>
#include <QUrl>

int Options::filterIndex() const
{
    if (filter == QLatin1String("internal"))
        return 1;
    if (filter == QLatin1String("external"))
        return 2;
    return 0;
}

QString Options::apiKey() const
{
    return oprKey.isEmpty() ? qEnvironmentVariable("OPR_API_KEY") : oprKey;
}

QString usageText()
{
    return QStringLiteral(
        "usage: prquery [--servers FILE] [--banner URL|none]\n"
        "       prquery --batch FILE --out FILE [options]\n"
        "       prquery --site URL [--filter all|internal|external] --out FILE [options]\n"
        "\n"
        "  --servers FILE   ranking front ends to use, one host[:port] a line\n"
        "  --banner URL     banner page to show; \"none\" shows no banner\n"
        "  --batch FILE     import FILE (\"-\": standard input), query every line, export, exit\n"
        "  --site URL       survey the links of the page at URL, query them, export, exit\n"
        "  --filter KIND    links kept by --site: all (default), internal or external\n"
        "  --extract HOW    how --site reads links: pattern (default) or html (HTML parser)\n"
        "  --out FILE       where a batch or site run exports its list\n"
        "  --interval MS    query interval, 200 to 100000 ms (default 1000)\n"
        "  --no-pr          do not query the PR\n"
        "  --no-deadlink    do not check whether addresses answer\n"
        "  --long           export every column, not only address and PR\n"
        "  --timeout S      give up after S seconds (exit 1)\n"
        "  --rank-source S  where PR comes from: toolbar (default) or opr (Open PageRank)\n"
        "  --opr-key KEY    Open PageRank API key (else the environment's OPR_API_KEY)\n"
        "  --opr-endpoint URL  Open PageRank address (default https://openpagerank.com/api/v1.0/getPageRank)\n"
        "  --request-timeout S  a request not done within S seconds, 1 to 3600, fails\n"
        "                   as a time-out (default 120)\n"
        "\n"
        "exit status: 0 done, 1 failure or time-out, 2 bad arguments\n");
}

ParsedOptions parseOptions(const QStringList &arguments)
{
    ParsedOptions parsed;
    Options &o = parsed.options;
    auto fail = [&parsed](const QString &why) {
        parsed.ok = false;
        parsed.error = why;
        return parsed;
    };

    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption servers(QStringLiteral("servers"), QString(), QStringLiteral("FILE"));
    const QCommandLineOption banner(QStringLiteral("banner"), QString(), QStringLiteral("URL"));
    const QCommandLineOption batch(QStringLiteral("batch"), QString(), QStringLiteral("FILE"));
    const QCommandLineOption site(QStringLiteral("site"), QString(), QStringLiteral("URL"));
    const QCommandLineOption filter(QStringLiteral("filter"), QString(), QStringLiteral("KIND"));
    const QCommandLineOption extract(QStringLiteral("extract"), QString(), QStringLiteral("HOW"));
    const QCommandLineOption out(QStringLiteral("out"), QString(), QStringLiteral("FILE"));
    const QCommandLineOption interval(QStringLiteral("interval"), QString(), QStringLiteral("MS"));
    const QCommandLineOption timeout(QStringLiteral("timeout"), QString(), QStringLiteral("S"));
    const QCommandLineOption requestTimeout(QStringLiteral("request-timeout"), QString(), QStringLiteral("S"));
    const QCommandLineOption noPr(QStringLiteral("no-pr"));
    const QCommandLineOption noDeadLink(QStringLiteral("no-deadlink"));
    const QCommandLineOption longForm(QStringLiteral("long"));
    const QCommandLineOption rankSource(QStringLiteral("rank-source"), QString(), QStringLiteral("S"));
    const QCommandLineOption oprKey(QStringLiteral("opr-key"), QString(), QStringLiteral("KEY"));
    const QCommandLineOption oprEndpoint(QStringLiteral("opr-endpoint"), QString(), QStringLiteral("URL"));
    parser.addOptions({help, servers, banner, batch, site, filter, out, interval, timeout, requestTimeout, noPr, noDeadLink, longForm, rankSource, oprKey, oprEndpoint, extract});
    if (!parser.parse(arguments))
        return fail(parser.errorText());
    if (!parser.positionalArguments().isEmpty())
        return fail(QStringLiteral("unknown argument: ") + parser.positionalArguments().constFirst());

    // A number within bounds, or the default when the option is absent.
    const auto number = [&parser](const QCommandLineOption &option, int low, int high, int &into) {
        if (!parser.isSet(option))
            return true;
        bool ok = false;
        const int n = parser.value(option).toInt(&ok);
        if (!ok || n < low || n > high)
            return false;
        into = n;
        return true;
    };

    parsed.help = parser.isSet(help);
    o.serversFile = parser.value(servers);
    o.bannerGiven = parser.isSet(banner);
    o.banner = parser.value(banner);
    o.batchFile = parser.value(batch);
    o.site = parser.value(site);
    o.outFile = parser.value(out);
    o.noPr = parser.isSet(noPr);
    o.noDeadLink = parser.isSet(noDeadLink);
    o.longForm = parser.isSet(longForm);
    if (parser.isSet(filter))
        o.filter = parser.value(filter);
    if (!(o.filter == QLatin1String("all") || o.filter == QLatin1String("internal") || o.filter == QLatin1String("external")))
        return fail(QStringLiteral("--filter takes all, internal or external"));
    if (parser.isSet(rankSource))
        o.rankSource = parser.value(rankSource);
    if (!(o.rankSource == QLatin1String("toolbar") || o.openPageRank()))
        return fail(QStringLiteral("--rank-source takes toolbar or opr"));
    o.oprKey = parser.value(oprKey);
    o.oprEndpoint = parser.value(oprEndpoint);
    if (parser.isSet(oprEndpoint)) {
        const QUrl endpoint(o.oprEndpoint, QUrl::StrictMode);
        if (!endpoint.isValid() || endpoint.host().isEmpty()
            || !(endpoint.scheme() == QLatin1String("http") || endpoint.scheme() == QLatin1String("https")))
            return fail(QStringLiteral("--opr-endpoint takes an http:// or https:// address"));
    }
    if (parser.isSet(extract))
        o.extract = parser.value(extract);
    if (!(o.extract == QLatin1String("pattern") || o.extract == QLatin1String("html")))
        return fail(QStringLiteral("--extract takes pattern or html"));
    if (!number(interval, 200, 100000, o.intervalMs))
        return fail(QStringLiteral("--interval takes a number of milliseconds from 200 to 100000"));
    if (!number(timeout, 1, 100000000, o.timeoutSeconds))
        return fail(QStringLiteral("--timeout takes a positive number of seconds"));
    if (!number(requestTimeout, 1, 3600, o.requestTimeoutSeconds))
        return fail(QStringLiteral("--request-timeout takes a number of seconds from 1 to 3600"));
    if (!o.batchFile.isEmpty() && !o.site.isEmpty())
        return fail(QStringLiteral("--batch and --site cannot be used together"));
    if (o.headless() && o.outFile.isEmpty())
        return fail(QStringLiteral("a batch or site run needs --out FILE"));
    if (!o.headless()) {
        const bool runOptions = !o.outFile.isEmpty() || o.noPr || o.noDeadLink || o.longForm || o.timeoutSeconds != 0
            || o.intervalMs != 1000 || o.filter != QLatin1String("all");
        if (runOptions)
            return fail(QStringLiteral("--out, --interval, --no-pr, --no-deadlink, --long, --timeout and --filter need --batch or --site"));
    }
    if (!o.batchFile.isEmpty() && o.filter != QLatin1String("all"))
        return fail(QStringLiteral("--filter applies to --site only"));
    if (o.site.isEmpty() && parser.isSet(extract))
        return fail(QStringLiteral("--extract applies to --site only"));
    parsed.ok = true;
    return parsed;
}

QStringList readServersFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw AppError(QStringLiteral("Cannot open file \"%1\". %2").arg(path, file.errorString()));
    const QString text = decodeText(file.readAll());
    static const QRegularExpression entry(QStringLiteral("^[A-Za-z0-9.\\-]+(:[0-9]{1,5})?$|^\\[[0-9A-Fa-f:.]+\\](:[0-9]{1,5})?$"));
    QStringList servers;
    int lineNo = 0;
    for (const QString &raw : text.split(QRegularExpression(QStringLiteral("\\r\\n|\\r|\\n")))) {
        ++lineNo;
        const QString line = raw.trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        if (!entry.match(line).hasMatch())
            throw AppError(QStringLiteral("%1, line %2: not a host[:port]: %3").arg(path).arg(lineNo).arg(line));
        servers << line;
    }
    if (servers.isEmpty())
        throw AppError(QStringLiteral("%1 names no server").arg(path));
    return servers;
}
