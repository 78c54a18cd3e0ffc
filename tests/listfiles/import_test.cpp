#include "base/errors.h"
#include "base/filenames.h"
#include "listfiles/listimport.h"
#include "listfiles/listimportjob.h"
#include "support/waiting.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <future>
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
        QStringLiteral("Cannot open file \"%1\". No such file or directory").arg(QDir::current().absoluteFilePath(missing)));
    EXPECT_EQ(importError(dir.path()), QStringLiteral("Cannot open file \"%1\". Is a directory").arg(dir.path()));
}

TEST(ListImport, CapacityCountsTheTextNotTheBytes)
{
    QTemporaryDir dir;
    const QString exceeds = QStringLiteral("Text exceeds memo capacity");
    EXPECT_EQ(readListFile(writeFile(dir, QStringLiteral("fits.txt"), "0123456789"), 10).text, QStringLiteral("0123456789"));
    EXPECT_EQ(importError(writeFile(dir, QStringLiteral("over.txt"), "0123456789a"), 10), exceeds);
    // 30 bytes of UTF-8 and CR LF, 10 characters.
    EXPECT_EQ(readListFile(writeFile(dir, QStringLiteral("wide.txt"), "\xEF\xBB\xBF\xE4\xB8\xAD\xE4\xB8\xAD\xE4\xB8\xAD\xE4\xB8\xAD\r\n\r\n\r\n\r\n\r\n\r\n"), 10).text.size(),
        10);
    // An endless source is refused without reading it to its end.
    EXPECT_EQ(importError(QStringLiteral("/dev/zero"), 1000), exceeds);
}

// Sources that never end: each import is abandoned from another thread,
// and the one that waits learns it was cancelled.
TEST(ListImport, EndlessSourcesAreCancelled)
{
    QTemporaryDir dir;
    const QByteArray fifo = QFile::encodeName(dir.filePath(QStringLiteral("nobody.fifo")));
    ASSERT_EQ(::mkfifo(fifo.constData(), 0600), 0);
    // A standard input that gave a line and never closes, as a pipe from a
    // program that hangs: blocking, as the shell hands it over.
    int ends[2];
    ASSERT_EQ(::pipe2(ends, O_CLOEXEC), 0);
    ASSERT_EQ(::write(ends[1], "www.a.com\n", 10), 10);
    const int savedInput = ::dup(STDIN_FILENO);
    ::dup2(ends[0], STDIN_FILENO);
    ::close(ends[0]);

    const struct
    {
        const char *name;
        QString path;
    } sources[] = {
        {"a FIFO that no writer opens", QFile::decodeName(fifo)},
        {"standard input that never closes", QStringLiteral("-")},
    };
    for (const auto &source : sources) {
        SCOPED_TRACE(source.name);
        std::atomic<bool> cancel {false};
        std::future<QString> outcome = std::async(std::launch::async, [&] {
            try {
                return readListFile(source.path, MemoCapacity, &cancel).text;
            } catch (const ImportCancelled &e) {
                return QStringLiteral("cancelled: ") + e.message();
            }
        });
        EXPECT_EQ(outcome.wait_for(std::chrono::milliseconds(300)), std::future_status::timeout) << "ended by itself";
        cancel = true;
        ASSERT_EQ(outcome.wait_for(std::chrono::seconds(2)), std::future_status::ready) << "not cancelled";
        EXPECT_EQ(outcome.get(), QStringLiteral("cancelled: 导入已取消"));
    }

    // The job the window and the command line use: their event loop runs
    // on while it waits, and its cancel ends it.
    ListImportJob job;
    QString failure;
    bool cancelled = false;
    QObject::connect(&job, &ListImportJob::failed, [&](const QString &message, bool wasCancelled) {
        failure = message;
        cancelled = wasCancelled;
    });
    for (const auto &source : sources) {
        SCOPED_TRACE(source.name);
        failure.clear();
        ASSERT_TRUE(job.start(source.path));
        EXPECT_FALSE(job.start(source.path)) << "one import at a time";
        int ticks = 0;
        QTimer tick;
        QObject::connect(&tick, &QTimer::timeout, [&] { ++ticks; });
        tick.start(10);
        EXPECT_FALSE(prqtest::waitUntil([&] { return !job.running(); }, 300));
        EXPECT_GT(ticks, 5) << "the event loop was held";
        job.cancel();
        ASSERT_TRUE(prqtest::waitUntil([&] { return !job.running(); }, 2000));
        EXPECT_TRUE(cancelled);
        EXPECT_EQ(failure, QStringLiteral("导入已取消"));
    }

    // A job destroyed while it waits returns at once.
    QElapsedTimer clock;
    clock.start();
    {
        ListImportJob waiting;
        ASSERT_TRUE(waiting.start(QFile::decodeName(fifo)));
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_LT(clock.elapsed(), 1000);

    ::dup2(savedInput, STDIN_FILENO);
    ::close(savedInput);
    ::close(ends[1]);

    // And an ordinary file arrives whole.
    ListText got;
    QObject::connect(&job, &ListImportJob::finished, [&](const ListText &list) { got = list; });
    ASSERT_TRUE(job.start(writeFile(dir, QStringLiteral("l.txt"), "a.com\r\nb.com")));
    ASSERT_TRUE(prqtest::waitUntil([&] { return !job.running(); }, 5000));
    EXPECT_EQ(got.text, QStringLiteral("a.com\nb.com"));
}

} // namespace
