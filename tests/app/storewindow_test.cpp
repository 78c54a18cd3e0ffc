// The window over a result store: every run kept and compared, the 历史
// dialog, 继续上次 after 停止, the cache choice, and a store that cannot be
// opened.
#include "app/historydialog.h"
#include "app/storepanel.h"
#include "query/runrecorder.h"
#include "shell/resultproxy.h"
#include "store/resultstore.h"
#include "support/loopserver.h"
#include "support/windowtesting.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTableView>
#include <QTemporaryDir>
#include <QToolButton>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

using prqtest::LoopServer;
using prqtest::waitUntil;

struct StoreWindow : ::testing::Test
{
    LoopServer web;
    QTemporaryDir dir;
    QString store = dir.filePath(QStringLiteral("results.sqlite"));
    std::atomic<int> phase {0};
    std::unique_ptr<TForm1> form;

    void SetUp() override
    {
        web.get(R"(/p\d+)", [](const httplib::Request &, httplib::Response &res) {
            // Slow enough that a stop lands between two of them.
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            res.set_content("live", "text/html");
        });
        web.get("/dies", [this](const httplib::Request &, httplib::Response &res) {
            res.status = phase == 0 ? 200 : 404;
            res.set_content("x", "text/html");
        });
        web.get("/fixed", [this](const httplib::Request &, httplib::Response &res) {
            res.status = phase == 0 ? 404 : 200;
            res.set_content("x", "text/html");
        });
        web.start();
        form = makeForm();
    }
    std::unique_ptr<TForm1> makeForm()
    {
        WindowEndpoints e;
        e.servers = {QStringLiteral("127.0.0.1:%1").arg(prqtest::closedLoopbackPort())};
        e.storeFile = store;
        auto f = std::make_unique<TForm1>(e, prqtest::quietSeams());
        f->show();
        // Checks only, one at a time, no soft-404 probes: the requests
        // counted are the rows' own.
        f->setChoices(false, true, true, 0, 200);
        f->findChild<QSpinBox *>(QStringLiteral("spnPerHost"))->setValue(1);
        f->findChild<QCheckBox *>(QStringLiteral("chkSoft404"))->setChecked(false);
        return f;
    }
    StorePanel &panel() { return *form->storePanel(); }
    template<typename T>
    T *child(const char *name) const { return form->findChild<T *>(QString::fromLatin1(name)); }

    QString lines(const QStringList &paths) const
    {
        QStringList out;
        for (const QString &p : paths)
            out << QStringLiteral("127.0.0.1:%1").arg(web.port()) + p;
        return out.join(QLatin1Char('\n'));
    }
    void runBatch(const QStringList &paths)
    {
        form->setEntryText(lines(paths));
        form->btn1Click();
        ASSERT_TRUE(waitUntil([this] { return !form->engine().runOpen(); }, 20000));
    }
    QStringList changes() const
    {
        QStringList out;
        const ResultListModel &list = form->state().lv1;
        for (int i = 0; i < list.count(); ++i)
            out << rowChangeText(list.row(i).change);
        return out;
    }
    int requestsFor(const std::string &path) const
    {
        int n = 0;
        for (const prqtest::RecordedRequest &r : web.requests())
            n += r.target == path ? 1 : 0;
        return n;
    }
};

TEST_F(StoreWindow, EveryRunIsKeptComparedAndShownAgain)
{
    ASSERT_TRUE(form->storePanel());
    EXPECT_TRUE(child<QToolButton>("btnHistory")->toolTip().contains(store));
    EXPECT_FALSE(child<QToolButton>("btnResume")->isEnabled());

    runBatch({"/dies", "/fixed", "/p1"});
    EXPECT_EQ(changes(), (QStringList {"新链接", "新链接", "新链接"}));
    EXPECT_TRUE(form->state().lbl13().endsWith(QStringLiteral("新死链 0, 已修复 0"))) << form->state().lbl13().toStdString();

    phase = 1;
    runBatch({"/dies", "/fixed", "/p1", "/p2"});
    EXPECT_EQ(changes(), (QStringList {"新死链", "已修复", "", "新链接"}));
    EXPECT_TRUE(form->state().lbl13().endsWith(QStringLiteral("新死链 1, 已修复 1"))) << form->state().lbl13().toStdString();
    auto *view = child<QTableView>("lv1");
    EXPECT_EQ(view->model()->headerData(ColumnChange, Qt::Horizontal).toString(), QStringLiteral("变化"));
    child<QComboBox>("cbbFilter")->setCurrentIndex(ResultListProxy::ShowChanged);
    EXPECT_EQ(prqtest::shownColumn(view, ColumnChange), (QStringList {"新死链", "已修复", "新链接"}));
    child<QComboBox>("cbbFilter")->setCurrentIndex(ResultListProxy::ShowAll);

    // A row's tooltip gives the history of its address, newest first (once
    // the store's writer has the run's last checks in).
    QString tip;
    EXPECT_TRUE(waitUntil([&] {
        tip = view->model()->index(0, 3).data(Qt::ToolTipRole).toString();
        return tip.count(QStringLiteral("  404")) + tip.count(QStringLiteral("  200")) >= 2;
    }));
    const QStringList tipLines = tip.split(QLatin1Char('\n'));
    const qsizetype at = tipLines.indexOf(QStringLiteral("历史:"));
    ASSERT_GE(at, 0) << tip.toStdString();
    ASSERT_EQ(tipLines.size(), at + 3) << tip.toStdString();
    EXPECT_TRUE(tipLines[at + 1].contains(QStringLiteral("×  404"))) << tip.toStdString();
    EXPECT_TRUE(tipLines[at + 2].contains(QStringLiteral("√  200"))) << tip.toStdString();
    // So does the details pane of the selected row.
    view->selectRow(0);
    auto *history = child<QTreeWidget>("detailHistory");
    ASSERT_TRUE(waitUntil([history] { return history->isVisible(); }));
    ASSERT_EQ(history->topLevelItemCount(), 2);
    EXPECT_EQ(history->topLevelItem(0)->text(1), QStringLiteral("×"));
    EXPECT_EQ(history->topLevelItem(0)->text(2), QStringLiteral("404"));
    EXPECT_EQ(history->topLevelItem(1)->text(1), QStringLiteral("√"));
    view->clearSelection();

    // 历史: both runs, the dead links of the input, and the first run opened
    // again into the list.
    bool asked = false;
    panel().runHistory = [&](HistoryDialog &dialog) {
        asked = true;
        ASSERT_EQ(dialog.runs().size(), 2);
        EXPECT_EQ(dialog.runs()[0].dead, 1);
        EXPECT_EQ(dialog.runs()[1].rows, 3);
        EXPECT_EQ(HistoryDialog::endingText(dialog.runs()[0].ending), QStringLiteral("完成"));
        EXPECT_EQ(dialog.trend().size(), 1); // the first run's list was another input
        dialog.selectRun(1);
        ASSERT_EQ(dialog.trend().size(), 1);
        EXPECT_EQ(dialog.trend()[0].dead, 1);
        dialog.findChild<QPushButton *>(QStringLiteral("historyOpen"))->click();
    };
    const int before = int(web.requestCount());
    panel().btnHistoryClick();
    ASSERT_TRUE(asked);
    const ResultListModel &list = form->state().lv1;
    ASSERT_EQ(list.count(), 3);
    EXPECT_EQ(list.cell(0, CellAccess), QStringLiteral("√"));
    EXPECT_EQ(list.cell(1, CellAccess), QStringLiteral("×"));
    EXPECT_EQ(changes(), (QStringList {"新链接", "新链接", "新链接"}));
    EXPECT_EQ(int(web.requestCount()), before); // shown, not asked
}

TEST_F(StoreWindow, AStoppedRunIsContinuedWhereItStopped)
{
    QStringList paths;
    for (int i = 1; i <= 8; ++i)
        paths << QStringLiteral("/p%1").arg(i);
    form->setEntryText(lines(paths));
    form->btn1Click();
    ASSERT_TRUE(waitUntil([this] { return requestsFor("/p3") == 1; }));
    form->btnStopClick();
    ASSERT_TRUE(waitUntil([this] { return !form->engine().runOpen(); }));
    const int asked = int(web.requestCount());
    ASSERT_LT(asked, 8);
    auto *resume = child<QToolButton>("btnResume");
    ASSERT_TRUE(resume->isEnabled());

    // Another window, later, offers the same run.
    form.reset();
    form = makeForm();
    resume = child<QToolButton>("btnResume");
    ASSERT_TRUE(resume->isEnabled());
    EXPECT_TRUE(resume->toolTip().contains(QStringLiteral("%1/8").arg(asked))) << resume->toolTip().toStdString();
    resume->click();
    ASSERT_TRUE(waitUntil([this] { return !form->engine().runOpen(); }, 20000));
    EXPECT_FALSE(resume->isEnabled());
    for (const QString &p : paths)
        EXPECT_EQ(requestsFor(p.toStdString()), 1) << p.toStdString();
    const ResultListModel &list = form->state().lv1;
    ASSERT_EQ(list.count(), 8);
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(list.cell(i, CellAccess), QStringLiteral("√")) << i;
    EXPECT_EQ(form->state().pr1.value(), 8); // every row counts, those kept included
}

TEST_F(StoreWindow, ARunWhoseListGaveWayIsCountedFromWhatWasKept)
{
    runBatch({"/p1"});
    ResultStore &store = *panel().store();
    store.flush();
    const qint64 first = store.latestRun()->id;
    QStringList paths;
    for (int i = 1; i <= 8; ++i)
        paths << QStringLiteral("/p%1").arg(i);
    form->setEntryText(lines(paths));
    form->btn1Click();
    ASSERT_TRUE(waitUntil([this] { return requestsFor("/p3") == 1; }));
    // The first run shown in its place: the second stops there.
    ASSERT_TRUE(panel().showRun(first));
    ASSERT_TRUE(waitUntil([this] { return !form->engine().runOpen(); }));
    EXPECT_EQ(form->state().lv1.count(), 1);
    store.flush();
    const RunSummary second = *store.latestRun();
    EXPECT_EQ(second.ending, QStringLiteral("stopped"));
    EXPECT_EQ(second.rows, 8);
    EXPECT_GE(second.answered, 2); // the third was on its way when the list gave way
    EXPECT_LT(second.answered, 8);
    EXPECT_EQ(second.dead, 0);
}

TEST_F(StoreWindow, TheCacheChoiceAnswersFromTheStore)
{
    runBatch({"/p1", "/fixed"});
    const auto ages = StorePanel::cacheAges();
    auto *cache = child<QComboBox>("cbbCache");
    ASSERT_EQ(cache->count(), ages.size());
    EXPECT_EQ(ages.at(1), 30 * 60);
    cache->setCurrentIndex(1);
    EXPECT_EQ(panel().recorder()->cacheAgeSeconds(), 30 * 60);
    phase = 1;
    runBatch({"/p1", "/fixed", "/p2"});
    EXPECT_EQ(requestsFor("/p1"), 1);
    EXPECT_EQ(requestsFor("/fixed"), 2); // a "×" is asked again
    EXPECT_EQ(requestsFor("/p2"), 1);
    auto *view = child<QTableView>("lv1");
    EXPECT_EQ(prqtest::shownColumn(view, ColumnStatus), (QStringList {"缓存 200", "200", "200"}));
    EXPECT_EQ(changes(), (QStringList {"", "已修复", "新链接"}));
}

TEST_F(StoreWindow, AStoreThatCannotBeOpenedIsSaidAndTheWindowWorks)
{
    form.reset();
    QFile f(store);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("plain text");
    f.close();
    form = makeForm();
    EXPECT_FALSE(panel().isEnabled());
    EXPECT_FALSE(panel().store());
    EXPECT_TRUE(child<QLabel>("lbl13")->text().contains(QStringLiteral("不是 SQLite"))) << child<QLabel>("lbl13")->text().toStdString();
    runBatch({"/p1"});
    EXPECT_EQ(form->state().lv1.cell(0, CellAccess), QStringLiteral("√"));
}

} // namespace
