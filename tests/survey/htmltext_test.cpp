#include "survey/htmltext.h"
#include "survey/regexp.h"

#include <gtest/gtest.h>

namespace {

TEST(LoseHtml, Table)
{
    struct Case
    {
        const char16_t *html;
        const char16_t *text;
    };
    const Case cases[] = {
        {u"", u""},
        {u"<img src=\"a.gif\" alt=x>", u""},
        {u" \t<b> 新闻 </b>\r\n", u"新闻"},
        {u"<script>var a = '<b>';</script>Word", u"Word"},
        {u"<SCRIPT type=x>a</Script>W<Style>p{}</STYLE>o<iframe src=f></iframe>r<object>o</object>d", u"Word"},
        // An empty element: ".+?" covers the ">" of the opening tag.
        {u"<script></script>W", u"W"},
        // A tag whose name begins with an element name starts a removal too.
        {u"<scripts>x</script>W", u"W"},
        // Elements broken over lines keep their content; tags go.
        {u"<script>\nalert(1)\n</script>W", u"alert(1)\nW"},
        // Tags spanning a line feed go; unpartnered brackets stay.
        {u"a<br\nclass=x>b", u"ab"},
        {u"1 < 2, 3 > 2", u"1  2"},
        {u"a<b", u"a<b"},
        {u"<<b>>", u"<>"},
        {u"</a/b>x<//p>", u"x"},
        // Nothing else: references and inner blanks stay, the ideographic space too.
        {u"&amp;  a\n b", u"&amp;  a\n b"},
        {u"\u3000<i>词</i>\u3000", u"\u3000词\u3000"},
    };
    TRegExp myreg;
    for (const Case &c : cases) {
        EXPECT_EQ(losehtml(myreg, QString::fromUtf16(c.html)), QString::fromUtf16(c.text))
            << QString::fromUtf16(c.html).toStdString();
    }
}

} // namespace
