#include "base/errors.h"
#include "survey/regexp.h"

#include <QRandomGenerator>
#include <QRegularExpression>
#include <QStringList>

#include <gtest/gtest.h>

#include <functional>
#include <iterator>
#include <vector>

namespace {

// Every match as its value followed by "|" and each group.
QStringList describe(const TMatchCollection &matches)
{
    QStringList out;
    for (qsizetype i = 0; i < matches.Count(); ++i) {
        const TMatch &m = matches.Item(i);
        QString row = m.Value();
        for (qsizetype g = 0; g < m.SubMatches().Count(); ++g)
            row += u'|' + m.SubMatches().Item(g);
        out.append(row);
    }
    return out;
}

QStringList run(const QString &pattern, const QString &text, bool ignoreCase = true, bool global = true)
{
    TRegExp re;
    re.setPattern(pattern);
    re.setIgnoreCase(ignoreCase);
    re.setGlobal(global);
    return describe(re.Execute(text));
}

QString raised(const std::function<void()> &body)
{
    try {
        body();
    } catch (const AppError &e) {
        return e.message();
    }
    return QStringLiteral("(nothing raised)");
}

struct FlavourCase
{
    const char16_t *pattern;
    const char16_t *text;
    std::vector<const char16_t *> matches;
    bool ignoreCase = true;
};

TEST(TRegExpFlavour, Table)
{
    const FlavourCase cases[] = {
        // "." stops at a line feed only.
        {u"a.b", u"a\rb a\nb a\tb", {u"a\rb", u"a\tb"}},
        // A negated class crosses line feeds.
        {u"<[^<>]*>", u"<a\nb> <c>", {u"<a\nb>", u"<c>"}},
        // Lazy quantifiers take as little as lets the rest match.
        {u"<(.+?)>", u"<a><b>", {u"<a>|a", u"<b>|b"}},
        {u"<(.*?)x", u"<aaxbx", {u"<aax|aa"}},
        // An optional quote first tries to match.
        {u"=[\\'\"]?(.+?)[\\'\"]?>", u"=\"u\">", {u"=\"u\">|u"}},
        // (?:...) does not capture.
        {u"(?:a|b)+(c)", u"abc", {u"abc|c"}},
        // Escapes of ordinary characters stand for themselves; \t \r \n.
        {u"<\\/a\\'\\q\\A\\z", u"</a'qAz", {u"</a'qAz"}},
        {u"\\t\\r\\n", u"x\t\r\ny", {u"\t\r\n"}},
        {u"\\s+", u"a \t\v\f\r\nb", {u" \t\v\f\r\n"}},
        {u"\\w+\\W\\d\\D\\S\\f", u"a_1 2x!\f", {u"a_1 2x!\f"}},
        {u"\\bb\\B", u"ab bc", {u"b"}},
        {u"\\u4e2d.", u"中文", {u"中文"}},
        // Folding as the dialect folds: the long s and the Kelvin sign stay apart.
        {u"<script", u"<SCRIPT <ScRiPt <ſcript", {u"<SCRIPT", u"<ScRiPt"}},
        {u"[a-z]+", u"AbKſ", {u"AbK"}},
        {u"[^a-z]", u"AbKſ", {u"ſ"}},
        {u"ä", u"Ä", {u"Ä"}},
        {u"ä", u"Ä", {}, false},
        {u"[^中]+", u"中文中", {u"文"}},
        // Global resumes at the end of the previous match.
        {u"aa", u"aaaaa", {u"aa", u"aa"}},
        // An empty match steps over one character.
        {u"x*", u"a😀", {u"", u"", u""}},
        // [] matches nothing, [^] anything.
        {u"a[]?b", u"ab", {u"ab"}},
        {u"a[^]b", u"a\nb", {u"a\nb"}},
        // A hyphen after a set is a character; "{" that is no count is one too.
        {u"[\\d-z]+", u"1-z", {u"1-z"}},
        {u"a{,2}b{2}", u"a{,2}bb", {u"a{,2}bb"}},
        // A character outside the 16-bit range is one character.
        {u"<b>(.)</b>", u"中<b>😀</b>", {u"<b>😀</b>|😀"}},
    };
    for (const FlavourCase &c : cases) {
        QStringList expected;
        for (const char16_t *m : c.matches)
            expected.append(QString::fromUtf16(m));
        EXPECT_EQ(run(QString::fromUtf16(c.pattern), QString::fromUtf16(c.text), c.ignoreCase), expected)
            << "pattern " << QString::fromUtf16(c.pattern).toStdString();
    }
}

// The stored patterns against a backtracking engine with the same flavour for
// them (its "." also stops at a line feed only), on random pages built from
// the pieces that matter to them.
TEST(TRegExpFlavour, StoredPatternsAgreeWithABacktrackingEngine)
{
    const QString patterns[] = {
        QStringLiteral("<a.*?(?: |\\t|\\r|\\n)?href=[\\'\"]?(.+?)[\\'\"]?(?:(?: |\\t|\\r|\\n)+.*?)?>(.*?)<\\/a.*?>"),
        QStringLiteral("<script(.+?)</script>"),
        QStringLiteral("<style(.+?)</style>"),
        QStringLiteral("<\\/*[^<>]*>"),
    };
    const char16_t *pieces[] = {u"<a", u"<A", u" ", u"\n", u"\r", u"\t", u"href=", u"HrEf=", u"'", u"\"", u">",
        u"</a", u"</A", u"</a>", u"x", u"中", u"😀", u"<", u"/", u"<b>", u"<script",
        u"</script>", u"<STYLE>", u"</style>", u"=", u"<ab"};
    QRandomGenerator random(20240520);
    for (const QString &pattern : patterns) {
        const QRegularExpression oracle(pattern, QRegularExpression::CaseInsensitiveOption);
        ASSERT_TRUE(oracle.isValid());
        TRegExp re;
        re.setGlobal(true);
        re.setIgnoreCase(true);
        re.setPattern(pattern);
        for (int round = 0; round < 1500; ++round) {
            QString text;
            const int length = random.bounded(1, 30);
            for (int i = 0; i < length; ++i)
                text += QString::fromUtf16(pieces[random.bounded(int(std::size(pieces)))]);
            QStringList expected;
            for (auto it = oracle.globalMatch(text); it.hasNext();) {
                const QRegularExpressionMatch m = it.next();
                QString row = m.captured(0);
                for (int g = 1; g <= oracle.captureCount(); ++g)
                    row += u'|' + m.captured(g);
                expected.append(row);
            }
            ASSERT_EQ(describe(re.Execute(text)), expected) << "pattern " << pattern.toStdString() << " text " << text.toStdString();
        }
    }
}

TEST(TRegExpFlavour, GlobalOffFindsTheFirstOnly)
{
    EXPECT_EQ(run(QStringLiteral("a."), QStringLiteral("a1a2"), true, false), QStringList {QStringLiteral("a1")});
    TRegExp re;
    re.setPattern(QStringLiteral("a"));
    EXPECT_EQ(re.Replace(QStringLiteral("aXa"), QStringLiteral("b")), QStringLiteral("bXa"));
}

TEST(TRegExpFlavour, MultilineAnchorsAtLineFeeds)
{
    TRegExp re;
    re.setGlobal(true);
    re.setPattern(QStringLiteral("^b$"));
    EXPECT_EQ(re.Execute(QStringLiteral("a\nb\nb")).Count(), 0);
    re.setMultiline(true);
    EXPECT_EQ(re.Execute(QStringLiteral("a\nb\nb")).Count(), 2);
}

TEST(TRegExpMatches, SubMatchesCountEveryGroup)
{
    TRegExp re;
    re.setPattern(QStringLiteral("(a)|(b)(?:c)?"));
    const TMatchCollection m = re.Execute(QStringLiteral("b"));
    ASSERT_EQ(m.Count(), 1);
    const TSubMatches &subs = m.Item(0).SubMatches();
    EXPECT_EQ(subs.Count(), 2);
    EXPECT_EQ(subs.Item(0), QString());
    EXPECT_EQ(subs.Item(1), QStringLiteral("b"));
    EXPECT_NE(raised([&] { subs.Item(2); }), QStringLiteral("(nothing raised)"));
    EXPECT_NE(raised([&] { m.Item(1); }), QStringLiteral("(nothing raised)"));

    re.setPattern(QStringLiteral("z"));
    EXPECT_EQ(re.Execute(QStringLiteral("abc")).Count(), 0);
}

TEST(TRegExpMatches, OffsetsCountCharactersNotBytes)
{
    // Chinese, a pair of surrogates and a lone surrogate ahead of the match.
    const QString text = QStringLiteral("中文😀") + QChar(0xD800) + QStringLiteral("<i>é</i>");
    TRegExp re;
    re.setPattern(QStringLiteral("<i>(.)</i>"));
    const TMatchCollection m = re.Execute(text);
    ASSERT_EQ(m.Count(), 1);
    EXPECT_EQ(m.Item(0).FirstIndex(), 5);
    EXPECT_EQ(m.Item(0).Length(), 8);
    EXPECT_EQ(m.Item(0).SubMatches().Item(0), QStringLiteral("é"));
}

TEST(TRegExpMatches, TextsWithAndWithoutSurrogatesAgree)
{
    // A character outside the 16-bit range sends the text down the general
    // reading; one without takes the quicker one. Both give the same matches.
    const QString page = QStringLiteral("<p>中文</p><a href=\"/新闻\">今日 <b>要闻</b></a>\n"
                                        "<A\nHREF='x.html' title=\"标题\">二</a ><a href=y>\u00e9\r</a>");
    const QString pattern = QStringLiteral("<a.*?(?: |\\t|\\r|\\n)?href=[\\'\"]?(.+?)[\\'\"]?(?:(?: |\\t|\\r|\\n)+.*?)?>(.*?)<\\/a.*?>");
    auto offsets = [&](const QString &text) {
        TRegExp re;
        re.setGlobal(true);
        re.setIgnoreCase(true);
        re.setPattern(pattern);
        const TMatchCollection m = re.Execute(text);
        QStringList out = describe(m);
        for (qsizetype i = 0; i < m.Count(); ++i)
            out.append(QString::number(m.Item(i).FirstIndex()) + u',' + QString::number(m.Item(i).Length()));
        return out;
    };
    const QStringList plain = offsets(page);
    EXPECT_EQ(plain, offsets(page + QStringLiteral("😀")));
    EXPECT_EQ(plain, (QStringList {QStringLiteral("<a href=\"/新闻\">今日 <b>要闻</b></a>|/新闻|今日 <b>要闻</b>"), QStringLiteral("<A\nHREF='x.html' title=\"标题\">二</a >|x.html|二"), QStringLiteral("<a href=y>\u00e9\r</a>|y|\u00e9\r"), QStringLiteral("9,30"), QStringLiteral("40,34"), QStringLiteral("74,16")}));
}

TEST(TRegExpReplace, KeepsUnmatchedTextExactly)
{
    const QChar lone(0xDC01);
    const QString text = QString(lone) + QStringLiteral("a<b>😀") + lone + QStringLiteral("<") + lone + QStringLiteral(">z");
    TRegExp re;
    re.setGlobal(true);
    re.setPattern(QStringLiteral("<[^<>]*>"));
    EXPECT_EQ(re.Replace(text, QString()), QString(lone) + QStringLiteral("a😀") + lone + QStringLiteral("z"));
}

TEST(TRegExpReplace, Substitutions)
{
    TRegExp re;
    re.setGlobal(true);
    re.setPattern(QStringLiteral("(b)(x)?"));
    EXPECT_EQ(re.Replace(QStringLiteral("abc"), QStringLiteral("[$1|$2|$&|$$|$`|$'|$3|$01|$]$")),
        QStringLiteral("a[b||b|$|a|c|$3|b|$]$c"));
}

TEST(TRegExpErrors, RejectedPatternRaisesAtEveryUse)
{
    struct Case
    {
        const char *pattern;
        const char *description;
    };
    const Case cases[] = {
        {"(a", "missing ): (a"},
        {"a[b", "missing ]: a[b"},
        {"(.)\\1", "invalid escape sequence: (.)\\1"},
        {"(?=a)", "invalid or unsupported Perl syntax: (?=a)"},
        {"(?i)a", "invalid or unsupported Perl syntax: (?i)a"},
        {"[z-a]", "invalid character class range: [z-a]"},
        {"a**", "bad repetition operator: a**"},
        {"a\\", "trailing \\: a\\"},
    };
    for (const Case &c : cases) {
        TRegExp re;
        re.setPattern(QString::fromUtf8(c.pattern));
        EXPECT_EQ(raised([&] { re.Execute(QStringLiteral("a")); }), QString::fromUtf8(c.description));
        EXPECT_EQ(raised([&] { re.Replace(QStringLiteral("a"), QString()); }), QString::fromUtf8(c.description));
    }
}

TEST(TRegExpErrors, EngineOutOfMemoryIsNeverNoMatch)
{
    // A page on which the matcher's state cache overflows many times.
    QString page;
    for (int i = 0; i < 300; ++i)
        page += QStringLiteral("<a class=c%1 href='/p%1'>t%1 <i>x</i></a><a\n").arg(i);
    const QString pattern = QStringLiteral("<a.*?(?: |\\t|\\r|\\n)?href=[\\'\"]?(.+?)[\\'\"]?(?:(?: |\\t|\\r|\\n)+.*?)?>(.*?)<\\/a.*?>");

    TRegExp roomy;
    roomy.setGlobal(true);
    roomy.setIgnoreCase(true);
    roomy.setPattern(pattern);
    const QStringList expected = describe(roomy.Execute(page));
    ASSERT_EQ(expected.size(), 300);

    TRegExp tight;
    tight.setGlobal(true);
    tight.setIgnoreCase(true);
    tight.setPattern(pattern);
    tight.setMemoryBudget(40 << 10);
    EXPECT_EQ(describe(tight.Execute(page)), expected);

    // Too little room even for the pattern: raised, not "no match".
    tight.setMemoryBudget(2 << 10);
    EXPECT_TRUE(raised([&] { tight.Execute(page); }).startsWith(QStringLiteral("pattern too large")));
}

TEST(RegDelete, SetsItsOptionsOnEveryCall)
{
    TRegExp myreg;
    myreg.setGlobal(false);
    myreg.setIgnoreCase(false);
    myreg.setPattern(QStringLiteral("zzz"));
    EXPECT_EQ(regdelete(myreg, QStringLiteral("<B>"), QStringLiteral("<b>x<B>y<b>")), QStringLiteral("xy"));
    EXPECT_TRUE(myreg.Global());
    EXPECT_TRUE(myreg.IgnoreCase());
    EXPECT_EQ(myreg.Pattern(), QStringLiteral("<B>"));
    // Cycling between patterns on one instance gives each its own result.
    for (int round = 0; round < 2; ++round) {
        EXPECT_EQ(regdelete(myreg, QStringLiteral("<script(.+?)</script>"), QStringLiteral("<script></script>a")), QStringLiteral("a"));
        EXPECT_EQ(regdelete(myreg, QStringLiteral("<script(.+?)</script>"), QStringLiteral("<script>\n</script>a")),
            QStringLiteral("<script>\n</script>a"));
        EXPECT_EQ(regdelete(myreg, QStringLiteral("<\\/*[^<>]*>"), QStringLiteral("<p\nclass=x>a</p>")), QStringLiteral("a"));
    }
}

} // namespace
