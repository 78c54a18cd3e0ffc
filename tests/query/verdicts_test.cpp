// The classes of checks end to end: an engine's run against loopback hosts
// that refuse robots, hide dead pages behind "200 OK", or behave.
#include "query/engine.h"
#include "shell/celltexts.h"
#include "shell/statuspolicy.h"
#include "support/loopserver.h"
#include "support/waiting.h"

#include <QRegularExpression>

#include <gtest/gtest.h>

#include <map>

namespace {

using prqtest::LoopServer;

// A run of the given walk over rows, PR off: the engine, and whether the run
// ended in time.
struct EngineRun
{
    explicit EngineRun(Walk walk)
        : engine(EngineEndpoints {{QStringLiteral("127.0.0.1:1")}, QString()})
    {
        FormState &s = engine.state();
        s.bschck2 = false; // no ranking request at all
        engine.setWalk(walk);
        // The paced walk at a test's pace.
        s.tmr2.setInterval(20);
        QObject::connect(&engine, &Engine::runEnded, [this] { ended = true; });
    }
    bool batch(const QStringList &lines)
    {
        ended = false;
        engine.startBatch(lines.join(QLatin1Char('\n')));
        return prqtest::waitUntil([this] { return ended; }, 30000);
    }
    bool site(const QString &address)
    {
        ended = false;
        engine.startSite(address);
        return prqtest::waitUntil([this] { return ended; }, 30000);
    }
    FormState &state() { return engine.state(); }
    QString access(int row) { return state().lv1.cell(row, CellAccess); }
    QString status(int row) { return state().lv1.data(state().lv1.index(row, ColumnStatus)).toString(); }
    QString verdict(int row) { return verdictClassKey(state().lv1.verdict(row)); }

    Engine engine;
    bool ended = false;
};

QString hostOf(const LoopServer &server)
{
    return server.url(QString()).mid(7);
}

void answer(LoopServer &server, const std::string &path, int status, const std::string &body, const httplib::Headers &headers = {})
{
    server.get(path, [=](const httplib::Request &, httplib::Response &res) {
        res.status = status;
        for (const auto &[name, value] : headers)
            res.set_header(name, value);
        res.set_content(body, "text/html");
    });
}

// The probes a server was sent: requests for 25 random lower-case letters,
// by folder.
std::map<std::string, int> probesByFolder(const LoopServer &server)
{
    static const QRegularExpression probe(QStringLiteral("^(.*/)[a-z]{25}$"));
    std::map<std::string, int> folders;
    for (const prqtest::RecordedRequest &r : server.requests()) {
        const auto m = probe.match(QString::fromStdString(r.target));
        if (m.hasMatch())
            ++folders[m.captured(1).toStdString()];
    }
    return folders;
}

class Verdicts : public ::testing::TestWithParam<Walk>
{
};

TEST_P(Verdicts, RefusalsOfRobotsAreDoubtfulDeadPagesDead)
{
    LoopServer web;
    answer(web, "/plain403", 403, "<html>forbidden</html>");
    answer(web, "/challenge", 403, "<html>just a moment</html>", {{"cf-mitigated", "challenge"}});
    answer(web, "/login", 401, "<html>log in</html>");
    answer(web, "/social", 999, "<html>request denied</html>");
    answer(web, "/busy", 429, "<html>slow down</html>", {{"Retry-After", "0"}});
    answer(web, "/gone404", 404, "<html>not here</html>");
    answer(web, "/gone410", 410, "<html>gone</html>");
    answer(web, "/broken", 500, "<html>oops</html>");
    answer(web, "/ok", 200, "<html>a page of its own</html>");
    web.start();
    // Each row: its path, then 访问, 状态 and class without a policy, and with
    // the user's "403:dead,999:alive,4xx:blocked".
    struct Row
    {
        const char *path;
        const char *answers[2][3];
    };
    const Row rows[] = {
        {"/plain403", {{"?", "403 拒绝", "blocked"}, {"×", "403", "dead"}}},
        // The user's word for 403 goes before the challenge.
        {"/challenge", {{"?", "403 人机验证", "blocked"}, {"×", "403", "dead"}}},
        {"/login", {{"?", "401 需登录", "blocked"}, {"?", "401 需登录", "blocked"}}},
        {"/social", {{"?", "999 拒绝", "blocked"}, {"√", "999", "alive"}}},
        {"/busy", {{"?", "429 限流", "blocked"}, {"?", "429 限流", "blocked"}}},
        {"/gone404", {{"×", "404", "dead"}, {"?", "404 存疑", "blocked"}}},
        {"/gone410", {{"×", "410", "dead"}, {"?", "410 存疑", "blocked"}}},
        {"/broken", {{"×", "500", "dead"}, {"×", "500", "dead"}}},
        {"/ok", {{"√", "200", "alive"}, {"√", "200", "alive"}}},
    };
    QStringList lines;
    for (const Row &row : rows)
        lines << hostOf(web) + QString::fromUtf8(row.path);

    EngineRun run(GetParam());
    for (const int withPolicy : {0, 1}) {
        if (withPolicy)
            run.state().statusPolicy = *StatusPolicy::parse(QStringLiteral("403:dead,999:alive,4xx:blocked"));
        ASSERT_TRUE(run.batch(lines));
        for (int r = 0; r < int(std::size(rows)); ++r) {
            const auto &want = rows[r].answers[withPolicy];
            EXPECT_EQ(run.access(r), QString::fromUtf8(want[0])) << rows[r].path << " policy " << withPolicy;
            EXPECT_EQ(run.status(r), QString::fromUtf8(want[1])) << rows[r].path << " policy " << withPolicy;
            EXPECT_EQ(run.verdict(r), QString::fromUtf8(want[2])) << rows[r].path << " policy " << withPolicy;
        }
        // Every row counted once, "?" like any other answer.
        EXPECT_EQ(run.state().donecount, int(std::size(rows)));
        EXPECT_EQ(run.state().lbl13(), QStringLiteral("提示：全部查询完毕"));
    }
    // A 429 is tried again before it is left as it is.
    size_t busy = 0;
    for (const prqtest::RecordedRequest &r : web.requests())
        busy += r.target == "/busy" ? 1 : 0;
    EXPECT_EQ(busy, GetParam() == Walk::Queue ? 6u : 2u);
}

// Three hosts: one that answers any unknown name with its "not found" page
// and 200, one that sends unknown names to its home page, and one that
// answers them 404.
struct ThreeHosts
{
    LoopServer soft;
    LoopServer home;
    LoopServer plain;

    static std::string page(const std::string &title, const std::string &text)
    {
        return "<html><head><title>" + title + "</title></head><body><nav><a href=/>Home</a> <a href=/news/>News</a> <a href=/docs/>Docs</a></nav><h1>"
            + title + "</h1><p>" + text + "</p><footer>Example site, all rights reserved.</footer></body></html>";
    }

    ThreeHosts()
    {
        const std::map<std::string, std::string> real = {
            {"/", page("Welcome", "The front page lists the latest news and the documents of the project.")},
            {"/about.html", page("About", "We are a small team that writes tools for people who check links.")},
            {"/news/launch.html", page("Launch", "Version one is out today, with a faster check and a new window.")},
            {"/news/fix.html", page("Fixes", "Three bugs in the export were fixed; thanks to everyone who reported them.")},
            {"/docs/guide.html", page("Guide", "Start the program, paste your addresses, and press the button.")},
        };
        soft.bindTo("127.0.0.2").get(".*", [real](const httplib::Request &req, httplib::Response &res) {
            const auto at = real.find(req.path);
            res.set_content(at != real.end() ? at->second : page("Not found", "Sorry, the page " + req.path + " does not exist."), "text/html");
        });
        home.bindTo("127.0.0.3").get(".*", [real](const httplib::Request &req, httplib::Response &res) {
            const auto at = real.find(req.path);
            if (at == real.end())
                res.set_redirect("/", 302);
            else
                res.set_content(at->second, "text/html");
        });
        plain.bindTo("127.0.0.4").get(".*", [real](const httplib::Request &req, httplib::Response &res) {
            const auto at = real.find(req.path);
            if (at == real.end()) {
                res.status = 404;
                res.set_content(page("Not found", "No page " + req.path), "text/html");
            } else {
                res.set_content(at->second, "text/html");
            }
        });
        soft.start();
        home.start();
        plain.start();
    }
};

TEST_P(Verdicts, SoftNotFoundPagesAreDead)
{
    ThreeHosts hosts;
    const QStringList paths = {"/", "/about.html", "/news/launch.html", "/news/fix.html", "/docs/guide.html", "/news/old-story.html", "/news/2019/gone.html",
        "/docs/removed.html", "/missing.html"};
    const bool realPage[] = {true, true, true, true, true, false, false, false, false};
    QStringList lines;
    for (const LoopServer *server : {&hosts.soft, &hosts.home, &hosts.plain}) {
        for (const QString &p : paths)
            lines << hostOf(*server) + p;
    }
    EngineRun run(GetParam());
    ASSERT_TRUE(run.batch(lines));
    const qsizetype n = paths.size();
    for (qsizetype r = 0; r < n; ++r) {
        const std::string what = paths[r].toStdString();
        if (realPage[r]) {
            for (int host = 0; host < 3; ++host) {
                EXPECT_EQ(run.access(int(host * n + r)), QStringLiteral("√")) << host << what;
                EXPECT_EQ(run.status(int(host * n + r)), QStringLiteral("200")) << host << what;
            }
            continue;
        }
        EXPECT_EQ(run.access(int(r)), QStringLiteral("×")) << what;
        EXPECT_EQ(run.status(int(r)), QStringLiteral("200 软404")) << what;
        EXPECT_EQ(run.verdict(int(r)), QStringLiteral("soft404")) << what;
        EXPECT_EQ(run.status(int(n + r)), QStringLiteral("302→200 软404")) << what;
        EXPECT_EQ(run.verdict(int(n + r)), QStringLiteral("soft404")) << what;
        EXPECT_EQ(run.status(int(2 * n + r)), QStringLiteral("404")) << what;
        EXPECT_EQ(run.verdict(int(2 * n + r)), QStringLiteral("dead")) << what;
    }
    EXPECT_EQ(run.state().donecount, int(lines.size()));

    // One probe per folder with a page that answered 2xx, none for the root
    // page alone; the well-behaved host's folders are probed and flag
    // nothing.
    const std::map<std::string, int> once = {{"/", 1}, {"/news/", 1}, {"/docs/", 1}, {"/news/2019/", 1}};
    EXPECT_EQ(probesByFolder(hosts.soft), once);
    // The home host's dead pages answer 2xx (after the redirect), so their
    // folders are probed too.
    EXPECT_EQ(probesByFolder(hosts.home), once);
    const std::map<std::string, int> plainFolders = {{"/", 1}, {"/news/", 1}, {"/docs/", 1}};
    EXPECT_EQ(probesByFolder(hosts.plain), plainFolders);
    EXPECT_EQ(run.engine.softProbesSent(), 11);

    // Turned off, every page that answers is alive, and nothing is probed.
    run.state().soft404Check = false;
    const size_t before = hosts.soft.requestCount();
    ASSERT_TRUE(run.batch(lines.mid(0, int(n))));
    EXPECT_EQ(hosts.soft.requestCount(), before + size_t(n));
    for (qsizetype r = 0; r < n; ++r)
        EXPECT_EQ(run.access(int(r)), QStringLiteral("√"));
    EXPECT_EQ(run.engine.softProbesSent(), 0);
}

TEST_P(Verdicts, ALinkThatIsNoAddressIsListedAndNeverRequested)
{
    LoopServer web;
    answer(web, "/", 200,
        "<html><body><a href=\"https://[bad\">broken</a>\n<a href=\"%20http://example.org/\">pct</a>\n"
        "<a href=\"/fine.html\">fine</a>\n</body></html>");
    answer(web, "/fine.html", 200, "<html>fine</html>");
    web.start();
    EngineRun run(GetParam());
    run.state().soft404Check = false;
    ASSERT_TRUE(run.site(web.url(QStringLiteral("/"))));
    FormState &s = run.state();
    ASSERT_EQ(s.lv1.count(), 4);
    EXPECT_EQ(s.lv1.cell(1, CellUrl), QStringLiteral("https://[bad"));
    EXPECT_EQ(run.access(1), QStringLiteral("×"));
    EXPECT_EQ(run.status(1), QStringLiteral("无效网址"));
    EXPECT_EQ(run.verdict(1), QStringLiteral("invalid"));
    // The browser's reading of "%20http://...": a path of this site.
    EXPECT_TRUE(s.lv1.cell(2, CellUrl).startsWith(hostOf(web) + QStringLiteral("/%20http:"))) << s.lv1.cell(2, CellUrl).toStdString();
    EXPECT_EQ(run.status(2), QStringLiteral("404"));
    EXPECT_EQ(run.access(3), QStringLiteral("√"));
    // The page, then the three rows of this site: the broken link was never
    // sent anywhere, and counted all the same.
    EXPECT_EQ(web.requestCount(), 1u + 3u);
    EXPECT_EQ(s.donecount, 4);
    EXPECT_EQ(s.lbl13(), QStringLiteral("提示：全部查询完毕"));
}

INSTANTIATE_TEST_SUITE_P(BothWalks, Verdicts, ::testing::Values(Walk::Queue, Walk::Paced),
    [](const ::testing::TestParamInfo<Walk> &info) { return info.param == Walk::Queue ? "Queue" : "Paced"; });

} // namespace
