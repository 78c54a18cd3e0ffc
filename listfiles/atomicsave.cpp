#include "listfiles/atomicsave.h"

#include "base/errors.h"
#include "base/filenames.h"
#include "listfiles/systemfile.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The step in words: "create", "write", "close" or "replace".
QString stepWords(const char *step)
{
    const QLatin1String s(step);
    if (s == QLatin1String("create"))
        return QStringLiteral("创建");
    if (s == QLatin1String("write"))
        return QStringLiteral("写入");
    if (s == QLatin1String("close"))
        return QStringLiteral("关闭");
    return QStringLiteral("替换");
}

[[noreturn]] void failed(const char *step, const QString &path, const QString &why)
{
    throw AppError(QStringLiteral("无法%1文件 \"%2\": %3").arg(stepWords(step), path, why));
}

// Runs write on device, turning its failure into a message
// that names the step and the path.
void runWriter(SystemFile &device, const QString &path, const std::function<void(QIODevice &)> &write)
{
    try {
        write(device);
    } catch (const AppError &e) {
        failed("write", path, e.message());
    }
}

// The path whose file is to be replaced: a link's final target.
QByteArray replacedName(const QByteArray &name)
{
    struct stat st
    {
    };
    if (::lstat(name.constData(), &st) != 0 || !S_ISLNK(st.st_mode))
        return name;
    char resolved[PATH_MAX];
    if (::realpath(name.constData(), resolved))
        return QByteArray(resolved);
    return name; // a dangling link: replacing the link itself is all that can be done
}

QByteArray folderOf(const QByteArray &name)
{
    const qsizetype slash = name.lastIndexOf('/');
    if (slash < 0)
        return QByteArrayLiteral(".");
    return slash == 0 ? QByteArrayLiteral("/") : name.left(slash);
}

void writeDirectly(const QString &path, const std::function<void(QIODevice &)> &write)
{
    SystemFile file;
    if (!file.openPath(path, QIODevice::WriteOnly))
        failed("create", path, file.errorString());
    runWriter(file, path, write);
    if (!file.closeChecked())
        failed("close", path, file.errorString());
}

} // namespace

void saveAtomically(const QString &path, const std::function<void(QIODevice &)> &write)
{
    const QByteArray target = replacedName(encodeFileName(path));
    struct stat old
    {
    };
    const bool exists = ::stat(target.constData(), &old) == 0;
    if (exists && !S_ISREG(old.st_mode)) {
        if (S_ISDIR(old.st_mode))
            failed("create", path, fileErrorText(EISDIR));
        writeDirectly(path, write);
        return;
    }

    const QByteArray base = target.mid(target.lastIndexOf('/') + 1);
    QByteArray temp = folderOf(target) + "/." + base + ".XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0)
        failed("create", path, fileErrorText(errno));
    SystemFile file;
    file.adopt(fd, QIODevice::WriteOnly);
    struct Cleanup
    {
        const QByteArray &name;
        bool armed = true;
        ~Cleanup()
        {
            if (armed)
                ::unlink(name.constData());
        }
    } cleanup {temp};

    // mkostemp makes the file private; the new file gets the old one's mode,
    // or what a plain create would have given.
    mode_t mode;
    if (exists) {
        mode = old.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    if (::fchmod(fd, mode) != 0)
        failed("create", path, fileErrorText(errno));
    if (exists && (old.st_uid != ::geteuid() || old.st_gid != ::getegid())) {
        // Best effort: only the owner's own programs may hand a file back.
        [[maybe_unused]] const int ignored = ::fchown(fd, old.st_uid, old.st_gid);
    }
    runWriter(file, path, write);
    // The data must be on the disk before the new name points at it, or a
    // crash could leave an empty file where the good one was.
    if (::fsync(fd) != 0)
        failed("write", path, fileErrorText(errno));
    if (!file.closeChecked())
        failed("close", path, file.errorString());
    if (::rename(temp.constData(), target.constData()) != 0)
        failed("replace", path, fileErrorText(errno));
    cleanup.armed = false;
}

int probeSave(const QString &path)
{
    const QByteArray target = replacedName(encodeFileName(path));
    struct stat st
    {
    };
    if (::stat(target.constData(), &st) == 0 && !S_ISREG(st.st_mode)) {
        if (S_ISDIR(st.st_mode))
            return EISDIR;
        if (S_ISFIFO(st.st_mode))
            return 0;
        const int fd = ::open(target.constData(), O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
        if (fd < 0)
            return errno;
        ::close(fd);
        return 0;
    }
    const QByteArray base = target.mid(target.lastIndexOf('/') + 1);
    QByteArray temp = folderOf(target) + "/." + base + ".XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0)
        return errno;
    ::close(fd);
    ::unlink(temp.constData());
    return 0;
}
