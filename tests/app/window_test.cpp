#include "app/Unit1.h"
#include "app/detailspane.h"
#include "app/rowdelegate.h"
#include "app/statuschart.h"
#include "base/filenames.h"
#include "base/guard.h"
#include "query/dispatch.h"
#include "shell/resultproxy.h"
#include "support/errorrecorder.h"
#include "support/loopserver.h"
#include "support/windowtesting.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSettings>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTextCursor>
#include <QToolButton>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

namespace {

// A window that reaches nothing outside the test: no banner, a loopback pool,
// dialogs and the browser answered by recorders.
struct WindowFixture : ::testing::Test
{
    QString openAnswer;
    QString saveAnswer;
    QString saveFilter; // the filter the save dialog answers with; empty: its first
    QStringList dialogTitles;
    QList<FileDialogQuestion> saveQuestions;
    QList<QUrl> opened;
    QStringList errors;
    prqtest::ErrorRecorder recorder {errors};
    std::unique_ptr<TForm1> form;

    void SetUp() override
    {
        WindowEndpoints endpoints;
        endpoints.servers = {QStringLiteral("127.0.0.1:9")};
        WindowSeams seams;
        seams.openFile = [this](const FileDialogQuestion &q) {
            dialogTitles << q.title << q.filters.join(QLatin1String(";;"));
            return FileDialogAnswer {openAnswer, q.filters.value(0)};
        };
        seams.saveFile = [this](const FileDialogQuestion &q) {
            dialogTitles << q.title << q.filters.join(QLatin1String(";;"));
            saveQuestions << q;
            return FileDialogAnswer {saveAnswer, saveFilter.isEmpty() ? q.filters.value(0) : saveFilter};
        };
        seams.openUrl = [this](const QUrl &u) { opened << u; };
        form = std::make_unique<TForm1>(endpoints, seams);
        form->show();
        QCoreApplication::processEvents();
    }
    void TearDown() override
    {
        form.reset();
    }
    template<typename T>
    T *child(const char *name)
    {
        T *w = form->findChild<T *>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    QTableView *list() { return child<QTableView>("lv1"); }
    QStringList shown(int c) { return prqtest::shownColumn(list(), c); }
    void clickHeader(int c) { prqtest::clickHeader(list(), c); }
    // A list of rows from the entry box, with PR and 访问 cells set.
    void fill(const QStringList &addresses, const QStringList &pr, const QStringList &access)
    {
        form->setEntryText(addresses.join(QLatin1Char('\n')));
        form->btn1Click();
        form->state().tmr2.stop(); // the cells below stand for the answers
        for (int r = 0; r < addresses.size(); ++r) {
            form->state().lv1.setCell(r, 4, pr.at(r));
            form->state().lv1.setCell(r, 3, access.at(r));
        }
    }
};

TEST_F(WindowFixture, StartState)
{
    EXPECT_EQ(form->windowTitle(), QStringLiteral("KelvrayGoogle PR批量查询工具V1.0"));
    EXPECT_GE(form->width(), 682);
    EXPECT_EQ(form->height(), 700);
    EXPECT_TRUE(errors.isEmpty());

    const std::pair<const char *, const char *> texts[] = {
        {"btn1", "批量查询PR"},
        {"btn3", "整站查询"},
        {"btn4", "导入查询列表"},
        {"btn2", "导出"},
        {"btn5", "统计死链"},
    };
    for (const auto &[name, text] : texts)
        EXPECT_EQ(child<QPushButton>(name)->text(), QString::fromUtf8(text)) << name;
    const std::pair<const char *, const char *> labels[] = {
        {"lbl1", "批量查询PR值，在下面文本框中输入查询地址，每行一个。整站查询请在上面输入域名。"},
        {"lbl12", "整站PR查询，请在下面输入您的域名："},
        {"lbl6", "注意：查询太频繁会被GOOGLE屏蔽IP"},
        {"lbl13", "提示：输入网址开始PR整站查询"},
        {"lbl4", "查询频率："},
        {"lbl3", "毫秒"},
        {"lbl5", "死链=(0)"},
        {"lbl2", "数量(0)"},
    };
    for (const auto &[name, text] : labels)
        EXPECT_EQ(child<QLabel>(name)->text(), QString::fromUtf8(text)) << name;
    EXPECT_EQ(child<QLabel>("lbl6")->palette().color(QPalette::WindowText), QColor(Qt::red));
    EXPECT_TRUE(child<QLabel>("lbl6")->isVisible()); // the toolbar source is chosen

    for (const char *name : {"bschck1", "bschck2", "bschck3"})
        EXPECT_TRUE(child<QCheckBox>(name)->isChecked()) << name;
    EXPECT_EQ(child<QCheckBox>("bschck1")->text(), QStringLiteral("只导出网址和PR"));
    EXPECT_EQ(child<QCheckBox>("bschck2")->text(), QStringLiteral("查询PR"));
    EXPECT_EQ(child<QCheckBox>("bschck3")->text(), QStringLiteral("死链检测"));
    EXPECT_EQ(child<QCheckBox>("bschck4")->text(), QStringLiteral("按HTML解析"));
    EXPECT_FALSE(child<QCheckBox>("bschck4")->isChecked());
    EXPECT_TRUE(child<QWidget>("siteStrip")->isAncestorOf(child<QCheckBox>("bschck4")));
    EXPECT_EQ(child<QLineEdit>("edt6")->text(), QStringLiteral("http://"));
    EXPECT_EQ(child<QLineEdit>("edt6")->width(), 321);
    EXPECT_TRUE(child<QPlainTextEdit>("memo1")->toPlainText().isEmpty());
    EXPECT_TRUE(child<QRadioButton>("rdlist1_0")->isChecked());
    EXPECT_EQ(child<QRadioButton>("rdlist1_0")->text(), QStringLiteral("所有链接"));
    EXPECT_EQ(child<QRadioButton>("rdlist1_1")->text(), QStringLiteral("站内链接"));
    EXPECT_EQ(child<QRadioButton>("rdlist1_2")->text(), QStringLiteral("站外链接"));

    auto *spin = child<QSpinBox>("bsknspndt1");
    EXPECT_EQ(spin->value(), 1000);
    EXPECT_EQ(spin->minimum(), 200);
    EXPECT_EQ(spin->maximum(), 100000);
    EXPECT_EQ(spin->singleStep(), 100);
    EXPECT_FALSE(form->state().tmr2.isActive());
    EXPECT_EQ(form->state().tmr2.interval(), 1000);

    auto *gauge = child<QProgressBar>("pr1");
    EXPECT_EQ(gauge->value(), 0);
    EXPECT_EQ(form->state().pr1.maximum(), 100);
    EXPECT_FALSE(gauge->isTextVisible()); // no numbers before a list is built

    auto *list = child<QTableView>("lv1");
    EXPECT_TRUE(list->showGrid());
    EXPECT_EQ(list->selectionBehavior(), QAbstractItemView::SelectRows);
    EXPECT_EQ(list->selectionMode(), QAbstractItemView::ExtendedSelection);
    EXPECT_EQ(list->horizontalHeader()->sortIndicatorSection(), -1); // list order
    const int widths[] = {50, 50, 100, 310, 50, 80};
    for (int c = 0; c < 6; ++c) {
        if (c == 3) {
            EXPECT_GE(list->columnWidth(c), widths[c]);
        } else {
            EXPECT_EQ(list->columnWidth(c), widths[c]);
        }
    }
    // 状态 holds a two-hop chain whole; 来源 and 变化 are shown, 耗时,
    // 最终网址, 深度 and 孤立 wait to be chosen.
    EXPECT_GE(list->columnWidth(6), list->fontMetrics().horizontalAdvance(QStringLiteral("302→301→200")));
    EXPECT_FALSE(list->isColumnHidden(ColumnSources));
    EXPECT_FALSE(list->isColumnHidden(ColumnChange));
    for (const int c : {ColumnElapsed, ColumnFinalUrl, ColumnDepth, ColumnOrphan})
        EXPECT_TRUE(list->isColumnHidden(c)) << c;
    // Every column shown fits the view: no sideways scroll at the start.
    QCoreApplication::processEvents();
    EXPECT_EQ(list->horizontalScrollBar()->maximum(), 0);
    EXPECT_LE(list->horizontalHeader()->sectionViewportPosition(6) + list->columnWidth(6), list->viewport()->width());
    EXPECT_EQ(child<QPushButton>("btnStop")->text(), QStringLiteral("停止"));
    auto *filter = child<QComboBox>("cbbFilter");
    ASSERT_EQ(filter->count(), 11);
    EXPECT_EQ(filter->currentText(), QStringLiteral("全部"));
    EXPECT_EQ(filter->itemText(1), QStringLiteral("只看死链"));
    EXPECT_EQ(filter->itemText(2), QStringLiteral("只看正常"));
    EXPECT_FALSE(child<QWidget>("detailsPane")->isVisible()); // until a row is selected
    EXPECT_EQ(filter->itemText(3), QStringLiteral("只看存疑"));
    EXPECT_EQ(filter->itemText(ResultListProxy::ShowChanged), QStringLiteral("只看变化"));
    EXPECT_EQ(child<QLabel>("lblBlocked")->text(), QStringLiteral("存疑=(0)"));
    EXPECT_TRUE(child<QCheckBox>("chkSoft404")->isChecked());
    EXPECT_EQ(child<QCheckBox>("chkSoft404")->text(), QStringLiteral("软404检测"));

    // How far 整站查询 goes: the site page alone at start.
    auto *depth = child<QSpinBox>("spnDepth");
    auto *maxPages = child<QSpinBox>("spnMaxPages");
    EXPECT_EQ(child<QLabel>("lblDepth")->text(), QStringLiteral("抓取深度"));
    EXPECT_EQ(child<QLabel>("lblMaxPages")->text(), QStringLiteral("最多页面"));
    EXPECT_EQ(depth->value(), 1);
    EXPECT_EQ(depth->minimum(), 1);
    EXPECT_EQ(depth->maximum(), 100);
    EXPECT_EQ(maxPages->value(), 10000);
    EXPECT_EQ(maxPages->minimum(), 1);
    EXPECT_EQ(maxPages->maximum(), 10000000);
    EXPECT_EQ(child<QComboBox>("cbbScope")->currentIndex(), 0);
    EXPECT_EQ(child<QCheckBox>("bschckRobots")->text(), QStringLiteral("遵守robots"));
    EXPECT_EQ(child<QCheckBox>("bschckSitemap")->text(), QStringLiteral("读取sitemap"));
    EXPECT_TRUE(child<QCheckBox>("bschckRobots")->isChecked());
    EXPECT_TRUE(child<QCheckBox>("bschckSitemap")->isChecked());
    EXPECT_TRUE(child<QWidget>("siteStrip")->isAncestorOf(depth));
    depth->setValue(3);
    maxPages->setValue(50);
    child<QComboBox>("cbbScope")->setCurrentIndex(1);
    child<QCheckBox>("bschckRobots")->setChecked(false);
    child<QCheckBox>("bschckSitemap")->setChecked(false);
    const CrawlSettings &crawl = form->state().crawl;
    EXPECT_EQ(crawl.depth, 3);
    EXPECT_EQ(crawl.maxPages, 50);
    EXPECT_EQ(crawl.scope, CrawlSettings::Scope::Prefix);
    EXPECT_FALSE(crawl.robots);
    EXPECT_FALSE(crawl.sitemap);
    EXPECT_FALSE(child<QWidget>("WebBrowser1")->isVisible()); // no banner address

    auto *menu = child<QMenu>("bsknpmn1");
    QStringList items;
    for (QAction *a : menu->actions()) {
        items << a->text();
        EXPECT_TRUE(a->isEnabled());
    }
    EXPECT_EQ(items, (QStringList {QStringLiteral("重新查询"), QStringLiteral("导出文本"), QStringLiteral("清空列表"), QStringLiteral("打开网址"), QStringLiteral("复制"), QStringLiteral("打开来源页"), QStringLiteral("复制网址"), QStringLiteral("复制最终网址")}));
    EXPECT_EQ(form->state().iplist, QStringList {QStringLiteral("127.0.0.1:9")});
    EXPECT_EQ(form->state().linkexpr.size(), 79);
}

// The regions above the list keep their heights; the list (with the details
// below it) takes the rest, the banner's too when there is no banner address;
// 网址 takes the width.
TEST_F(WindowFixture, OnlyTheResultListGrowsWithTheWindow)
{
    constexpr int Panel = 281;
    constexpr int Banner = 62;
    constexpr int GaugeBlock = 44;
    constexpr int Strip = 32;
    // With a banner address the banner region stands between panel and gauge.
    auto withBanner = prqtest::makeWindow({QStringLiteral("127.0.0.1:9")}, QStringLiteral("http://127.0.0.1:%1/").arg(prqtest::closedLoopbackPort()));
    QCoreApplication::processEvents();
    auto *banner = withBanner->findChild<QWidget *>(QStringLiteral("WebBrowser1"));
    ASSERT_TRUE(banner->isVisible());
    EXPECT_EQ(banner->height(), Banner);
    EXPECT_EQ(withBanner->findChild<QWidget *>(QStringLiteral("spl1"))->height(), withBanner->height() - Panel - Banner - GaugeBlock - Strip);
    withBanner.reset();

    const char *regions[] = {"bskngrpbx1", "gaugeBlock", "listStrip"};
    QList<QRect> before;
    for (const char *name : regions)
        before << child<QWidget>(name)->geometry();
    EXPECT_EQ(before[0].height(), Panel);
    EXPECT_EQ(before[1].height(), GaugeBlock);
    EXPECT_EQ(before[1].top(), Panel); // straight below the panel: no empty banner box
    EXPECT_EQ(before[2].height(), Strip);
    EXPECT_EQ(child<QWidget>("pr1")->height(), 13);
    EXPECT_EQ(child<QWidget>("siteStrip")->height(), 75);
    EXPECT_EQ(child<QWidget>("batchArea")->height(), 184);
    EXPECT_EQ(child<QWidget>("toolStrip")->height(), 49);
    auto *list = child<QTableView>("lv1");
    auto *splitter = child<QWidget>("spl1");
    const QRect listBefore = splitter->geometry();
    EXPECT_EQ(listBefore.height(), form->height() - Panel - GaugeBlock - Strip);
    EXPECT_EQ(list->height(), listBefore.height()); // no details before a row is selected

    const int heightBefore = form->height();
    form->resize(1100, 900);
    QCoreApplication::processEvents();
    for (int i = 0; i < 3; ++i) {
        const QRect now = child<QWidget>(regions[i])->geometry();
        EXPECT_EQ(now.height(), before[i].height()) << regions[i];
        EXPECT_EQ(now.top(), before[i].top()) << regions[i];
        EXPECT_EQ(now.width(), 1100) << regions[i];
    }
    EXPECT_EQ(splitter->height(), listBefore.height() + 900 - heightBefore);
    EXPECT_EQ(list->width(), 1100);

    // 网址 fills the view; every other column keeps its width.
    QList<int> widths;
    for (int c = 0; c < ResultListModel::ColumnCount; ++c)
        widths << list->columnWidth(c);
    const auto addressFills = [&] {
        int others = 0;
        for (int c = 0; c < ResultListModel::ColumnCount; ++c) {
            if (c != 3 && !list->isColumnHidden(c)) {
                EXPECT_EQ(list->columnWidth(c), widths[c]) << c;
                others += widths[c];
            }
        }
        EXPECT_EQ(list->columnWidth(3), list->viewport()->width() - others);
    };
    addressFills();
    const int at1100 = list->columnWidth(3);
    form->resize(1400, 900);
    QCoreApplication::processEvents();
    addressFills();
    EXPECT_EQ(list->columnWidth(3), at1100 + 300);
    // Never narrower than its own width.
    form->resize(682, 579);
    QCoreApplication::processEvents();
    EXPECT_EQ(list->columnWidth(3), 310);

    // A long request address in the status line, or long counts, do not
    // widen the window.
    form->state().setLbl13(QStringLiteral("正在查询：") + QString(2000, QLatin1Char('x')));
    form->state().setLbl2(QStringLiteral("数量(123456789)"));
    form->state().setLbl5(QStringLiteral("死链=(123456789)"));
    form->resize(682, 579);
    QCoreApplication::processEvents();
    EXPECT_EQ(form->width(), 682);
    EXPECT_LE(form->minimumSizeHint().width(), 682);
}

TEST_F(WindowFixture, BatchFromTheEntryBoxAndAnEmptyGaugeForNoRows)
{
    auto *memo = child<QPlainTextEdit>("memo1");
    memo->setPlainText(QStringLiteral("http://www.a.com\nb.com\n"));
    QTest::mouseClick(child<QPushButton>("btn1"), Qt::LeftButton);
    EXPECT_EQ(form->state().lv1.count(), 2);
    EXPECT_EQ(child<QLabel>("lbl2")->text(), QStringLiteral("数量(2)"));
    EXPECT_TRUE(form->state().tmr2.isActive());
    auto *gauge = child<QProgressBar>("pr1");
    EXPECT_TRUE(gauge->isTextVisible());
    EXPECT_EQ(gauge->text(), QStringLiteral("0/2"));
    form->state().pr1.setValue(1);
    EXPECT_EQ(gauge->text(), QStringLiteral("1/2"));

    memo->clear();
    QTest::mouseClick(child<QPushButton>("btn1"), Qt::LeftButton);
    // Range 0..0 would show Qt's busy animation; the gauge must show empty.
    EXPECT_GT(gauge->maximum(), gauge->minimum());
    EXPECT_EQ(gauge->value(), 0);
    EXPECT_EQ(gauge->text(), QStringLiteral("0/0"));
    EXPECT_EQ(child<QLabel>("lbl2")->text(), QStringLiteral("数量(0)"));
}

TEST_F(WindowFixture, VisitSiteOpensTheSelectedAddressWithTheBrowserSeam)
{
    child<QAction>("N2")->trigger();
    EXPECT_TRUE(opened.isEmpty());
    child<QPlainTextEdit>("memo1")->setPlainText(QStringLiteral("www.a.com/p\nfile:///etc/passwd"));
    form->btn1Click();
    auto *list = child<QTableView>("lv1");
    list->selectRow(1);
    child<QAction>("N2")->trigger();
    EXPECT_TRUE(opened.isEmpty());
    list->selectRow(0);
    child<QAction>("N2")->trigger();
    ASSERT_EQ(opened.size(), 1);
    EXPECT_EQ(opened.first(), QUrl(QStringLiteral("http://www.a.com/p")));

    form->state().lv1.setCell(0, 3, QStringLiteral("×"));
    QTest::mouseClick(child<QPushButton>("btn5"), Qt::LeftButton);
    EXPECT_EQ(child<QLabel>("lbl5")->text(), QStringLiteral("死链=(1)"));
    child<QAction>("N1")->trigger();
    EXPECT_EQ(form->state().lv1.count(), 0);
    // The counts follow the list.
    EXPECT_TRUE(prqtest::waitUntil([this] { return child<QLabel>("lbl2")->text() == QStringLiteral("数量(0)"); }));
    EXPECT_EQ(child<QLabel>("lbl5")->text(), QStringLiteral("死链=(0)"));
}

TEST_F(WindowFixture, HeaderClicksSortUpThenDownThenGiveListOrderBack)
{
    const QStringList addresses = {"a.com", "b.com", "c.com", "d.com", "e.com"};
    fill(addresses, {"5", "--", "10", "IP被屏蔽", "2"}, {"√", "×", "√", "×", "查询中..."});
    const struct
    {
        int column;
        QStringList pr; // the PR column as shown after the click
        int indicator;
    } clicks[] = {
        {5, {"2", "5", "10", "--", "IP被屏蔽"}, 5},
        {5, {"10", "5", "2", "IP被屏蔽", "--"}, 5}, // the texts stay after the numbers
        {5, {"5", "--", "10", "IP被屏蔽", "2"}, -1},
        {0, {"5", "--", "10", "IP被屏蔽", "2"}, 0},
        {0, {"2", "IP被屏蔽", "10", "--", "5"}, 0},
        {3, {"5", "--", "10", "IP被屏蔽", "2"}, 3},
    };
    for (const auto &c : clicks) {
        clickHeader(c.column);
        EXPECT_EQ(shown(5), c.pr) << c.column;
        EXPECT_EQ(list()->horizontalHeader()->sortIndicatorSection(), c.indicator);
    }
    // The list itself never moves: replies find their rows by position.
    for (int r = 0; r < 5; ++r)
        EXPECT_EQ(form->state().lv1.cell(r, 2), addresses.at(r));

    // A right click on the header chooses the columns: 耗时 shows, 链接词 goes.
    auto *menu = child<QMenu>("mnuColumns");
    QHeaderView *header = list()->horizontalHeader();
    QContextMenuEvent click(QContextMenuEvent::Mouse, QPoint(10, 5), header->viewport()->mapToGlobal(QPoint(10, 5)));
    QCoreApplication::sendEvent(header->viewport(), &click);
    EXPECT_TRUE(menu->isVisible());
    QStringList choices;
    for (QAction *a : menu->actions())
        choices << a->text() + (a->isChecked() ? QStringLiteral("+") : QStringLiteral("-"));
    EXPECT_EQ(choices, (QStringList {"站内?+", "链接词+", "访问+", "PR+", "状态+", "来源+", "耗时-", "最终网址-", "深度-", "孤立-", "变化+"}));
    menu->close();
    child<QAction>(QStringLiteral("column%1").arg(ColumnElapsed).toLatin1().constData())->trigger();
    child<QAction>("column2")->trigger();
    EXPECT_FALSE(list()->isColumnHidden(ColumnElapsed));
    EXPECT_TRUE(list()->isColumnHidden(2));
    EXPECT_GT(list()->columnWidth(ColumnElapsed), 0);
}

TEST_F(WindowFixture, FilterHidesRowsFromViewOnlyAndFollowsNewAnswers)
{
    fill({"a.com", "b.com", "c.com", "d.com"}, {"1", "2", "3", "4"}, {"√", "×", "查询中...", "×"});
    auto *filter = child<QComboBox>("cbbFilter");
    filter->setCurrentIndex(1); // 只看死链
    EXPECT_EQ(shown(3), (QStringList {"b.com", "d.com"}));
    form->state().lv1.setCell(2, 3, QStringLiteral("×")); // an answer arrives
    EXPECT_EQ(shown(3), (QStringList {"b.com", "c.com", "d.com"}));
    filter->setCurrentIndex(2); // 只看正常
    EXPECT_EQ(shown(3), (QStringList {"a.com"}));

    // Every row goes out.
    QTemporaryDir dir;
    saveAnswer = dir.filePath(QStringLiteral("all.txt"));
    child<QAction>("N3")->trigger();
    QFile out(saveAnswer);
    ASSERT_TRUE(out.open(QIODevice::ReadOnly));
    EXPECT_EQ(out.readAll().count("\r\r\n"), 4);

    filter->setCurrentIndex(0);
    EXPECT_EQ(shown(3), (QStringList {"a.com", "b.com", "c.com", "d.com"}));
}

TEST_F(WindowFixture, CopyTakesTheSelectedRowsInViewOrderAndVisitTheCurrentOne)
{
    fill({"a.com", "b.com", "c.com"}, {"5", "--", "10"}, {"√", "×", "√"});
    form->state().lv1.setCell(1, 1, QStringLiteral("a\tb")); // a tab in a cell stays inside its field
    clickHeader(5);
    clickHeader(5); // PR descending: c, a, b
    QTableView *view = list();
    prqtest::clickRow(view, 2);
    prqtest::clickRow(view, 0, true);
    form->activateWindow();
    view->setFocus();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    QGuiApplication::clipboard()->clear();
    QTest::keyClick(view, Qt::Key_C, Qt::ControlModifier);
    // Every column, 状态, 来源 (empty in a batch) and 变化 included.
    const QString copied = QStringLiteral("3\t批量\t--\tc.com\t√\t10\t\t\t\n") + QStringLiteral("2\t批量\ta b\tb.com\t×\t--\t\t\t\n");
    EXPECT_EQ(QGuiApplication::clipboard()->text(), copied);
    QGuiApplication::clipboard()->clear();
    child<QAction>("N5")->trigger();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), copied);

    // "访问网站" opens the current row, the one clicked last.
    child<QAction>("N2")->trigger();
    ASSERT_EQ(opened.size(), 1);
    EXPECT_EQ(opened.first(), QUrl(QStringLiteral("http://c.com")));
}

TEST_F(WindowFixture, StopDropsTheRowsOfAReQueryNotYetSent)
{
    const QString base = QStringLiteral("127.0.0.1:%1/").arg(prqtest::closedLoopbackPort());
    fill({base + "a", base + "b", base + "c"}, {"5", "--", "10"}, {"√", "×", "√"});
    form->setChoices(false, false, true, 0, 200);
    QStringList started; // every request start shows its address
    QObject::connect(&form->state(), &FormState::lbl13Changed, form.get(), [&started](const QString &text) {
        if (text.startsWith(QStringLiteral("正在查询：")))
            started << text;
    });
    const auto startsFor = [&started](const QString &address) {
        return std::count_if(started.cbegin(), started.cend(), [&](const QString &t) { return t.endsWith(address); });
    };

    list()->selectAll();
    child<QAction>("N4")->trigger(); // a at once, b and c one a tick
    EXPECT_EQ(startsFor(base + "a"), 2);
    EXPECT_EQ(form->state().lv1.cell(1, 4), QStringLiteral("--")); // waits with its cells as they were
    QTest::mouseClick(child<QPushButton>("btnStop"), Qt::LeftButton);
    EXPECT_FALSE(form->state().tmr2.isActive());

    // A later re-query sends its own rows, not those the stop dropped.
    prqtest::clickRow(list(), 0);
    prqtest::clickRow(list(), 2, true);
    child<QAction>("N4")->trigger();
    ASSERT_TRUE(prqtest::waitUntil([this] { return !form->state().tmr2.isActive() && requestsInFlight(form->state()) == 0; }));
    EXPECT_EQ(startsFor(base + "b"), 0);
    EXPECT_EQ(startsFor(base + "c"), 2);
    EXPECT_EQ(startsFor(base + "a"), 4);
}

TEST_F(WindowFixture, StopCancelsASiteQueryWhosePageIsStillComing)
{
    std::atomic<bool> hold {true};
    prqtest::LoopServer site;
    site.get("/", [&hold](const httplib::Request &, httplib::Response &res) {
        for (int waited = 0; hold && waited < 10000; waited += 5)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        res.set_content("<a href=\"/x\">x</a>", "text/html");
    });
    site.start();
    child<QLineEdit>("edt6")->setText(site.url());
    QTest::mouseClick(child<QPushButton>("btn3"), Qt::LeftButton);
    ASSERT_TRUE(prqtest::waitUntil([&site] { return site.requestCount() == 1; }));
    QTest::mouseClick(child<QPushButton>("btnStop"), Qt::LeftButton);
    hold = false;
    ASSERT_TRUE(prqtest::waitUntil([this] { return requestsInFlight(form->state()) == 0; }));
    QTest::qWait(100);
    EXPECT_EQ(form->state().lv1.count(), 0);
    EXPECT_FALSE(form->state().tmr2.isActive());
}

TEST_F(WindowFixture, TabLeavesTheEntryBoxAndEnterInTheSiteBoxStartsTheSiteQuery)
{
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    auto *memo = child<QPlainTextEdit>("memo1");
    memo->setFocus();
    QTest::keyClick(memo, Qt::Key_Tab);
    EXPECT_TRUE(memo->toPlainText().isEmpty());
    EXPECT_FALSE(memo->hasFocus());

    auto *site = child<QLineEdit>("edt6");
    const QString address = QStringLiteral("http://127.0.0.1:%1/").arg(prqtest::closedLoopbackPort());
    site->setText(address);
    site->setFocus();
    QSignalSpy pressed(child<QPushButton>("btn3"), &QPushButton::clicked);
    QTest::keyClick(site, Qt::Key_Return);
    EXPECT_EQ(pressed.count(), 1);
    const QString failed = QStringLiteral("提示：") + address + QStringLiteral("访问失败...");
    EXPECT_TRUE(prqtest::waitUntil([&] { return form->state().lbl13() == failed; })) << form->state().lbl13().toStdString();
}

TEST_F(WindowFixture, TheListFollowsTheQueriedRowUntilThePersonScrollsAway)
{
    form->setChoices(false, false, true, 0, 100000); // ticks by hand, nothing sent
    QStringList lines;
    for (int i = 0; i < 300; ++i)
        lines << QStringLiteral("h%1.com").arg(i);
    form->setEntryText(lines.join(QLatin1Char('\n')));
    form->btn1Click();
    QTableView *view = list();
    const auto inSight = [view](int row) {
        const QRect r = view->visualRect(view->model()->index(row, 0));
        return view->viewport()->rect().contains(r.center());
    };
    for (int i = 0; i < 100; ++i)
        form->tmr2Timer();
    EXPECT_TRUE(inSight(99));
    view->verticalScrollBar()->setValue(0); // the person looks at the top
    for (int i = 0; i < 5; ++i)
        form->tmr2Timer();
    EXPECT_EQ(view->verticalScrollBar()->value(), 0);
    view->scrollTo(view->model()->index(104, 0)); // back to the row followed last
    form->tmr2Timer();
    EXPECT_TRUE(inSight(105));
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

TEST_F(WindowFixture, ImportReplacesTheEntryBoxAndKeepsItOnFailure)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("list.txt"));
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("\xef\xbb\xbf"
                "a.com\r\nb.com\rc.com\n");
    }
    auto *memo = child<QPlainTextEdit>("memo1");
    memo->setPlainText(QStringLiteral("typed"));
    openAnswer = QString(); // cancelled
    QTest::mouseClick(child<QPushButton>("btn4"), Qt::LeftButton);
    EXPECT_EQ(memo->toPlainText(), QStringLiteral("typed"));
    EXPECT_EQ(dialogTitles, (QStringList {QStringLiteral("导入域名列表"), QStringLiteral("文本文件 (*.txt);;CSV文件 (*.csv);;所有文件 (*)")}));

    openAnswer = path;
    QTest::mouseClick(child<QPushButton>("btn4"), Qt::LeftButton);
    EXPECT_EQ(memo->toPlainText(), QStringLiteral("a.com\nb.com\nc.com\n"));
    form->btn1Click();
    EXPECT_EQ(form->state().lv1.count(), 3); // the final line break adds no row

    openAnswer = dir.filePath(QStringLiteral("missing.txt"));
    QTest::mouseClick(child<QPushButton>("btn4"), Qt::LeftButton);
    ASSERT_EQ(errors.size(), 1);
    EXPECT_EQ(errors.first(), QStringLiteral("无法打开文件 \"") + openAnswer + QStringLiteral("\": 没有那个文件或目录.")) << errors.first().toStdString();
    EXPECT_EQ(memo->toPlainText(), QStringLiteral("a.com\nb.com\nc.com\n"));
}

TEST_F(WindowFixture, ExportWritesTheFormTheCheckBoxSelects)
{
    QTemporaryDir dir;
    saveAnswer = dir.filePath(QStringLiteral("out.txt"));
    form->setEntryText(QStringLiteral("a.com\n中文.cn"));
    form->btn1Click();
    form->state().lv1.setCell(0, 4, QStringLiteral("5"));
    QTest::mouseClick(child<QPushButton>("btn2"), Qt::LeftButton);
    EXPECT_EQ(readAll(saveAnswer), QByteArray("a.com\t5\r\r\n"
                                              "\xe4\xb8\xad\xe6\x96\x87.cn\t\xe6\x9f\xa5\xe8\xaf\xa2\xe4\xb8\xad...\r\r\n"));
    EXPECT_EQ(child<QLabel>("lbl13")->text(), QStringLiteral("已导出 2 行到 ") + saveAnswer);

    child<QCheckBox>("bschck1")->setChecked(false);
    child<QAction>("N3")->trigger();
    EXPECT_TRUE(readAll(saveAnswer).startsWith(QByteArray("1\t\xe6\x89\xb9\xe9\x87\x8f\t--\ta.com\t")));
    EXPECT_EQ(dialogTitles.at(0), QStringLiteral("导出文本文件"));
    EXPECT_TRUE(errors.isEmpty());
    // First in the documents folder with a dated name, then where the last file went.
    ASSERT_EQ(saveQuestions.size(), 2);
    EXPECT_NE(saveQuestions[0].folder, QCoreApplication::applicationDirPath());
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^PR查询结果-\\d{8}-\\d{6}\\.txt$")).match(saveQuestions[0].suggestedName).hasMatch())
        << saveQuestions[0].suggestedName.toStdString();
    EXPECT_EQ(saveQuestions[0].filters, (QStringList {QStringLiteral("文本文件 (*.txt)"), QStringLiteral("CSV文件 (*.csv)"), QStringLiteral("JSON Lines文件 (*.jsonl)")}));
    EXPECT_EQ(saveQuestions[1].folder, dir.path());

    // The CSV filter writes CSV, header first, every column.
    saveFilter = saveQuestions[0].filters.at(1);
    child<QAction>("N3")->trigger();
    EXPECT_TRUE(readAll(saveAnswer).startsWith(QByteArray("\xef\xbb\xbf") + QStringLiteral("序号,站内?,链接词,网址,访问,PR,状态").toUtf8())) << readAll(saveAnswer).left(80).toStdString();
    saveFilter.clear();

    saveAnswer = QStringLiteral("/dev/full");
    child<QAction>("N3")->trigger();
    EXPECT_EQ(errors, QStringList {QStringLiteral("无法写入文件 \"/dev/full\": 磁盘已满.")});
}

// Characters the text document would turn into breaks or spaces reach the
// rows unchanged, whether imported or typed.
TEST_F(WindowFixture, EntryBoxLinesReachTheListExactly)
{
    const QString odd = QStringLiteral("a.com/\u2028x\n"
                                       "b.com/\u2029y\r\n"
                                       "c.com/\uFDD0\uFDD1z\r"
                                       "d.com/\u00A0w");
    const QStringList rows {QStringLiteral("a.com/\u2028x"), QStringLiteral("b.com/\u2029y"), QStringLiteral("c.com/\uFDD0\uFDD1z"),
        QStringLiteral("d.com/\u00A0w")};
    const auto urls = [this] {
        QStringList cells;
        for (int i = 0; i < form->state().lv1.count(); ++i)
            cells << form->state().lv1.row(i).cells[CellUrl];
        return cells;
    };
    form->setEntryText(odd);
    form->btn1Click();
    EXPECT_EQ(urls(), rows);

    // Typed: the text goes through the document itself.
    auto *memo = child<QPlainTextEdit>("memo1");
    memo->clear();
    memo->insertPlainText(QStringLiteral("e.com/\u2028v\nf.com/\u00A0u\n"));
    form->btn1Click();
    EXPECT_EQ(urls(), (QStringList {QStringLiteral("e.com/\u2028v"), QStringLiteral("f.com/\u00A0u")}));

    // Pasted, then edited around: the characters the document cannot hold
    // keep their places.
    memo->clear();
    QApplication::clipboard()->setText(QStringLiteral("g.com/\u2029t\r\nh.com/\uFDD0s"));
    memo->paste();
    memo->moveCursor(QTextCursor::Start);
    QTest::keyClicks(memo, QStringLiteral("www."));
    memo->moveCursor(QTextCursor::End);
    QTest::keyClicks(memo, QStringLiteral("/r"));
    form->btn1Click();
    EXPECT_EQ(urls(), (QStringList {QStringLiteral("www.g.com/\u2029t"), QStringLiteral("h.com/\uFDD0s/r")}));

    // An imported text, edited: the same.
    form->setEntryText(odd);
    memo->moveCursor(QTextCursor::Start);
    QTest::keyClicks(memo, QStringLiteral("x"));
    form->btn1Click();
    EXPECT_EQ(urls().value(1), rows.at(1));
    EXPECT_EQ(urls().value(2), rows.at(2));
}

// The dialogs list a name that is not UTF-8 with U+FFFD in it; that name
// still reaches the file.
TEST_F(WindowFixture, DialogsReachFilesWhoseNamesAreNotUtf8)
{
    QTemporaryDir dir;
    const QByteArray raw = QFile::encodeName(dir.path()) + "/\xB5\xBC\xC8\xEB.txt"; // GB18030 bytes
    const int fd = ::open(raw.constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, "www.a.com\n", 10), 10);
    ::close(fd);
    const QString shown = QFile::decodeName(raw);
    ASSERT_TRUE(shown.contains(QChar::ReplacementCharacter));

    openAnswer = shown;
    QTest::mouseClick(child<QPushButton>("btn4"), Qt::LeftButton);
    EXPECT_EQ(form->entryText(), QStringLiteral("www.a.com\n"));
    form->btn1Click();
    saveAnswer = shown;
    child<QAction>("N3")->trigger();
    EXPECT_TRUE(errors.isEmpty()) << errors.join(QLatin1Char('\n')).toStdString();
    // Written over the same file, and under no other name.
    int entries = 0;
    if (DIR *d = ::opendir(QFile::encodeName(dir.path()).constData())) {
        while (const dirent *e = ::readdir(d))
            entries += e->d_name[0] != '.';
        ::closedir(d);
    }
    EXPECT_EQ(entries, 1);
    QByteArray bytes;
    {
        const int in = ::open(raw.constData(), O_RDONLY | O_CLOEXEC);
        char buf[256];
        const ssize_t n = ::read(in, buf, sizeof buf);
        ::close(in);
        bytes = QByteArray(buf, int(std::max<ssize_t>(n, 0)));
    }
    EXPECT_TRUE(bytes.startsWith("www.a.com\t")) << bytes.constData();
    ::unlink(raw.constData()); // the temporary folder cannot name it to remove it
}

// What a paste brings around an address is trimmed in the row, never in the
// box; a blank line is a row that is never queried and never dead.
TEST_F(WindowFixture, LinesAreTrimmedInTheRowsAndBlankLinesAreNotQueried)
{
    // Nothing listens there: every check that is sent fails at once.
    const QString closed = QStringLiteral("127.0.0.1:%1").arg(prqtest::closedLoopbackPort());
    const QString typed = QStringLiteral("  http:/") + closed + QStringLiteral("/a \t\n\n\u3000 \nhttp://") + closed + QStringLiteral("//b");
    form->setChoices(false, true, true, 0, 1000);
    form->setEntryText(typed);
    form->btn1Click();
    EXPECT_EQ(form->entryText(), typed);
    const FormState &s = form->state();
    ASSERT_EQ(s.lv1.count(), 4);
    EXPECT_EQ(s.lv1.cell(0, CellUrl), QStringLiteral("http:/") + closed + QStringLiteral("/a"));
    EXPECT_EQ(s.lv1.cell(3, CellUrl), closed + QStringLiteral("/b"));
    for (const int blank : {1, 2}) {
        EXPECT_EQ(s.lv1.caption(blank), QString::number(blank + 1));
        EXPECT_EQ(s.lv1.cell(blank, CellAccess), QStringLiteral("--"));
        EXPECT_EQ(s.lv1.cell(blank, CellPr), QStringLiteral("--"));
        EXPECT_EQ(s.lv1.statusOf(blank), QStringLiteral("空行"));
    }
    EXPECT_EQ(s.pr1.maximum(), 2);
    // Never sent, never counted dead.
    ASSERT_TRUE(prqtest::waitUntil([&] { return !form->engine().runActive(); }));
    EXPECT_EQ(s.lv1.cell(0, CellAccess), QStringLiteral("×"));
    EXPECT_EQ(s.lv1.cell(3, CellAccess), QStringLiteral("×"));
    EXPECT_EQ(s.lv1.statusOf(1), QStringLiteral("空行"));
    EXPECT_EQ(s.pr1.value(), 2);
    form->btn5Click();
    EXPECT_EQ(child<QLabel>("lbl5")->text(), QStringLiteral("死链=(2)"));
}

// The colours, the counts and the chart follow the answers as they land; a
// bar chooses the rows shown, and the search narrows them.
TEST_F(WindowFixture, ColoursLiveCountsChartAndSearch)
{
    fill({"a.com/news", "b.com", "c.com/news", "d.com", "e.com"}, {"5", "--", "3", "--", "1"}, {"√", "×", "查询中...", "--", "√"});
    ResultListModel &lv1 = form->state().lv1;
    lv1.setVerdict(0, VerdictClass::Alive);
    lv1.setVerdict(1, VerdictClass::Dead);
    lv1.setVerdict(3, VerdictClass::Blocked);
    FetchResult gone;
    gone.hops = {404};
    gone.reason = FetchFailure::HttpStatus;
    lv1.setCheck(1, gone);
    const auto tone = [&](int row) { return TRowDelegate::toneColour(form->view().index(form->view().viewRow(row), 0).data(RowToneRole).toInt()); };
    EXPECT_FALSE(tone(0).isValid()); // the view's own colour
    EXPECT_EQ(tone(1), TRowDelegate::toneColour(int(RowTone::Bad)));
    EXPECT_EQ(tone(1).red(), 0xC6);
    EXPECT_FALSE(tone(2).isValid()); // waiting for its check
    EXPECT_EQ(tone(3), TRowDelegate::toneColour(int(RowTone::Doubt)));

    // Live, without "统计死链".
    auto *dead = child<QLabel>("lbl5");
    auto *count = child<QLabel>("lbl2");
    ASSERT_TRUE(prqtest::waitUntil([&] { return dead->text() == QStringLiteral("死链=(1)"); }));
    lv1.setCell(2, CellAccess, QStringLiteral("×"));
    EXPECT_TRUE(prqtest::waitUntil([&] { return dead->text() == QStringLiteral("死链=(2)"); }));
    auto *chart = child<TStatusChart>("chart1");
    const auto bar = [chart](RowGroup g) { return chart->bars().at(int(g)).count; };
    EXPECT_EQ(bar(RowGroup::Dead), 2);
    EXPECT_EQ(bar(RowGroup::Live), 2);
    EXPECT_EQ(bar(RowGroup::Doubt), 1);
    EXPECT_EQ(bar(RowGroup::Status4xx), 1);

    // A click on the 死链 bar shows those rows; 数量 says how many of how many.
    const QRect deadBar = chart->barRect(RowGroup::Dead);
    QTest::mouseClick(chart, Qt::LeftButton, {}, QPoint(deadBar.center().x(), chart->height() / 2));
    EXPECT_EQ(child<QComboBox>("cbbFilter")->currentIndex(), int(ResultListProxy::ShowDead));
    EXPECT_EQ(shown(0), (QStringList {"2", "3"}));
    EXPECT_TRUE(prqtest::waitUntil([&] { return count->text() == QStringLiteral("数量(2/5)"); })) << count->text().toStdString();
    // The same bar again: every row.
    QTest::mouseClick(chart, Qt::LeftButton, {}, QPoint(deadBar.center().x(), chart->height() / 2));
    EXPECT_EQ(child<QComboBox>("cbbFilter")->currentIndex(), int(ResultListProxy::ShowAll));

    // Ctrl+F goes to the search; it looks at 网址 and 链接词.
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    list()->setFocus();
    QTest::keyClick(list(), Qt::Key_F, Qt::ControlModifier);
    auto *search = child<QLineEdit>("edtSearch");
    EXPECT_TRUE(search->hasFocus());
    QTest::keyClicks(search, QStringLiteral("NEWS"));
    EXPECT_TRUE(prqtest::waitUntil([&] { return shown(0) == QStringList {"1", "3"}; }));
    EXPECT_TRUE(prqtest::waitUntil([&] { return count->text() == QStringLiteral("数量(2/5)"); }));
    search->clear();
    EXPECT_TRUE(prqtest::waitUntil([&] { return shown(0).size() == 5 && count->text() == QStringLiteral("数量(5)"); }));
}

// Rows re-queried under 只看死链 stay in view, and selected, while their
// answers come.
TEST_F(WindowFixture, RequeryUnderAFilterKeepsTheSelection)
{
    // Nothing listens there: the re-checks fail, and the rows are no longer
    // what 只看正常 shows.
    const QString base = QStringLiteral("127.0.0.1:%1/").arg(prqtest::closedLoopbackPort());
    fill({base + "a", base + "b", base + "c"}, {"5", "--", "--"}, {"×", "√", "√"});
    form->setChoices(false, true, true, 0, 200);
    child<QComboBox>("cbbFilter")->setCurrentIndex(ResultListProxy::ShowLive);
    list()->selectAll();
    ASSERT_EQ(form->selectedRows(), (QList<int> {1, 2}));
    child<QAction>("N4")->trigger();
    ASSERT_TRUE(prqtest::waitUntil([this] {
        return form->state().lv1.cell(1, CellAccess) == QStringLiteral("×") && form->state().lv1.cell(2, CellAccess) == QStringLiteral("×");
    }));
    EXPECT_EQ(shown(3), (QStringList {base + "b", base + "c"}));
    EXPECT_EQ(form->selectedRows(), (QList<int> {1, 2}));
    // Chosen again, the filter shows what it says.
    child<QComboBox>("cbbFilter")->setCurrentIndex(ResultListProxy::ShowAll);
    child<QComboBox>("cbbFilter")->setCurrentIndex(ResultListProxy::ShowLive);
    EXPECT_EQ(shown(3), QStringList {});
}

// The pane below the list: a redirect chain one hop a line, where it ended,
// why, the library's own words behind "详细"; copy and open work.
TEST_F(WindowFixture, TheDetailsPaneOfARedirectChain)
{
    fill({"a.com/old", "b.com"}, {"4", "--"}, {"×", "√"});
    FetchResult chain;
    chain.hops = {301, 302, 404};
    chain.finalUrl = QStringLiteral("https://a.com/gone");
    chain.elapsedMs = 87;
    chain.reason = FetchFailure::HttpStatus;
    chain.detail = QStringLiteral("The requested URL returned error: 404");
    form->state().lv1.setCheck(0, chain);
    form->state().lv1.setVerdict(0, VerdictClass::Dead);

    auto *pane = child<QWidget>("detailsPane");
    EXPECT_FALSE(pane->isVisible());
    list()->selectRow(0);
    ASSERT_TRUE(prqtest::waitUntil([pane] { return pane->isVisible(); }));
    EXPECT_EQ(child<QLineEdit>("detailUrl")->text(), QStringLiteral("a.com/old"));
    EXPECT_EQ(child<QLineEdit>("detailFinalUrl")->text(), QStringLiteral("https://a.com/gone"));
    EXPECT_EQ(child<QLabel>("detailHops")->text(), QStringLiteral("301\n302 → https://a.com/gone\n404"));
    const QString summary = child<QLabel>("detailSummary")->text();
    EXPECT_EQ(summary, QStringLiteral("耗时 87 ms    类别: 死链    原因: 服务器返回错误状态 404"));
    EXPECT_EQ(child<QLabel>("detailPr")->text(), QStringLiteral("4  (来源: 工具栏)"));
    auto *more = child<QToolButton>("detailMore");
    auto *library = child<QLabel>("detailLibrary");
    EXPECT_TRUE(more->isVisible());
    EXPECT_FALSE(library->isVisible());
    more->click();
    EXPECT_TRUE(library->isVisible());
    EXPECT_EQ(library->text(), chain.detail);
    // A batch row has no source page and no history: those parts stay hidden.
    EXPECT_FALSE(child<QWidget>("detailSources")->isVisible());
    EXPECT_FALSE(child<QWidget>("detailHistory")->isVisible());

    child<QPushButton>("detailFinalUrlOpen")->click();
    ASSERT_EQ(opened.size(), 1);
    EXPECT_EQ(opened.first(), QUrl(QStringLiteral("https://a.com/gone")));
    QGuiApplication::clipboard()->clear();
    child<QPushButton>("detailUrlCopy")->click();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("a.com/old"));
    child<QAction>("N9")->trigger(); // 复制最终网址
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("https://a.com/gone"));
    child<QAction>("N8")->trigger(); // 复制网址
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("a.com/old"));

    // The slots a crawl and a store fill show what they give.
    DetailsSlots filled;
    filled.sources = [](int row) { return row == 1 ? QList<RowSource> {{QStringLiteral("http://c.com/links"), QStringLiteral("乙")}} : QList<RowSource>(); };
    filled.history = [](const QString &address) {
        return address == QStringLiteral("b.com") ? QList<AddressVisit> {{QDateTime(QDate(2026, 1, 2), QTime(3, 4)), QStringLiteral("×"), QStringLiteral("500"), QStringLiteral("2"), QStringLiteral("新死链")}}
                                                  : QList<AddressVisit>();
    };
    form->detailsPane()->setSlots(filled);
    list()->selectRow(1);
    auto *sources = child<QTreeWidget>("detailSources");
    auto *history = child<QTreeWidget>("detailHistory");
    ASSERT_TRUE(prqtest::waitUntil([&] { return sources->isVisible() && history->isVisible(); }));
    EXPECT_EQ(sources->topLevelItem(0)->text(1), QStringLiteral("乙"));
    EXPECT_EQ(history->topLevelItem(0)->text(4), QStringLiteral("新死链"));
    EXPECT_EQ(child<QLabel>("detailSummary")->text(), QStringLiteral("类别: 未检测"));
    form->N7Click(); // 打开来源页
    EXPECT_EQ(opened.last(), QUrl(QStringLiteral("http://c.com/links")));

    // Double-click opens the address.
    opened.clear();
    const QModelIndex first = list()->model()->index(0, 3);
    // The view answers a double-click on the index its press was on.
    QTest::mouseClick(list()->viewport(), Qt::LeftButton, {}, list()->visualRect(first).center());
    QTest::mouseDClick(list()->viewport(), Qt::LeftButton, {}, list()->visualRect(first).center());
    ASSERT_FALSE(opened.isEmpty());
    EXPECT_EQ(opened.last(), QUrl(QStringLiteral("http://a.com/old")));
}

// A CSV file gives its column of addresses, without the header.
TEST_F(WindowFixture, ImportTakesTheAddressColumnOfACsvFile)
{
    QTemporaryDir dir;
    openAnswer = dir.filePath(QStringLiteral("backlinks.csv"));
    {
        QFile f(openAnswer);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("Anchor,Referring page URL,DR\r\n\"Hi, there\",https://a.com/x,52\r\n新闻,b.org/p,3\r\n");
    }
    QTest::mouseClick(child<QPushButton>("btn4"), Qt::LeftButton);
    EXPECT_EQ(form->entryText(), QStringLiteral("https://a.com/x\nb.org/p"));
}

// Every control a person can reach says what it is to a screen reader.
TEST_F(WindowFixture, EveryControlHasAnAccessibleName)
{
    QStringList unnamed;
    for (QWidget *w : form->findChildren<QWidget *>()) {
        const QString name = w->objectName();
        if (w->focusPolicy() == Qt::NoFocus || name.isEmpty() || name.startsWith(QLatin1String("qt_")))
            continue;
        if (w->accessibleName().isEmpty() && !qobject_cast<QAbstractButton *>(w))
            unnamed << name;
        else if (auto *b = qobject_cast<QAbstractButton *>(w); b && b->accessibleName().isEmpty() && b->text().isEmpty())
            unnamed << name;
    }
    EXPECT_TRUE(unnamed.isEmpty()) << unnamed.join(QLatin1Char(' ')).toStdString();
    for (const char *name : {"memo1", "edt6", "edt8", "bsknspndt1", "lv1", "edtSearch", "cbbFilter", "cbb1", "chart1", "spnConcurrency", "spnPerHost"})
        EXPECT_FALSE(child<QWidget>(name)->accessibleName().isEmpty()) << name;
}

// What a person set is there again in the next window; the key only when
// "记住密钥" is ticked.
TEST(WindowSettingsRestored, InASecondWindow)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("prquery.conf"));
    WindowSeams seams = prqtest::quietSeams();
    seams.settings = [path] { return std::make_unique<QSettings>(path, QSettings::IniFormat); };
    WindowEndpoints endpoints;
    endpoints.servers = {QStringLiteral("127.0.0.1:9")};
    {
        TForm1 first(endpoints, seams);
        first.show();
        first.resize(1000, 760);
        first.setChoices(false, true, false, 2, 3500);
        first.setHtmlExtract(true);
        first.setRankChoice(RankChoice::OpenPageRank, QStringLiteral("k3y"));
        first.findChild<QCheckBox *>(QStringLiteral("bschck5"))->setChecked(true);
        first.findChild<QSpinBox *>(QStringLiteral("spnConcurrency"))->setValue(12);
        first.findChild<QSpinBox *>(QStringLiteral("spnPerHost"))->setValue(3);
        auto *list = first.findChild<QTableView *>(QStringLiteral("lv1"));
        first.findChild<QAction *>(QStringLiteral("column%1").arg(ColumnElapsed))->trigger(); // 耗时 shown
        first.findChild<QAction *>(QStringLiteral("column1"))->trigger(); // 站内? hidden
        list->setColumnWidth(6, 150);
        first.seams().openFile = [&](const FileDialogQuestion &) { return FileDialogAnswer {dir.filePath(QStringLiteral("none.txt")), QString()}; };
        QStringList errors;
        prqtest::ErrorRecorder recorder(errors);
        guard::run([&first] { first.btn4Click(); }); // the folder is remembered though the file is missing
        first.close();
    }
    TForm1 second(endpoints, seams);
    second.show();
    EXPECT_EQ(second.size(), QSize(1000, 760));
    EXPECT_FALSE(second.findChild<QCheckBox *>(QStringLiteral("bschck2"))->isChecked());
    EXPECT_TRUE(second.findChild<QCheckBox *>(QStringLiteral("bschck3"))->isChecked());
    EXPECT_FALSE(second.findChild<QCheckBox *>(QStringLiteral("bschck1"))->isChecked());
    EXPECT_TRUE(second.findChild<QCheckBox *>(QStringLiteral("bschck4"))->isChecked());
    EXPECT_TRUE(second.findChild<QRadioButton *>(QStringLiteral("rdlist1_2"))->isChecked());
    EXPECT_EQ(second.findChild<QSpinBox *>(QStringLiteral("bsknspndt1"))->value(), 3500);
    EXPECT_EQ(second.state().tmr2.interval(), 3500);
    EXPECT_EQ(second.findChild<QComboBox *>(QStringLiteral("cbb1"))->currentIndex(), 1);
    EXPECT_EQ(second.engine().rankChoice(), RankChoice::OpenPageRank);
    EXPECT_EQ(second.findChild<QLineEdit *>(QStringLiteral("edt8"))->text(), QStringLiteral("k3y"));
    EXPECT_EQ(second.engine().queueLimits().total, 12);
    EXPECT_EQ(second.engine().queueLimits().perHost, 3);
    auto *list = second.findChild<QTableView *>(QStringLiteral("lv1"));
    EXPECT_FALSE(list->isColumnHidden(ColumnElapsed));
    EXPECT_TRUE(list->isColumnHidden(1));
    EXPECT_EQ(list->columnWidth(6), 150);
    FileDialogQuestion asked;
    second.seams().openFile = [&asked](const FileDialogQuestion &q) {
        asked = q;
        return FileDialogAnswer();
    };
    second.btn4Click();
    EXPECT_EQ(asked.folder, dir.path());

    // Unticked, the key is forgotten.
    second.findChild<QCheckBox *>(QStringLiteral("bschck5"))->setChecked(false);
    second.saveSettings();
    QSettings stored(path, QSettings::IniFormat);
    EXPECT_FALSE(stored.contains(QStringLiteral("query/oprKey")));
    EXPECT_EQ(stored.value(QStringLiteral("query/intervalMs")).toInt(), 3500);
}

} // namespace
