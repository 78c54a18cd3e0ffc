#include "app/Unit1.h"
#include "shell/filenames.h"
#include "shell/guard.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QFile>
#include <QTemporaryDir>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTableView>
#include <QTextCursor>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

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
    QStringList dialogTitles;
    QList<QUrl> opened;
    QStringList errors;
    guard::ErrorBox oldBox;
    std::unique_ptr<TForm1> form;

    void SetUp() override
    {
        oldBox = guard::setErrorBox([this](const QString &, const QString &m) { errors << m; });
        WindowEndpoints endpoints;
        endpoints.servers = {QStringLiteral("127.0.0.1:9")};
        WindowSeams seams;
        seams.openFile = [this](const QString &title, const QString &, const QString &filter) {
            dialogTitles << title << filter;
            return openAnswer;
        };
        seams.saveFile = [this](const QString &title, const QString &, const QString &filter) {
            dialogTitles << title << filter;
            return saveAnswer;
        };
        seams.openUrl = [this](const QUrl &u) { opened << u; };
        form = std::make_unique<TForm1>(endpoints, seams);
        form->show();
        QCoreApplication::processEvents();
    }
    void TearDown() override
    {
        form.reset();
        guard::setErrorBox(oldBox);
    }
    template<typename T>
    T *child(const char *name)
    {
        T *w = form->findChild<T *>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
};

TEST_F(WindowFixture, StartState)
{
    EXPECT_EQ(form->windowTitle(), QStringLiteral("KelvrayGoogle PR批量查询工具V1.0"));
    EXPECT_EQ(form->size(), QSize(682, 579));
    EXPECT_TRUE(errors.isEmpty());

    const std::pair<const char *, const char *> texts[] = {
        {"btn1", "批量查询PR"}, {"btn3", "整站查询"}, {"btn4", "导入查询列表"}, {"btn2", "导出"}, {"btn5", "统计死链"},
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

    for (const char *name : {"bschck1", "bschck2", "bschck3"})
        EXPECT_TRUE(child<QCheckBox>(name)->isChecked()) << name;
    EXPECT_EQ(child<QCheckBox>("bschck1")->text(), QStringLiteral("只导出网址和PR"));
    EXPECT_EQ(child<QCheckBox>("bschck2")->text(), QStringLiteral("查询PR"));
    EXPECT_EQ(child<QCheckBox>("bschck3")->text(), QStringLiteral("死链检测"));
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
    EXPECT_FALSE(gauge->isTextVisible());

    auto *list = child<QTableView>("lv1");
    EXPECT_TRUE(list->showGrid());
    EXPECT_EQ(list->selectionBehavior(), QAbstractItemView::SelectRows);
    EXPECT_EQ(list->selectionMode(), QAbstractItemView::SingleSelection);
    EXPECT_FALSE(list->isSortingEnabled());
    const int widths[] = {50, 50, 100, 310, 50, 80, 90};
    for (int c = 0; c < 7; ++c)
        EXPECT_EQ(list->columnWidth(c), widths[c]);

    auto *menu = child<QMenu>("bsknpmn1");
    QStringList items;
    for (QAction *a : menu->actions()) {
        items << a->text();
        EXPECT_TRUE(a->isEnabled());
    }
    EXPECT_EQ(items, (QStringList{QStringLiteral("重新查询"), QStringLiteral("导出文本"), QStringLiteral("清空列表"), QStringLiteral("访问网站")}));
    EXPECT_EQ(form->state().iplist, QStringList{QStringLiteral("127.0.0.1:9")});
    EXPECT_EQ(form->state().linkexpr.size(), 79);
}

TEST_F(WindowFixture, OnlyTheResultListGrowsWithTheWindow)
{
    const char *regions[] = {"bskngrpbx1", "WebBrowser1", "pr1", "listStrip"};
    QList<QRect> before;
    for (const char *name : regions)
        before << child<QWidget>(name)->geometry();
    EXPECT_EQ(before[0].height(), 281);
    EXPECT_EQ(before[1].height(), 62);
    EXPECT_EQ(before[2].height(), 13);
    EXPECT_EQ(before[3].height(), 32);
    EXPECT_EQ(child<QWidget>("siteStrip")->height(), 75);
    EXPECT_EQ(child<QWidget>("batchArea")->height(), 184);
    EXPECT_EQ(child<QWidget>("toolStrip")->height(), 49);
    auto *list = child<QTableView>("lv1");
    const QRect listBefore = list->geometry();
    EXPECT_EQ(listBefore.height(), 579 - 281 - 62 - 13 - 32);

    form->resize(900, 800);
    QCoreApplication::processEvents();
    for (int i = 0; i < 4; ++i) {
        const QRect now = child<QWidget>(regions[i])->geometry();
        EXPECT_EQ(now.height(), before[i].height()) << regions[i];
        EXPECT_EQ(now.top(), before[i].top()) << regions[i];
        EXPECT_EQ(now.width(), 900) << regions[i];
    }
    EXPECT_EQ(list->height(), listBefore.height() + 221);
    EXPECT_EQ(list->width(), 900);

    // A long request address in the status line does not widen the window.
    form->state().setLbl13(QStringLiteral("正在查询：") + QString(2000, QLatin1Char('x')));
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

    memo->clear();
    QTest::mouseClick(child<QPushButton>("btn1"), Qt::LeftButton);
    auto *gauge = child<QProgressBar>("pr1");
    // Range 0..0 would show Qt's busy animation; the gauge must show empty.
    EXPECT_GT(gauge->maximum(), gauge->minimum());
    EXPECT_EQ(gauge->value(), 0);
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
    EXPECT_EQ(child<QLabel>("lbl2")->text(), QStringLiteral("数量(2)"));
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
        f.write("\xef\xbb\xbf" "a.com\r\nb.com\rc.com\n");
    }
    auto *memo = child<QPlainTextEdit>("memo1");
    memo->setPlainText(QStringLiteral("typed"));
    openAnswer = QString(); // cancelled
    QTest::mouseClick(child<QPushButton>("btn4"), Qt::LeftButton);
    EXPECT_EQ(memo->toPlainText(), QStringLiteral("typed"));
    EXPECT_EQ(dialogTitles, (QStringList{QStringLiteral("导入域名列表"), QStringLiteral("文本文件 (*.txt)")}));

    openAnswer = path;
    QTest::mouseClick(child<QPushButton>("btn4"), Qt::LeftButton);
    EXPECT_EQ(memo->toPlainText(), QStringLiteral("a.com\nb.com\nc.com\n"));
    form->btn1Click();
    EXPECT_EQ(form->state().lv1.count(), 3); // the final line break adds no row

    openAnswer = dir.filePath(QStringLiteral("missing.txt"));
    QTest::mouseClick(child<QPushButton>("btn4"), Qt::LeftButton);
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors.first().startsWith(QStringLiteral("Cannot open file \"") + openAnswer + QStringLiteral("\". "))) << errors.first().toStdString();
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
    EXPECT_EQ(readAll(saveAnswer), QByteArray("a.com\t5\r\r\n" "\xe4\xb8\xad\xe6\x96\x87.cn\t\xe6\x9f\xa5\xe8\xaf\xa2\xe4\xb8\xad...\r\r\n"));

    child<QCheckBox>("bschck1")->setChecked(false);
    child<QAction>("N3")->trigger();
    EXPECT_TRUE(readAll(saveAnswer).startsWith(QByteArray("1\t\xe6\x89\xb9\xe9\x87\x8f\t--\ta.com\t")));
    EXPECT_EQ(dialogTitles.at(0), QStringLiteral("导出文本文件"));
    EXPECT_TRUE(errors.isEmpty());

    saveAnswer = QStringLiteral("/dev/full");
    child<QAction>("N3")->trigger();
    EXPECT_EQ(errors, QStringList{QStringLiteral("Cannot write file \"/dev/full\". Disk full.")});
}

// Characters the text document would turn into breaks or spaces reach the
// rows unchanged, whether imported or typed.
TEST_F(WindowFixture, EntryBoxLinesReachTheListExactly)
{
    const QString odd = QStringLiteral("a.com/\u2028x\n" "b.com/\u2029y\r\n" "c.com/\uFDD0\uFDD1z\r" "d.com/\u00A0w");
    const QStringList rows{QStringLiteral("a.com/\u2028x"), QStringLiteral("b.com/\u2029y"), QStringLiteral("c.com/\uFDD0\uFDD1z"),
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
    EXPECT_EQ(urls(), (QStringList{QStringLiteral("e.com/\u2028v"), QStringLiteral("f.com/\u00A0u")}));

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
    EXPECT_EQ(urls(), (QStringList{QStringLiteral("www.g.com/\u2029t"), QStringLiteral("h.com/\uFDD0s/r")}));

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
}

} // namespace
