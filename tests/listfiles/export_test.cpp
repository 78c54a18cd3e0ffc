#include "base/errors.h"
#include "listfiles/listexport.h"
#include "listfiles/systemfile.h"
#include "shell/resultlist.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <sys/mount.h>
#include <sys/resource.h>

namespace {

// Takes bytes until it holds `limit` of them, then fails every write with
// `message`, the way a disk that fills up mid-export does.
class FailDevice final : public QIODevice
{
    Q_DISABLE_COPY_MOVE(FailDevice)

public:
    FailDevice(qint64 limit, const QString &message)
        : m_limit(limit)
        , m_message(message)
    {
        open(WriteOnly | Unbuffered);
    }
    bool isSequential() const override { return true; }
    const QByteArray &received() const { return m_received; }

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *data, qint64 size) override
    {
        const qint64 room = m_limit - m_received.size();
        if (room <= 0) {
            setErrorString(m_message);
            return -1;
        }
        const qint64 n = std::min(room, size);
        m_received.append(data, n);
        return n;
    }

private:
    qint64 m_limit;
    QString m_message;
    QByteArray m_received;
};

ResultRow batchRow(int number, const QString &url, const QString &pr)
{
    return ResultRow {QString::number(number), {QStringLiteral("批量"), QStringLiteral("--"), url, QStringLiteral("√"), pr}};
}

void fillList(ResultListModel &list, int rows)
{
    std::vector<ResultRow> all;
    for (int i = 0; i < rows; ++i)
        all.push_back(batchRow(i + 1, QStringLiteral("www.例子%1.com/path").arg(i), QString::number(i % 10)));
    list.addRows(std::move(all));
}

QByteArray writtenBytes(const ResultListModel &list, bool shortForm)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    writeList(list, shortForm, buffer);
    return buffer.data();
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
    return file.readAll();
}

QString exportError(const ResultListModel &list, const QString &path)
{
    try {
        exportList(list, false, path);
    } catch (const AppError &e) {
        return e.message();
    }
    return QStringLiteral("(no error)");
}

TEST(ListExport, BothFormsByteForByte)
{
    ResultListModel list;
    list.addRow(batchRow(1, QStringLiteral("www.a.com"), QStringLiteral("5")));
    // A running query's texts, and a tab and line breaks inside cells, go out as they stand.
    list.addRow(ResultRow {QStringLiteral("2"),
        {QStringLiteral("内"), QStringLiteral("链接\t词\r\n"), QStringLiteral("b.cn/x\ty"),
            QStringLiteral("查询中..."), QStringLiteral("IP被屏蔽")}});

    EXPECT_EQ(writtenBytes(list, true),
        QByteArray("www.a.com\t5\r\r\n"
                   "b.cn/x\ty\tIP\xE8\xA2\xAB\xE5\xB1\x8F\xE8\x94\xBD\r\r\n"));
    EXPECT_EQ(writtenBytes(list, false),
        QByteArray("1\t\xE6\x89\xB9\xE9\x87\x8F\t--\twww.a.com\t\xE2\x88\x9A\t5\r\r\n"
                   "2\t\xE5\x86\x85\t\xE9\x93\xBE\xE6\x8E\xA5\t\xE8\xAF\x8D\r\n\tb.cn/x\ty\t"
                   "\xE6\x9F\xA5\xE8\xAF\xA2\xE4\xB8\xAD...\tIP\xE8\xA2\xAB\xE5\xB1\x8F\xE8\x94\xBD\r\r\n"));
}

TEST(ListExport, FileIsReplacedWholeAndAnEmptyListEmptiesIt)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("out.txt"));
    {
        QFile old(path);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write(QByteArray(100000, 'x'));
    }
    ResultListModel list;
    fillList(list, 3000);
    exportList(list, false, path);
    EXPECT_EQ(readFile(path), writtenBytes(list, false));

    list.clear();
    exportList(list, true, path);
    EXPECT_TRUE(QFileInfo::exists(path));
    EXPECT_EQ(readFile(path).size(), 0);
}

TEST(ListExport, FailingDeviceKeepsWhatWasWrittenAndReportsItsText)
{
    ResultListModel list;
    fillList(list, 20000);
    const QByteArray whole = writtenBytes(list, false);
    ASSERT_GT(whole.size(), 800000); // several chunks of records

    for (const qint64 limit : {qint64(0), qint64(17), qint64(whole.size() / 2), qint64(whole.size() - 1)}) {
        FailDevice device(limit, QStringLiteral("Disk full"));
        try {
            writeList(list, false, device);
            ADD_FAILURE() << "no error at limit " << limit;
        } catch (const AppError &e) {
            EXPECT_EQ(e.message(), QStringLiteral("Disk full"));
        }
        EXPECT_EQ(device.received(), whole.left(limit)) << "limit " << limit;
    }

    FailDevice roomy(whole.size(), QStringLiteral("unused"));
    writeList(list, false, roomy);
    EXPECT_EQ(roomy.received(), whole);
}

TEST(ListExport, UnwritableTargetsSayWhatFailedAndWhere)
{
    QTemporaryDir dir;
    QFile plain(dir.filePath(QStringLiteral("plain")));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();
    ResultListModel list;
    list.addRow(batchRow(1, QStringLiteral("www.a.com"), QStringLiteral("5")));

    const struct
    {
        QString path;
        const char *step;
        const char *message;
    } cases[] = {
        {QStringLiteral("/dev/full"), "写入", "磁盘已满"}, // a device is written in place
        {dir.path(), "创建", "是一个目录"}, // a folder
        {dir.filePath(QStringLiteral("plain/out.txt")), "创建", "路径中有一部分不是目录"}, // under a file
        {dir.filePath(QStringLiteral("none/out.txt")), "创建", "没有那个文件或目录"}, // missing folder
    };
    for (const auto &c : cases) {
        EXPECT_EQ(exportError(list, c.path), QStringLiteral("无法%1文件 \"%2\": %3").arg(QString::fromUtf8(c.step), c.path, QString::fromUtf8(c.message)))
            << c.path.toStdString();
    }
}

// Fills the list until its export is larger than bytes.
void fillPast(ResultListModel &list, qint64 bytes)
{
    fillList(list, int(bytes / 20) + 100);
    ASSERT_GT(writtenBytes(list, true).size(), bytes);
}

// A failure anywhere in the export leaves the earlier file byte for byte, and
// nothing beside it.
void expectEarlierFileSurvives(const QString &folder, const QString &path, const QByteArray &earlier, const QString &message,
    const char *reason)
{
    EXPECT_TRUE(message.startsWith(QStringLiteral("无法写入文件 \"%1\": ").arg(path))) << message.toStdString();
    EXPECT_TRUE(message.endsWith(QString::fromUtf8(reason))) << message.toStdString();
    EXPECT_EQ(readFile(path), earlier);
    EXPECT_EQ(QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).size(), 1);
}

const QByteArray EarlierFile = QByteArray("www.good.com\t5\r\r\n").repeated(1000);

TEST(ListExport, FileSizeLimitMidExportLeavesTheEarlierFile)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("cut.txt"));
    {
        QFile good(path);
        ASSERT_TRUE(good.open(QIODevice::WriteOnly));
        good.write(EarlierFile);
    }
    constexpr rlim_t Limit = 300001;
    ResultListModel list;
    fillPast(list, Limit);

    // The size limit makes the system refuse writes past it (EFBIG), on a real file.
    rlimit saved {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit cut = saved;
    cut.rlim_cur = Limit;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &cut), 0);
    const QString message = [&] {
        try {
            exportList(list, true, path);
        } catch (const AppError &e) {
            return e.message();
        }
        return QString();
    }();
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    expectEarlierFileSurvives(dir.path(), path, EarlierFile, message, "文件过大");
}

// A small file system that fills up mid-export, over a good file on it.
TEST(ListExport, FullFileSystemLeavesTheEarlierFile)
{
    QTemporaryDir dir;
    const QByteArray mountPoint = QFile::encodeName(dir.path());
    if (::mount("prq-full", mountPoint.constData(), "tmpfs", 0, "size=256k") != 0)
        GTEST_SKIP() << "mounting a tmpfs needs root";
    struct Unmount
    {
        const QByteArray &at;
        ~Unmount() { ::umount2(at.constData(), MNT_DETACH); }
    } unmount {mountPoint};

    const QString path = dir.filePath(QStringLiteral("list.txt"));
    {
        QFile good(path);
        ASSERT_TRUE(good.open(QIODevice::WriteOnly));
        ASSERT_EQ(good.write(EarlierFile), EarlierFile.size());
    }
    ResultListModel list;
    fillPast(list, 256 * 1024);
    expectEarlierFileSurvives(dir.path(), path, EarlierFile, exportError(list, path), "磁盘已满");

    // With room again the export replaces the file whole, keeping its mode.
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    ResultListModel small;
    fillList(small, 10);
    exportList(small, true, path);
    EXPECT_EQ(readFile(path), writtenBytes(small, true));
    EXPECT_EQ(QFile::permissions(path), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadUser | QFileDevice::WriteUser);
}

TEST(ListExport, ALinkKeepsPointingAtTheReplacedFile)
{
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("real.txt"));
    const QString link = dir.filePath(QStringLiteral("link.txt"));
    QFile(target).open(QIODevice::WriteOnly);
    ASSERT_TRUE(QFile::link(target, link));
    ResultListModel list;
    fillList(list, 3);
    exportList(list, true, link);
    EXPECT_EQ(QFileInfo(link).symLinkTarget(), target);
    EXPECT_EQ(readFile(target), writtenBytes(list, true));
}

TEST(ListExport, ErrorTexts)
{
    const struct
    {
        int errnum;
        const char *text;
    } cases[] = {
        {EACCES, "文件访问被拒绝"},
        {EPERM, "文件访问被拒绝"},
        {EROFS, "文件访问被拒绝"},
        {ENOSPC, "磁盘已满"},
        {EDQUOT, "磁盘已满"},
        {EIO, "输入/输出错误"},
        {EISDIR, "是一个目录"},
        {EXDEV, "系统错误 18 (Invalid cross-device link)"}, // any other: the C library's words after Chinese ones
    };
    for (const auto &c : cases)
        EXPECT_EQ(fileErrorText(c.errnum), QString::fromUtf8(c.text)) << c.errnum;
}

} // namespace
