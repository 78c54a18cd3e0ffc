#include "query/batch.h"
#include "shell/formstate.h"
#include "shell/listcommands.h"

#include <gtest/gtest.h>

namespace {

TEST(ListCommands, DeadLinkCountLooksForTheCrossOnly)
{
    FormState form;
    btn5Click(form);
    EXPECT_EQ(form.lbl5(), QStringLiteral("死链=(0)"));
    btn1Click(form, QStringLiteral("a\nb\nc\nd\ne\nf"));
    const QString access[] = {QStringLiteral("×"), QStringLiteral("--"), QStringLiteral("√"), QStringLiteral("查询中..."), QStringLiteral("查询..."), QStringLiteral("×")};
    for (int i = 0; i < 6; ++i)
        form.lv1.setCell(i, CellAccess, access[i]);
    form.lv1.setCell(1, CellPr, QStringLiteral("×")); // another column does not count
    btn5Click(form);
    EXPECT_EQ(form.lbl5(), QStringLiteral("死链=(2)"));
    EXPECT_EQ(form.lblBlocked(), QStringLiteral("存疑=(0)"));
    form.lv1.setCell(0, CellAccess, QStringLiteral("√"));
    EXPECT_EQ(form.lbl5(), QStringLiteral("死链=(2)")); // taken at each click only
    // "?" is counted apart, never as dead.
    form.lv1.setCell(2, CellAccess, QStringLiteral("?"));
    btn5Click(form);
    EXPECT_EQ(form.lbl5(), QStringLiteral("死链=(1)"));
    EXPECT_EQ(form.lblBlocked(), QStringLiteral("存疑=(1)"));
}

TEST(ListCommands, ClearKeepsLabelsCountersGaugeAndTimer)
{
    FormState form;
    btn1Click(form, QStringLiteral("a\nb\nc"));
    form.curindex = 1;
    form.donecount = 2;
    form.pr1.setValue(2);
    form.setLbl13(QStringLiteral("正在查询：x"));
    N1Click(form);
    EXPECT_EQ(form.lv1.count(), 0);
    EXPECT_EQ(form.lbl2(), QStringLiteral("数量(3)"));
    EXPECT_EQ(form.lbl13(), QStringLiteral("正在查询：x"));
    EXPECT_EQ(form.pr1.value(), 2);
    EXPECT_EQ(form.pr1.maximum(), 3);
    EXPECT_EQ(form.curindex, 1);
    EXPECT_EQ(form.donecount, 2);
    EXPECT_TRUE(form.tmr2.isActive());
}

TEST(VisitTarget, OpensOnlyWebAddresses)
{
    const std::pair<const char *, const char *> cases[] = {
        {"www.a.com/x?q=1", "http://www.a.com/x?q=1"},
        {"http://a.com/", "http://a.com/"},
        {"HTTPS://a.com/p", "https://a.com/p"},
        {"a.com:8080/x", "http://a.com:8080/x"},
        {"127.0.0.1", "http://127.0.0.1"},
        {"", ""},
        {"file:///etc/passwd", ""},
        {"javascript:alert(1)", ""},
        {"mailto:a@b.c", ""},
        {"/usr/bin/xterm", ""},
        {"./run.sh", ""},
        {"c:\\windows\\calc.exe", ""},
        {"ftp://a.com", ""},
        {"smb://host/share", ""},
    };
    for (const auto &[in, out] : cases) {
        const QUrl url = visitTarget(QString::fromUtf8(in));
        if (*out == 0)
            EXPECT_FALSE(url.isValid()) << in;
        else
            EXPECT_EQ(url.toString(), QString::fromUtf8(out)) << in;
    }
}

TEST(ListCommands, VisitSiteOpensTheSelectedRowOnly)
{
    FormState form;
    QList<QUrl> opened;
    const auto recorder = [&](const QUrl &u) { opened << u; };
    N2Click(form, -1, recorder);
    N2Click(form, 0, recorder); // no rows
    EXPECT_TRUE(opened.isEmpty());
    btn1Click(form, QStringLiteral("http://www.a.com/x\njavascript:alert(1)"));
    N2Click(form, -1, recorder);
    N2Click(form, 1, recorder);
    EXPECT_TRUE(opened.isEmpty());
    N2Click(form, 0, recorder);
    ASSERT_EQ(opened.size(), 1);
    EXPECT_EQ(opened.first(), QUrl(QStringLiteral("http://www.a.com/x")));
}

} // namespace
