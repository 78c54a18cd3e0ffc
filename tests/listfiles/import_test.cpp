#include "base/errors.h"
#include "base/filenames.h"
#include "listfiles/listimport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

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
        (void)readListFile(path, capacity);
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
        {"\xD6\xD0\xCE\xC4.cn\r\nb", QStringLiteral("中文.cn\nb")}, // GB18030
        {"\xEF\xBB\xBF\xD6\xD0\xCE\xC4", QStringLiteral("中文")}, // mark, then GB18030
        {"\x81\x30\x81\x30", QStringLiteral("\u0080")}, // four-byte GB18030
    };
    for (const auto &c : cases)
        EXPECT_EQ(listFileContents(c.bytes).text, c.text) << c.bytes.toHex().constData();
}

// Each line is read on its own: a stray byte changes its own line only, and
// no character that can be read is lost.
TEST(ListImport, EachLineDecodedOnItsOwn)
{
    const struct
    {
        QByteArray bytes;
        QString text;
        qsizetype undecodable;
    } cases[] = {
        // UTF-8 Chinese, a GB18030 line, UTF-8 again
        {"\xE4\xB8\xAD.cn\r\n\xD6\xD0\xCE\xC4.cn\n\xE6\x96\x87.cn", QStringLiteral("中.cn\n中文.cn\n文.cn"), 0},
        // half a GB18030 character at the end: the line stays, the half shows
        {"a.com\nb\xD6", QStringLiteral("a.com\nb\uFFFD"), 1},
        {"a.com\rb\x81\x30\r", QStringLiteral("a.com\nb\uFFFD0\n"), 1},
        // bytes that neither reads are counted once per line
        {"\xFF\xFF\nok\n\x80x", QStringLiteral("\uFFFD\uFFFD\nok\n\uFFFDx"), 2},
        // characters the entry box used to change stay as they are
        {"a\xE2\x80\xA8"
         "b\xE2\x80\xA9"
         "c\xEF\xB7\x90"
         "d\xC2\xA0"
         "e\n\xD6\xD0",
            QStringLiteral("a\u2028b\u2029c\uFDD0d\u00A0e\n中"), 0},
        // U+FEFF that begins a later line is a character of it
        {"\xD6\xD0\n\xEF\xBB\xBFx\n\x84\x31\x95\x33y", QStringLiteral("中\n\uFEFFx\n\uFEFFy"), 0},
    };
    for (const auto &c : cases) {
        const ListText got = listFileContents(c.bytes);
        EXPECT_EQ(got.text, c.text) << c.bytes.toHex().constData();
        EXPECT_EQ(got.undecodableLines, c.undecodable) << c.bytes.toHex().constData();
    }
}

TEST(ListImport, ReadsTheWholeFile)
{
    QTemporaryDir dir;
    // Larger than one read, with a GB18030 pair across every chunk boundary somewhere.
    QByteArray bytes;
    QString expected;
    for (int i = 0; i < 300000; ++i) {
        bytes += "www.\xD6\xD0" + QByteArray::number(i) + (i % 3 == 0 ? "\r\n" : i % 3 == 1 ? "\n"
                                                                                            : "\r");
        expected += QStringLiteral("www.中%1\n").arg(i);
    }
    ASSERT_GT(bytes.size(), 3 * 1024 * 1024);
    EXPECT_EQ(readListFile(writeFile(dir, QStringLiteral("big.txt"), bytes)).text, expected);
}

// Lines a slow writer sends through a FIFO, and through standard input.
TEST(ListImport, ReadsSlowSourcesToTheirEnd)
{
    QTemporaryDir dir;
    const QByteArray fifo = QFile::encodeName(dir.filePath(QStringLiteral("list.fifo")));
    ASSERT_EQ(::mkfifo(fifo.constData(), 0600), 0);
    const auto slowWriter = [](int fd) {
        for (int i = 0; i < 4; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
            const QByteArray line = "www.line" + QByteArray::number(i) + ".com\n";
            EXPECT_EQ(::write(fd, line.constData(), size_t(line.size())), line.size());
        }
        ::close(fd);
    };
    const QString expected = QStringLiteral("www.line0.com\nwww.line1.com\nwww.line2.com\nwww.line3.com\n");

    // The reader opens first; the writer comes later.
    std::thread writer([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        slowWriter(::open(fifo.constData(), O_WRONLY | O_CLOEXEC));
    });
    EXPECT_EQ(readListFile(QFile::decodeName(fifo)).text, expected);
    writer.join();

    int ends[2];
    ASSERT_EQ(::pipe2(ends, O_CLOEXEC | O_NONBLOCK), 0);
    const int savedInput = ::dup(STDIN_FILENO);
    ::dup2(ends[0], STDIN_FILENO);
    ::close(ends[0]);
    std::thread pipeWriter(slowWriter, ends[1]);
    const QString fromInput = readListFile(QStringLiteral("-")).text;
    pipeWriter.join();
    ::dup2(savedInput, STDIN_FILENO);
    ::close(savedInput);
    EXPECT_EQ(fromInput, expected);
}

// A name that is not UTF-8 reaches the very file it names.
TEST(ListImport, FileNameThatIsNotUtf8)
{
    QTemporaryDir dir;
    const QByteArray name = QFile::encodeName(dir.path()) + "/\xD6\xD0\xFF.txt";
    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, "www.a.com\n", 10), 10);
    ::close(fd);
    EXPECT_EQ(readListFile(decodeFileName(name)).text, QStringLiteral("www.a.com\n"));
    ::unlink(name.constData()); // the temporary folder cannot name it to remove it
}

TEST(ListImport, FilesThatCannotBeOpened)
{
    QTemporaryDir dir;
    const QString missing = QStringLiteral("no-such-list-3f7a.txt");
    EXPECT_EQ(importError(missing),
        QStringLiteral("无法打开文件 \"%1\": 没有那个文件或目录").arg(QDir::current().absoluteFilePath(missing)));
    EXPECT_EQ(importError(dir.path()), QStringLiteral("无法打开文件 \"%1\": 是一个目录").arg(dir.path()));
}

TEST(ListImport, CapacityCountsTheTextNotTheBytes)
{
    QTemporaryDir dir;
    const QString exceeds = QStringLiteral("文本超出输入框的容量");
    EXPECT_EQ(readListFile(writeFile(dir, QStringLiteral("fits.txt"), "0123456789"), 10).text, QStringLiteral("0123456789"));
    EXPECT_EQ(importError(writeFile(dir, QStringLiteral("over.txt"), "0123456789a"), 10), exceeds);
    // 30 bytes of UTF-8 and CR LF, 10 characters.
    EXPECT_EQ(readListFile(writeFile(dir, QStringLiteral("wide.txt"), "\xEF\xBB\xBF\xE4\xB8\xAD\xE4\xB8\xAD\xE4\xB8\xAD\xE4\xB8\xAD\r\n\r\n\r\n\r\n\r\n\r\n"), 10).text.size(),
        10);
    // An endless source is refused without reading it to its end.
    EXPECT_EQ(importError(QStringLiteral("/dev/zero"), 1000), exceeds);
}

} // namespace
