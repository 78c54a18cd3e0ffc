#include "shell/options.h"

#include "base/errors.h"
#include "base/filenames.h"
#include "base/syserror.h"
#include "base/textutil.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QFile>
#include <QRegularExpression>
#include <QUrl>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

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

QString autoRankSource(bool haveRankFile, bool haveKey)
{
    if (haveRankFile)
        return QStringLiteral("graph");
    return haveKey ? QStringLiteral("opr") : QStringLiteral("toolbar");
}

QString Options::chosenRankSource() const
{
    if (rankSource == QLatin1String("auto"))
        return autoRankSource(!rankFile.isEmpty(), !apiKey().isEmpty());
    return rankSource;
}

CrawlSettings Options::crawlSettings() const
{
    CrawlSettings c;
    c.depth = depth;
    c.maxPages = maxPages;
    c.scope = scope == QLatin1String("prefix") ? CrawlSettings::Scope::Prefix : CrawlSettings::Scope::Site;
    c.robots = robots;
    c.sitemap = sitemap != QLatin1String("off");
    if (c.sitemap && sitemap != QLatin1String("auto"))
        c.sitemapUrl = sitemap;
    return c;
}

// All the help in one text: a new option adds its line here, with its default.
QString usageText()
{
    return QStringLiteral(
        "用法: prquery [--servers 文件] [--banner 网址|none]\n"
        "      prquery --batch 文件|- --out 文件|- [选项]\n"
        "      prquery --site 网址 [--filter all|internal|external] --out 文件|- [选项]\n"
        "\n"
        "不带 --batch 或 --site 时只打开窗口。\n"
        "\n"
        "  --servers 文件      PR 查询服务器列表, 每行一个 主机[:端口] (默认: 程序内置的公共服务器)\n"
        "  --banner 网址|none  窗口上方的广告页; none 不显示 (默认: 程序内置的广告主机)\n"
        "  --batch 文件|-      导入文件中的网址, 每行一个 (- 表示标准输入), 查询后导出并退出\n"
        "  --site 网址         提取该网页上的全部链接, 查询后导出并退出\n"
        "  --filter 类别       --site 保留的链接: all 全部, internal 站内, external 站外 (默认: all)\n"
        "  --extract 方式      --site 提取链接的方式: pattern 内置规则, html 按HTML解析 (默认: pattern)\n"
        "  --out 文件|-        导出到该文件; - 表示标准输出 (必填)\n"
        "  --format 格式       导出格式 tsv、csv 或 jsonl (默认: 按 --out 的扩展名, .csv 为 csv,\n"
        "                      .jsonl 或 .json 为 jsonl, 其余为 tsv)\n"
        "  --csv-raw           csv 单元格原样写出; 默认在以 = + - @ 开头的单元格前加 ' , 以免被电子表格\n"
        "                      当作公式 (只由 - 组成的 -- 和 --- 除外)\n"
        "  --short             tsv 只导出网址和PR (默认: 全部列)\n"
        "  --long              tsv 导出全部列 (默认即如此, 保留此项以兼容旧脚本)\n"
        "  --no-pr             不查询 PR (默认: 查询)\n"
        "  --no-deadlink       不检测死链 (默认: 检测)\n"
        "  --interval 毫秒     逐行查询的间隔, 200 到 100000 (默认: 1000); 只有用工具栏查询 PR 时\n"
        "                      才按间隔逐行查询, 给出此项则每次都按间隔逐行查询\n"
        "  --concurrency N     不按间隔逐行查询时同时检测的网址数, 1 到 1000 (默认: 32)\n"
        "  --per-host N        不按间隔逐行查询时对同一主机同时检测的网址数, 1 到 1000 (默认: 4)\n"
        "  --rank-source 来源  PR 来源: toolbar 工具栏服务, opr 即 Open PageRank, graph 网络图排名文件,\n"
        "                      auto 有 --rank-file 时用排名文件, 否则有密钥时用 Open PageRank,\n"
        "                      否则用工具栏服务 (默认: auto)\n"
        "  --rank-file 文件    网络图排名文件 (域名级或主机级, .gz 或纯文本); 首次使用时建立索引\n"
        "  --opr-key 密钥      Open PageRank 的 API 密钥 (默认: 环境变量 OPR_API_KEY)\n"
        "  --opr-endpoint 网址 Open PageRank 的接口地址\n"
        "                      (默认: https://openpagerank.com/api/v1.0/getPageRank)\n"
        "  --timeout 秒        超过该秒数即写出当前结果并退出, 退出码 1 (默认: 不限)\n"
        "  --request-timeout 秒  单个请求在该秒数内未完成即算超时, 1 到 3600 (默认: 120)\n"
        "  --fail-on-dead      有任何一行为 × 时退出码为 3 (默认: 否); ? (存疑) 不算\n"
        "  --status-policy 规则  把状态码归入别的类别, 如 403:dead,999:alive,5xx:blocked;\n"
        "                      类别为 alive (√)、dead (×) 或 blocked (? 存疑) (默认: 401、403、407、\n"
        "                      429、999 和人机验证为存疑, 其余 400 以上为死链)\n"
        "  --soft404 on|off    2xx 页面与同目录随机网址的回应比较, 相同即为软404 (×) (默认: on)\n"
        "  --fail-on-dead      有任何一行为 × 时退出码为 3 (默认: 否)\n"
        "  --depth N           --site 的抓取深度, 1 到 100; 1 只读所给网页, 大于 1 抓取整站 (默认: 1)\n"
        "  --max-pages N       抓取时最多读取的网页数, 1 到 10000000 (默认: 10000)\n"
        "  --scope 范围        抓取范围: site 整站, prefix 只读所给网页所在目录之下的网页 (默认: site)\n"
        "  --robots on|off     抓取时遵守 robots.txt (默认: on)\n"
        "  --sitemap 来源      抓取时读取的 sitemap: auto 按 robots.txt 或 /sitemap.xml, off 不读,\n"
        "                      或给出 sitemap 网址 (默认: auto)\n"
        "  --inlinks 文件      另写一个 CSV: 每个链接一行, 来源页,链接词,网址,访问,状态\n"
        "  --store 文件|none   结果库: 每次运行都记入该 SQLite 文件, 与上次比较得出 \"变化\" 列;\n"
        "                      none 不记录 (默认: $XDG_DATA_HOME/prquery/results.sqlite,\n"
        "                      未设置时为 ~/.local/share/prquery/results.sqlite)\n"
        "  --cache-age 时长    在该时长内检测为 √ 的网址不再请求, 直接用结果库中的结果, 如 30m、12h、7d;\n"
        "                      同一时长内的 PR 也不再查询 (默认: 0, 不用缓存)\n"
        "  --resume            继续同一输入上次未完成的运行: 已有结果的行不再请求, 输出整次运行的结果\n"
        "  --fail-on-new-dead  有任何一行为 新死链 时退出码为 3 (默认: 否)\n"
        "  --strict            有网页超过大小上限被截断 (只列出读到部分的链接) 时退出码为 1;\n"
        "                      用 --fail-on-dead 时也是如此 (默认: 否)\n"
        "  --version           显示版本并退出\n"
        "  -h, --help          显示本帮助并退出\n"
        "\n"
        "进度每秒一行, 与结束时的汇总一起写到标准错误。\n"
        "\n"
        "退出码: 0 完成, 1 失败、超时或网页被截断 (--strict), 2 参数错误或 --out 无法写入, 3 有死链 (--fail-on-dead) 或新死链 (--fail-on-new-dead),\n"
        "        130 被 SIGINT (Ctrl+C) 中断, 143 被 SIGTERM 终止; 超时和中断时已有的结果照样写出。\n");
}

QString versionText()
{
    return QStringLiteral("prquery " PRQ_VERSION "\n");
}

namespace {

// Qt's parser explains a refusal in English; the user reads Chinese. Its
// unknown options are named by the parser, the other refusals are read from
// its one sentence.
QString parserErrorText(const QCommandLineParser &parser)
{
    const QStringList unknown = parser.unknownOptionNames();
    if (!unknown.isEmpty()) {
        const QString &name = unknown.constFirst();
        return QStringLiteral("未知选项: ") + (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
    }
    const QString text = parser.errorText();
    static const QRegularExpression quoted(QStringLiteral("'([^']*)'"));
    // The option as given, dashes included.
    const QString shown = quoted.match(text).captured(1);
    if (text.startsWith(QLatin1String("Missing value")))
        return QStringLiteral("选项 %1 缺少值").arg(shown);
    if (text.startsWith(QLatin1String("Unexpected value")))
        return QStringLiteral("选项 %1 不带值").arg(shown);
    return QStringLiteral("参数错误: ") + text;
}

} // namespace

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
    const QCommandLineOption help(QStringList {QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption servers(QStringLiteral("servers"), QString(), QStringLiteral("FILE"));
    const QCommandLineOption banner(QStringLiteral("banner"), QString(), QStringLiteral("URL"));
    const QCommandLineOption batch(QStringLiteral("batch"), QString(), QStringLiteral("FILE"));
    const QCommandLineOption site(QStringLiteral("site"), QString(), QStringLiteral("URL"));
    const QCommandLineOption filter(QStringLiteral("filter"), QString(), QStringLiteral("KIND"));
    const QCommandLineOption out(QStringLiteral("out"), QString(), QStringLiteral("FILE"));
    const QCommandLineOption interval(QStringLiteral("interval"), QString(), QStringLiteral("MS"));
    const QCommandLineOption timeout(QStringLiteral("timeout"), QString(), QStringLiteral("S"));
    const QCommandLineOption requestTimeout(QStringLiteral("request-timeout"), QString(), QStringLiteral("S"));
    const QCommandLineOption noPr(QStringLiteral("no-pr"));
    const QCommandLineOption noDeadLink(QStringLiteral("no-deadlink"));
    const QCommandLineOption longForm(QStringLiteral("long"));
    const QCommandLineOption shortForm(QStringLiteral("short"));
    const QCommandLineOption format(QStringLiteral("format"), QString(), QStringLiteral("FORMAT"));
    const QCommandLineOption csvRaw(QStringLiteral("csv-raw"));
    const QCommandLineOption concurrency(QStringLiteral("concurrency"), QString(), QStringLiteral("N"));
    const QCommandLineOption perHost(QStringLiteral("per-host"), QString(), QStringLiteral("N"));
    const QCommandLineOption failOnDead(QStringLiteral("fail-on-dead"));
    const QCommandLineOption version(QStringLiteral("version"));
    const QCommandLineOption rankSource(QStringLiteral("rank-source"), QString(), QStringLiteral("S"));
    const QCommandLineOption rankFile(QStringLiteral("rank-file"), QString(), QStringLiteral("FILE"));
    const QCommandLineOption oprKey(QStringLiteral("opr-key"), QString(), QStringLiteral("KEY"));
    const QCommandLineOption oprEndpoint(QStringLiteral("opr-endpoint"), QString(), QStringLiteral("URL"));
    const QCommandLineOption extract(QStringLiteral("extract"), QString(), QStringLiteral("HOW"));
    const QCommandLineOption statusPolicy(QStringLiteral("status-policy"), QString(), QStringLiteral("RULES"));
    const QCommandLineOption soft404(QStringLiteral("soft404"), QString(), QStringLiteral("on|off"));
    const QCommandLineOption depth(QStringLiteral("depth"), QString(), QStringLiteral("N"));
    const QCommandLineOption maxPages(QStringLiteral("max-pages"), QString(), QStringLiteral("N"));
    const QCommandLineOption scope(QStringLiteral("scope"), QString(), QStringLiteral("SCOPE"));
    const QCommandLineOption robots(QStringLiteral("robots"), QString(), QStringLiteral("ON"));
    const QCommandLineOption sitemap(QStringLiteral("sitemap"), QString(), QStringLiteral("WHERE"));
    const QCommandLineOption inlinks(QStringLiteral("inlinks"), QString(), QStringLiteral("FILE"));
    const QCommandLineOption store(QStringLiteral("store"), QString(), QStringLiteral("FILE"));
    const QCommandLineOption cacheAge(QStringLiteral("cache-age"), QString(), QStringLiteral("DURATION"));
    const QCommandLineOption resume(QStringLiteral("resume"));
    const QCommandLineOption failOnNewDead(QStringLiteral("fail-on-new-dead"));
    const QCommandLineOption strict(QStringLiteral("strict"));
    parser.addOptions({help, servers, banner, batch, site, filter, out, interval, timeout, requestTimeout, noPr, noDeadLink, longForm, shortForm, format,
        concurrency, perHost, failOnDead, version, rankSource, rankFile, oprKey, oprEndpoint, extract, csvRaw, statusPolicy, soft404, depth, maxPages, scope, robots,
        sitemap, inlinks, store, cacheAge, resume, failOnNewDead, strict});
    if (!parser.parse(arguments))
        return fail(parserErrorText(parser));
    if (!parser.positionalArguments().isEmpty())
        return fail(QStringLiteral("未知参数: ") + parser.positionalArguments().constFirst());

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
    parsed.version = parser.isSet(version);
    o.serversFile = parser.value(servers);
    o.bannerGiven = parser.isSet(banner);
    o.banner = parser.value(banner);
    o.batchFile = parser.value(batch);
    o.site = parser.value(site);
    o.outFile = parser.value(out);
    o.noPr = parser.isSet(noPr);
    o.noDeadLink = parser.isSet(noDeadLink);
    o.longForm = parser.isSet(longForm);
    o.shortForm = parser.isSet(shortForm);
    if (o.longForm && o.shortForm)
        return fail(QStringLiteral("--short 与 --long 不能同时使用"));
    o.intervalGiven = parser.isSet(interval);
    o.format = parser.value(format);
    o.csvRaw = parser.isSet(csvRaw);
    o.failOnDead = parser.isSet(failOnDead);
    o.failOnNewDead = parser.isSet(failOnNewDead);
    o.strict = parser.isSet(strict);
    o.resume = parser.isSet(resume);
    o.store = parser.value(store);
    if (parser.isSet(store) && o.store.isEmpty())
        return fail(QStringLiteral("--store 须是文件名或 none"));
    if (parser.isSet(cacheAge)) {
        const std::optional<qint64> age = parseDuration(parser.value(cacheAge));
        if (!age)
            return fail(QStringLiteral("--cache-age 须是时长, 如 30m、12h、7d (0 为不用缓存)"));
        o.cacheAgeSeconds = *age;
    }
    if (o.storeOff() && (o.failOnNewDead || o.resume || o.cacheAgeSeconds > 0))
        return fail(QStringLiteral("--fail-on-new-dead、--resume 和 --cache-age 需要结果库, 不能与 --store none 同用"));
    if (parser.isSet(filter))
        o.filter = parser.value(filter);
    if (!(o.filter == QLatin1String("all") || o.filter == QLatin1String("internal") || o.filter == QLatin1String("external")))
        return fail(QStringLiteral("--filter 只能是 all、internal 或 external"));
    if (parser.isSet(rankSource))
        o.rankSource = parser.value(rankSource);
    const QStringList sources {QStringLiteral("auto"), QStringLiteral("toolbar"), QStringLiteral("opr"), QStringLiteral("graph")};
    if (!sources.contains(o.rankSource))
        return fail(QStringLiteral("--rank-source 只能是 auto、toolbar、opr 或 graph"));
    o.rankFile = parser.value(rankFile);
    if (parser.isSet(rankFile) && o.rankFile.isEmpty())
        return fail(QStringLiteral("--rank-file 需要文件名"));
    if (o.rankSource == QLatin1String("graph") && o.rankFile.isEmpty())
        return fail(QStringLiteral("--rank-source graph 需要 --rank-file 文件"));
    if (!o.rankFile.isEmpty() && !(o.rankSource == QLatin1String("graph") || o.rankSource == QLatin1String("auto")))
        return fail(QStringLiteral("--rank-file 只用于 --rank-source graph 或 auto"));
    o.oprKey = parser.value(oprKey);
    o.oprEndpoint = parser.value(oprEndpoint);
    if (parser.isSet(oprEndpoint)) {
        const QUrl endpoint(o.oprEndpoint, QUrl::StrictMode);
        if (!endpoint.isValid() || endpoint.host().isEmpty()
            || !(endpoint.scheme() == QLatin1String("http") || endpoint.scheme() == QLatin1String("https")))
            return fail(QStringLiteral("--opr-endpoint 须是 http:// 或 https:// 网址"));
    }
    if (parser.isSet(extract))
        o.extract = parser.value(extract);
    if (!(o.extract == QLatin1String("pattern") || o.extract == QLatin1String("html")))
        return fail(QStringLiteral("--extract 只能是 pattern 或 html"));
    if (!number(interval, 200, 100000, o.intervalMs))
        return fail(QStringLiteral("--interval 须为 200 到 100000 的毫秒数"));
    if (!number(timeout, 1, 100000000, o.timeoutSeconds))
        return fail(QStringLiteral("--timeout 须为正整数秒"));
    if (!number(concurrency, 1, 1000, o.concurrency))
        return fail(QStringLiteral("--concurrency 须为 1 到 1000 的整数"));
    if (!number(perHost, 1, 1000, o.perHost))
        return fail(QStringLiteral("--per-host 须为 1 到 1000 的整数"));
    if (parser.isSet(format) && !(o.format == QLatin1String("tsv") || o.format == QLatin1String("csv") || o.format == QLatin1String("jsonl")))
        return fail(QStringLiteral("--format 只能是 tsv、csv 或 jsonl"));
    if (!number(requestTimeout, 1, 3600, o.requestTimeoutSeconds))
        return fail(QStringLiteral("--request-timeout 须为 1 到 3600 的秒数"));
    QString policyError;
    const std::optional<StatusPolicy> policy = StatusPolicy::parse(parser.value(statusPolicy), &policyError);
    if (!policy)
        return fail(QStringLiteral("--status-policy: ") + policyError);
    o.statusPolicy = *policy;
    if (parser.isSet(soft404)) {
        const QString value = parser.value(soft404);
        if (value != QLatin1String("on") && value != QLatin1String("off"))
            return fail(QStringLiteral("--soft404 只能是 on 或 off"));
        o.soft404 = value == QLatin1String("on");
    }
    if (!number(depth, 1, CrawlSettings::MaxDepth, o.depth))
        return fail(QStringLiteral("--depth 须为 1 到 100 的整数"));
    if (!number(maxPages, 1, CrawlSettings::MaxPagesLimit, o.maxPages))
        return fail(QStringLiteral("--max-pages 须为 1 到 10000000 的整数"));
    if (parser.isSet(scope))
        o.scope = parser.value(scope);
    if (!(o.scope == QLatin1String("site") || o.scope == QLatin1String("prefix")))
        return fail(QStringLiteral("--scope 只能是 site 或 prefix"));
    if (parser.isSet(robots)) {
        const QString value = parser.value(robots);
        if (!(value == QLatin1String("on") || value == QLatin1String("off")))
            return fail(QStringLiteral("--robots 只能是 on 或 off"));
        o.robots = value == QLatin1String("on");
    }
    if (parser.isSet(sitemap)) {
        o.sitemap = parser.value(sitemap);
        if (!(o.sitemap == QLatin1String("auto") || o.sitemap == QLatin1String("off"))) {
            const QUrl url(o.sitemap, QUrl::StrictMode);
            if (!url.isValid() || url.host().isEmpty() || !(url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https")))
                return fail(QStringLiteral("--sitemap 只能是 auto、off 或 http:// 或 https:// 网址"));
        }
    }
    o.inlinksFile = parser.value(inlinks);
    if (!o.batchFile.isEmpty() && !o.site.isEmpty())
        return fail(QStringLiteral("--batch 与 --site 不能同时使用"));
    if (o.headless() && o.outFile.isEmpty())
        return fail(QStringLiteral("--batch 或 --site 需要 --out 文件"));
    if (!o.headless()) {
        const bool runOptions = !o.outFile.isEmpty() || o.noPr || o.noDeadLink || o.longForm || o.shortForm || o.timeoutSeconds != 0
            || o.intervalGiven || o.filter != QLatin1String("all") || parser.isSet(format) || parser.isSet(concurrency) || parser.isSet(perHost)
            || o.failOnDead || o.failOnNewDead || o.strict || o.resume || parser.isSet(cacheAge);
        if (runOptions)
            return fail(QStringLiteral("--out、--interval、--no-pr、--no-deadlink、--short、--long、--timeout、--filter、--format、--concurrency、--per-host、"
                                       "--fail-on-dead、--fail-on-new-dead、--strict、--resume 和 --cache-age 需要 --batch 或 --site"));
    }
    if (o.csvRaw && !(o.format == QLatin1String("csv") || (o.format.isEmpty() && !o.outToStdout() && o.outFile.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive))))
        return fail(QStringLiteral("--csv-raw 只用于 csv 格式的导出"));
    if (!o.batchFile.isEmpty() && o.filter != QLatin1String("all"))
        return fail(QStringLiteral("--filter 只用于 --site"));
    if (o.site.isEmpty() && parser.isSet(extract))
        return fail(QStringLiteral("--extract 只用于 --site"));
    if (o.site.isEmpty()
        && (parser.isSet(depth) || parser.isSet(maxPages) || parser.isSet(scope) || parser.isSet(robots) || parser.isSet(sitemap) || parser.isSet(inlinks)))
        return fail(QStringLiteral("--depth、--max-pages、--scope、--robots、--sitemap 和 --inlinks 只用于 --site"));
    parsed.ok = true;
    return parsed;
}

std::optional<qint64> parseDuration(const QString &text)
{
    static const QRegularExpression form(QStringLiteral("^([0-9]{1,9})([smhd]?)$"));
    const QRegularExpressionMatch m = form.match(text);
    if (!m.hasMatch())
        return std::nullopt;
    const qint64 n = m.captured(1).toLongLong();
    const QString unit = m.captured(2);
    if (unit.isEmpty())
        return n == 0 ? std::optional<qint64>(0) : std::nullopt; // a bare number would leave its unit to guessing
    const qint64 per = unit == QLatin1String("s") ? 1 : unit == QLatin1String("m") ? 60
        : unit == QLatin1String("h")                                               ? 3600
                                                                                   : 86400;
    return n * per;
}

QStringList readServersFile(const QString &path)
{
    // Opened here, so that the system's reason is at hand.
    const int fd = ::open(encodeFileName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throw AppError(QStringLiteral("无法打开文件 \"%1\": %2").arg(path, systemErrorText(errno)));
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        throw AppError(QStringLiteral("无法读取文件 \"%1\"").arg(path));
    }
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
            throw AppError(QStringLiteral("%1 第 %2 行不是 主机[:端口]: %3").arg(path).arg(lineNo).arg(line));
        servers << line;
    }
    if (servers.isEmpty())
        throw AppError(QStringLiteral("%1 中没有服务器").arg(path));
    return servers;
}
