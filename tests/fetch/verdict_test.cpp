// Dead-link verdicts end to end: the request dispatch against loopback
// servers, with what each row's 访问 and 状态 cells and its record say.
#include "childserver.h"
#include "fetch/fetchgate.h"
#include "fetch/hostresolver.h"
#include "fetchtesting.h"
#include "query/dispatch.h"
#include "query/myhttpget.h"
#include "rawserver.h"
#include "shell/formstate.h"
#include "support/loopserver.h"
#include "testcert.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <fcntl.h>
#include <sys/resource.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <tuple>

namespace {

using prqtest::LoopServer;

// Installs a resolver for the test's lifetime and restores the one before.
struct ResolverScope
{
    explicit ResolverScope(std::shared_ptr<const HostResolver> r)
        : previous(HostResolver::install(std::move(r)))
    {
    }
    ~ResolverScope() { HostResolver::install(previous); }
    std::shared_ptr<const HostResolver> previous;
};

// Lowers the open-file limit of the process so that only free more
// descriptors can be made, and restores it at the end of the scope.
class FileLimit final
{
public:
    explicit FileLimit(int free)
    {
        // New descriptors take the lowest free numbers: the limit is the
        // free number after the first `free` ones.
        int limit = 0;
        for (int found = 0;; ++limit) {
            if (fcntl(limit, F_GETFD) != -1)
                continue;
            if (found++ == free)
                break;
        }
        getrlimit(RLIMIT_NOFILE, &m_before);
        rlimit low = m_before;
        low.rlim_cur = rlim_t(limit);
        EXPECT_EQ(setrlimit(RLIMIT_NOFILE, &low), 0);
    }
    ~FileLimit() { setrlimit(RLIMIT_NOFILE, &m_before); }
    Q_DISABLE_COPY_MOVE(FileLimit)

private:
    rlimit m_before {};
};

class Verdicts : public FetchTest
{
protected:
    FormState form;
    FetchEngine engine = FetchEngine::OwnThread;

    // Checks every address as one row each, all at once, and waits for all;
    // false when they did not all end in time.
    bool checkAll(const QStringList &urls, int waitMs = 20000)
    {
        std::vector<ResultRow> rows;
        for (const QString &url : urls)
            rows.push_back(ResultRow {QString::number(rows.size()), {QString(), QString(), url, QStringLiteral("查询中..."), QStringLiteral("查询中...")}});
        form.lv1.addRows(std::move(rows));
        form.bschck2 = false; // the checks count
        form.pr1.setMaximum(int(urls.size()));
        for (int row = 0; row < urls.size(); ++row) {
            std::unique_ptr<Tmyhttpget> request = newRequest(form, urls[row], row, dispatch::ModeReach);
            request->Engine = engine;
            request.release()->FetchString();
        }
        return waitFor([this] { return requestsInFlight(form) == 0; }, waitMs);
    }
    QString status(int row) const { return form.lv1.data(form.lv1.index(row, ColumnStatus)).toString(); }
};

// The same verdicts from either engine.
class CheckVerdicts : public Verdicts, public ::testing::WithParamInterface<FetchEngine>
{
protected:
    void SetUp() override
    {
        Verdicts::SetUp();
        engine = GetParam();
    }
};

void answer(LoopServer &server, const std::string &path, int status, const std::string &body)
{
    server.get(path, [status, body](const httplib::Request &, httplib::Response &res) {
        res.status = status;
        if (!body.empty())
            res.set_content(body, "text/html");
    });
}

void redirect(LoopServer &server, const std::string &path, const std::string &to, int status)
{
    server.get(path, [to, status](const httplib::Request &, httplib::Response &res) { res.set_redirect(to, status); });
}

TEST_P(CheckVerdicts, EachKindOfAnswer)
{
    LoopServer web;
    answer(web, "/ok", 200, "<html>live</html>");
    for (const int code : {404, 410, 500, 403})
        answer(web, "/" + std::to_string(code), code, "<html>error page</html>");
    web.get("/empty", [](const httplib::Request &, httplib::Response &res) { res.set_content("", "text/html"); });
    answer(web, "/204", 204, "");
    redirect(web, "/chain", "/chain2", 301);
    redirect(web, "/chain2", "/ok", 302);
    redirect(web, "/to404", "/404", 302);
    redirect(web, "/loop", "/loop", 302);
    const std::string inAnHour = QDateTime::currentDateTimeUtc().addSecs(3600).toString(QStringLiteral("ddd, dd MMM yyyy hh:mm:ss 'GMT'")).toStdString();
    for (const auto &[path, status, retryAfter] : {std::tuple {"/busy", 503, std::string("120")}, std::tuple {"/later", 429, inAnHour}}) {
        web.get(path, [status, retryAfter](const httplib::Request &, httplib::Response &res) {
            res.status = status;
            res.set_header("Retry-After", retryAfter);
            res.set_content("<html>come back later</html>", "text/html");
        });
    }
    // A bot wall names itself in a header, on any reply of the chain.
    redirect(web, "/wall", "/wall2", 302);
    web.get("/wall2", [](const httplib::Request &, httplib::Response &res) {
        res.status = 403;
        res.set_header("CF-Mitigated", "Challenge");
        res.set_content("<html>checking your browser</html>", "text/html");
    });
    web.start();

    QTemporaryDir dir;
    TestCertificate cert;
    ASSERT_TRUE(makeSelfSignedCertificate(dir.path().toStdString(), &cert));
    LoopServer secure(cert.certFile, cert.keyFile);
    answer(secure, "/", 200, "secure");
    secure.start();

    // Headers at once, then one byte a second: only the whole-request limit
    // ends it.
    RawServer drip([](RawServer::Connection &c) {
        if (!c.send("HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n"))
            return;
        for (int i = 0; i < 30 && c.send("x"); ++i)
            std::this_thread::sleep_for(std::chrono::seconds(1));
    });
    const ResolverScope names(std::make_shared<FixedHostResolver>(QHash<QString, QByteArray> {{QStringLiteral("www.site.test"), "127.0.0.1"}}));
    form.requestTimeoutMs = 2000;

    QString loop;
    for (int i = 0; i < 11; ++i)
        loop += QStringLiteral("302→");
    struct Case
    {
        QString url;
        const char *access;
        QString status;
        const char *reason;
    };
    const QString w = web.url();
    const Case cases[] = {
        {w + "ok", "√", "200", ""},
        {w + "404", "×", "404", "status"},
        {w + "410", "×", "410", "status"},
        {w + "500", "×", "500", "status"},
        {w + "403", "?", "403 拒绝", "status"},
        {w + "empty", "×", "200 空内容", "empty"},
        {w + "204", "×", "204 空内容", "empty"},
        {w + "chain", "√", "301→302→200", ""},
        {w + "to404", "×", "302→404", "status"},
        {w + "loop", "×", loop + "重定向过多", "redirects"},
        {QStringLiteral("127.0.0.1:%1/").arg(closedPort()), "×", "拒绝连接", "refused"},
        {secure.url(), "×", "证书错误", "tls"},
        {drip.url("/"), "×", "200→超时", "timeout"},
        {QStringLiteral("www.nowhere.test/"), "×", "无法解析", "dns"},
        {QStringLiteral("http://www.site.test:%1/chain").arg(web.port()), "√", "301→302→200", ""},
        {w + "busy", "×", "503", "status"},
        {w + "later", "?", "429 限流", "status"},
        {w + "wall", "?", "302→403 人机验证", "status"},
    };
    QStringList urls;
    for (const Case &c : cases)
        urls << c.url;
    ASSERT_TRUE(checkAll(urls));
    for (int row = 0; row < urls.size(); ++row) {
        const Case &c = cases[row];
        EXPECT_EQ(form.lv1.cell(row, CellAccess), QString::fromUtf8(c.access)) << qPrintable(c.url);
        EXPECT_EQ(status(row), c.status) << qPrintable(c.url);
        ASSERT_NE(form.lv1.check(row), nullptr) << qPrintable(c.url);
        EXPECT_EQ(reasonKey(form.lv1.check(row)->reason), QString::fromUtf8(c.reason)) << qPrintable(c.url);
    }
    EXPECT_EQ(form.donecount, int(urls.size()));
    // Where a redirect led, and how long the drip was allowed.
    EXPECT_EQ(form.lv1.check(7)->finalUrl, w + "ok");
    EXPECT_EQ(form.lv1.check(14)->finalUrl, QStringLiteral("http://www.site.test:%1/ok").arg(web.port()));
    EXPECT_GE(form.lv1.check(12)->elapsedMs, 1900);
    EXPECT_LT(form.lv1.check(12)->elapsedMs, 6000);
    // Retry-After, as seconds or as a date.
    EXPECT_EQ(form.lv1.check(0)->retryAfterSeconds, -1);
    EXPECT_EQ(form.lv1.check(15)->retryAfterSeconds, 120);
    EXPECT_NEAR(form.lv1.check(16)->retryAfterSeconds, 3600, 5);
    EXPECT_FALSE(form.lv1.check(4)->challenged);
    EXPECT_TRUE(form.lv1.check(17)->challenged);
    // Content-Type of the final reply, as sent; none without a reply.
    EXPECT_EQ(form.lv1.check(0)->contentType, QStringLiteral("text/html"));
    EXPECT_EQ(form.lv1.check(7)->contentType, QStringLiteral("text/html"));
    EXPECT_EQ(form.lv1.check(10)->contentType, QString());
}

// With the process short of descriptors, checks wait for one another instead
// of failing: every working address is "√". The server runs in a process of
// its own, as servers do: in this one it would run short too, and the
// engine that opens all its connections at once would leave it no
// descriptor to accept them with.
TEST_P(CheckVerdicts, LowOpenFileLimitFailsNoWorkingAddress)
{
    LoadServer::Options options;
    options.delay = std::chrono::milliseconds(300);
    ChildLoadServer slow(options);
    ASSERT_TRUE(slow.started());
    QStringList urls;
    for (int i = 0; i < 60; ++i)
        urls << slow.url(0, QStringLiteral("/?row=%1").arg(i));

    // New descriptors take the lowest free numbers: the limit leaves 20 free
    // ones, room for about ten checks at once.
    int limit = 0;
    for (int free = 0; free < 20; ++limit)
        free += fcntl(limit, F_GETFD) == -1 ? 1 : 0;
    rlimit before {};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &before), 0);
    rlimit low = before;
    low.rlim_cur = rlim_t(limit);
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &low), 0);
    ASSERT_TRUE(checkAll(urls, 60000));
    setrlimit(RLIMIT_NOFILE, &before);

    for (int row = 0; row < urls.size(); ++row)
        EXPECT_EQ(form.lv1.cell(row, CellAccess), QStringLiteral("√")) << row << " " << qPrintable(status(row));
    EXPECT_EQ(form.donecount, int(urls.size()));
    const ChildLoadServer::Counts counts = slow.stop();
    EXPECT_EQ(counts.requests, 60);
    EXPECT_GT(counts.mostHeld, 1);
    EXPECT_LE(counts.mostHeld, 20); // the shortage did hold them back
}

// A check that finds no descriptor at all while nothing else runs pauses
// and tries again, until one is free.
TEST_P(CheckVerdicts, NoDescriptorAtAllWaitsForOne)
{
#if defined(__SANITIZE_ADDRESS__)
    // The sanitizers' own checks probe memory through a pipe, which cannot
    // be made without a free descriptor: they would fail, not the check.
    GTEST_SKIP() << "needs free descriptors under the sanitizers";
#endif
    LoopServer web;
    answer(web, "/", 200, "<html>live</html>");
    web.start();
    {
        const FileLimit none(0);
        EXPECT_FALSE(checkAll({web.url()}, 700));
        EXPECT_EQ(requestsInFlight(form), 1);
        EXPECT_EQ(form.lv1.cell(0, CellAccess), QStringLiteral("查询中..."));
    }
    EXPECT_TRUE(waitFor([this] { return requestsInFlight(form) == 0; }));
    EXPECT_EQ(form.lv1.cell(0, CellAccess), QStringLiteral("√"));
}

// A reply head over libcurl's limits is the server's fault, not a shortage
// here: the row is "×" after one request, and the rest do not slow down.
TEST_P(CheckVerdicts, AnOverlargeHeadIsAskedOnce)
{
    RawServer server([](RawServer::Connection &c) {
        std::string head = "HTTP/1.1 200 OK\r\n";
        if (c.target() == "/one-line") {
            head += "X-Big: " + std::string(1 << 20, 'a') + "\r\n";
        } else if (c.target() == "/many-lines") {
            for (int i = 0; i < 400; ++i)
                head += "X-Line-" + std::to_string(i) + ": " + std::string(1000, 'b') + "\r\n";
        }
        c.send(head + "Content-Length: 2\r\n\r\nok");
    });
    form.requestTimeoutMs = 5000;
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(checkAll({server.url("/one-line"), server.url("/many-lines"), server.url("/ok")}));
    EXPECT_LT(clock.elapsed(), 2000);
    for (int row : {0, 1}) {
        EXPECT_EQ(form.lv1.cell(row, CellAccess), QStringLiteral("×")) << row;
        EXPECT_EQ(status(row), QStringLiteral("200→响应头过大")) << row;
        EXPECT_EQ(reasonKey(form.lv1.check(row)->reason), QStringLiteral("header")) << row;
    }
    EXPECT_EQ(form.lv1.cell(2, CellAccess), QStringLiteral("√"));
    EXPECT_EQ(server.heads().size(), 3u);
}

// When the last ranking reply lands before its row's check has started, the
// check's "正在查询：" covers the finish text; the check's answer shows it again.
TEST_F(Verdicts, FinishTextOutlivesTheLastCheckStart)
{
    LoopServer web;
    answer(web, "/rank", 200, "Rank_1:1:3");
    answer(web, "/page", 200, "<html>live</html>");
    web.start();
    form.lv1.addRow(ResultRow {QStringLiteral("1"), {QString(), QString(), web.url("/page"), QStringLiteral("查询中..."), QStringLiteral("查询中...")}});
    form.pr1.setMaximum(1);
    gotourl(form, web.url("/rank"), 0, dispatch::ModeRank);
    ASSERT_TRUE(waitFor([this] { return requestsInFlight(form) == 0; }));
    ASSERT_EQ(form.lbl13(), QStringLiteral("提示：全部查询完毕"));
    gotourl(form, web.url("/page"), 0, dispatch::ModeReach);
    ASSERT_TRUE(waitFor([this] { return requestsInFlight(form) == 0; }));
    EXPECT_EQ(form.lv1.cell(0, CellAccess), QStringLiteral("√"));
    EXPECT_EQ(form.lbl13(), QStringLiteral("提示：全部查询完毕"));
}

PRQ_ON_BOTH_ENGINES(CheckVerdicts);

} // namespace
