// robots.txt by RFC 9309: the examples of the RFC, groups, Crawl-delay,
// Sitemap lines and the size limit.
#include "survey/robotsrules.h"

#include <gtest/gtest.h>

namespace {

const QString Site = QStringLiteral("http://www.example.com");

struct Case
{
    const char *path;
    bool allowed;
};

void expectPaths(const RobotsRules &rules, std::initializer_list<Case> cases, const char *what)
{
    for (const Case &c : cases)
        EXPECT_EQ(rules.allowed(Site + QString::fromUtf8(c.path)), c.allowed) << what << ": " << c.path;
}

TEST(RobotsRules, TheRfcExamples)
{
    // The simple example (5.1); we are no robot it names, so "*" applies.
    const QByteArray simple = "User-Agent: *\n"
                              "Disallow: *.gif$\n"
                              "Disallow: /example/\n"
                              "Allow: /publications/\n"
                              "\n"
                              "User-Agent: foobot\n"
                              "Disallow:/\n"
                              "Allow:/example/page.html\n"
                              "Allow:/example/allowed.gif\n"
                              "\n"
                              "User-Agent: barbot\n"
                              "User-Agent: bazbot\n"
                              "Disallow: /example/page.html\n"
                              "\n"
                              "User-Agent: quxbot\n";
    // (The longer Allow outweighs "*.gif$" under /publications/.)
    expectPaths(RobotsRules::parse(simple),
        {{"/", true}, {"/a.gif", false}, {"/a.gif?x", true}, {"/example/", false}, {"/example/page.html", false}, {"/publications/", true},
            {"/publications/a.gif", true}, {"/robots.txt", true}},
        "simple, as *");

    // The same file with the foobot group written for us: that group alone
    // applies, "*" no longer does.
    QByteArray ours = simple;
    ours.replace("foobot", "PRQuery/1.0");
    expectPaths(RobotsRules::parse(ours),
        {{"/", false}, {"/x.html", false}, {"/example/page.html", true}, {"/example/allowed.gif", true}, {"/example/other.gif", false}},
        "simple, as prquery");

    // Longest match (5.2): the longer rule wins whichever way round.
    const QByteArray longest = "User-Agent: prquery\n"
                               "Allow: /example/page/\n"
                               "Disallow: /example/page/disallowed.gif\n";
    expectPaths(RobotsRules::parse(longest), {{"/example/page/", true}, {"/example/page/x.html", true}, {"/example/page/disallowed.gif", false}},
        "longest match");

    // The special characters (2.2.3): "#" comments, "$" ends, "*" any run.
    const QByteArray special = "user-agent: * # everyone\n"
                               "# a comment on its own line\n"
                               "disallow: /this/\n"
                               "allow: /this/*/exactly\n"
                               "allow: /this/path/exactly$\n";
    expectPaths(RobotsRules::parse(special),
        {{"/this/", false}, {"/this/a/b/exactly", true}, {"/this/a/b/exactly/more", true}, {"/this/path/exactly", true},
            {"/this/path/other", false}},
        "special characters");

    // Percent-encoding (2.2.2): a non-ASCII path matches its UTF-8 escapes;
    // an escaped ASCII letter matches only the escape.
    const QByteArray encoded = "User-agent: *\n"
                               "Disallow: /foo/bar/ツ\n"
                               "Disallow: /foo/bar/%62%61%7A\n";
    expectPaths(RobotsRules::parse(encoded),
        {{"/foo/bar/ツ", false}, {"/foo/bar/%E3%83%84", false}, {"/foo/bar/%62%61%7A", false}, {"/foo/bar/baz", true}}, "encoding");
}

TEST(RobotsRules, TiesGroupsAndOddFiles)
{
    // Allow wins a tie of equally long rules.
    expectPaths(RobotsRules::parse("User-agent: *\nDisallow: /page\nAllow: /page\n"), {{"/page", true}, {"/page2", true}}, "tie");
    // Groups for the same robot are merged; a group of another robot is
    // not ours even after ours.
    expectPaths(RobotsRules::parse("User-agent: prquery\nDisallow: /a\n\nUser-agent: other\nDisallow: /b\n\nUser-agent: prquery\nDisallow: /c\n"),
        {{"/a", false}, {"/b", true}, {"/c", false}}, "merged groups");
    // A user-agent line before any rule joins the group being written.
    expectPaths(RobotsRules::parse("User-agent: other\nUser-agent: prquery\nDisallow: /x\n"), {{"/x", false}}, "shared group");
    // Rules before any user-agent line, and an empty file, allow all.
    expectPaths(RobotsRules::parse("Disallow: /\n"), {{"/", true}}, "no group");
    expectPaths(RobotsRules::parse(""), {{"/", true}}, "empty");
    // An empty Disallow allows all; typos that people make are read.
    expectPaths(RobotsRules::parse("User-agent: *\nDisallow:\n"), {{"/x", true}}, "empty disallow");
    expectPaths(RobotsRules::parse("useragent: *\ndisalow: /x\n"), {{"/x", false}, {"/y", true}}, "typos");
    // CR line ends, a byte-order mark.
    expectPaths(RobotsRules::parse("\xEF\xBB\xBFUser-agent: *\rDisallow: /cr\r"), {{"/cr", false}, {"/ok", true}}, "CR and BOM");

    expectPaths(RobotsRules::allowAll(), {{"/", true}, {"/x", true}}, "allow all");
    expectPaths(RobotsRules::disallowAll(), {{"/", false}, {"/robots.txt", false}}, "disallow all");
}

TEST(RobotsRules, CrawlDelayAndSitemaps)
{
    const RobotsRules ours = RobotsRules::parse("Sitemap: http://www.example.com/a.xml\n"
                                                "User-agent: *\nCrawl-delay: 100\n\n"
                                                "User-agent: prquery\nCrawl-delay: 2.5\nDisallow: /x\n"
                                                "sitemap: /relative.xml.gz\n");
    EXPECT_EQ(ours.crawlDelayMs(), 2500);
    EXPECT_EQ(ours.sitemaps(), (QStringList {"http://www.example.com/a.xml", "/relative.xml.gz"}));
    // A delay for every robot is cut to the longest the system waits.
    EXPECT_EQ(RobotsRules::parse("User-agent: *\nCrawl-delay: 100\n").crawlDelayMs(), RobotsRules::MaxCrawlDelayMs);
    // Our group says it all, also when it names no delay; nonsense is none.
    EXPECT_EQ(RobotsRules::parse("User-agent: *\nCrawl-delay: 9\n\nUser-agent: prquery\nDisallow: /x\n").crawlDelayMs(), 0);
    EXPECT_EQ(RobotsRules::parse("User-agent: *\nCrawl-delay: soon\n").crawlDelayMs(), 0);
    EXPECT_EQ(RobotsRules::parse("User-agent: *\nCrawl-delay: -3\n").crawlDelayMs(), 0);
}

TEST(RobotsRules, OnlyTheFirst500KiBAreRead)
{
    QByteArray body = "User-agent: *\nDisallow: /early\n";
    while (body.size() < RobotsRules::MaxBytes)
        body += "# padding padding padding padding padding padding padding padding\n";
    body += "Disallow: /late\n";
    expectPaths(RobotsRules::parse(body), {{"/early", false}, {"/late", true}}, "limit");
}

} // namespace
