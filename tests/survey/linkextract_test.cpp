#include "base/errors.h"
#include "data/storedtext.h"
#include "survey/htmllinks.h"
#include "survey/linkextract.h"
#include "survey/linkresolve.h"
#include "survey/patternlinks.h"
#include "survey/regexp.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

QStringList extract(const QString &page, const QString &site)
{
    TRegExp myreg;
    return ExprTest(myreg, storedtext::linkPattern(), page, site);
}

QString rec(const char *link, const char *text, bool in)
{
    return QString::fromUtf8(link) + QStringLiteral("[@m@]") + QString::fromUtf8(text)
        + (in ? QStringLiteral("[@m@]in") : QStringLiteral("[@m@]out"));
}

enum class Reader {
    Pattern,
    Html
};

// The records of a page through one of the two readers.
QStringList records(Reader reader, const QString &page, const QString &site, const QString &pageUrl)
{
    TRegExp myreg;
    std::unique_ptr<LinkExtractor> extractor;
    if (reader == Reader::Html)
        extractor = std::make_unique<HtmlLinkExtractor>();
    else
        extractor = std::make_unique<PatternLinkExtractor>(myreg, storedtext::linkPattern());
    return linkRecords(*extractor, page, site, pageUrl);
}

TEST(ExprTest, StoredPatternIsTheSeventyNineCharacters)
{
    EXPECT_EQ(storedtext::linkPattern(),
        QStringLiteral("<a.*?(?: |\\t|\\r|\\n)?href=[\\'\"]?(.+?)[\\'\"]?(?:(?: |\\t|\\r|\\n)+.*?)?>(.*?)<\\/a.*?>"));
}

class LinkForms : public ::testing::TestWithParam<Reader>
{
};

// A page in a sub-folder, reached from the site's root, one anchor a line so
// that the pattern finds them all too.
TEST_P(LinkForms, ResolvedAgainstThePageAddress)
{
    struct Case
    {
        const char *anchor;
        const char *url; // nullptr: not listed
        const char *text;
        bool in;
    };
    const Case cases[] = {
        {"<a href=\"item/1.html\">rel</a>", "http://www.example.com/news/item/1.html", "rel", true},
        {"<a href='./a.html'>dot</a>", "http://www.example.com/news/a.html", "dot", true},
        {"<a href=\"../a.html\">up</a>", "http://www.example.com/a.html", "up", true},
        {"<a href=\"/root.html\" class=\"x\">root</a>", "http://www.example.com/root.html", "root", true},
        {"<a href=\"?page=2&amp;cat=3\">query</a>", "http://www.example.com/news/list.html?page=2&cat=3", "query", true},
        {"<a href=\"#top\">frag</a>", "http://www.example.com/news/list.html", "frag", true},
        {"<a href=\"//cdn.other.net/x.js#a\">net</a>", "http://cdn.other.net/x.js", "net", false},
        {"<a href=\"HTTP://WWW.Example.COM/Mixed?q=1#frag\">abs</a>", "HTTP://WWW.Example.COM/Mixed?q=1", "abs", true},
        {"<a href=\"hTTpS://secure.example.com/login\">tls</a>", "hTTpS://secure.example.com/login", "tls", true},
        {"<a href=\"http://other.org.cn/\">cn</a>", "http://other.org.cn/", "cn", false},
        // References in the link, decoded as in an attribute: "&copy=" stays.
        {"<a href=\"/s&#47;q.php?a=1&copy=2&amp;b=&lt;\">refs</a>", "http://www.example.com/s/q.php?a=1&copy=2&b=%3C", "refs", true},
        // References in the text, after the markup is gone.
        {"<a href=\"next.html\"><b>下一页</b>&nbsp;&raquo;&#x4E2D;&amp;&hellip;</a>", "http://www.example.com/news/next.html",
            "下一页\u00a0»中&…", true},
        {"<a href=\" /spaced.html \">sp</a>", "http://www.example.com/spaced.html", "sp", true},
        {"<a href=\"mailto:x@y.z\">mail</a>", nullptr, "", false},
        {"<a href=\"javascript:void(0)\" onclick=\"go()\">js</a>", nullptr, "", false},
        {"<a href=\"JavaScript:go()\">js</a>", nullptr, "", false},
        {"<a href=\"tel:+86-10-1234\">tel</a>", nullptr, "", false},
        {"<a href=\"data:text/html,x\">data</a>", nullptr, "", false},
        {"<a href=\"ftp://ftp.example.com/f\">ftp</a>", nullptr, "", false},
        {"<a href=\"http://localhost/\">one label</a>", nullptr, "", false},
    };
    QString page = QStringLiteral("<html><body>\n");
    QStringList expected;
    for (const Case &c : cases) {
        page += QString::fromUtf8(c.anchor) + u'\n';
        if (c.url)
            expected << rec(c.url, c.text, c.in);
    }
    page += QStringLiteral("</body></html>\n");
    EXPECT_EQ(records(GetParam(), page, QStringLiteral("http://www.example.com"),
                  QStringLiteral("http://www.example.com/news/list.html")),
        expected);
}

TEST_P(LinkForms, BaseHrefReplacesThePageAddress)
{
    const QString page = QStringLiteral("<html><head><base href=\"http://www.example.com/other/&amp;/\"></head><body>\n"
                                        "<a href=\"a.html\">a</a>\n<a href=\"/b.html\">b</a>\n"
                                        "<a href=\"http://x.example.com/c\">c</a>\n</body></html>");
    EXPECT_EQ(records(GetParam(), page, QStringLiteral("http://www.example.com/"), QStringLiteral("http://www.example.com/news/")),
        (QStringList {rec("http://www.example.com/other/&/a.html", "a", true), rec("http://www.example.com/b.html", "b", true),
            rec("http://x.example.com/c", "c", true)}));
    // A base that gives no web address is not used.
    const QString scriptBase = QStringLiteral("<base href=\"javascript:x\"><a href=\"a.html\">a</a>\n");
    EXPECT_EQ(records(GetParam(), scriptBase, QStringLiteral("http://www.example.com/"), QStringLiteral("http://www.example.com/news/")),
        QStringList {rec("http://www.example.com/news/a.html", "a", true)});
}

// What a browser follows where RFC 3986 and QUrl would refuse, and the link
// that no rule makes an address, kept as written.
TEST_P(LinkForms, ReadAsABrowserDoes)
{
    struct Case
    {
        const char *anchor;
        QString record;
    };
    const QString bad = UnaddressableRecordEnd;
    const Case cases[] = {
        // A scheme starts with a letter: these are paths.
        {"<a href=\"%20http://other.org/a\">pct</a>", rec("http://www.example.com/news/%20http://other.org/a", "pct", true)},
        {"<a href=\"&#x200b;&#x200b;https://other.org/b\">zw</a>", rec("http://www.example.com/news/%E2%80%8B%E2%80%8Bhttps://other.org/b", "zw", true)},
        {"<a href='\\\"http://other.org/c\\\"'>esc</a>", rec("http://www.example.com/%22http://other.org/c/%22", "esc", true)},
        // C0 controls at either end do not count.
        {"<a href=\"&#1;/ctl.html&#31;\">ctl</a>", rec("http://www.example.com/ctl.html", "ctl", true)},
        // In http(s) a backslash is a slash, and any number of them follow
        // the scheme.
        {"<a href=\"http:\\\\other.org\\d\\e?q=\\\">bs</a>", rec("http://other.org/d/e?q=%5C", "bs", false)},
        {"<a href=\"\\f.html\">root</a>", rec("http://www.example.com/f.html", "root", true)},
        {"<a href=\"https:///other.org/g\">three</a>", rec("https://other.org/g", "three", false)},
        {"<a href=\"http:sib.html\">same scheme</a>", rec("http://www.example.com/news/sib.html", "same scheme", true)},
        // Escaped, not refused.
        {"<a href=\"/h|j{k}^`.html\">esc</a>", rec("http://www.example.com/h%7Cj%7Bk%7D%5E%60.html", "esc", true)},
        // No rule makes an address of these: listed as written.
        {"<a href=\"https://[bad\">v6</a>", rec("https://[bad", "v6", false) + bad},
        {"<a href=\"//exa<mple.com/x\">host</a>", rec("//exa<mple.com/x", "host", false) + bad},
        {"<a href=\"http://www.example.com:99999/p\">port</a>", rec("http://www.example.com:99999/p", "port", true) + bad},
    };
    QString page = QStringLiteral("<html><body>\n");
    QStringList expected;
    for (const Case &c : cases) {
        page += QString::fromUtf8(c.anchor) + u'\n';
        expected << c.record;
    }
    page += QStringLiteral("<a href=\"mailto:a@b.c\">skipped</a>\n</body></html>\n");
    const QStringList got = records(GetParam(), page, QStringLiteral("http://www.example.com"), QStringLiteral("http://www.example.com/news/list.html"));
    ASSERT_EQ(got.size(), expected.size()) << got.join(u'\n').toStdString();
    for (qsizetype i = 0; i < got.size(); ++i)
        EXPECT_EQ(got.at(i), expected.at(i)) << cases[i].anchor;
}

INSTANTIATE_TEST_SUITE_P(BothReaders, LinkForms, ::testing::Values(Reader::Pattern, Reader::Html),
    [](const ::testing::TestParamInfo<Reader> &info) {
        return info.param == Reader::Html ? "Html" : "Pattern";
    });

TEST(ExprTest, SiteAddressForms)
{
    const QString page = QStringLiteral("<a href=a.html>1</a><a href=d/b.html>2</a><a href=/c>3</a>"
                                        "<a href=http://www.example.com/x>4</a>");
    // Resolved against the folder of the page, not appended to its name.
    EXPECT_EQ(extract(QStringLiteral("<a href=a.html>1</a>"), QStringLiteral("http://www.example.com/dir/index.html")),
        QStringList {rec("http://www.example.com/dir/a.html", "1", true)});
    // Typed without a scheme, with or without a path: read as http.
    const QStringList fromHost = {rec("http://www.example.com/a.html", "1", true), rec("http://www.example.com/d/b.html", "2", true),
        rec("http://www.example.com/c", "3", true), rec("http://www.example.com/x", "4", true)};
    EXPECT_EQ(extract(page, QStringLiteral("www.example.com")), fromHost);
    EXPECT_EQ(extract(page, QStringLiteral("www.example.com/news/list.html")),
        (QStringList {rec("http://www.example.com/news/a.html", "1", true), rec("http://www.example.com/news/d/b.html", "2", true),
            rec("http://www.example.com/c", "3", true), rec("http://www.example.com/x", "4", true)}));
    // A site whose own domain cannot be worked out lists nothing.
    EXPECT_EQ(extract(page, QStringLiteral("http://intranet/")), QStringList());
}

TEST(ExprTest, SiteInCapitalsWithACountryCode)
{
    // The site is lower-cased before its domain is worked out, so it keeps
    // three labels like the links resolved against it; a link written in
    // capitals has its domain worked out first and keeps two.
    const QString page = QStringLiteral("<a href=\"/x\">x</a><a href=\"http://www.abc.com.cn/y\">y</a>"
                                        "<a href=\"http://WWW.ABC.COM.CN/z\">z</a><a href=\"http://www.xyz.com.cn/\">w</a>");
    EXPECT_EQ(extract(page, QStringLiteral("HTTP://WWW.ABC.COM.CN/")),
        (QStringList {rec("http://www.abc.com.cn/x", "x", true), rec("http://www.abc.com.cn/y", "y", true),
            rec("http://WWW.ABC.COM.CN/z", "z", false), rec("http://www.xyz.com.cn/", "w", false)}));
}

TEST(ExprTest, PageAddress)
{
    EXPECT_EQ(pageAddress(QStringLiteral("www.example.com/news/"), QString()), QStringLiteral("http://www.example.com/news/"));
    EXPECT_EQ(pageAddress(QStringLiteral("localhost:8080/x"), QString()), QStringLiteral("http://localhost:8080/x"));
    EXPECT_EQ(pageAddress(QStringLiteral("HTTPS://a.com/"), QString()), QStringLiteral("HTTPS://a.com/"));
    // After redirects the links are resolved against where the page came from.
    EXPECT_EQ(pageAddress(QStringLiteral("a.com"), QStringLiteral("https://www.a.com/home/")), QStringLiteral("https://www.a.com/home/"));
}

TEST(ExprTest, OddPages)
{
    const QString site = QStringLiteral("http://s.com");
    // An anchor whose text runs over a line break is not found through its
    // own closing tag; a link that gives no domain is skipped, the rest stay.
    EXPECT_EQ(extract(QStringLiteral("<a href=\"x.html\">two\nlines</a>\n"
                                     "<a href=\"http://localhost/\">l</a><a href=\"y.html\">y</a>"),
                  site),
        QStringList {rec("http://s.com/y.html", "y", true)});
    // The separator inside a link or a text is kept as it is.
    EXPECT_EQ(extract(QStringLiteral("<a href=\"p[@m@]q\">t[@m@]u</a>"), site),
        QStringList {rec("http://s.com/p[@m@]q", "t[@m@]u", true)});
    EXPECT_EQ(extract(QString(), site), QStringList());
    EXPECT_EQ(extract(QStringLiteral("<p>no anchors</p>"), site), QStringList());
}

TEST(HtmlLinks, ReadsTheTreeNotTheLines)
{
    const QString page = QStringLiteral(
        "<html><head><style>a{}</style><script>var s = '<a href=\"/in-script\">s</a>';</script></head><body>\n"
        "<!-- <a href=\"/in-comment\">c</a> -->\n"
        "<a\n  href=\"/multi\"\n  class=\"x\">two\n   lines <b>and\ttags</b>\n</a>\n"
        "<a href=\"/img\"> <img src=\"i.png\" alt=\" 图 片 \"><img alt=\"second\"> </a>\n"
        "<map><area href=\"/area\" alt=\"地图\"></map>\n"
        "<a name=\"no-href\">anchor only</a><a href=\"\">self</a>\n"
        "<textarea><a href=\"/in-textarea\">t</a></textarea>\n"
        "<a href=\"/one\">one <a href=\"/two\">two</a>\n"
        "</body></html>");
    const QString site = QStringLiteral("http://www.example.com/");
    const QString pageUrl = QStringLiteral("http://www.example.com/dir/p.html");
    EXPECT_EQ(records(Reader::Html, page, site, pageUrl),
        (QStringList {rec("http://www.example.com/multi", "two lines and tags", true),
            rec("http://www.example.com/img", "图 片", true),
            rec("http://www.example.com/area", "地图", true),
            rec("http://www.example.com/dir/p.html", "self", true),
            // An anchor opened inside another closes the first, as in a browser.
            rec("http://www.example.com/one", "one", true), rec("http://www.example.com/two", "two", true)}));
    // The pattern reads lines: it misses the anchor over several lines and
    // takes the one in the script.
    const QStringList byPattern = records(Reader::Pattern, page, site, pageUrl);
    EXPECT_TRUE(byPattern.contains(rec("http://www.example.com/in-script", "s", true)));
    EXPECT_FALSE(byPattern.join(u'|').contains(QLatin1String("/multi")));
}

TEST(HtmlLinks, LargePagesOneAfterAnother)
{
    // Trees of several blocks, texts longer than a pooled piece, and the
    // second page parsed in the memory of the first.
    QString page = QStringLiteral("<body>");
    for (int i = 0; i < 8000; ++i)
        page += QStringLiteral("<p class=c><a href=\"/p%1.html\" title=t>第%1页</a></p>\n").arg(i);
    const QString longText(300000, u'x');
    page += QStringLiteral("<a href=\"/long\">") + longText + QStringLiteral("</a>");
    for (int round = 0; round < 2; ++round) {
        HtmlLinkExtractor extractor;
        const PageLinks found = extractor.extract(page);
        ASSERT_EQ(found.links.size(), 8001u);
        EXPECT_EQ(found.links[7345].href, QStringLiteral("/p7345.html"));
        EXPECT_EQ(found.links[7345].text, QStringLiteral("第7345页"));
        EXPECT_EQ(found.links.back().text, longText);
    }
}

TEST(ExprTest, EngineFailureRaises)
{
    TRegExp myreg;
    try {
        ExprTest(myreg, QStringLiteral("<a(.*"), QStringLiteral("<a x"), QStringLiteral("http://s.com"));
        FAIL() << "no error raised";
    } catch (const AppError &e) {
        EXPECT_EQ(e.message(), QStringLiteral("missing ): <a(.*"));
    }
}

} // namespace
