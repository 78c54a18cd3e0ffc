// What a fetch answers for each kind of reply, and what it sends: the same
// on both engines.
#include "fetchtesting.h"
#include "rawserver.h"
#include "support/loopserver.h"
#include "testcert.h"

#include <QElapsedTimer>
#include <QTemporaryDir>

#include <chrono>
#include <map>
#include <thread>

namespace {

using prqtest::LoopServer;

class Answers : public EngineTest
{
};

// The event is decided by the body alone: any status with a body raises
// OnDoneString (its record says a status of 400 or more), an empty body
// fails, a cut-off body counts with what arrived, and a length that is not a
// signed 32-bit number fails whatever follows.
TEST_P(Answers, OutcomeFollowsTheBodyNotTheStatus)
{
    std::string everyByte;
    for (int i = 0; i < 512; ++i)
        everyByte += static_cast<char>(i & 0xFF);
    const std::map<std::string, std::string> answers = {
        {"/ok", "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello"},
        {"/404", "HTTP/1.1 404 Not Found\r\nContent-Length: 9\r\n\r\n<p>no</p>"},
        {"/204", "HTTP/1.1 204 No Content\r\n\r\n"},
        {"/zero", "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n"},
        {"/bytes", "HTTP/1.1 200 OK\r\nContent-Length: 512\r\n\r\n" + everyByte},
        {"/unsized", "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\nuntil the end"},
        {"/chunked", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n2\r\nde\r\n0\r\n\r\n"},
        {"/cut", "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\npartial"},
        {"/int32max", "HTTP/1.1 200 OK\r\nContent-Length: 2147483647\r\n\r\nsome"},
        {"/letters", "HTTP/1.1 200 OK\r\nContent-Length: abc\r\n\r\nbody"},
        {"/beyond", "HTTP/1.1 200 OK\r\nContent-Length: 2147483648\r\n\r\nbody"},
    };
    RawServer server([&answers](RawServer::Connection &c) {
        const auto it = answers.find(c.target());
        if (it != answers.end())
            c.send(it->second);
    });

    struct Case
    {
        QString url;
        bool success;
        QByteArray body;
        const char *reason;
    };
    const Case cases[] = {
        {server.url("/ok"), true, "hello", ""},
        {server.url("/404"), true, "<p>no</p>", "status"},
        {server.url("/204"), false, {}, "empty"},
        {server.url("/zero"), false, {}, "empty"},
        {server.url("/bytes"), true, QByteArray::fromStdString(everyByte), ""},
        {server.url("/unsized"), true, "until the end", ""},
        {server.url("/chunked"), true, "abcde", ""},
        {server.url("/cut"), true, "partial", ""},
        {server.url("/int32max"), true, "some", ""},
        {server.url("/letters"), false, {}, "other"},
        {server.url("/beyond"), false, {}, "limit"},
        {QStringLiteral("http://127.0.0.1:%1/").arg(closedPort()), false, {}, "refused"},
    };
    for (const Case &c : cases) {
        const Raised raised = fetch(c.url);
        EXPECT_EQ(raised.done, c.success ? 1 : 0) << qPrintable(c.url);
        EXPECT_EQ(raised.body, c.body) << qPrintable(c.url);
        EXPECT_EQ(reasonKey(raised.record.reason), QString::fromUtf8(c.reason)) << qPrintable(c.url);
    }
}

// What reaches the server: the request line, the agent (none when empty),
// the Accept value, the referrer, and for a POST the form header and body.
TEST_P(Answers, RequestOnTheWire)
{
    LoopServer server;
    const auto answer = [](const httplib::Request &, httplib::Response &res) {
        res.set_content("x", "text/plain");
    };
    server.get("/p", answer).post("/p", answer);
    server.start();
    const std::string host = "127.0.0.1:" + std::to_string(server.port());
    const QString longForm = QStringLiteral("k=") + QString(3000, QLatin1Char('v'));

    struct Case
    {
        QString path;
        std::function<void(THTTPGet &)> setup;
        std::string line;
        std::map<std::string, std::string> headers; // "" means absent
        std::string body;
    };
    const Case cases[] = {
        {"/p?q=1&r=%41", {}, "GET /p?q=1&r=%41 HTTP/1.1",
            {{"User-Agent", "Brevicor HTTPGet"}, {"Accept", "*/*"}, {"Referer", ""},
                {"Content-Type", ""}, {"Authorization", ""}, {"Host", host}},
            ""},
        {"/p",
            [](THTTPGet &g) {
                g.Agent.clear();
                g.AcceptTypes = QStringLiteral("text/html");
                g.Referer = QStringLiteral("http://127.0.0.1/from?x=1");
            },
            "GET /p HTTP/1.1",
            {{"User-Agent", ""}, {"Accept", "text/html"}, {"Referer", "http://127.0.0.1/from?x=1"}},
            ""},
        {"/p", [](THTTPGet &g) { g.PostQuery = QStringLiteral("a=1&b=%E4%B8%AD"); }, "POST /p HTTP/1.1",
            {{"Content-Type", "application/x-www-form-urlencoded"}, {"Content-Length", "15"},
                {"User-Agent", "Brevicor HTTPGet"}},
            "a=1&b=%E4%B8%AD"},
        {"/p", [&longForm](THTTPGet &g) { g.PostQuery = longForm; }, "POST /p HTTP/1.1",
            {{"Content-Type", "application/x-www-form-urlencoded"}, {"Expect", ""}},
            longForm.toStdString()},
    };
    for (const Case &c : cases) {
        const size_t before = server.requestCount();
        const Raised raised = fetch(server.url(c.path), c.setup);
        EXPECT_EQ(raised.done, 1) << c.line;
        const auto requests = server.requests();
        ASSERT_EQ(requests.size(), before + 1) << c.line;
        const prqtest::RecordedRequest &r = requests.back();
        EXPECT_EQ(r.requestLine(), c.line);
        for (const auto &[name, value] : c.headers) {
            EXPECT_EQ(r.hasHeader(name), !value.empty()) << c.line << ": " << name;
            EXPECT_EQ(r.header(name), value) << c.line << ": " << name;
        }
        EXPECT_EQ(r.body, c.body) << c.line;
    }
}

// The target goes out as the address has it, with only the bytes that
// cannot stand in a request line encoded; nothing is resolved or decoded.
TEST_P(Answers, RequestTargetIsEncodedOnlyWhereItMustBe)
{
    RawServer server([](RawServer::Connection &c) { c.send("HTTP/1.1 200 OK\r\nContent-Length: 1\r\n\r\nx"); });
    const struct
    {
        QString path;
        std::string sent;
    } cases[] = {
        {"/a b\tc", "/a%20b%09c"},
        {"/x#frag", "/x%23frag"},
        {QStringLiteral("/中?q=文"), "/%E4%B8%AD?q=%E6%96%87"},
        {"/%41%zz%", "/%41%zz%"},
        {"/a/../b/./c//", "/a/../b/./c//"},
        {"/{|}\\^`\"<>'", "/{|}\\^`\"<>'"},
        {"/q?r=1\r\nX-Injected: 1\x7f", "/q?r=1%0D%0AX-Injected:%201%7F"},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(fetch(server.url(c.path)).done, 1) << c.sent;
        const std::string head = server.heads().back();
        EXPECT_EQ(head.substr(0, head.find("\r\n")), "GET " + c.sent + " HTTP/1.1");
        EXPECT_EQ(head.find("\nX-Injected"), std::string::npos);
    }
}

// A text that would break a header line fails the fetch before anything is sent.
TEST_P(Answers, LineBreakInAHeaderTextSendsNothing)
{
    LoopServer server;
    server.start();
    const std::function<void(THTTPGet &)> setups[] = {
        [](THTTPGet &g) { g.Agent = QStringLiteral("agent\r\nX-Injected: 1"); },
        [](THTTPGet &g) { g.Referer = QStringLiteral("http://r/\n"); },
        [](THTTPGet &g) { g.AcceptTypes = QStringLiteral("*/*\r"); },
        [](THTTPGet &g) { g.UserName = QStringLiteral("u\r\nX: y"); },
    };
    for (const auto &setup : setups)
        EXPECT_EQ(fetch(server.url("/"), setup).errors, 1);
    EXPECT_EQ(server.requestCount(), 0u);
}

TEST_P(Answers, CredentialsAnswerTheChallenge)
{
    LoopServer server;
    server.get("/private", [](const httplib::Request &req, httplib::Response &res) {
        if (req.get_header_value("Authorization") == "Basic dXNlcjpwYTpzcw==") { // user:pa:ss
            res.set_content("welcome", "text/plain");
        } else {
            res.status = 401;
            res.set_header("WWW-Authenticate", "Basic realm=\"loop\"");
        }
    });
    server.start();
    const Raised raised = fetch(server.url("/private"), [](THTTPGet &g) {
        g.UserName = QStringLiteral("user");
        g.Password = QStringLiteral("pa:ss");
    });
    EXPECT_EQ(raised.body, "welcome");
}

TEST_P(Answers, RedirectsAreFollowedTenTimesAtMost)
{
    LoopServer server;
    server.get(R"(/hop/(\d+))", [](const httplib::Request &req, httplib::Response &res) {
        const int left = std::stoi(req.matches[1]);
        if (left == 0)
            res.set_content("arrived", "text/plain");
        else
            res.set_redirect("/hop/" + std::to_string(left - 1));
    });
    server.get("/loop", [](const httplib::Request &, httplib::Response &res) { res.set_redirect("/loop"); });
    server.start();

    EXPECT_EQ(fetch(server.url("/hop/10")).body, "arrived");
    EXPECT_EQ(server.requestCount(), 11u);
    EXPECT_EQ(fetch(server.url("/hop/11")).errors, 1);
    EXPECT_EQ(fetch(server.url("/loop")).errors, 1);
}

// The secure scheme runs over TLS with the certificate checked: a
// certificate that nothing vouches for fails the fetch.
TEST_P(Answers, SecureAddressesCheckTheCertificate)
{
    QTemporaryDir dir;
    TestCertificate cert;
    ASSERT_TRUE(makeSelfSignedCertificate(dir.path().toStdString(), &cert));
    LoopServer server(cert.certFile, cert.keyFile);
    server.get("/", [](const httplib::Request &, httplib::Response &res) { res.set_content("secure", "text/plain"); });
    server.start();
    const QString url = QStringLiteral("HTTPS://127.0.0.1:%1/").arg(server.port());

    EXPECT_EQ(fetch(url).errors, 1);
    EXPECT_EQ(server.requestCount(), 0u);
    const Raised trusted = fetch(url, [&cert](THTTPGet &g) {
        g.TrustedCertificates = QString::fromStdString(cert.certFile);
    });
    EXPECT_EQ(trusted.body, "secure");
}

// A connection that is not made in time fails; a server that falls silent
// ends the transfer, which then succeeds only with what had arrived.
TEST_P(Answers, TimeLimits)
{
    SilentListener unanswered;
    RawServer server([](RawServer::Connection &c) {
        if (c.target() == "/part")
            c.send("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\npart");
        c.stall();
    });
    struct Case
    {
        QString url;
        int connectMs;
        int idleMs;
        bool success;
    };
    const Case cases[] = {
        // The TLS handshake is part of making the connection.
        {QStringLiteral("https://127.0.0.1:%1/").arg(unanswered.port()), 300, 60000, false},
        {server.url("/silent"), 60000, 300, false},
        {server.url("/part"), 60000, 300, true},
    };
    for (const Case &c : cases) {
        QElapsedTimer clock;
        clock.start();
        const Raised raised = fetch(c.url, [&c](THTTPGet &g) {
            g.ConnectTimeoutMs = c.connectMs;
            g.IdleTimeoutMs = c.idleMs;
        });
        EXPECT_GE(clock.elapsed(), 300) << qPrintable(c.url);
        EXPECT_LT(clock.elapsed(), 3000) << qPrintable(c.url);
        EXPECT_EQ(raised.done, c.success ? 1 : 0) << qPrintable(c.url);
        EXPECT_EQ(raised.body, c.success ? QByteArray("part") : QByteArray()) << qPrintable(c.url);
    }
}

// Reading stops at MaxBodySize and what was read is the body, also from a
// server that would never stop sending; the record says the page went on.
TEST_P(Answers, BodyStopsAtTheLimit)
{
    RawServer server([](RawServer::Connection &c) {
        if (c.target() == "/endless") {
            c.send("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n");
            const std::string chunk = "1000\r\n" + std::string(0x1000, 'e') + "\r\n";
            while (c.send(chunk)) {
            }
        } else {
            std::string body(10000, 'b');
            body[2999] = 'L';
            c.send("HTTP/1.1 200 OK\r\nContent-Length: 10000\r\n\r\n" + body);
        }
    });
    const Raised sized = fetch(server.url("/sized"), [](THTTPGet &g) { g.MaxBodySize = 3000; });
    EXPECT_EQ(sized.body, QByteArray(2999, 'b') + 'L');
    EXPECT_TRUE(sized.record.bodyTruncated);
    const Raised endless = fetch(server.url("/endless"), [](THTTPGet &g) { g.MaxBodySize = 1 << 20; });
    EXPECT_EQ(endless.body, QByteArray(1 << 20, 'e'));
    EXPECT_TRUE(endless.record.bodyTruncated);
    const Raised exact = fetch(server.url("/sized"), [](THTTPGet &g) { g.MaxBodySize = 10000; });
    EXPECT_EQ(exact.body.size(), 10000);
    EXPECT_FALSE(exact.record.bodyTruncated);
}

// A server that drips, or falls silent after its head or before it, is cut
// off at the whole-request limit, whatever the idle limit.
TEST_P(Answers, DripsAndStallsEndAtTheRequestLimit)
{
    RawServer server([](RawServer::Connection &c) {
        if (c.target() == "/stall")
            return c.stall();
        if (!c.send("HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n"))
            return;
        if (c.target() == "/stall-after-head")
            return c.stall();
        for (int i = 0; i < 200 && c.send("x"); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    });
    for (const char *path : {"/drip", "/stall-after-head", "/stall"}) {
        QElapsedTimer clock;
        clock.start();
        const Raised raised = fetch(server.url(QString::fromLatin1(path)), [](THTTPGet &g) {
            g.RequestTimeoutMs = 400;
            g.IdleTimeoutMs = 60000;
        });
        EXPECT_EQ(raised.errors, 1) << path;
        EXPECT_EQ(raised.record.reason, FetchFailure::TimedOut) << path;
        EXPECT_EQ(raised.record.hops, QByteArray(path) == "/stall" ? QList<int>() : QList<int> {200}) << path;
        EXPECT_GE(clock.elapsed(), 380) << path;
        EXPECT_LT(clock.elapsed(), 2500) << path;
    }
}

// Hosts written as numbers in any form libcurl reads connect without a
// lookup; a resolver that knows no name does not stand in the way.
TEST_P(Answers, NumericHostsNeedNoLookup)
{
    RawServer server([](RawServer::Connection &c) { c.send("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok"); });
    for (const char *host : {"127.1", "2130706433", "0x7f.0.0.1", "0177.0.1"}) {
        const Raised raised = fetch(QStringLiteral("http://%1:%2/n").arg(QLatin1String(host)).arg(server.port()));
        EXPECT_EQ(raised.body, "ok") << host;
        EXPECT_EQ(raised.record.finalUrl, QStringLiteral("http://127.0.0.1:%1/n").arg(server.port())) << host;
    }
    EXPECT_EQ(server.heads().size(), 4u);
}

// A control character in the host or port names no address: nothing is
// requested (a NUL once sent the check to the text before it, on port 80).
TEST_P(Answers, ControlCharacterInTheHostIsAnInvalidAddress)
{
    RawServer server([](RawServer::Connection &c) { c.send("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok"); });
    const QString port = QString::number(server.port());
    const QString urls[] = {
        QStringLiteral("http://127.0.0.1") + QChar(0) + QStringLiteral(".evil.test:") + port + QStringLiteral("/"),
        QStringLiteral("http://127.0.0.1\t:") + port + QStringLiteral("/"),
        QStringLiteral("127.0.0.1:") + port + QChar(0) + QStringLiteral("/"),
        QStringLiteral("http://www.site\r\n.test/"),
    };
    for (const QString &url : urls) {
        const Raised raised = fetch(url);
        EXPECT_EQ(raised.errors, 1);
        EXPECT_EQ(raised.record.reason, FetchFailure::InvalidAddress);
        EXPECT_EQ(statusText(raised.record), QStringLiteral("无效网址"));
    }
    EXPECT_EQ(server.heads().size(), 0u);
    // In the path it is sent encoded, as ever.
    EXPECT_EQ(fetch(server.url(QStringLiteral("/a") + QChar(0) + QStringLiteral("b"))).body, "ok");
    ASSERT_EQ(server.heads().size(), 1u);
    EXPECT_EQ(server.heads().at(0).substr(0, 13), "GET /a%00b HT");
}

PRQ_ON_BOTH_ENGINES(Answers);

} // namespace
