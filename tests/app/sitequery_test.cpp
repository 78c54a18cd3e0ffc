// Whole-site queries end to end: the real window, off screen, against a page
// server and a ranking server on loopback.
#include "app/Unit1.h"
#include "base/guard.h"
#include "query/dispatch.h"
#include "query/engine.h"
#include "query/scheduler.h"
#include "support/errorrecorder.h"
#include "support/loopserver.h"
#include "support/windowtesting.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProgressBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QThread>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <memory>

namespace {

using prqtest::LoopServer;
using prqtest::waitUntil;

// The page names its own server by 127.0.0.1 (the site) and links to
// another "site" through the name localhost, which getdomain2 cannot reduce.
// External links therefore use a host of another domain that nothing is
// ever sent to: the tests untick both queries before the walk would reach them.
const char *kPage = "<html><body>\n"
                    "<a href=\"/about.html\"><b> 关于我们 </b></a>\n"
                    "<A HREF='HTTP://www.other.com/x'>Other</A>\n"
                    "<a class=\"n\" href=\"https://www.other.org/y\">安全</a>\n"
                    "<a href=\"/about.html\">again</a>\n"
                    "<a href=\"/split.html\">over a\nline break</a>\n"
                    "<a href=\"/mark[@m@]x\">m</a>\n"
                    "</body></html>\n";

struct SiteQuery : ::testing::Test
{
    LoopServer pages;
    std::unique_ptr<TForm1> form;
    QStringList errors;
    prqtest::ErrorRecorder recorder {errors};

    void SetUp() override
    {
        pages.get("/index.html", [](const httplib::Request &, httplib::Response &res) { res.set_content(kPage, "text/html; charset=utf-8"); });
        pages.get("/missing.html", [](const httplib::Request &, httplib::Response &res) {
            res.status = 404;
            res.set_content(kPage, "text/html"); // an error page full of links lists none
        });
        pages.get("/inner.html", [](const httplib::Request &, httplib::Response &res) {
            res.set_content("<a href=\"/a.html\">a</a>", "text/html");
        });
        pages.get("/sjis.html", [](const httplib::Request &, httplib::Response &res) {
            res.set_content(std::string("<a href=\"/jp.html\">\x93\xfa\x96\x7b</a>"), "text/html; charset=Shift_JIS");
        });
        pages.get("/deep.html", [](const httplib::Request &, httplib::Response &res) {
            std::string page = "<a href=\"/first.html\">first</a>";
            for (int i = 0; i < 30000; ++i)
                page += "<table><tr><td>";
            page += "<a href=\"/last.html\">last</a>";
            res.set_content(page, "text/html");
        });
        pages.start();
        form = prqtest::makeWindow({QStringLiteral("127.0.0.1:9")});
    }
    void TearDown() override
    {
        form.reset();
    }
    FormState &s() { return form->state(); }
    QString site() const { return pages.url(QStringLiteral("/index.html")); }

    // Runs a survey with both queries off, so that nothing but the page is fetched.
    void survey(int filter)
    {
        form->setChoices(false, false, true, filter, 200);
        form->setSiteText(site());
        form->btn3Click();
        ASSERT_TRUE(waitUntil([this] { return requestsInFlight(s()) == 0 && s().lv1.count() > 0; }));
    }
    QList<QStringList> rows()
    {
        QList<QStringList> out;
        for (int r = 0; r < s().lv1.count(); ++r) {
            QStringList row {s().lv1.caption(r)};
            for (int k = 0; k < 5; ++k)
                row << s().lv1.cell(r, k);
            out << row;
        }
        return out;
    }
};

TEST_F(SiteQuery, ListsTheSiteAndItsLinks)
{
    survey(0);
    const QString s0 = site();
    const QString base = pages.url(QString()).mid(7); // the host; normurl drops "http://"
    // Root-relative links go to the root of the page's host.
    const QList<QStringList> expected = {
        {"0", "内", "---", s0, "--", "--"},
        {"1", "内", "关于我们", base + "/about.html", "--", "--"},
        {"2", "外", "Other", "www.other.com/x", "--", "--"},
        {"3", "外", "安全", "https://www.other.org/y", "--", "--"},
        {"4", "内", "again", base + "/about.html", "--", "--"},
        // "[@m@]" in a link shifts the pieces of its record.
        {"5", "内", "x", base + "/mark", "--", "--"},
    };
    const QList<QStringList> got = rows();
    ASSERT_EQ(got.size(), expected.size());
    for (qsizetype i = 0; i < got.size(); ++i)
        EXPECT_EQ(got[i].join(QLatin1Char('|')), expected[i].join(QLatin1Char('|'))) << i;
    EXPECT_EQ(s().lbl13(), QStringLiteral("提示：") + s0 + QStringLiteral("访问成功..."));
    EXPECT_EQ(s().lbl2(), QStringLiteral("数量(6)"));
    EXPECT_EQ(s().pr1.maximum(), 6);
    EXPECT_EQ(s().curindex, 0);
    EXPECT_EQ(form->engine().walk(), Walk::None); // nothing to ask, nothing to walk
    EXPECT_FALSE(s().tmr2.isActive());
    EXPECT_TRUE(errors.isEmpty());
    const auto requests = pages.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].header("User-Agent"), "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1; SV1)");

    // A link's source is the surveyed page: the details list it, with the
    // anchor text, and "打开来源页" opens it.
    QList<QUrl> opened;
    form->seams().openUrl = [&opened](const QUrl &url) { opened << url; };
    form->findChild<QTableView *>(QStringLiteral("lv1"))->selectRow(1);
    auto *sources = form->findChild<QTreeWidget *>(QStringLiteral("detailSources"));
    ASSERT_TRUE(waitUntil([sources] { return sources->isVisible(); }));
    ASSERT_EQ(sources->topLevelItemCount(), 1);
    EXPECT_EQ(sources->topLevelItem(0)->text(0), s0);
    EXPECT_EQ(sources->topLevelItem(0)->text(1), QStringLiteral("关于我们"));
    form->N7Click();
    EXPECT_EQ(opened, QList<QUrl> {QUrl(s0)});
    // The site's own row has no source.
    form->findChild<QTableView *>(QStringLiteral("lv1"))->selectRow(0);
    ASSERT_TRUE(waitUntil([sources] { return !sources->isVisible(); }));
}

TEST_F(SiteQuery, TheParserChoiceReadsAnchorsOverLines)
{
    form->setHtmlExtract(true);
    EXPECT_TRUE(s().bschck4);
    survey(0);
    QStringList texts;
    for (const QStringList &r : rows())
        texts << r[2] + u'=' + r[3];
    const QString base = pages.url(QString()).mid(7);
    EXPECT_EQ(texts, (QStringList {QStringLiteral("---=") + site(), QStringLiteral("关于我们=") + base + QStringLiteral("/about.html"), QStringLiteral("Other=www.other.com/x"), QStringLiteral("安全=https://www.other.org/y"), QStringLiteral("again=") + base + QStringLiteral("/about.html"), QStringLiteral("over a line break=") + base + QStringLiteral("/split.html"), QStringLiteral("x=") + base + QStringLiteral("/mark")}));
}

TEST_F(SiteQuery, LinksResolveAgainstTheFinalAddress)
{
    // The window hands the page to the survey with the address it was read
    // from after redirects.
    ASSERT_TRUE(s().onSitePage);
    form->setChoices(false, false, true, 0, 200);
    FetchResult record;
    record.finalUrl = QStringLiteral("https://www.example.com/news/list.html");
    s().onSitePage(QStringLiteral("http://www.example.com"), record, QByteArrayLiteral("<a href=\"item.html\">i</a><a href=\"../top.html\">t</a>"));
    // The page is read off the main thread.
    ASSERT_TRUE(waitUntil([this] { return s().lv1.count() > 0; }));
    ASSERT_EQ(s().lv1.count(), 3);
    EXPECT_EQ(s().lv1.cell(0, 2), QStringLiteral("http://www.example.com"));
    EXPECT_EQ(s().lv1.cell(1, 2), QStringLiteral("https://www.example.com/news/item.html"));
    EXPECT_EQ(s().lv1.cell(2, 2), QStringLiteral("https://www.example.com/top.html"));
    s().tmr2.stop();
}

TEST_F(SiteQuery, FiltersKeepNumbersAndResetTheCounters)
{
    survey(1);
    QStringList numbers;
    for (const QStringList &r : rows())
        numbers << r[0];
    EXPECT_EQ(numbers, (QStringList {"0", "1", "4", "5"})); // the site row stays
    EXPECT_EQ(s().lbl2(), QStringLiteral("数量(4)"));
    EXPECT_EQ(s().pr1.maximum(), 4);

    survey(2);
    numbers.clear();
    for (const QStringList &r : rows())
        numbers << r[0];
    EXPECT_EQ(numbers, (QStringList {"2", "3"})); // the site row goes
    EXPECT_EQ(s().lbl2(), QStringLiteral("数量(2)"));

    // With the queries ticked the new rows wait for their answers.
    form->setChoices(true, true, true, 0, 100000);
    form->setSiteText(site());
    form->btn3Click();
    ASSERT_TRUE(waitUntil([this] { return requestsInFlight(s()) == 0 && s().lv1.count() > 0; }));
    EXPECT_EQ(s().lv1.cell(0, 3), QStringLiteral("查询中..."));
    EXPECT_EQ(s().lv1.cell(3, 4), QStringLiteral("查询中..."));
    s().tmr2.stop();
}

TEST_F(SiteQuery, AFailedPageListsNothing)
{
    const int closedPort = prqtest::closedLoopbackPort();
    for (const QString &address : {QStringLiteral("http://127.0.0.1:%1/").arg(closedPort), pages.url(QStringLiteral("/missing.html"))}) {
        form->setSiteText(address);
        form->btn3Click();
        ASSERT_TRUE(waitUntil([this] { return requestsInFlight(s()) == 0; }));
        EXPECT_EQ(s().lbl13(), QStringLiteral("提示：") + address + QStringLiteral("访问失败...")) << qPrintable(address);
        EXPECT_EQ(s().lv1.count(), 0) << qPrintable(address);
        EXPECT_FALSE(s().tmr2.isActive());
    }
    EXPECT_TRUE(errors.isEmpty());
}

TEST_F(SiteQuery, ThePageIsReadAsItsReplyDeclaresAndWithinBounds)
{
    // The charset of the reply's Content-Type decides (these bytes read as
    // other characters in the fallback); a page nested past the parser's
    // bound keeps its links and says it was read in part.
    form->setHtmlExtract(true);
    form->setChoices(false, false, true, 0, 200);

    form->setSiteText(pages.url(QStringLiteral("/sjis.html")));
    form->btn3Click();
    ASSERT_TRUE(waitUntil([this] { return s().lv1.count() == 2; }));
    EXPECT_EQ(s().lv1.cell(1, CellLinkText), QStringLiteral("日本"));
    EXPECT_EQ(rowStatusText(s().lv1.row(0)).indexOf(QStringLiteral("解析受限")), -1);

    form->setSiteText(pages.url(QStringLiteral("/deep.html")));
    form->btn3Click();
    ASSERT_TRUE(waitUntil([this] { return s().lv1.count() == 3; }));
    EXPECT_TRUE(s().lv1.cell(2, CellUrl).endsWith(QStringLiteral("/last.html")));
    EXPECT_TRUE(rowStatusText(s().lv1.row(0)).contains(QStringLiteral("解析受限")));
    EXPECT_TRUE(s().lbl13().startsWith(QStringLiteral("解析受限")));
    s().tmr2.stop();
}

TEST_F(SiteQuery, ARegexFailureReachesTheErrorBoxAndAddsNoRow)
{
    s().linkexpr = QStringLiteral("<a(.*"); // rejected by the engine
    form->setChoices(false, false, true, 0, 200);
    form->setSiteText(site());
    form->btn3Click();
    // The page is read off the main thread; the error comes back to it.
    ASSERT_TRUE(waitUntil([this] { return requestsInFlight(s()) == 0 && !errors.isEmpty(); }));
    ASSERT_EQ(errors.size(), 1);
    EXPECT_FALSE(errors.first().isEmpty());
    EXPECT_EQ(s().lv1.count(), 0);
    EXPECT_EQ(s().lbl13(), QStringLiteral("正在查询：") + site());
    EXPECT_FALSE(s().tmr2.isActive());
}

TEST_F(SiteQuery, HeadlessSiteRun)
{
    QTemporaryDir dir;
    const QString servers = dir.filePath(QStringLiteral("servers.txt"));
    const QString out = dir.filePath(QStringLiteral("out.txt"));
    {
        QFile g(servers);
        ASSERT_TRUE(g.open(QIODevice::WriteOnly));
        g.write("127.0.0.1:9\n");
    }
    const prqtest::ProgramRun run = prqtest::runProgram(QStringLiteral(PRQUERY_EXE),
        {QStringLiteral("--servers"), servers, QStringLiteral("--site"), site(), QStringLiteral("--filter"), QStringLiteral("internal"),
            QStringLiteral("--no-pr"), QStringLiteral("--no-deadlink"), QStringLiteral("--long"), QStringLiteral("--interval"), QStringLiteral("200"),
            QStringLiteral("--out"), out, QStringLiteral("--timeout"), QStringLiteral("60")});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    QFile f(out);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QList<QByteArray> records = f.readAll().split('\n');
    ASSERT_EQ(records.size(), 5); // four records and the end
    EXPECT_TRUE(records[0].startsWith("0\t\xe5\x86\x85\t---\t" + site().toUtf8() + "\t--\t--\r\r"));

    // With the HTML parser the anchor over a line break is found too.
    const QString outHtml = dir.filePath(QStringLiteral("html.txt"));
    const prqtest::ProgramRun html = prqtest::runProgram(QStringLiteral(PRQUERY_EXE),
        {QStringLiteral("--servers"), servers, QStringLiteral("--site"), site(), QStringLiteral("--filter"), QStringLiteral("internal"),
            QStringLiteral("--extract"), QStringLiteral("html"), QStringLiteral("--no-pr"), QStringLiteral("--no-deadlink"),
            QStringLiteral("--interval"), QStringLiteral("200"), QStringLiteral("--out"), outHtml, QStringLiteral("--timeout"), QStringLiteral("60")});
    EXPECT_EQ(html.exitCode, 0) << html.err.toStdString();
    QFile h(outHtml);
    ASSERT_TRUE(h.open(QIODevice::ReadOnly));
    EXPECT_TRUE(h.readAll().contains("/split.html\t"));

    // Keeping only external links of a page that has none leaves no row at
    // all, and the run still succeeds.
    const prqtest::ProgramRun empty = prqtest::runProgram(QStringLiteral(PRQUERY_EXE),
        {QStringLiteral("--servers"), servers, QStringLiteral("--site"), pages.url(QStringLiteral("/inner.html")),
            QStringLiteral("--filter"), QStringLiteral("external"), QStringLiteral("--interval"), QStringLiteral("200"),
            QStringLiteral("--out"), dir.filePath(QStringLiteral("empty.txt")), QStringLiteral("--timeout"), QStringLiteral("60")});
    EXPECT_EQ(empty.exitCode, 0) << empty.err.toStdString();
    EXPECT_EQ(QFileInfo(dir.filePath(QStringLiteral("empty.txt"))).size(), 0);

    // A page that cannot be fetched fails the run.
    const int closedPort = prqtest::closedLoopbackPort();
    const prqtest::ProgramRun failing = prqtest::runProgram(QStringLiteral(PRQUERY_EXE),
        {QStringLiteral("--servers"), servers, QStringLiteral("--site"), QStringLiteral("http://127.0.0.1:%1/").arg(closedPort),
            QStringLiteral("--out"), dir.filePath(QStringLiteral("none.txt"))});
    EXPECT_EQ(failing.exitCode, 1);
}

// A small site crawled two ways: by the program, writing CSV, JSON Lines and
// the inlinks; and by the window, whose table fills as pages are read.
struct SiteCrawl : ::testing::Test
{
    LoopServer web;
    QTemporaryDir dir;
    QString servers;

    void SetUp() override
    {
        const auto html = [](const std::string &body) {
            return [body](const httplib::Request &, httplib::Response &res) { res.set_content(body, "text/html"); };
        };
        web.get("/robots.txt", [](const httplib::Request &, httplib::Response &res) { res.set_content("User-agent: *\nDisallow: /private/\n", "text/plain"); });
        web.get("/sitemap.xml", [this](const httplib::Request &, httplib::Response &res) {
            res.set_content("<urlset><url><loc>" + web.url(QStringLiteral("/lonely.html")).toStdString() + "</loc></url></urlset>", "text/xml");
        });
        web.get("/", html("<a href=\"/a.html\">A, \"first\"</a><a href=\"/private/p.html\">P</a><a href=\"/gone.html\">Gone</a>"));
        web.get("/a.html", html("<a href=\"/gone.html\">Gone again</a><a href=\"/\">Home</a>"));
        web.get("/lonely.html", html("<p>no one links here</p>"));
        web.start();
        servers = dir.filePath(QStringLiteral("servers.txt"));
        QFile f(servers);
        if (f.open(QIODevice::WriteOnly))
            f.write("127.0.0.1:9\n");
    }
};

TEST_F(SiteCrawl, TheProgramWritesWhereEachLinkWasFound)
{
    const QString csv = dir.filePath(QStringLiteral("out.csv"));
    const QString inlinks = dir.filePath(QStringLiteral("inlinks.csv"));
    const prqtest::ProgramRun run = prqtest::runProgram(QStringLiteral(PRQUERY_EXE),
        {QStringLiteral("--servers"), servers, QStringLiteral("--site"), web.url(QStringLiteral("/")), QStringLiteral("--depth"), QStringLiteral("3"),
            QStringLiteral("--no-pr"), QStringLiteral("--out"), csv, QStringLiteral("--inlinks"), inlinks, QStringLiteral("--timeout"), QStringLiteral("60")});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains(QStringLiteral("完成: 5 行, √ 3, × 1, 存疑 0, robots禁止 1, PR 0 个"))) << run.err.toStdString();
    QFile out(csv);
    ASSERT_TRUE(out.open(QIODevice::ReadOnly));
    const QString h = web.url(QString());
    const QStringList lines = QString::fromUtf8(out.readAll()).split(QStringLiteral("\r\n"));
    ASSERT_EQ(lines.size(), 7) << lines.join(QLatin1Char('|')).toStdString();
    EXPECT_TRUE(lines[0].endsWith(QStringLiteral(",深度,来源数,来源页,孤立")));
    EXPECT_TRUE(lines[1].endsWith(QStringLiteral(",0,1,") + h + QStringLiteral("/a.html,"))) << lines[1].toStdString();
    EXPECT_TRUE(lines[2].startsWith(QStringLiteral("1,内,\"A, \"\"first\"\"\",")));
    EXPECT_TRUE(lines[2].endsWith(QStringLiteral(",1,1,") + h + QStringLiteral("/,"))) << lines[2].toStdString();
    EXPECT_TRUE(lines[3].contains(QStringLiteral(",--,--,robots禁止,"))) << lines[3].toStdString();
    EXPECT_TRUE(lines[4].endsWith(QStringLiteral(",1,2,") + h + QStringLiteral("/,"))) << lines[4].toStdString();
    EXPECT_TRUE(lines[5].startsWith(QStringLiteral("4,内,,"))) << lines[5].toStdString();
    EXPECT_TRUE(lines[5].endsWith(QStringLiteral(",1,0,sitemap,是"))) << lines[5].toStdString();

    QFile in(inlinks);
    ASSERT_TRUE(in.open(QIODevice::ReadOnly));
    const QString gone = h.mid(7) + QStringLiteral("/gone.html");
    const QString a = h.mid(7) + QStringLiteral("/a.html");
    const QStringList expected = {
        QStringLiteral("来源页,链接词,网址,访问,状态"),
        h + QStringLiteral("/,\"A, \"\"first\"\"\",") + a + QStringLiteral(",√,200"),
        h + QStringLiteral("/,P,") + h.mid(7) + QStringLiteral("/private/p.html,--,robots禁止"),
        h + QStringLiteral("/,Gone,") + gone + QStringLiteral(",×,404"),
        h + QStringLiteral("/a.html,Gone again,") + gone + QStringLiteral(",×,404"),
        h + QStringLiteral("/a.html,Home,") + h + QStringLiteral("/,√,200"),
        QString(),
    };
    const QByteArray bytes = in.readAll();
    EXPECT_TRUE(bytes.startsWith("\xEF\xBB\xBF"));
    EXPECT_EQ(QString::fromUtf8(bytes.mid(3)), expected.join(QStringLiteral("\r\n")));

    // The same crawl as JSON Lines: every source, and the orphan.
    const QString jsonl = dir.filePath(QStringLiteral("out.jsonl"));
    const prqtest::ProgramRun again = prqtest::runProgram(QStringLiteral(PRQUERY_EXE),
        {QStringLiteral("--servers"), servers, QStringLiteral("--site"), web.url(QStringLiteral("/")), QStringLiteral("--depth"), QStringLiteral("3"),
            QStringLiteral("--no-pr"), QStringLiteral("--out"), jsonl, QStringLiteral("--timeout"), QStringLiteral("60")});
    EXPECT_EQ(again.exitCode, 0) << again.err.toStdString();
    QFile j(jsonl);
    ASSERT_TRUE(j.open(QIODevice::ReadOnly));
    const QList<QByteArray> records = j.readAll().split('\n');
    ASSERT_EQ(records.size(), 6);
    EXPECT_TRUE(records[3].contains("\"sources\":[{\"page\":\"" + h.toUtf8() + "/\",\"text\":\"Gone\"},{\"page\":\"" + h.toUtf8()
        + "/a.html\",\"text\":\"Gone again\"}]"))
        << records[3].toStdString();
    EXPECT_TRUE(records[4].contains("\"orphan\":true")) << records[4].toStdString();
    EXPECT_TRUE(records[4].contains("\"depth\":1")) << records[4].toStdString();
}

TEST_F(SiteCrawl, TheWindowFillsItsTableAsPagesAreRead)
{
    const std::unique_ptr<TForm1> form = prqtest::makeWindow({QStringLiteral("127.0.0.1:9")});
    FormState &s = form->state();
    form->setChoices(false, true, true, 0, 200);
    CrawlSettings crawl;
    crawl.depth = 2;
    form->setCrawlChoices(crawl);
    EXPECT_EQ(s.crawl.depth, 2);
    bool ended = false;
    QObject::connect(&form->engine(), &Engine::runEnded, [&ended] { ended = true; });
    form->setSiteText(web.url(QStringLiteral("/")));
    form->btn3Click();
    ASSERT_TRUE(waitUntil([&ended] { return ended; }, 30000));
    ASSERT_EQ(s.lv1.count(), 5);
    EXPECT_EQ(s.lbl2(), QStringLiteral("数量(5)"));
    EXPECT_EQ(s.pr1.value(), 5);
    EXPECT_EQ(s.pr1.maximum(), 5);
    EXPECT_EQ(s.lbl13(), QStringLiteral("提示：全部查询完毕"));
    auto *gauge = form->findChild<QProgressBar *>(QStringLiteral("pr1"));
    ASSERT_NE(gauge, nullptr);
    EXPECT_EQ(gauge->format(), QStringLiteral("已读网页 3/3 · 行 5/5"));
    EXPECT_EQ(s.lv1.data(s.lv1.index(4, ColumnSources)).toString(), QStringLiteral("sitemap"));
    EXPECT_EQ(s.lv1.data(s.lv1.index(3, ColumnSources)).toString(), QStringLiteral("2"));
    EXPECT_TRUE(s.lv1.data(s.lv1.index(3, ColumnSources), Qt::ToolTipRole).toString().contains(QStringLiteral("Gone again")));
    // A re-query of a forbidden row answers it again without a request.
    const size_t before = web.requestCount();
    N4Click(s, 2);
    EXPECT_EQ(s.lv1.cell(2, CellAccess), QStringLiteral("--"));
    EXPECT_EQ(rowStatusText(s.lv1.row(2)), QStringLiteral("robots禁止"));
    EXPECT_EQ(web.requestCount(), before);
}

} // namespace
