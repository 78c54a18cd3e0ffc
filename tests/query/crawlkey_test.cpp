// The key that makes one address of its spellings.
#include "query/crawlkey.h"

#include <gtest/gtest.h>

namespace {

TEST(CrawlKey, SpellingsOfOneAddress)
{
    const struct
    {
        const char *url;
        const char *key;
    } cases[] = {
        {"http://www.example.com/a/b.html", "http://www.example.com/a/b.html"},
        {"HTTP://WWW.Example.COM:80/a/./b.html#top", "http://www.example.com/a/b.html"},
        {"http://www.example.com/x/../a/b.html", "http://www.example.com/a/b.html"},
        {"http://www.example.com/a/b/../../a/./b.html", "http://www.example.com/a/b.html"},
        {"www.example.com/a/b.html", "http://www.example.com/a/b.html"},
        {"https://www.example.com:443", "https://www.example.com/"},
        {"https://www.example.com:80/", "https://www.example.com:80/"},
        {"http://www.example.com:8080/a/", "http://www.example.com:8080/a/"},
        {"http://www.example.com:/a", "http://www.example.com/a"},
        {"http://www.example.com/a/.", "http://www.example.com/a/"},
        {"http://www.example.com/a/..", "http://www.example.com/"},
        {"http://www.example.com/../../a", "http://www.example.com/a"},
        {"http://www.example.com/a/b.html?x=/../y#f", "http://www.example.com/a/b.html?x=/../y"},
        {"http://www.example.com?q=1", "http://www.example.com/?q=1"},
        {"http://www.example.com/Case/Path", "http://www.example.com/Case/Path"},
        {"http://User@WWW.example.com/", "http://User@www.example.com/"},
        {"http://[::1]:80/x", "http://[::1]/x"},
        {"http://[::1]:81/x", "http://[::1]:81/x"},
        {"http://www.example.com/a//b/../c", "http://www.example.com/a//c"},
        {"http://www.example.com/.hidden/..x", "http://www.example.com/.hidden/..x"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(addressKey(QString::fromUtf8(c.url)), QString::fromUtf8(c.key)) << c.url;
}

TEST(CrawlKey, OriginAndFolder)
{
    EXPECT_EQ(keyOrigin(QStringLiteral("http://127.0.0.1:8080/a/b.html?x")), QStringLiteral("http://127.0.0.1:8080"));
    EXPECT_EQ(keyFolder(QStringLiteral("http://h.cn/docs/guide/index.html")), QStringLiteral("http://h.cn/docs/guide/"));
    EXPECT_EQ(keyFolder(QStringLiteral("http://h.cn/docs/?page=/x/y")), QStringLiteral("http://h.cn/docs/"));
    EXPECT_EQ(keyFolder(QStringLiteral("http://h.cn/")), QStringLiteral("http://h.cn/"));
}

} // namespace
