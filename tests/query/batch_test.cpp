#include "query/batch.h"
#include "query/engine.h"
#include "shell/formstate.h"
#include "shell/resultlist.h"

#include <gtest/gtest.h>

namespace {

TEST(NormUrl, Table)
{
    const std::pair<QString, QString> cases[] = {
        {QStringLiteral("http://www.a.com/x"), QStringLiteral("www.a.com/x")},
        {QStringLiteral("HTTP://WWW.A.COM//Path"), QStringLiteral("WWW.A.COM/Path")},
        {QStringLiteral("hTtP://a.com"), QStringLiteral("a.com")},
        {QStringLiteral("a.com"), QStringLiteral("a.com")},
        {QString(), QString()},
        {QStringLiteral("a////b"), QStringLiteral("a/b")},
        {QStringLiteral("a/////b"), QStringLiteral("a//b")},
        {QStringLiteral("a///b//c"), QStringLiteral("a/b/c")},
        {QStringLiteral("a\\\\\\b\\\\c\\d"), QStringLiteral("a\\b\\c\\d")},
        {QStringLiteral("a\\\\\\\\b"), QStringLiteral("a\\b")},
        {QStringLiteral("  http://a.com "), QStringLiteral("  http:/a.com ")}, // not trimmed: no scheme at the start
        {QStringLiteral("ftp://a.com"), QStringLiteral("ftp:/a.com")},
        {QStringLiteral("https://a.com//x"), QStringLiteral("https://a.com/x")},
        {QStringLiteral("HTTPS://A.com///x"), QStringLiteral("HTTPS://A.com/x")},
        {QStringLiteral("http://http://a"), QStringLiteral("http:/a")},
        {QStringLiteral("中文.com//页"), QStringLiteral("中文.com/页")},
    };
    for (const auto &[in, out] : cases)
        EXPECT_EQ(normurl(in), out) << in.toStdString();
}

TEST(EntryLines, FinalBreakIsNoLineButEmptyLinesCount)
{
    EXPECT_EQ(entryLines(QString()), QStringList());
    EXPECT_EQ(entryLines(QStringLiteral("\n")), QStringList {QString()});
    EXPECT_EQ(entryLines(QStringLiteral("a\n\nb\n")), (QStringList {QStringLiteral("a"), QString(), QStringLiteral("b")}));
    EXPECT_EQ(entryLines(QStringLiteral("a\r\nb\rc")), (QStringList {QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")}));
    // A line is read whole, however long.
    const QString longLine = QString(10000, QLatin1Char('x'));
    EXPECT_EQ(entryLines(longLine + QLatin1Char('\n')), QStringList {longLine});
}

TEST(Btn1Click, BuildsNumberedRowsAndStartsTheWalk)
{
    FormState form;
    form.curindex = 7;
    form.donecount = 5;
    btn1Click(form, QStringLiteral("http://www.a.com/x\nHTTP://WWW.B.COM//p\n\nc.org\n"));
    ASSERT_EQ(form.lv1.count(), 4);
    const QString expected[4][6] = {
        {"1", "批量", "--", "www.a.com/x", "查询中...", "查询中..."},
        {"2", "批量", "--", "WWW.B.COM/p", "查询中...", "查询中..."},
        {"3", "批量", "--", "", "--", "--"}, // a blank line is never queried
        {"4", "批量", "--", "c.org", "查询中...", "查询中..."},
    };
    for (int r = 0; r < 4; ++r) {
        EXPECT_EQ(form.lv1.caption(r), expected[r][0]);
        for (int k = 0; k < 5; ++k)
            EXPECT_EQ(form.lv1.cell(r, k), expected[r][k + 1]) << r << "," << k;
    }
    EXPECT_EQ(form.lv1.statusOf(2), QStringLiteral("空行"));
    EXPECT_EQ(form.lbl2(), QStringLiteral("数量(4)"));
    EXPECT_EQ(form.curindex, 0);
    EXPECT_EQ(form.donecount, 0);
    EXPECT_EQ(form.pr1.value(), 0);
    EXPECT_EQ(form.pr1.maximum(), 3); // the rows that will answer
    EXPECT_TRUE(form.tmr2.isActive());
    EXPECT_EQ(form.tmr2.interval(), 1000);
}

// What a paste brings along around an address is not part of it; what is
// inside stays, and an unticked query says "--" from the start.
TEST(Btn1Click, LinesAreTrimmedAndUnaskedQueriesSayDashes)
{
    FormState form;
    form.bschck2 = false;
    btn1Click(form, QStringLiteral("  http://a.com/x \t\n\u3000b.com\u00a0\n \t \n\ufeffc.com/a b\r\n"));
    ASSERT_EQ(form.lv1.count(), 4);
    const QStringList urls = {"a.com/x", "b.com", "", "c.com/a b"};
    for (int r = 0; r < 4; ++r) {
        EXPECT_EQ(form.lv1.cell(r, CellUrl), urls.at(r)) << r;
        EXPECT_EQ(form.lv1.cell(r, CellPr), QStringLiteral("--")) << r;
    }
    EXPECT_EQ(form.lv1.cell(0, CellAccess), QStringLiteral("查询中..."));
    EXPECT_EQ(form.lv1.cell(2, CellAccess), QStringLiteral("--"));
    EXPECT_TRUE(form.lv1.isBlank(2));
    EXPECT_EQ(entryAddress(u"\u200b x \u2028"), QStringView(u"x"));
}

TEST(Btn1Click, EmptyBoxGivesNoRowsAndAnEmptyGauge)
{
    FormState form;
    btn1Click(form, QString());
    EXPECT_EQ(form.lv1.count(), 0);
    EXPECT_EQ(form.lbl2(), QStringLiteral("数量(0)"));
    EXPECT_EQ(form.pr1.value(), 0);
    EXPECT_EQ(form.pr1.maximum(), 0);
    EXPECT_TRUE(form.tmr2.isActive());
}

TEST(Btn1Click, RebuildDuringARunRestartsTheProgressWithoutRestartingTheTimer)
{
    FormState form;
    btn1Click(form, QStringLiteral("a\nb\nc"));
    const int timerId = form.tmr2.timerId();
    const quint64 generation = form.lv1.generation();
    form.curindex = 2;
    form.donecount = 2;
    form.pr1.setValue(2);
    btn1Click(form, QStringLiteral("x\ny"));
    EXPECT_EQ(form.lv1.count(), 2);
    EXPECT_EQ(form.lv1.cell(0, 2), QStringLiteral("x"));
    EXPECT_EQ(form.curindex, 0);
    EXPECT_EQ(form.donecount, 0);
    EXPECT_EQ(form.pr1.value(), 0);
    EXPECT_EQ(form.pr1.maximum(), 2);
    EXPECT_EQ(form.tmr2.timerId(), timerId); // kept running, not restarted
    EXPECT_NE(form.lv1.generation(), generation);
}

// Only the toolbar ranking service (or an interval asked for) is walked at
// the interval.
TEST(ChooseWalk, PacesOnlyTheToolbarService)
{
    const struct
    {
        WalkChoices choices;
        Walk walk;
    } cases[] = {
        {{true, true, RankChoice::Toolbar, false}, Walk::Paced},
        {{true, false, RankChoice::Toolbar, false}, Walk::Paced},
        {{false, true, RankChoice::Toolbar, false}, Walk::Queue},
        {{true, true, RankChoice::OpenPageRank, false}, Walk::Queue},
        {{true, false, RankChoice::OpenPageRank, false}, Walk::Queue},
        {{false, true, RankChoice::OpenPageRank, true}, Walk::Paced},
        {{true, true, RankChoice::OpenPageRank, true}, Walk::Paced},
        {{false, false, RankChoice::Toolbar, true}, Walk::None},
        {{false, false, RankChoice::OpenPageRank, false}, Walk::None},
    };
    for (const auto &c : cases)
        EXPECT_EQ(chooseWalk(c.choices), c.walk) << c.choices.queryPr << c.choices.deadLink << int(c.choices.source) << c.choices.intervalAsked;
}

} // namespace
