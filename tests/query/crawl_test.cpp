// Whole-site crawls on an engine, against a small site on loopback: depth,
// one address however spelled, robots.txt, a sitemap index with a gzipped
// sitemap and an orphan, a calendar trap, a PDF, a redirect off the site, an
// external host, a 404 page with links; what the servers saw, and the
// per-host limit.
#include "query/crawl.h"
#include "query/dispatch.h"
#include "query/engine.h"
#include "query/scheduler.h"
#include "shell/formstate.h"
#include "support/loopserver.h"
#include "support/overlap.h"
#include "support/rankfiles.h"
#include "support/resultcells.h"
#include "support/waiting.h"

#include <QString>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <zlib.h>

#include <atomic>
#include <chrono>
#include <map>
#include <thread>

namespace {

using prqtest::LoopServer;

QByteArray gzip(const QByteArray &data)
{
    z_stream s {};
    deflateInit2(&s, 9, Z_DEFLATED, 16 + MAX_WBITS, 9, Z_DEFAULT_STRATEGY);
    QByteArray out(qsizetype(deflateBound(&s, uLong(data.size()))) + 64, Qt::Uninitialized);
    s.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data.constData()));
    s.avail_in = uInt(data.size());
    s.next_out = reinterpret_cast<Bytef *>(out.data());
    s.avail_out = uInt(out.size());
    deflate(&s, Z_FINISH);
    out.resize(qsizetype(s.total_out));
    deflateEnd(&s);
    return out;
}

struct Site
{
    LoopServer site; // 127.0.0.1: the site
    LoopServer other; // 127.0.0.2: another site, linked from it
    LoopServer away; // 127.0.0.3: where a redirect leads off the site
    prqtest::Overlap overlap;
    std::string base; // "http://127.0.0.1:PORT"

    Site()
    {
        other.bindTo("127.0.0.2");
        away.bindTo("127.0.0.3");
        // Their links must never be read.
        other.get("/ext.html", html("<a href=\"/ext-link.html\">x</a>"));
        away.get("/elsewhere.html", html("<a href=\"/elsewhere-link.html\">x</a>"));
        other.start();
        away.start();
    }

    static httplib::Server::Handler html(std::string body, int status = 200)
    {
        return [body, status](const httplib::Request &, httplib::Response &res) {
            res.status = status;
            res.set_content(body, "text/html; charset=utf-8");
        };
    }
    // "{base}" in a body, once the site listens; "{BASE}" with its scheme
    // in capitals.
    std::string withBase(std::string body) const
    {
        for (size_t at = body.find("{base}"); at != std::string::npos; at = body.find("{base}"))
            body.replace(at, 6, base);
        for (size_t at = body.find("{BASE}"); at != std::string::npos; at = body.find("{BASE}"))
            body.replace(at, 6, "HTTP" + base.substr(4));
        return body;
    }
    // A page that takes a little while, so that requests overlap.
    void page(const std::string &path, const std::string &body, int status = 200)
    {
        site.get(path, [this, body, status](const httplib::Request &, httplib::Response &res) {
            overlap.enter();
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            overlap.leave();
            res.status = status;
            res.set_content(withBase(body), "text/html");
        });
    }
    QString url(const char *path) const { return site.url(QString::fromUtf8(path)); }

    // Routes first: the server takes none once it listens.
    void build()
    {
        const std::string ext = other.url(QStringLiteral("/ext.html")).toStdString();
        const std::string elsewhere = away.url(QStringLiteral("/elsewhere.html")).toStdString();
        site.get("/robots.txt", [this](const httplib::Request &, httplib::Response &res) {
            res.set_content("User-agent: *\n"
                            "Disallow: /private/\n"
                            "Disallow: /*.cgi$\n"
                            "Allow: /private/open.html\n"
                            "Sitemap: "
                    + base + "/sitemap_index.xml\n",
                "text/plain");
        });
        site.get("/sitemap_index.xml", [this](const httplib::Request &, httplib::Response &res) {
            res.set_content("<?xml version=\"1.0\"?><sitemapindex xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\">"
                            "<sitemap><loc>"
                    + base + "/maps/pages.xml.gz</loc></sitemap></sitemapindex>",
                "application/xml");
        });
        site.get("/maps/pages.xml.gz", [this](const httplib::Request &, httplib::Response &res) {
            const QByteArray xml = QByteArray::fromStdString("<urlset><url><loc>" + base + "/index.html</loc></url><url><loc>" + base
                + "/orphan.html</loc></url><url><loc>" + base + "/l1.html</loc></url><url><loc>http://127.0.0.2:1/outside.html</loc></url></urlset>");
            const QByteArray packed = gzip(xml);
            res.set_content(packed.constData(), size_t(packed.size()), "application/gzip");
        });
        page("/index.html",
            "<html><body>"
            "<a href=\"/l1.html\">Level 1</a>"
            "<a href=\"/same.html\">Same</a><a href=\"./same.html\">Same</a>"
            "<a href=\"/x/../same.html#part\">Same</a><a href=\"{BASE}/same.html\">Same</a>"
            "<a href=\"/doc.pdf\">PDF</a>"
            "<a href=\"/away\">Away</a>"
            "<a href=\""
                + ext + "\">External</a>"
                        "<a href=\"/missing.html\">Missing</a>"
                        "<a href=\"/private/secret.html\">Secret</a>"
                        "<a href=\"/private/open.html\">Open</a>"
                        "<a href=\"/run.cgi\">CGI</a>"
                        "<a href=\"/cal/1.html\">Calendar</a>"
                        "</body></html>");
        page("/l1.html", "<a href=\"/l2.html\">Level 2</a>");
        page("/l2.html", "<a href=\"/l3.html\">Level 3</a><a href=\"/l1.html\">up</a>");
        page("/l3.html", "<a href=\"/l4.html\">Level 4</a>");
        page("/l4.html", "<a href=\"/l5.html\">Level 5</a>");
        page("/l5.html", "<a href=\"/l6.html\">Level 6</a>");
        page("/same.html", "<p>no links</p>");
        page("/orphan.html", "<a href=\"/l1.html\">back</a>");
        page("/private/open.html", "<p>open</p>");
        page("/missing.html", "<a href=\"/from404.html\">x</a>", 404);
        // Each month links to the next, for ever.
        site.get(R"(/cal/(\d+)\.html)", [](const httplib::Request &req, httplib::Response &res) {
            const int month = std::stoi(req.matches[1]);
            res.set_content("<a href=\"/cal/" + std::to_string(month + 1) + ".html\">next</a>", "text/html");
        });
        site.get("/doc.pdf", [](const httplib::Request &, httplib::Response &res) {
            res.set_content("%PDF-1.4 <a href=\"/in-pdf.html\">x</a>", "application/pdf");
        });
        site.get("/away", [elsewhere](const httplib::Request &, httplib::Response &res) { res.set_redirect(elsewhere, 302); });
        site.start(16);
        base = site.url(QString()).toStdString();
    }

    // Requests per path, as the site saw them.
    std::map<std::string, int> seen() const
    {
        std::map<std::string, int> paths;
        for (const auto &r : site.requests())
            ++paths[r.target];
        return paths;
    }
};

// One run of an engine without a window, checks through the queue.
struct CrawlRun
{
    Engine engine {EngineEndpoints {{QStringLiteral("127.0.0.1:9")}, QString()}};
    bool ended = false;
    bool failed = false;

    explicit CrawlRun(CrawlSettings crawl, int perHost = 4)
    {
        FormState &s = engine.state();
        s.bschck2 = false;
        // These runs count the site's requests; the soft-404 probes have
        // tests of their own.
        s.soft404Check = false;
        s.crawl = crawl;
        CheckQueueLimits limits;
        limits.perHost = perHost;
        engine.setQueueLimits(limits);
        QObject::connect(&engine, &Engine::runEnded, [this] { ended = true; });
        QObject::connect(&engine, &Engine::sitePageFailed, [this] { failed = true; });
    }
    FormState &s() { return engine.state(); }
    bool run(const QString &site)
    {
        engine.startSite(site);
        return prqtest::waitUntil([this] { return ended || failed; }, 60000);
    }
    // caption|kind|text|url|access|status, one a row
    QStringList rows()
    {
        QStringList out;
        for (int r = 0; r < s().lv1.count(); ++r) {
            out << QStringList {s().lv1.caption(r), s().lv1.cell(r, CellInternal), s().lv1.cell(r, CellLinkText), s().lv1.cell(r, CellUrl),
                s().lv1.cell(r, CellAccess), rowStatusText(s().lv1.row(r))}
                       .join(QLatin1Char('|'));
        }
        return out;
    }
    QString sources(int row)
    {
        QStringList out;
        s().lv1.sources()->visit(row, [&out](const QString &page, const QString &text) { out << page + QLatin1Char('=') + text; });
        return out.join(QLatin1Char(' '));
    }
};

CrawlSettings depth(int n)
{
    CrawlSettings c;
    c.depth = n;
    return c;
}

TEST(Crawl, ReadsTheSiteLevelByLevel)
{
    Site web;
    web.build();
    CrawlRun run(depth(4), 2);
    ASSERT_TRUE(run.run(web.url("/index.html")));
    ASSERT_TRUE(run.ended);
    const QString h = web.site.url(QString()).mid(7); // 127.0.0.1:PORT, as rows show it
    const QString ext = web.other.url(QStringLiteral("/ext.html")).mid(7);
    const QStringList expected = {
        "0|内|---|" + web.url("/index.html") + "|√|200",
        // The typed page's links, each address once.
        "1|内|Level 1|" + h + "/l1.html|√|200",
        "2|内|Same|" + h + "/same.html|√|200",
        "3|内|PDF|" + h + "/doc.pdf|√|200",
        "4|内|Away|" + h + "/away|√|302→200",
        "5|外|External|" + ext + "|√|200",
        "6|内|Missing|" + h + "/missing.html|×|404",
        "7|内|Secret|" + h + "/private/secret.html|--|robots禁止",
        "8|内|Open|" + h + "/private/open.html|√|200",
        "9|内|CGI|" + h + "/run.cgi|--|robots禁止",
        "10|内|Calendar|" + h + "/cal/1.html|√|200",
        // The sitemap's page that no page links to, at depth 1.
        "11|内||" + h + "/orphan.html|√|200",
        // Depth 2, 3 and 4, in the order of their pages.
        "12|内|Level 2|" + h + "/l2.html|√|200",
        "13|内|next|" + h + "/cal/2.html|√|200",
        "14|内|Level 3|" + h + "/l3.html|√|200",
        "15|内|next|" + h + "/cal/3.html|√|200",
        "16|内|Level 4|" + h + "/l4.html|√|200",
        "17|内|next|" + h + "/cal/4.html|√|200",
    };
    EXPECT_EQ(run.rows(), expected);

    // Each page once; nothing forbidden, nothing beyond the depth, nothing
    // from a page that was not read (a PDF, a 404, another site).
    const std::map<std::string, int> expectedPaths = {
        {"/robots.txt", 1}, {"/sitemap_index.xml", 1}, {"/maps/pages.xml.gz", 1}, {"/index.html", 1}, {"/l1.html", 1}, {"/l2.html", 1},
        {"/l3.html", 1}, {"/l4.html", 1}, {"/same.html", 1}, {"/doc.pdf", 1}, {"/away", 1}, {"/missing.html", 1}, {"/private/open.html", 1},
        {"/cal/1.html", 1}, {"/cal/2.html", 1}, {"/cal/3.html", 1}, {"/cal/4.html", 1}, {"/orphan.html", 1}};
    EXPECT_EQ(web.seen(), expectedPaths);
    EXPECT_EQ(web.site.requests().front().target, "/robots.txt");
    ASSERT_EQ(web.other.requestCount(), 1u);
    EXPECT_EQ(web.other.requests().front().target, "/ext.html");
    ASSERT_EQ(web.away.requestCount(), 1u);
    EXPECT_EQ(web.away.requests().front().target, "/elsewhere.html");
    EXPECT_EQ(web.overlap.most.load(), 2);

    // Where each row was found.
    const RowSources &sources = *run.s().lv1.sources();
    const QString index = web.url("/index.html");
    EXPECT_EQ(sources.depth(0), 0);
    EXPECT_EQ(sources.count(0), 0);
    EXPECT_EQ(run.sources(2), index + "=Same"); // four spellings, one source
    EXPECT_EQ(run.sources(1), index + "=Level 1 " + web.url("/orphan.html") + "=back " + web.url("/l2.html") + "=up");
    EXPECT_FALSE(sources.orphan(1)); // the sitemap names it, and pages link to it
    EXPECT_TRUE(sources.orphan(11));
    EXPECT_EQ(run.sources(11), QStringLiteral("sitemap="));
    EXPECT_EQ(sources.count(11), 0);
    EXPECT_EQ(sources.depth(17), 4);
    EXPECT_EQ(run.s().lv1.data(run.s().lv1.index(11, ColumnSources)).toString(), QStringLiteral("sitemap"));
    EXPECT_EQ(run.s().lv1.data(run.s().lv1.index(1, ColumnSources)).toString(), QStringLiteral("3"));

    const Crawl::Progress progress = run.engine.crawl()->progress();
    EXPECT_EQ(progress.pagesRead, 10); // index, l1-l3, same, open, the orphan, months 1-3
    EXPECT_EQ(run.s().donecount, 18);
    EXPECT_EQ(run.s().pr1.maximum(), 18);
    EXPECT_EQ(run.s().lbl13(), QStringLiteral("提示：全部查询完毕"));
    EXPECT_EQ(requestsInFlight(run.s()), 0);
}

TEST(Crawl, ThePageLimitStopsATrap)
{
    Site web;
    web.build();
    CrawlSettings c = depth(100);
    c.maxPages = 5;
    c.robots = false;
    c.sitemap = false;
    CrawlRun run(c);
    ASSERT_TRUE(run.run(web.url("/cal/1.html")));
    ASSERT_TRUE(run.ended);
    // Five pages read; the sixth month is listed and checked, never read.
    EXPECT_EQ(run.engine.crawl()->progress().pagesRead, 5);
    const std::map<std::string, int> expected = {{"/cal/1.html", 1}, {"/cal/2.html", 1}, {"/cal/3.html", 1}, {"/cal/4.html", 1}, {"/cal/5.html", 1},
        {"/cal/6.html", 1}};
    EXPECT_EQ(web.seen(), expected);
    ASSERT_EQ(run.s().lv1.count(), 6);
    EXPECT_EQ(run.s().lv1.cell(5, CellAccess), QStringLiteral("√"));
}

TEST(Crawl, DepthOneIsTheSurveyOfThePage)
{
    Site web;
    web.build();
    CrawlRun survey(depth(1));
    ASSERT_TRUE(survey.run(web.url("/index.html")));
    ASSERT_TRUE(survey.ended);
    EXPECT_EQ(survey.engine.crawl(), nullptr);
    // Every anchor a row, repeats kept, as written: the survey's rows.
    const QStringList rows = survey.rows();
    ASSERT_EQ(rows.size(), 14);
    EXPECT_TRUE(rows[2].startsWith(QStringLiteral("2|内|Same|"))) << rows[2].toStdString();
    EXPECT_TRUE(rows[5].startsWith(QStringLiteral("5|内|Same|"))) << rows[5].toStdString();
    // robots.txt is not read: nothing is forbidden.
    EXPECT_TRUE(rows[10].endsWith(QStringLiteral("/private/secret.html|×|404"))) << rows[10].toStdString();
    // The page, then each link's check: no robots.txt, no sitemap, nothing
    // read beyond the page.
    const std::map<std::string, int> seen = web.seen();
    EXPECT_EQ(seen.count("/robots.txt"), 0u);
    EXPECT_EQ(seen.count("/sitemap_index.xml"), 0u);
    EXPECT_EQ(seen.at("/index.html"), 2); // the page, and the site row's check
    EXPECT_EQ(seen.at("/same.html"), 4);
    EXPECT_EQ(seen.count("/l2.html"), 0u);
    // Each link row's one source is the page.
    EXPECT_EQ(survey.sources(1), web.url("/index.html") + "=Level 1");
}

TEST(Crawl, TheFilterHidesRowsButPagesAreStillRead)
{
    Site web;
    web.build();
    CrawlRun run(depth(3));
    run.s().rdlist1 = 2; // 站外链接
    ASSERT_TRUE(run.run(web.url("/index.html")));
    ASSERT_TRUE(run.ended);
    EXPECT_EQ(run.rows(), QStringList {"5|外|External|" + web.other.url(QStringLiteral("/ext.html")).mid(7) + "|√|200"});
    const std::map<std::string, int> seen = web.seen();
    EXPECT_EQ(seen.at("/l2.html"), 1);
    EXPECT_EQ(seen.count("/l3.html"), 0u); // depth 3: listed (hidden), neither read nor checked
    EXPECT_EQ(seen.count("/same.html"), 1u);
    EXPECT_EQ(run.s().lbl2(), QStringLiteral("数量(1)"));
}

TEST(Crawl, AnUnreadableRobotsTxtForbidsTheSite)
{
    LoopServer web;
    web.get("/robots.txt", [](const httplib::Request &, httplib::Response &res) {
        res.status = 503;
        res.set_content("busy", "text/plain");
    });
    web.get("/index.html", Site::html("<a href=\"/a.html\">a</a>"));
    web.start();
    CrawlRun run(depth(2));
    QStringList notices;
    QObject::connect(&run.engine, &Engine::notice, [&notices](const QString &text) { notices << text; });
    ASSERT_TRUE(run.run(web.url(QStringLiteral("/index.html"))));
    EXPECT_TRUE(run.failed);
    EXPECT_EQ(run.s().lv1.count(), 0);
    EXPECT_EQ(web.requestCount(), 1u); // robots.txt alone
    ASSERT_GE(notices.size(), 2);
    EXPECT_TRUE(notices[0].contains(QStringLiteral("robots.txt 无法读取 (503)"))) << notices[0].toStdString();

    // A robots.txt that is missing (404) has no rules; nor with robots off.
    LoopServer open;
    open.get("/index.html", Site::html("<a href=\"/a.html\">a</a>"));
    open.get("/a.html", Site::html("<p>a</p>"));
    open.start();
    CrawlRun free(depth(2));
    ASSERT_TRUE(free.run(open.url(QStringLiteral("/index.html"))));
    ASSERT_TRUE(free.ended);
    EXPECT_EQ(free.s().lv1.count(), 2);
    EXPECT_EQ(free.s().lv1.cell(1, CellAccess), QStringLiteral("√"));
}

TEST(Crawl, StopStartsNothingNew)
{
    LoopServer web;
    std::atomic<int> served {0};
    web.get(R"(/p(\d+)\.html)", [&served](const httplib::Request &req, httplib::Response &res) {
        ++served;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        const int n = std::stoi(req.matches[1]);
        std::string body;
        for (int i = 1; i <= 5; ++i)
            body += "<a href=\"/p" + std::to_string(n * 5 + i) + ".html\">x</a>";
        res.set_content(body, "text/html");
    });
    web.start();
    CrawlSettings c = depth(10);
    c.robots = false;
    c.sitemap = false;
    CrawlRun run(c, 1);
    run.engine.startSite(web.url(QStringLiteral("/p0.html")));
    ASSERT_TRUE(prqtest::waitUntil([&run] { return run.s().lv1.count() > 1; }));
    btnStopClick(run.s());
    const int rows = run.s().lv1.count();
    ASSERT_TRUE(prqtest::waitUntil([&run] { return run.ended; }));
    // What was in flight landed; nothing more was asked or listed.
    EXPECT_EQ(run.s().lv1.count(), rows);
    EXPECT_LE(served.load(), 3);
    EXPECT_EQ(run.s().lbl13(), QStringLiteral("提示：查询已停止"));
    EXPECT_EQ(requestsInFlight(run.s()), 0);
}

// A PR source that asks nobody answers the rows of a crawl as they are
// listed, the rows of later pages too, without the walk's pace.
TEST(Crawl, PrFromARanksFileFillsTheRowsAsTheyAreListed)
{
    QTemporaryDir dir;
    const QString ranks = dir.filePath(QStringLiteral("cc-main-2024-feb-apr-may-domain-ranks.txt"));
    prqtest::writeRanksFile(ranks, prqtest::DomainRanks);
    LoopServer web;
    web.get("/p0.html", Site::html("<a href=\"/p1.html\">1</a><a href=\"http://www.google.com/\">g</a>"));
    web.get("/p1.html", Site::html("<a href=\"http://example.com/x\">e</a>"));
    web.start();
    CrawlSettings c = depth(2);
    c.robots = false;
    c.sitemap = false;
    CrawlRun run(c);
    run.s().bschck2 = true;
    RankChoiceSeams seams;
    seams.rankFile = ranks;
    seams.notice = [](const QString &message) { ADD_FAILURE() << message.toStdString(); };
    run.engine.setRankChoice(RankChoice::GraphFile, seams);
    // The first run waits for the index; the second has it from the start.
    for (int i = 0; i < 2; ++i) {
        run.ended = false;
        ASSERT_TRUE(run.run(web.url(QStringLiteral("/p0.html")))) << i;
        ASSERT_TRUE(run.ended);
        EXPECT_EQ(run.engine.walk(), Walk::Queue);
        // The site's own pages have an address for a host: no domain, no rank.
        EXPECT_EQ(prqtest::columnCells(run.s().lv1, CellPr), (QStringList {"--", "--", "10", "9"})) << i;
        EXPECT_FALSE(run.s().tmr2.isActive());
    }
}

} // namespace
