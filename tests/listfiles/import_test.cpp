#include "listfiles/listimport.h"
#include "shell/errors.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

QString writeFile(const QTemporaryDir &dir, const QString &name, const QByteArray &bytes)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    return path;
}

QString importError(const QString &path, qsizetype capacity = MemoCapacity)
{
    try {
        importListFile(path, capacity);
    } catch (const AppError &e) {
        return e.message();
    }
    return QStringLiteral("(no error)");
}

TEST(ListImport, TextOfTheBytes)
{
    const struct
    {
        QByteArray bytes;
        QString text;
    } cases[] = {
        {QByteArray(), QString()},
        {"a\r\nb\nc\rd", QStringLiteral("a\nb\nc\nd")},
        {"a\n\r\nb\r\r\n", QStringLiteral("a\n\nb\n\n")}, // an exported record's CR CR LF is two breaks
        {"\r\n\r\n", QStringLiteral("\n\n")},
        {"\xEF\xBB\xBFwww.a.com\r\n", QStringLiteral("www.a.com\n")},
        {"\xEF\xBB\xBF", QString()},
        {"a\xEF\xBB\xBF", QStringLiteral("a\uFEFF")}, // only a leading mark is dropped
        {"\xE4\xB8\xAD\xE6\x96\x87.cn", QStringLiteral("中文.cn")},
        {"\xD6\xD0\xCE\xC4.cn\r\nb", QStringLiteral("中文.cn\nb")},               // GB18030
        {"\xEF\xBB\xBF\xD6\xD0\xCE\xC4", QStringLiteral("中文")},                 // mark, then GB18030
        {"\x81\x30\x81\x30", QStringLiteral("\u0080")},                           // four-byte GB18030
    };
    for (const auto &c : cases)
        EXPECT_EQ(listFileText(c.bytes), c.text) << c.bytes.toHex().constData();
}

TEST(ListImport, ReadsTheWholeFile)
{
    QTemporaryDir dir;
    // Larger than one read, with a GB18030 pair across every chunk boundary somewhere.
    QByteArray bytes;
    QString expected;
    for (int i = 0; i < 300000; ++i) {
        bytes += "www.\xD6\xD0" + QByteArray::number(i) + (i % 3 == 0 ? "\r\n" : i % 3 == 1 ? "\n" : "\r");
        expected += QStringLiteral("www.中%1\n").arg(i);
    }
    ASSERT_GT(bytes.size(), 3 * 1024 * 1024);
    EXPECT_EQ(importListFile(writeFile(dir, QStringLiteral("big.txt"), bytes)), expected);
}

TEST(ListImport, FilesThatCannotBeOpened)
{
    QTemporaryDir dir;
    const QString missing = QStringLiteral("no-such-list-3f7a.txt");
    EXPECT_EQ(importError(missing),
              QStringLiteral("Cannot open file \"%1\". No such file or directory").arg(QDir::current().absoluteFilePath(missing)));
    EXPECT_EQ(importError(dir.path()), QStringLiteral("Cannot open file \"%1\". Is a directory").arg(dir.path()));
}

TEST(ListImport, CapacityCountsTheTextNotTheBytes)
{
    QTemporaryDir dir;
    const QString exceeds = QStringLiteral("Text exceeds memo capacity");
    EXPECT_EQ(importListFile(writeFile(dir, QStringLiteral("fits.txt"), "0123456789"), 10), QStringLiteral("0123456789"));
    EXPECT_EQ(importError(writeFile(dir, QStringLiteral("over.txt"), "0123456789a"), 10), exceeds);
    // 30 bytes of UTF-8 and CR LF, 10 characters.
    EXPECT_EQ(importListFile(writeFile(dir, QStringLiteral("wide.txt"), "\xEF\xBB\xBF\xE4\xB8\xAD\xE4\xB8\xAD\xE4\xB8\xAD\xE4\xB8\xAD\r\n\r\n\r\n\r\n\r\n\r\n"), 10)
                  .size(),
              10);
    // An endless source is refused without reading it to its end.
    EXPECT_EQ(importError(QStringLiteral("/dev/zero"), 1000), exceeds);
}

} // namespace
