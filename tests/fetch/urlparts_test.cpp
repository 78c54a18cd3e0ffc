// Cutting an address into what a connection needs, and the one rule for a
// host written as numbers, checked against libcurl's own parser.
#include "fetch/urlparts.h"
#include "query/regdomain.h"

#include <curl/curl.h>

#include <arpa/inet.h>

#include <gtest/gtest.h>

#include <memory>

namespace {

TEST(SplitURL, Table)
{
    struct Case
    {
        const char *url;
        const char *host;
        const char *portText;
        int port;
        const char *path;
        bool secure;
    };
    const Case cases[] = {
        {"http://host", "host", "80", 80, "/", false},
        {"HTTP://Host.Example:8080/a/B?x=1#f", "Host.Example", "8080", 8080, "/a/B?x=1#f", false},
        {"host.example/path", "host.example", "80", 80, "/path", false},
        {"www.a.com/?u=http://b.com/x", "www.a.com", "80", 80, "/?u=http://b.com/x", false},
        {"http://h:abc/x", "h", "abc", 80, "/x", false},
        {"http://h:/x", "h", "", 80, "/x", false},
        {"http://h:70000/", "h", "70000", 0, "/", false},
        {"http://h:0/", "h", "0", 0, "/", false},
        {"https://h", "h", "443", 443, "/", true},
        {"HtTpS://h:8443/s", "h", "8443", 8443, "/s", true},
        {"https://h:x/", "h", "x", 443, "/", true},
        {"ftp://h/x", "ftp", "", 80, "//h/x", false},
        {"", "", "80", 80, "/", false},
    };
    for (const Case &c : cases) {
        const TSplitURL parts = SplitURL(QString::fromUtf8(c.url));
        EXPECT_EQ(parts.Host, QString::fromUtf8(c.host)) << c.url;
        EXPECT_EQ(parts.PortText, QString::fromUtf8(c.portText)) << c.url;
        EXPECT_EQ(parts.Port, c.port) << c.url;
        EXPECT_EQ(parts.Path, QString::fromUtf8(c.path)) << c.url;
        EXPECT_EQ(parts.Secure, c.secure) << c.url;
    }
}

// The host libcurl connects to when it parses an address with host; empty
// when it takes no such address.
QString hostLibcurlConnectsTo(const QString &host)
{
    const std::unique_ptr<CURLU, void (*)(CURLU *)> url(curl_url(), curl_url_cleanup);
    const QByteArray address = "http://" + host.toUtf8() + "/";
    char *parsed = nullptr;
    if (curl_url_set(url.get(), CURLUPART_URL, address.constData(), 0) != CURLUE_OK
        || curl_url_get(url.get(), CURLUPART_HOST, &parsed, 0) != CURLUE_OK)
        return {};
    const QString text = QString::fromUtf8(parsed);
    curl_free(parsed);
    return text;
}

bool isDottedQuad(const QString &text)
{
    in_addr address {};
    return inet_pton(AF_INET, text.toLatin1().constData(), &address) == 1;
}

// Where inet_aton and inet_pton disagreed ("127.1", "2130706433"), the fetch
// and the site domains now follow libcurl, which connects to 127.0.0.1 for
// both without a lookup.
TEST(NumericHost, FollowsLibcurl)
{
    const struct
    {
        const char *host;
        bool numeric;
        const char *connectsTo;
    } cases[] = {
        {"127.0.0.1", true, "127.0.0.1"},
        {"127.1", true, "127.0.0.1"},
        {"127.0.1", true, "127.0.0.1"},
        {"2130706433", true, "127.0.0.1"},
        {"0x7f.1", true, "127.0.0.1"},
        {"0X7F000001", true, "127.0.0.1"},
        {"0177.0.0.1", true, "127.0.0.1"},
        {"1.256", true, "1.0.1.0"},
        {"4294967295", true, "255.255.255.255"},
        {"0", true, "0.0.0.0"},
        {"[::1]", true, "[::1]"},
        {"4294967296", false, "4294967296"},
        {"1.2.3.4.5", false, "1.2.3.4.5"},
        {"256.1.1.1", false, "256.1.1.1"},
        {"08.1.1.1", false, "08.1.1.1"},
        {"127.0.0.1.", false, "127.0.0.1."},
        {"1.2.3.4x", false, "1.2.3.4x"},
        {"0x", false, "0x"},
        {"www.example.com", false, "www.example.com"},
        {"1e2", false, "1e2"},
        {"127.1 ", false, ""}, // inet_aton takes a space and what follows it
        {"127.1\tx", false, ""},
    };
    for (const auto &c : cases) {
        const QString host = QString::fromUtf8(c.host);
        EXPECT_EQ(isNumericHost(host), c.numeric) << c.host;
        EXPECT_EQ(hostLibcurlConnectsTo(host), QString::fromUtf8(c.connectsTo)) << c.host;
        const QString curls = hostLibcurlConnectsTo(host);
        EXPECT_EQ(isNumericHost(host), isDottedQuad(curls) || curls.startsWith(u'[')) << c.host;
        if (c.numeric && !host.startsWith(u'['))
            EXPECT_EQ(connectHost(host), curls) << c.host;
        else
            EXPECT_EQ(connectHost(host), host) << c.host;
    }
}

// The site domains of the rank source follow the same rule: an address
// written as numbers names no domain, in whatever form.
TEST(NumericHost, NamesNoDomain)
{
    for (const char *url : {"http://127.1/", "2130706433:8080/x", "0x7f.1/", "http://[::1]/"})
        EXPECT_EQ(registrableDomain(QString::fromLatin1(url)), QString()) << url;
    EXPECT_EQ(registrableDomain(QStringLiteral("http://www.example.com/")), QStringLiteral("example.com"));
}

TEST(UrlParts, ControlCharacters)
{
    EXPECT_FALSE(hasControlCharacter(u"www.a.com"));
    EXPECT_FALSE(hasControlCharacter(u"中文.com"));
    for (const char16_t c : {u'\0', u'\t', u'\n', u'\r', u'\x1f', u'\x7f'})
        EXPECT_TRUE(hasControlCharacter(QStringLiteral("www.a") + QChar(c) + QStringLiteral(".com"))) << int(c);
}

TEST(UrlParts, RequestTarget)
{
    EXPECT_EQ(requestTarget(QStringLiteral("/a b#c")), "/a%20b%23c");
    EXPECT_EQ(requestTarget(QStringLiteral("/") + QChar(0) + QStringLiteral("x")), "/%00x");
    EXPECT_EQ(requestTarget(QStringLiteral("/%41?x=中")), "/%41?x=%E4%B8%AD");
}

} // namespace
