// Link extraction over generated pages, decoding, cleaning, resolution and
// domains included: a news portal (a link every 180 bytes or so) and a link
// directory (one every 120 bytes), each on many lines and on one long line,
// with anchors over several lines, scripts, comments and character
// references; pages built to make a backtracking matcher explode; and pages
// built to make the HTML5 tree algorithm take memory and time in the square
// of their size (BM_HostileHtml, with the peak memory of the parse). Sizes
// are MB of page text in UTF-8. Each reader is set against a bare scan of
// the link pattern by the engine over the same bytes (BM_Re2Scan*).

#include "data/storedtext.h"
#include "survey/dialect.h"
#include "survey/htmllinks.h"
#include "survey/htmltree.h"
#include "survey/linkextract.h"
#include "survey/markupbounds.h"
#include "survey/regexp.h"

#include <QString>

#include <benchmark/benchmark.h>
#include <re2/re2.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

constexpr qsizetype kMB = 1 << 20;

// One block of a link directory, about 1 KB with eight links of every kind:
// a link every 120 bytes, the densest kind of page.
QString directoryBlock(int n, const QString &nl)
{
    const QString i = QString::number(n);
    return QStringLiteral("<div class=\"item\" id=\"i") + i + QStringLiteral("\">") + nl
        + QStringLiteral("<h2><a href=\"/news/2024/") + i + QStringLiteral(".html\" title=\"新闻\">今日要闻 ") + i
        + QStringLiteral("</a></h2>") + nl
        + QStringLiteral("<p>这是一段较长的中文说明文字，介绍页面的内容与栏目，并无链接。Some English text too.</p>") + nl
        + QStringLiteral("<a href='http://www.Example.com/a") + i + QStringLiteral("'><img src=\"/img/") + i
        + QStringLiteral(".png\" alt=\"图\"> 图片 </a> <a HREF=http://other") + i
        + QStringLiteral(".org.cn/x?y=1>外部站点</A>") + nl
        + QStringLiteral("<a href=\"https://secure.example.com/login\" class=\"btn\"\ttarget=\"_blank\"><b>登录</b></a>") + nl
        + QStringLiteral("<script type=\"text/javascript\">var a = '<a href=x>';</script>") + nl
        + QStringLiteral("<!-- <a href=\"/old/") + i + QStringLiteral(".html\">旧版</a> -->") + nl
        + QStringLiteral("<a href=\"/list?page=") + i + QStringLiteral("&amp;cat=3\" title=\"列表\">列表&nbsp;&raquo;</a>") + nl
        + QStringLiteral("<a href=\"../topic/") + i + QStringLiteral(".html\"") + nl
        + QStringLiteral("   class=\"rel\">相关") + nl + QStringLiteral("专题</a>") + nl
        + QStringLiteral("<ul><li><a href=\"#top\">返回顶部</a></li><li><a href=\"mailto:x@example.com\">联系</a></li>")
        + QStringLiteral("<li><a href=\"page") + i + QStringLiteral(".html\"><span style=\"color:red\">下一页</span></a></li></ul>") + nl
        + QStringLiteral("<p>Ordinary paragraph with <em>emphasis</em> and <strong>bold</strong> words, "
                         "and a few more characters to fill the block to its size.</p>")
        + nl + QStringLiteral("</div>") + nl;
}

// One block of a portal page: the directory block with a news summary, a
// link every 180 bytes or so, as on the front page of a news site.
QString portalBlock(int n, const QString &nl)
{
    return directoryBlock(n, nl)
        + QStringLiteral("<div class=\"summary\"><p>记者从有关部门获悉，今年以来各地持续推进重点项目建设，"
                         "投资规模稳步扩大，带动就业与消费回升。专家表示，下一阶段将进一步优化营商环境，"
                         "支持民营经济发展壮大。</p>")
        + nl
        + QStringLiteral("<p class=\"meta\"><span class=\"time\">2024-05-20 10:32</span>"
                         "<span class=\"source\">来源：本站综合</span><span class=\"editor\">责任编辑：王某</span></p>")
        + nl + QStringLiteral("</div>") + nl;
}

using Block = QString (*)(int, const QString &);

QString page(Block block, qsizetype bytes, bool lineBreaks)
{
    const QString nl = lineBreaks ? QStringLiteral("\n") : QString();
    QString page = QStringLiteral("<html><head><title>测试</title></head><body>\n");
    qsizetype size = page.toUtf8().size();
    for (int n = 0; size < bytes; ++n) {
        const QString b = block(n, nl);
        page += b;
        size += b.toUtf8().size();
    }
    page += QStringLiteral("</body></html>\n");
    return page;
}

// A long line of anchors whose closing tags are all on the next line.
QString unclosedAnchorsPage(qsizetype bytes)
{
    QString page;
    for (int n = 0; page.size() < bytes; ++n)
        page += QStringLiteral("<a href=\"/p") + QString::number(n) + QStringLiteral(".html\">text ");
    page += QStringLiteral("\n</a>\n");
    return page;
}

// A long run of "<a" without "href="; with closeAtEnd the line ends in one
// real link, so that the whole line is one match.
QString bareAnchorsPage(qsizetype bytes, bool closeAtEnd)
{
    QString page;
    page.reserve(bytes + 64);
    while (page.size() < bytes)
        page += QStringLiteral("<a ");
    if (closeAtEnd)
        page += QStringLiteral("href=/x>y</a>");
    page += u'\n';
    return page;
}

const QString &siteAddress()
{
    static const QString site = QStringLiteral("http://www.example.com/news/index.html");
    return site;
}

void report(benchmark::State &state, const QString &page, qsizetype links)
{
    state.SetBytesProcessed(state.iterations() * int64_t(page.toUtf8().size()));
    state.counters["links"] = double(links);
    state.counters["MB"] = double(page.toUtf8().size()) / kMB;
}

// The stored pattern, everything included; its patterns stay compiled in
// myreg from one page to the next, as in the window.
void runExtraction(benchmark::State &state, const QString &page)
{
    const QString pattern = storedtext::linkPattern();
    TRegExp myreg;
    qsizetype links = 0;
    for (auto _ : state) {
        const QStringList records = ExprTest(myreg, pattern, page, siteAddress());
        links = records.size();
        benchmark::DoNotOptimize(records);
    }
    report(state, page, links);
}

// The HTML parser, everything included.
void runParser(benchmark::State &state, const QString &page)
{
    qsizetype links = 0;
    for (auto _ : state) {
        HtmlLinkExtractor extractor;
        const QStringList records = linkRecords(extractor, page, siteAddress(), siteAddress());
        links = records.size();
        benchmark::DoNotOptimize(records);
    }
    report(state, page, links);
}

// The floor: the engine alone finds every match of the link pattern and its
// two groups in the page's UTF-8 bytes, compiled once, nothing converted,
// decoded, cleaned or resolved.
void runBareScan(benchmark::State &state, const QString &page)
{
    const std::string bytes = page.toStdString();
    re2::RE2::Options options;
    options.set_case_sensitive(true);
    options.set_log_errors(false);
    options.set_max_mem(int64_t(32) << 20);
    const re2::RE2 re(translatePattern(storedtext::linkPattern(), true, false).utf8, options);
    if (!re.ok()) {
        state.SkipWithError("pattern");
        return;
    }
    re2::StringPiece groups[3];
    qsizetype links = 0;
    for (auto _ : state) {
        links = 0;
        size_t from = 0;
        while (re.Match(bytes, from, bytes.size(), re2::RE2::UNANCHORED, groups, 3)) {
            ++links;
            benchmark::DoNotOptimize(groups);
            from = size_t(groups[0].data() - bytes.data()) + std::max<size_t>(groups[0].size(), 1);
        }
    }
    report(state, page, links);
}

void BM_ManyLines(benchmark::State &state)
{
    runExtraction(state, page(portalBlock, state.range(0) * kMB, true));
}

void BM_OneLine(benchmark::State &state)
{
    runExtraction(state, page(portalBlock, state.range(0) * kMB, false));
}

void BM_DirectoryManyLines(benchmark::State &state)
{
    runExtraction(state, page(directoryBlock, state.range(0) * kMB, true));
}

void BM_DirectoryOneLine(benchmark::State &state)
{
    runExtraction(state, page(directoryBlock, state.range(0) * kMB, false));
}

void BM_UnclosedAnchors(benchmark::State &state)
{
    runExtraction(state, unclosedAnchorsPage(state.range(0) * kMB));
}

void BM_BareAnchors(benchmark::State &state)
{
    runExtraction(state, bareAnchorsPage(state.range(0) * kMB, false));
}

void BM_BareAnchorsOneMatch(benchmark::State &state)
{
    runExtraction(state, bareAnchorsPage(state.range(0) * kMB, true));
}

// The machine is shared: with --benchmark_repetitions the least time is the
// figure least disturbed by other work.
double least(const std::vector<double> &v)
{
    return *std::min_element(v.begin(), v.end());
}

} // namespace

BENCHMARK(BM_ManyLines)->Arg(1)->Arg(2)->Arg(5)->Arg(10)->Arg(20)->Unit(benchmark::kMillisecond)->ComputeStatistics("min", least);
BENCHMARK(BM_OneLine)->Arg(1)->Arg(2)->Arg(5)->Arg(10)->Arg(20)->Unit(benchmark::kMillisecond)->ComputeStatistics("min", least);
BENCHMARK(BM_DirectoryManyLines)->Arg(1)->Arg(10)->Arg(20)->Unit(benchmark::kMillisecond)->ComputeStatistics("min", least);
BENCHMARK(BM_DirectoryOneLine)->Arg(1)->Arg(10)->Arg(20)->Unit(benchmark::kMillisecond)->ComputeStatistics("min", least);
BENCHMARK(BM_UnclosedAnchors)->Arg(1)->Arg(2)->Arg(4)->Unit(benchmark::kMillisecond)->ComputeStatistics("min", least);
BENCHMARK(BM_BareAnchors)->Arg(1)->Arg(2)->Arg(4)->Unit(benchmark::kMillisecond)->ComputeStatistics("min", least);
BENCHMARK(BM_BareAnchorsOneMatch)->Arg(1)->Arg(2)->Arg(4)->Unit(benchmark::kMillisecond)->ComputeStatistics("min", least);

// The bare scan and the HTML parser over the same pages as the pattern above.
namespace {

using PageMaker = QString (*)(qsizetype bytes);
using Runner = void (*)(benchmark::State &, const QString &);

void add(const char *name, Runner run, PageMaker make, std::initializer_list<int64_t> sizes)
{
    benchmark::internal::Benchmark *b = benchmark::RegisterBenchmark(name, [run, make](benchmark::State &state) {
        run(state, make(state.range(0) * kMB));
    });
    for (const int64_t mb : sizes)
        b->Arg(mb);
    b->Unit(benchmark::kMillisecond)->ComputeStatistics("min", least);
}

const bool registered = [] {
    const PageMaker portal = [](qsizetype bytes) { return page(portalBlock, bytes, true); };
    const PageMaker portalOneLine = [](qsizetype bytes) { return page(portalBlock, bytes, false); };
    const PageMaker directory = [](qsizetype bytes) { return page(directoryBlock, bytes, true); };
    const PageMaker unclosed = [](qsizetype bytes) { return unclosedAnchorsPage(bytes); };
    const PageMaker bare = [](qsizetype bytes) { return bareAnchorsPage(bytes, true); };
    add("BM_Re2ScanManyLines", runBareScan, portal, {1, 5, 20});
    add("BM_Re2ScanDirectoryManyLines", runBareScan, directory, {1, 5, 20});
    add("BM_HtmlManyLines", runParser, portal, {1, 5, 20});
    add("BM_HtmlOneLine", runParser, portalOneLine, {1, 5});
    add("BM_HtmlDirectoryManyLines", runParser, directory, {1, 5, 20});
    add("BM_HtmlUnclosedAnchors", runParser, unclosed, {1, 4});
    add("BM_HtmlBareAnchors", runParser, bare, {1, 4});
    return true;
}();

} // namespace

// Hostile pages through the HTML reader, whole (bounds, parse, links). Before
// their reading was bounded: the nested tables (450 KB) grew past 23 GB and
// were killed; the deep stack with a long text (1.6 MB) took 28 s and 3 GB.
namespace {

QString repeated(const char *unit, int times, const QString &tail)
{
    const QString u = QString::fromLatin1(unit);
    QString s;
    s.reserve(u.size() * times + tail.size());
    for (int i = 0; i < times; ++i)
        s += u;
    return s + tail;
}

void BM_HostileHtml(benchmark::State &state)
{
    const QString link = QStringLiteral("<a href=/x>x</a>");
    QString page;
    switch (state.range(0)) {
    case 0:
        state.SetLabel("30,000 nested tables");
        page = repeated("<table><tr><td>", 30000, link);
        break;
    case 1:
        state.SetLabel("20,000 divs, then 1.5 MB of text in a <b>");
        page = repeated("<div>", 20000, QStringLiteral("<b>") + link + QString(1500000, u'x') + link);
        break;
    default: {
        state.SetLabel("a formatting element left open in 100,000 paragraphs");
        for (int i = 0; i < 100000; ++i)
            page += QStringLiteral("<p><b id=%1>x</p>").arg(i);
        page += link;
    }
    }
    qsizetype links = 0;
    for (auto _ : state) {
        const LinkSurvey survey = surveyPage(LinkReader::Html, QString(), page, siteAddress(), siteAddress());
        links = survey.records.size();
        benchmark::DoNotOptimize(survey);
    }
    const BoundedMarkup bounded = boundMarkup(page.toUtf8());
    const HtmlTree tree(bounded.bytes);
    state.counters["tree_MB"] = double(tree.peakBytes()) / kMB;
    report(state, page, links);
}

} // namespace

BENCHMARK(BM_HostileHtml)->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->ComputeStatistics("min", least);
