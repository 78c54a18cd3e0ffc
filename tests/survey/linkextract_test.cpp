#include "data/storedtext.h"
#include "shell/errors.h"
#include "survey/linkextract.h"
#include "survey/regexp.h"

#include <gtest/gtest.h>

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

TEST(ExprTest, StoredPatternIsTheSeventyNineCharacters)
{
    EXPECT_EQ(storedtext::linkPattern(),
              QStringLiteral("<a.*?(?: |\\t|\\r|\\n)?href=[\\'\"]?(.+?)[\\'\"]?(?:(?: |\\t|\\r|\\n)+.*?)?>(.*?)<\\/a.*?>"));
}

TEST(ExprTest, AbsoluteAndRelativeLinks)
{
    const QString page = QStringLiteral(
        "<html><body>\n"
        "<A HREF=\"HTTP://WWW.Example.com/a\" class=\"nav\">Home</A>\n"
        "<a href='Http://other.org/x'><img src=x.gif> 外链 </a>"
        "<a href=\"https://secure.example.com/\">s</a><a href=\"hTTpS://b.net\">b</a>\n"
        "<a\nhref=/p>slash</a> <a href=\"#top\">hash</a> <a href=\"mailto:a@b.cn\">mail</a>\n"
        "<a href=\"javascript:void(0)\" onclick=\"go()\">js</a>\t<a href=page.html>page</a>\n"
        "<a href=\"page.html\">page</a>\n"
        "</body></html>");
    EXPECT_EQ(extract(page, QStringLiteral("http://www.example.com")),
              (QStringList{
                  rec("HTTP://WWW.Example.com/a", "Home", true),
                  rec("Http://other.org/x", "外链", false),
                  rec("https://secure.example.com/", "s", true),
                  rec("hTTpS://b.net", "b", false),
                  rec("http://www.example.com//p", "slash", true),
                  rec("http://www.example.com/#top", "hash", true),
                  rec("http://www.example.com/mailto:a@b.cn", "mail", true),
                  rec("http://www.example.com/javascript:void(0)", "js", true),
                  rec("http://www.example.com/page.html", "page", true),
                  rec("http://www.example.com/page.html", "page", true),
              }));
}

TEST(ExprTest, SiteAddressForms)
{
    const QString page = QStringLiteral("<a href=a.html>1</a><a href=d/b.html>2</a><a href=/c>3</a>"
                                        "<a href=http://www.example.com/x>4</a>");
    // Joined to the whole site address, page name included.
    EXPECT_EQ(extract(QStringLiteral("<a href=a.html>1</a>"), QStringLiteral("http://www.example.com/dir/index.html")),
              QStringList{rec("http://www.example.com/dir/index.html/a.html", "1", true)});
    // A bare host: only a link without "/" keeps the host; "/c" gives no domain.
    EXPECT_EQ(extract(page, QStringLiteral("www.example.com")),
              (QStringList{rec("www.example.com/a.html", "1", true), rec("www.example.com/d/b.html", "2", false),
                           rec("http://www.example.com/x", "4", true)}));
    // A site whose own domain cannot be worked out lists nothing.
    EXPECT_EQ(extract(page, QStringLiteral("http://intranet/")), QStringList());
    // The site written in capitals with a listed label: two labels only.
    EXPECT_EQ(extract(QStringLiteral("<a href=\"http://WWW.ABC.COM.CN/\">x</a>"), QStringLiteral("http://www.abc.com.cn")),
              QStringList{rec("http://WWW.ABC.COM.CN/", "x", false)});
}

TEST(ExprTest, OddPages)
{
    const QString site = QStringLiteral("http://s.com");
    // An anchor whose text runs over a line break is not found through its
    // own closing tag; a link that gives no domain is skipped, the rest stay.
    EXPECT_EQ(extract(QStringLiteral("<a href=\"x.html\">two\nlines</a>\n"
                                     "<a href=\"http://localhost/\">l</a><a href=\"y.html\">y</a>"),
                      site),
              QStringList{rec("http://s.com/y.html", "y", true)});
    // The separator inside a link or a text is kept as it is.
    EXPECT_EQ(extract(QStringLiteral("<a href=\"p[@m@]q\">t[@m@]u</a>"), site),
              QStringList{rec("http://s.com/p[@m@]q", "t[@m@]u", true)});
    EXPECT_EQ(extract(QString(), site), QStringList());
    EXPECT_EQ(extract(QStringLiteral("<p>no anchors</p>"), site), QStringList());
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
