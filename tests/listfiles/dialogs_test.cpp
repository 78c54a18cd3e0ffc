#include "listfiles/listfiledialogs.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

TEST(ListFileDialogs, StartInTheirFirstFoldersThenTheLastChosenOne)
{
    ListFileDialogs dialogs;
    EXPECT_EQ(dialogs.startFolder(), QCoreApplication::applicationDirPath());
    QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (!QFileInfo(documents).isDir())
        documents = QDir::homePath();
    EXPECT_EQ(dialogs.exportStartFolder(), documents);
    dialogs.remember(QString()); // a cancelled dialog
    EXPECT_EQ(dialogs.exportStartFolder(), documents);
    dialogs.remember(QStringLiteral("/tmp/lists/a.txt"));
    EXPECT_EQ(dialogs.startFolder(), QStringLiteral("/tmp/lists"));
    EXPECT_EQ(dialogs.exportStartFolder(), QStringLiteral("/tmp/lists"));
    dialogs.remember(QString());
    EXPECT_EQ(dialogs.startFolder(), QStringLiteral("/tmp/lists"));

    EXPECT_EQ(ListFileDialogs::exportName(QDateTime(QDate(2026, 3, 4), QTime(5, 6, 7))), QStringLiteral("PR查询结果-20260304-050607.txt"));
    const QStringList filters = ListFileDialogs::exportFilters();
    ASSERT_EQ(filters, (QStringList {QStringLiteral("文本文件 (*.txt)"), QStringLiteral("CSV文件 (*.csv)"), QStringLiteral("JSON Lines文件 (*.jsonl)")}));

    // The chosen filter decides the form, whatever the name; a filter the
    // dialog did not offer leaves it to the extension.
    const struct
    {
        FileDialogAnswer answer;
        ExportFormat format;
    } answers[] = {
        {{QStringLiteral("/x/a.csv"), filters[0]}, ExportFormat::Tsv},
        {{QStringLiteral("/x/a.txt"), filters[1]}, ExportFormat::Csv},
        {{QStringLiteral("/x/a.txt"), filters[2]}, ExportFormat::Jsonl},
        {{QStringLiteral("/x/a.csv"), QString()}, ExportFormat::Csv},
        {{QStringLiteral("/x/a"), QStringLiteral("All (*)")}, ExportFormat::Tsv},
    };
    for (const auto &a : answers)
        EXPECT_EQ(ListFileDialogs::exportFormat(a.answer), a.format) << a.answer.path.toStdString();

    // The import reads a CSV file's address column under the CSV filter, or
    // for a ".csv" name under any filter; anything else is read by lines.
    const QStringList imports = ListFileDialogs::importFilters();
    ASSERT_EQ(imports, (QStringList {QStringLiteral("文本文件 (*.txt)"), QStringLiteral("CSV文件 (*.csv)"), QStringLiteral("所有文件 (*)")}));
    EXPECT_TRUE(ListFileDialogs::importsCsv({QStringLiteral("/x/a.txt"), imports[1]}));
    EXPECT_TRUE(ListFileDialogs::importsCsv({QStringLiteral("/x/a.CSV"), imports[2]}));
    EXPECT_TRUE(ListFileDialogs::importsCsv({QStringLiteral("/x/a.csv"), imports[0]}));
    EXPECT_FALSE(ListFileDialogs::importsCsv({QStringLiteral("/x/a.txt"), imports[0]}));
    EXPECT_FALSE(ListFileDialogs::importsCsv({QStringLiteral("/x/a.tsv"), imports[2]}));

    // A folder remembered from an earlier start counts as chosen; one that
    // is gone does not.
    ListFileDialogs restored;
    restored.restoreFolder(QStringLiteral("/no/such/folder-9c1"));
    EXPECT_EQ(restored.chosenFolder(), QString());
    restored.restoreFolder(QDir::tempPath());
    EXPECT_EQ(restored.exportStartFolder(), QDir::tempPath());
    EXPECT_EQ(restored.chosenFolder(), QDir::tempPath());
}

TEST(ListFileDialogs, TypedNames)
{
    QTemporaryDir dir;
    for (const char *name : {"list.txt", "plain", "both", "both.txt", "data.csv"}) {
        QFile file(dir.filePath(QString::fromUtf8(name)));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("sub.txt")));
    const ListFileDialogs dialogs(dir.path());

    const struct
    {
        QString typed;
        QString opened; // empty: the dialog stays open
    } cases[] = {
        {QStringLiteral("list"), QStringLiteral("list.txt")},
        {QStringLiteral("list.txt"), QStringLiteral("list.txt")},
        {QStringLiteral("both"), QStringLiteral("both.txt")},
        {QStringLiteral("plain"), QStringLiteral("plain")},
        {dir.filePath(QStringLiteral("list")), QStringLiteral("list.txt")},
        {QStringLiteral("data"), QString()},
        {QStringLiteral("sub"), QString()},
        {QStringLiteral("missing"), QString()},
        {QString(), QString()},
    };
    for (const auto &c : cases) {
        const QString expected = c.opened.isEmpty() ? QString() : dir.filePath(c.opened);
        EXPECT_EQ(dialogs.resolveOpenName(c.typed), expected) << c.typed.toStdString();
    }

    EXPECT_EQ(dialogs.resolveSaveName(QStringLiteral("out")), dir.filePath(QStringLiteral("out")));
    EXPECT_EQ(dialogs.resolveSaveName(QStringLiteral("/x/y.csv")), QStringLiteral("/x/y.csv"));
}

} // namespace
