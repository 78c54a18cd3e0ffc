// The comparison of a page with its folder's probe.
#include "survey/softnotfound.h"

#include <gtest/gtest.h>

namespace {

// A site's frame: the same navigation and footer around every page.
QString framed(const QString &title, const QString &main, const QString &script = QString())
{
    return QStringLiteral("<html><head><title>%1 - 示例网</title><script>%3</script><style>p{color:red}</style></head><body>"
                          "<nav><a href=/>首页</a> <a href=/news/>News</a> <a href=/about>About us</a> <a href=/contact>Contact</a></nav>"
                          "<main>%2</main>"
                          "<footer>Copyright 2024 Example Ltd. All rights reserved. 京ICP备12345678号</footer></body></html>")
        .arg(title, main, script);
}

// The site's "not found" page: it names the address, the time, a request
// id, and a list of links drawn anew for every answer.
QString notFound(const QString &path, const QString &when, const QString &id, const QStringList &popular)
{
    QString links;
    for (const QString &title : popular)
        links += QStringLiteral("<li><a href=\"/p\">%1</a></li>").arg(title);
    return framed(QStringLiteral("Page not found"),
        QStringLiteral("<h1>Sorry, we could not find %1</h1><p>The page %1 may have moved. Served at %2, request %3.</p><ul>%4</ul>")
            .arg(path, when, id, links));
}

PageFingerprint print(const QString &page, const QString &address)
{
    return PageFingerprint::of(page, address);
}

TEST(SoftNotFound, TheNotFoundPageReadsTheSameForAnyName)
{
    const QString dead = QStringLiteral("www.example.com/news/old-story-about-the-harbour.html");
    const QString probe = QStringLiteral("http://www.example.com:80/news/qwhdkzmvbtrpxlacnfygsejoui");
    const PageFingerprint a = print(notFound(QStringLiteral("/news/old-story-about-the-harbour.html"), QStringLiteral("2024-05-01 10:22:13"),
                                        QStringLiteral("9f3ac2e1"), {QStringLiteral("Weather for the weekend"), QStringLiteral("Council meets on Friday")}),
        dead);
    const PageFingerprint b = print(notFound(QStringLiteral("/news/qwhdkzmvbtrpxlacnfygsejoui"), QStringLiteral("2024-05-01 10:22:14"),
                                        QStringLiteral("0b77d4a2"), {QStringLiteral("New bridge opens to traffic"), QStringLiteral("School results are in")}),
        probe);
    EXPECT_DOUBLE_EQ(a.similarity(b), 1.0);
    EXPECT_DOUBLE_EQ(a.similarity(b), b.similarity(a));
    // Read with every word, the name, the id and the links set them apart.
    const FingerprintRules everything {false, false};
    EXPECT_LT(PageFingerprint::of(notFound(QStringLiteral("/news/old-story-about-the-harbour.html"), QStringLiteral("1"), QStringLiteral("x1"),
                                      {QStringLiteral("Weather for the weekend")}),
                  dead, everything)
                  .similarity(PageFingerprint::of(notFound(QStringLiteral("/news/qwhdkzmvbtrpxlacnfygsejoui"), QStringLiteral("2"), QStringLiteral("x2"),
                                                      {QStringLiteral("School results are in")}),
                      probe, everything)),
        SoftSimilarity);

    // A real page in the same frame, with a paragraph of its own, is not.
    const PageFingerprint real = print(framed(QStringLiteral("Harbour reopens"),
                                           QStringLiteral("<h1>Harbour reopens</h1><p>After two years of works the old harbour opened "
                                                          "again on Monday, with room for forty boats and a new ferry line.</p>")),
        QStringLiteral("www.example.com/news/harbour-reopens.html"));
    EXPECT_LT(real.similarity(b), 0.5);

    // Nor is a short page whose text is mostly the frame.
    const PageFingerprint shortPage = print(framed(QStringLiteral("联系我们"), QStringLiteral("<p>电话：010-12345678，邮箱 info@example.com</p>")),
        QStringLiteral("www.example.com/contact"));
    EXPECT_LT(shortPage.similarity(b), SoftSimilarity);
}

TEST(SoftNotFound, ScriptsStylesAndChineseWords)
{
    const QString article = QStringLiteral("<p>本站今日发布年度报告，全年访问量同比增长百分之二十。</p>");
    // Only what a person sees counts: a script that differs changes nothing.
    EXPECT_DOUBLE_EQ(print(framed(QStringLiteral("报告"), article, QStringLiteral("var id = 'a81f';")), QStringLiteral("a.cn/r.html"))
                         .similarity(print(framed(QStringLiteral("报告"), article, QStringLiteral("var x = [1,2,3]; track();")), QStringLiteral("a.cn/r.html"))),
        1.0);
    // Each Chinese character is a word: another sentence in the same frame
    // differs.
    const PageFingerprint other = print(framed(QStringLiteral("报告"), QStringLiteral("<p>页面不存在，请检查您输入的网址是否正确。</p>")), QStringLiteral("a.cn/x.html"));
    EXPECT_LT(print(framed(QStringLiteral("报告"), article), QStringLiteral("a.cn/r.html")).similarity(other), SoftSimilarity);
    EXPECT_GT(print(framed(QStringLiteral("报告"), article), QStringLiteral("a.cn/r.html")).words(), 40);
}

TEST(SoftNotFound, EmptyPagesNeverLookAlike)
{
    const PageFingerprint empty = print(QStringLiteral("<html><body><img src=x.png></body></html>"), QStringLiteral("a.cn/a"));
    EXPECT_EQ(empty.words(), 0);
    EXPECT_EQ(empty.similarity(empty), 0.0);
    EXPECT_EQ(PageFingerprint().similarity(print(QStringLiteral("word"), QStringLiteral("a.cn/b"))), 0.0);
    // A page shorter than a shingle still compares.
    EXPECT_EQ(print(QStringLiteral("Not found"), QStringLiteral("a.cn/b")).similarity(print(QStringLiteral("not FOUND"), QStringLiteral("a.cn/c"))), 1.0);
}

TEST(SoftNotFound, RedirectsDecideWhenTheProbeWasRedirected)
{
    const QString home = framed(QStringLiteral("Home"), QStringLiteral("<p>Welcome to the example site, with news every day.</p>"));
    const QString story = framed(QStringLiteral("Story"), QStringLiteral("<p>A story of its own, long enough to differ from the home page here.</p>"));
    const QString gone = notFound(QStringLiteral("/x"), QStringLiteral("now"), QStringLiteral("1"), {});
    const auto page = [](const QString &finalUrl, bool redirected, const QString &html) {
        return SoftPage {finalUrl, redirected, PageFingerprint::of(html, finalUrl)};
    };
    const SoftPage toHome = page(QStringLiteral("http://www.example.com:80/"), true, home);
    const SoftPage toNotFound = page(QStringLiteral("http://www.example.com/404.html?from=/a/zzz"), true, gone);
    const SoftPage answered = page(QStringLiteral("http://www.example.com/a/zzz"), false, gone);
    struct Case
    {
        const char *what;
        SoftPage page;
        const SoftPage &probe;
        bool soft;
    };
    const Case cases[] = {
        {"sent home too", page(QStringLiteral("http://www.example.com:80/"), true, home), toHome, true},
        {"sent home, address written otherwise", page(QStringLiteral("HTTP://WWW.EXAMPLE.COM:80/#top"), true, home), toHome, true},
        {"a page of its own", page(QStringLiteral("http://www.example.com/a/story"), false, story), toHome, false},
        {"the home page's text, not redirected", page(QStringLiteral("http://www.example.com/index.html"), false, home), toHome, false},
        {"moved to a page of its own", page(QStringLiteral("http://www.example.com/a/new-story"), true, story), toHome, false},
        {"sent to the not-found page with its own name", page(QStringLiteral("http://www.example.com/404.html?from=/a/old"), true, gone), toNotFound, true},
        {"the not-found page itself", page(QStringLiteral("http://www.example.com/a/old"), false, gone), answered, true},
        {"redirected to the not-found page", page(QStringLiteral("http://www.example.com/404.html"), true, gone), answered, true},
        {"a story", page(QStringLiteral("http://www.example.com/a/story"), false, story), answered, false},
    };
    for (const Case &c : cases)
        EXPECT_EQ(isSoftNotFound(c.page, c.probe), c.soft) << c.what;
}

} // namespace
