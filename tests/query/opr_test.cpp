// The Open PageRank source: registrable domains, the reply reading, and whole
// runs of the walk against a loopback service that speaks the documented
// protocol.
#include "data/storedtext.h"
#include "fetch/fetchresult.h"
#include "query/batch.h"
#include "query/dispatch.h"
#include "query/oprprotocol.h"
#include "query/oprsource.h"
#include "query/regdomain.h"
#include "query/scheduler.h"
#include "query/sitequery.h"
#include "shell/formstate.h"
#include "support/loopserver.h"
#include "support/oprservice.h"
#include "support/resultcells.h"
#include "survey/regexp.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSet>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace {

using prqtest::OprService;

TEST(RegistrableDomain, ByThePublicSuffixList)
{
    const struct
    {
        const char16_t *url;
        const char16_t *domain;
    } cases[] = {
        {u"news.bbc.co.uk/world", u"bbc.co.uk"},
        {u"HTTPS://WWW.Example.COM:8080/x?y=1", u"example.com"},
        {u"http://example.com./", u"example.com"},
        {u"a.b.example.org", u"example.org"},
        {u"www.city.kawasaki.jp", u"city.kawasaki.jp"}, // an exception rule
        {u"shop.example.github.io", u"example.github.io"}, // a private suffix
        {u"www.例子.中国/页", u"xn--fsqu00a.xn--fiqs8s"},
        {u"d7.localhost:8080/p", u"d7.localhost"},
        // No domain to ask for: no host, an address, a bare suffix, one label.
        {u"", u""},
        {u"/path/only", u""},
        {u"127.0.0.1/page", u""},
        {u"http://127.1.2.3:8080/", u""},
        {u"127.1", u""},
        {u"[::1]:80/x", u""},
        {u"co.uk", u""},
        {u"localhost/x", u""},
        {u"user@example.com/x", u""},
        {u"exa mple.com", u""},
    };
    for (const auto &c : cases)
        EXPECT_EQ(registrableDomain(QString::fromUtf16(c.url)), QString::fromUtf16(c.domain)) << QString::fromUtf16(c.url).toStdString();
}

FetchResult withStatus(int status, int retryAfter = -1)
{
    FetchResult r;
    r.hops = {status};
    r.retryAfterSeconds = retryAfter;
    return r;
}

TEST(OprReply, CellsOfEveryDomainAsked)
{
    const QByteArray body = R"({"status_code":200,"response":[
        {"status_code":200,"error":"","page_rank_integer":5,"page_rank_decimal":4.87,"rank":"1234","domain":"a.com"},
        {"status_code":404,"error":"Domain not found","page_rank_integer":0,"page_rank_decimal":0,"rank":null,"domain":"unknown.org"},
        {"status_code":200,"error":"","page_rank_decimal":3.1,"domain":"nofield.net"},
        {"status_code":200,"page_rank_integer":"7","domain":"B.Com"},
        {"status_code":200,"page_rank_integer":9,"domain":"not-asked.com"}]})";
    const opr::Reply reply = opr::readReply({"a.com", "unknown.org", "nofield.net", "b.com", "left-out.com"}, withStatus(200), &body);
    ASSERT_EQ(reply.kind, opr::Reply::Kind::Ranks);
    const QHash<QString, QString> expected {
        {"a.com", "5"}, {"unknown.org", "--"}, {"nofield.net", "--"}, {"b.com", "7"}, {"left-out.com", "--"}};
    EXPECT_EQ(reply.cells, expected);
}

// A rank is 0 to 10: anything else is no rank, and says why.
TEST(OprReply, RanksOutsideTheScale)
{
    const struct
    {
        const char *value; // JSON
        const char *cell;
        bool reason;
    } cases[] = {
        {"0", "0", false},
        {"10", "10", false},
        {"\"7\"", "7", false},
        {"999999999", "--", true},
        {"-3", "--", true},
        {"11", "--", true},
        {"\"12\"", "--", true},
        {"1e300", "--", true},
        {"5.5", "--", false},
        {"\"five\"", "--", false},
        {"null", "--", false},
    };
    for (const auto &c : cases) {
        const QByteArray body = QByteArray(R"({"response":[{"status_code":200,"page_rank_integer":)") + c.value + R"(,"domain":"a.com"}]})";
        const opr::Reply reply = opr::readReply({"a.com"}, withStatus(200), &body);
        EXPECT_EQ(reply.cells.value("a.com"), QString::fromLatin1(c.cell)) << c.value;
        EXPECT_EQ(reply.reasons.contains("a.com"), c.reason) << c.value;
    }
}

TEST(OprReply, RefusalsPausesAndFailures)
{
    using Kind = opr::Reply::Kind;
    const QByteArray badKey = R"({"status":false,"error":"Invalid API key"})";
    const QByteArray otherError = R"({"status":false,"error":"Internal error"})";
    const QByteArray notJson = "<html>busy</html>";
    const struct
    {
        FetchResult record;
        const QByteArray *body;
        Kind kind;
        int pause;
    } cases[] = {
        {withStatus(401), &badKey, Kind::KeyRejected, 0},
        {withStatus(200), &badKey, Kind::KeyRejected, 0},
        {withStatus(403), nullptr, Kind::KeyRejected, 0},
        {withStatus(200), &otherError, Kind::Failed, 0},
        {withStatus(429, 3), &notJson, Kind::TooManyRequests, 3},
        {withStatus(429), nullptr, Kind::TooManyRequests, 5},
        {withStatus(429, 3600), nullptr, Kind::TooManyRequests, 60},
        {withStatus(500), &notJson, Kind::Failed, 0},
        {withStatus(200), &notJson, Kind::Failed, 0},
        {FetchResult {}, nullptr, Kind::Failed, 0}, // no connection
    };
    for (const auto &c : cases) {
        const opr::Reply reply = opr::readReply({"a.com"}, c.record, c.body);
        EXPECT_EQ(reply.kind, c.kind) << c.record.finalStatus();
        EXPECT_EQ(reply.pauseSeconds, c.pause) << c.record.finalStatus();
        if (c.kind == Kind::Failed) {
            EXPECT_EQ(reply.cells.value("a.com"), "--");
        }
    }
}

TEST(OprRequest, UrlAndKey)
{
    EXPECT_EQ(opr::requestUrl("http://127.0.0.1:1/api", {"a.com", "b.org"}), "http://127.0.0.1:1/api?domains[]=a.com&domains[]=b.org");
    EXPECT_EQ(opr::requestUrl("http://127.0.0.1:1/api?v=1", {"a.com"}), "http://127.0.0.1:1/api?v=1&domains[]=a.com");
    EXPECT_EQ(opr::keyHeader(" k3y\n"), "API-OPR: k3y");
    EXPECT_TRUE(opr::usableKey("abcDEF0123"));
    for (const char *bad : {"", "   ", "a b", "a\r\nX-Other: 1", "ключ"})
        EXPECT_FALSE(opr::usableKey(QString::fromUtf8(bad))) << bad;
}

// Whole runs of the walk on the state alone, against the loopback service.
struct OprRun : ::testing::Test
{
    OprService service;
    FormState form;
    QString key = QString::fromLatin1(OprService::Key);
    std::vector<int> pauses;
    QStringList reports;
    QStringList reasons;

    void SetUp() override
    {
        form.bschck3 = false; // the rows' hosts are names: no reachability checks
        form.tmr2.setInterval(1);
        QObject::connect(&form.tmr2, &QTimer::timeout, &form, [this] { tmr2Timer(form); });
        OprSettings settings;
        settings.endpoint = service.endpoint();
        settings.key = [this] { return key; };
        settings.pause = [this](int seconds, std::function<void()> resume) {
            pauses.push_back(seconds);
            QTimer::singleShot(0, std::move(resume));
        };
        settings.report = [this](const QString &message) { reports << message; };
        settings.reason = [this](const QString &domain, const QString &why) { reasons << domain + QLatin1Char(' ') + why; };
        form.setRankSource(std::make_unique<OprRankSource>(form, settings));
    }

    bool runEnded()
    {
        QElapsedTimer t;
        t.start();
        while (form.tmr2.isActive() || requestsInFlight(form) > 0 || form.rankSource().rowsWaiting() > 0) {
            if (t.elapsed() > 15000)
                return false;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            QThread::msleep(1);
        }
        return true;
    }

    QStringList column(int k) const { return prqtest::columnCells(form.lv1, k); }
};

TEST_F(OprRun, ManyRowsAskEachDomainOnceInFullRequests)
{
    // 250 rows over 120 domains, subdomains and paths mixed in.
    QStringList lines;
    QStringList expected;
    for (int i = 0; i < 250; ++i) {
        const int d = i % 120;
        lines << QStringLiteral("http://w%1.d%2.localhost/p%3").arg(i % 3).arg(d).arg(i);
        expected << QString::number(OprService::rankOf(QStringLiteral("d%1.localhost").arg(d).toStdString()));
    }
    btn1Click(form, lines.join(QLatin1Char('\n')));
    ASSERT_TRUE(runEnded());

    EXPECT_EQ(column(CellPr), expected);
    EXPECT_EQ(form.donecount, 250);
    EXPECT_EQ(form.pr1.value(), form.pr1.maximum());
    EXPECT_EQ(form.lbl13(), QStringLiteral("提示：全部查询完毕"));

    const auto requests = service.server.requests();
    const auto asked = service.asked();
    const auto arrivals = service.arrivals();
    ASSERT_LE(requests.size(), 3u);
    std::multiset<std::string> all;
    for (size_t i = 0; i < requests.size(); ++i) {
        EXPECT_EQ(requests[i].header("API-OPR"), OprService::Key);
        EXPECT_LE(asked[i].size(), 100u);
        all.insert(asked[i].begin(), asked[i].end());
        if (i > 0) {
            EXPECT_GE(arrivals[i] - arrivals[i - 1], 450) << "two requests a second at most";
        }
    }
    EXPECT_EQ(all.size(), 120u);
    EXPECT_EQ(std::set<std::string>(all.begin(), all.end()).size(), 120u) << "each domain once";
    EXPECT_TRUE(reports.isEmpty());
}

TEST_F(OprRun, RowsWithoutADomainAndUnknownDomains)
{
    btn1Click(form, QStringLiteral("127.0.0.1/x\nunknown1.localhost\n\n[::1]:8080/\nd3.localhost\nlocalhost/y\nunknown1.localhost/z\n10.0.0.1:81"));
    ASSERT_TRUE(runEnded());
    EXPECT_EQ(column(CellPr), (QStringList {"--", "--", "--", "--", "3", "--", "--", "--"}));
    EXPECT_EQ(form.donecount, 7); // the blank line is not asked
    ASSERT_EQ(service.requestCount(), 1u);
    EXPECT_EQ(service.asked()[0], (std::vector<std::string> {"unknown1.localhost", "d3.localhost"}));
}

TEST_F(OprRun, ASiteListAsksItsDomainsWhenItIsListed)
{
    form.linkexpr = storedtext::linkPattern();
    TRegExp myreg;
    siteReplyBranch(form, myreg, QStringLiteral("http://www.d2.localhost/"), QString(),
        QStringLiteral("<a href=\"/in\">in</a> <a href=\"http://d9.localhost/x\">out</a> <a href=\"http://127.0.0.1/\">ip</a>"));
    ASSERT_EQ(form.lv1.count(), 4);
    ASSERT_TRUE(runEnded());
    EXPECT_EQ(column(CellPr), (QStringList {"2", "2", "9", "--"}));
    ASSERT_EQ(service.requestCount(), 1u);
    EXPECT_EQ(service.asked()[0], (std::vector<std::string> {"d2.localhost", "d9.localhost"}));
}

TEST_F(OprRun, TooManyRequestsPausesAndSendsTheBatchAgain)
{
    service.special = [](int n, httplib::Response &res) {
        if (n > 2)
            return false;
        res.status = 429;
        if (n == 0)
            res.set_header("Retry-After", "3");
        else if (n == 2)
            res.set_header("Retry-After", "600");
        res.set_content(R"({"status":false,"error":"Too many requests"})", "application/json");
        return true;
    };
    btn1Click(form, QStringLiteral("d1.localhost\nd2.localhost\nd1.localhost/a"));
    ASSERT_TRUE(runEnded());
    EXPECT_EQ(pauses, (std::vector<int> {3, 5, 60}));
    EXPECT_EQ(column(CellPr), (QStringList {"1", "2", "1"}));
    EXPECT_EQ(form.donecount, 3);
    ASSERT_EQ(service.requestCount(), 4u);
    for (const auto &domains : service.asked())
        EXPECT_EQ(domains, (std::vector<std::string> {"d1.localhost", "d2.localhost"}));
}

TEST_F(OprRun, ARejectedKeyIsToldOnceAndStopsTheRun)
{
    // 150 domains: two requests' worth, but the first answer ends the asking.
    QStringList lines;
    for (int i = 0; i < 300; ++i)
        lines << QStringLiteral("d%1.localhost").arg(i % 150);
    for (const bool statusOk : {false, true}) {
        SCOPED_TRACE(statusOk ? "refused under 200" : "refused under 401");
        reports.clear();
        service.forget();
        key = QStringLiteral("wrong-key");
        service.special = [statusOk](int, httplib::Response &res) {
            res.status = statusOk ? 200 : 401;
            res.set_content(R"({"status":false,"error":"Invalid API key"})", "application/json");
            return true;
        };
        btn1Click(form, lines.join(QLatin1Char('\n')));
        ASSERT_TRUE(runEnded());
        EXPECT_EQ(reports, QStringList {OprRankSource::keyRejectedText()});
        EXPECT_EQ(column(CellPr), QStringList(300, QStringLiteral("--")));
        EXPECT_EQ(form.donecount, 300);
        EXPECT_EQ(service.requestCount(), 1u);
    }

    // No key at all: nothing is sent, and the same single message.
    reports.clear();
    service.forget();
    key = QStringLiteral("  ");
    btn1Click(form, lines.mid(0, 5).join(QLatin1Char('\n')));
    ASSERT_TRUE(runEnded());
    EXPECT_EQ(reports.size(), 1);
    EXPECT_EQ(column(CellPr), QStringList(5, QStringLiteral("--")));
    EXPECT_EQ(service.requestCount(), 0u);
}

TEST_F(OprRun, FailedRequestsGiveDashes)
{
    service.special = [](int n, httplib::Response &res) {
        if (n != 0)
            return false;
        res.status = 500;
        res.set_content("<html>down</html>", "text/html");
        return true;
    };
    btn1Click(form, QStringLiteral("d4.localhost\nd5.localhost"));
    ASSERT_TRUE(runEnded());
    EXPECT_EQ(column(CellPr), (QStringList {"--", "--"}));
    EXPECT_EQ(service.requestCount(), 1u); // each domain once per run, a failed answer included
}

TEST_F(OprRun, RequeryAsksTheRowsDomainAgain)
{
    btn1Click(form, QStringLiteral("d1.localhost\nd2.localhost\nwww.d2.localhost/x"));
    ASSERT_TRUE(runEnded());
    ASSERT_EQ(column(CellPr), (QStringList {"1", "2", "2"}));
    ASSERT_EQ(service.requestCount(), 1u);

    service.rankOffset = 5;
    N4Click(form, 2);
    EXPECT_EQ(form.lv1.cell(2, CellPr), QStringLiteral("查询..."));
    ASSERT_TRUE(runEnded());
    EXPECT_EQ(column(CellPr), (QStringList {"1", "2", "7"}));
    EXPECT_EQ(form.donecount, 4); // the re-query's answer counts like any other
    ASSERT_EQ(service.requestCount(), 2u);
    EXPECT_EQ(service.asked()[1], std::vector<std::string> {"d2.localhost"});
    EXPECT_EQ(service.server.requests()[1].header("API-OPR"), OprService::Key);

    // A list built without PR: a re-query asks for its own row's domain alone.
    service.forget();
    form.bschck2 = false;
    btn1Click(form, QStringLiteral("d3.localhost\nd4.localhost\nd5.localhost"));
    ASSERT_TRUE(runEnded());
    N4Click(form, 1);
    ASSERT_TRUE(runEnded());
    EXPECT_EQ(column(CellPr), (QStringList {"--", "9", "--"}));
    EXPECT_EQ(service.asked(), (std::vector<std::vector<std::string>> {{"d4.localhost"}}));
}

TEST_F(OprRun, ARebuiltListStartsANewRun)
{
    btn1Click(form, QStringLiteral("d1.localhost"));
    btn1Click(form, QStringLiteral("d6.localhost\nd1.localhost"));
    ASSERT_TRUE(runEnded());
    EXPECT_EQ(column(CellPr), (QStringList {"6", "1"}));
    EXPECT_EQ(form.donecount, 2);
}

// A hostile or broken service never leaks the key, never holds the run for
// ever, and never puts its text into a PR cell.
TEST_F(OprRun, HostileService)
{
    prqtest::LoopServer elsewhere;
    elsewhere.bindTo("127.0.0.2");
    elsewhere.get(".*", [](const httplib::Request &, httplib::Response &res) {
        res.set_content(R"({"response":[{"status_code":200,"page_rank_integer":9,"domain":"d1.localhost"}]})", "application/json");
    });
    elsewhere.start();
    const std::string otherHost = elsewhere.url(QString::fromLatin1(OprService::Path)).toStdString();
    const std::string sameHost = service.endpoint().toStdString() + "?again=1&domains[]=d1.localhost&domains[]=d2.localhost";

    using Handler = std::function<bool(int, httplib::Response &)>;
    const struct
    {
        const char *name;
        Handler special;
        QStringList cells;
        QString report;
        size_t requests; // reaching the service
        int reasons = 0; // domains told why they got "--"
    } cases[] = {
        {"a redirect to another host is not followed",
            [&](int, httplib::Response &res) {
                res.status = 302;
                res.set_header("Location", otherHost + "?domains[]=d1.localhost");
                return true;
            },
            {"--", "--"}, opr::redirectedText(QStringLiteral("127.0.0.2")), 1},
        {"a redirect on the same host is",
            [&](int n, httplib::Response &res) {
                if (n > 0)
                    return false;
                res.status = 302;
                res.set_header("Location", sameHost);
                return true;
            },
            {"1", "2"}, QString(), 2},
        {"429 for ever",
            [](int, httplib::Response &res) {
                res.status = 429;
                res.set_header("Retry-After", "1");
                return true;
            },
            {"--", "--"}, opr::tooManyRequestsText(), 1 + opr::MaxPausesInARow},
        {"429 with long pauses: the time-out comes first",
            [](int, httplib::Response &res) {
                res.status = 429;
                res.set_header("Retry-After", "50");
                return true;
            },
            {"--", "--"}, opr::tooManyRequestsText(), 3},
        {"a 16 MB reply is read only in part",
            [](int, httplib::Response &res) {
                res.set_content(R"({"response":[{"status_code":200,"page_rank_integer":1,"domain":"d1.localhost"}],"pad":")" + std::string(16 << 20, 'x') + "\"}", "application/json");
                return true;
            },
            {"--", "--"}, QString(), 1},
        {"ranks outside 0 to 10",
            [](int, httplib::Response &res) {
                res.set_content(R"({"response":[{"status_code":200,"page_rank_integer":999999999,"domain":"d1.localhost"},)"
                                R"({"status_code":200,"page_rank_integer":-3,"domain":"d2.localhost"}]})",
                    "application/json");
                return true;
            },
            {"--", "--"}, QString(), 1, 2},
        {"a rank with a tab and a formula",
            [](int, httplib::Response &res) {
                res.set_content(R"({"response":[{"status_code":200,"page_rank_integer":"1\t=cmd","domain":"d1.localhost"},)"
                                R"({"status_code":200,"page_rank_integer":"2","domain":"d2.localhost"}]})",
                    "application/json");
                return true;
            },
            {"--", "2"}, QString(), 1},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        reports.clear();
        reasons.clear();
        pauses.clear();
        service.forget();
        service.special = c.special;
        btn1Click(form, QStringLiteral("d1.localhost\nd2.localhost"));
        ASSERT_TRUE(runEnded());
        EXPECT_EQ(column(CellPr), c.cells);
        EXPECT_EQ(reports, c.report.isEmpty() ? QStringList() : QStringList {c.report});
        EXPECT_EQ(service.requestCount(), c.requests);
        EXPECT_EQ(reasons.size(), c.reasons) << reasons.join(u'|').toStdString();
    }
    // The key never reached the other host; no request did.
    EXPECT_EQ(elsewhere.requestCount(), 0u);
    elsewhere.stop();
}

} // namespace
