// Hostile pages: each is read in bounded memory and time, lists the links it
// can, and says when it was read within a bound.

#include "data/storedtext.h"
#include "survey/htmllinks.h"
#include "survey/htmltree.h"
#include "survey/linkextract.h"
#include "survey/markupbounds.h"

#include <QElapsedTimer>
#include <QFile>

#include <gtest/gtest.h>

#include <future>
#include <vector>

namespace {

const QString kSite = QStringLiteral("http://s.com/");

QString repeated(const QString &unit, int times)
{
    QString s;
    s.reserve(unit.size() * times);
    for (int i = 0; i < times; ++i)
        s += unit;
    return s;
}

// The process's peak resident memory since the last reset, in MB.
class PeakMemory
{
public:
    PeakMemory()
    {
        QFile reset(QStringLiteral("/proc/self/clear_refs"));
        m_works = reset.open(QIODevice::WriteOnly) && reset.write("5") == 1;
    }
    bool works() const { return m_works; }
    qint64 megabytes() const
    {
        QFile status(QStringLiteral("/proc/self/status"));
        if (!status.open(QIODevice::ReadOnly))
            return -1;
        for (const QByteArray &line : status.readAll().split('\n')) {
            if (line.startsWith("VmHWM:"))
                return line.mid(6).trimmed().split(' ').value(0).toLongLong() / 1024;
        }
        return -1;
    }

private:
    bool m_works = false;
};

struct Hostile
{
    const char *name;
    QString page;
    int links; // found by the HTML reader
    ReadLimit::Kind limit;
};

// Pages that took gigabytes or minutes before their reading was bounded:
// every parse error copied the stack of open elements, every character
// scanned it, and formatting elements left open were built again and again.
std::vector<Hostile> hostilePages()
{
    const QString link = QStringLiteral("<a href=/x>x</a>");
    std::vector<Hostile> pages;
    // 450 KB: 30,000 tables, one in the cell of the other.
    pages.push_back({"nested tables", link + repeated(QStringLiteral("<table><tr><td>"), 30000) + link, 2, ReadLimit::Kind::Depth});
    // 1.6 MB: a deep stack, then a long text in a formatting element.
    pages.push_back({"deep text", repeated(QStringLiteral("<div>"), 20000) + QStringLiteral("<b>") + link + QString(1500000, u'x') + link, 2, ReadLimit::Kind::Depth});
    // A formatting element left open in every paragraph.
    QString paragraphs;
    for (int i = 0; i < 60000; ++i)
        paragraphs += QStringLiteral("<p><b id=%1>x</p>").arg(i);
    pages.push_back({"formatting left open", paragraphs + link, 1, ReadLimit::Kind::None});
    // Nested formatting, and stray end tags under a deep stack.
    pages.push_back({"nested bold", repeated(QStringLiteral("<b>"), 200000) + link, 1, ReadLimit::Kind::Depth});
    pages.push_back({"stray end tags", repeated(QStringLiteral("<div>"), 5000) + repeated(QStringLiteral("</x>"), 200000) + link, 1, ReadLimit::Kind::Depth});
    // One tag of a million attributes.
    pages.push_back({"endless tag", link + QStringLiteral("<a ") + repeated(QStringLiteral("x "), 1000000) + QStringLiteral(">"), 1, ReadLimit::Kind::Attributes});
    return pages;
}

TEST(HostilePages, BoundedAndLinksListed)
{
    for (const Hostile &h : hostilePages()) {
        SCOPED_TRACE(h.name);
        PeakMemory peak;
        QElapsedTimer clock;
        clock.start();
        const LinkSurvey html = surveyPage(LinkReader::Html, QString(), h.page, kSite, kSite);
        const qint64 ms = clock.elapsed();
        EXPECT_EQ(html.records.size(), h.links);
        EXPECT_EQ(html.limit.kind, h.limit);
        EXPECT_EQ(html.limit.text().startsWith(QStringLiteral("解析受限")), h.limit != ReadLimit::Kind::None);
        // Before: gigabytes (23 GB for the tables, then killed), minutes.
        if (peak.works()) {
            EXPECT_LT(peak.megabytes(), 400) << "MB at the peak";
        }
        EXPECT_LT(ms, 15000);

        // The pattern reads in linear time whatever the markup.
        clock.restart();
        const LinkSurvey pattern = surveyPage(LinkReader::Pattern, storedtext::linkPattern(), h.page, kSite, kSite);
        EXPECT_FALSE(pattern.limit.limited());
        EXPECT_LT(clock.elapsed(), 15000);
    }
}

// What the reading leaves out of a page, and what it keeps.
TEST(HostilePages, BoundMarkup)
{
    struct Case
    {
        const char *name;
        QByteArray in;
        QByteArray out;
        ReadLimit::Kind limit;
        int maxDepth = MarkupBounds().maxDepth;
    } cases[] = {
        {"an ordinary page stays as it is",
            "<html><body><p>a<p>b<ul><li>1<li>2</ul><table><tr><td>x<td>y<tr><td>z</table>"
            "<script>if (a<b) '<div>'</script><!-- <div> --><font><a href=/x>x</a></font></body></html>",
            "<html><body><p>a<p>b<ul><li>1<li>2</ul><table><tr><td>x<td>y<tr><td>z</table>"
            "<script>if (a<b) '<div>'</script><!-- <div> --><font><a href=/x>x</a></font></body></html>",
            ReadLimit::Kind::None},
        {"a repeated attribute goes, the first stays", "<a class=x CLASS='y>' href=/z>t</a>", "<a class=x  href=/z>t</a>", ReadLimit::Kind::None},
        {"a formatting element a closing passes goes", "<p><font color=red>a</p>b", "<p>a</p>b", ReadLimit::Kind::None},
        {"a link a closing passes stays", "<div><a href=/x>a</div>b", "<div><a href=/x>a</div>b", ReadLimit::Kind::None},
        {"deeper than the bound", "<div><div><div><a href=/x><div>x</div></a>", "<div><div><a href=/x>x</div></a>", ReadLimit::Kind::Depth, 2},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        MarkupBounds bounds;
        bounds.maxDepth = c.maxDepth;
        const BoundedMarkup b = boundMarkup(c.in, bounds);
        EXPECT_EQ(b.bytes, c.out);
        EXPECT_EQ(b.limit.kind, c.limit);
    }
    // The parser, recording no errors, would have read the repeated
    // attribute's name into the next one and lost the href.
    HtmlLinkExtractor extractor;
    const PageLinks found = extractor.extract(QStringLiteral("<a class=x class=y href=/z>t</a>"));
    ASSERT_EQ(found.links.size(), 1u);
    EXPECT_EQ(found.links[0].href, QStringLiteral("/z"));
}

// Beyond the bounds of the markup the parse has a budget of its own: the page
// is read again, shorter, and the tree is that of the part read.
TEST(HostilePages, ParseBudget)
{
    QString page;
    for (int i = 0; i < 40000; ++i)
        page += QStringLiteral("<a href=/p%1>%1</a>").arg(i);
    const QByteArray utf8 = page.toUtf8();

    TreeBudget small;
    small.maxBytes = std::size_t(8) << 20;
    const HtmlTree tree(utf8, small);
    EXPECT_EQ(tree.limit().kind, ReadLimit::Kind::Memory);
    EXPECT_GT(tree.limit().readBytes, 0);
    EXPECT_LT(tree.limit().readBytes, utf8.size());
    EXPECT_LE(tree.peakBytes(), small.maxBytes);
    EXPECT_TRUE(tree.limit().text().contains(QString::number(tree.limit().readBytes)));
    ASSERT_NE(tree.document(), nullptr);

    TreeBudget none;
    none.maxTime = std::chrono::milliseconds(0);
    const HtmlTree late(utf8, none);
    EXPECT_EQ(late.limit().kind, ReadLimit::Kind::Time);
    EXPECT_EQ(late.limit().readBytes, 0);
    ASSERT_NE(late.document(), nullptr);

    const HtmlTree whole(utf8);
    EXPECT_FALSE(whole.limit().limited());
    EXPECT_EQ(whole.limit().readBytes, utf8.size());
}

// Surveys on several threads at once share nothing.
TEST(HostilePages, SurveysOnThreads)
{
    QString page;
    for (int i = 0; i < 3000; ++i)
        page += QStringLiteral("<p><a href=\"/p%1?a=1&amp;b=2\">第%1&nbsp;页</a>\n").arg(i);
    const QString pattern = storedtext::linkPattern();
    const LinkSurvey html = surveyPage(LinkReader::Html, pattern, page, kSite, kSite);
    const LinkSurvey byPattern = surveyPage(LinkReader::Pattern, pattern, page, kSite, kSite);
    ASSERT_EQ(html.records.size(), 3000);
    std::vector<std::future<LinkSurvey>> runs;
    for (int t = 0; t < 4; ++t) {
        const LinkReader reader = t % 2 ? LinkReader::Html : LinkReader::Pattern;
        runs.push_back(std::async(std::launch::async, [=] { return surveyPage(reader, pattern, page, kSite, kSite); }));
    }
    for (int t = 0; t < 4; ++t)
        EXPECT_EQ(runs[size_t(t)].get().records, t % 2 ? html.records : byPattern.records);
}

} // namespace
