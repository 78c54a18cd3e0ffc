#include "listfiles/systemfile.h"

#include "base/filenames.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

QString fileErrorText(int errnum)
{
    switch (errnum) {
    case EACCES:
    case EPERM:
    case EROFS:
        return QStringLiteral("File access denied");
    case ENOSPC:
    case EDQUOT:
        return QStringLiteral("Disk full");
    default:
        return QStringLiteral("I/O error %1").arg(errnum);
    }
}

SystemFile::SystemFile(QObject *parent)
    : QIODevice(parent)
{
}

SystemFile::~SystemFile()
{
    close();
}

bool SystemFile::openPath(const QString &path, OpenMode mode)
{
    close();
    m_errno = 0;
    const QByteArray name = encodeFileName(path);
    int flags = O_CLOEXEC | O_NOCTTY;
    if (mode & WriteOnly)
        flags |= O_WRONLY | O_CREAT | O_TRUNC;
    else
        flags |= O_RDONLY | O_NONBLOCK;
    int fd;
    do {
        fd = ::open(name.constData(), flags, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        fail(errno);
        return false;
    }
    bool fifo = false;
    if (!(mode & WriteOnly)) {
        struct stat st
        {
        };
        if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
            const int err = S_ISDIR(st.st_mode) ? EISDIR : errno;
            ::close(fd);
            fail(err);
            return false;
        }
        fifo = S_ISFIFO(st.st_mode);
    }
    adopt(fd, mode);
    m_fifo = fifo;
    return true;
}

bool SystemFile::openStandardInput()
{
    close();
    m_errno = 0;
    // A copy, so that closing this device leaves the process's own input open.
    const int fd = ::fcntl(STDIN_FILENO, F_DUPFD_CLOEXEC, 0);
    if (fd < 0) {
        fail(errno);
        return false;
    }
    adopt(fd, ReadOnly);
    return true;
}

void SystemFile::adopt(int fd, OpenMode mode)
{
    close();
    m_fd = fd;
    m_fifo = false;
    QIODevice::open((mode & (ReadOnly | WriteOnly)) | Unbuffered);
}

qint64 SystemFile::regularFileSize() const
{
    struct stat st
    {
    };
    if (m_fd < 0 || ::fstat(m_fd, &st) != 0 || !S_ISREG(st.st_mode))
        return -1;
    return st.st_size;
}

bool SystemFile::closeChecked()
{
    if (m_fd < 0)
        return true;
    const int fd = m_fd;
    m_fd = -1;
    QIODevice::close();
    // After EINTR the descriptor is already released on Linux; retrying could
    // close a descriptor another thread has just been given.
    if (::close(fd) != 0 && errno != EINTR) {
        fail(errno);
        return false;
    }
    return true;
}

void SystemFile::close()
{
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    QIODevice::close();
}

bool SystemFile::waitReadable() const
{
    static constexpr int kLookEveryMs = 100;
    pollfd p {m_fd, POLLIN, 0};
    for (;;) {
        if (m_cancel && m_cancel->load())
            return false;
        const int n = ::poll(&p, 1, m_cancel ? kLookEveryMs : -1);
        // An error of poll itself is left for read() to report.
        if (n > 0 || (n < 0 && errno != EINTR))
            return true;
    }
}

qint64 SystemFile::readData(char *data, qint64 maxSize)
{
    // A FIFO opened without waiting reads as ended until its writer opens
    // it; the system signals the reader only once a writer has written or
    // come and gone. A read that may be cancelled never blocks in read().
    if ((m_fifo || m_cancel) && !waitReadable()) {
        fail(ECANCELED);
        return -1;
    }
    for (;;) {
        const ssize_t n = ::read(m_fd, data, std::size_t(maxSize));
        if (n >= 0)
            return n;
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            // A pipe or FIFO (opened without blocking, or handed over that
            // way) whose writer has not written yet: wait for it.
            if (!waitReadable()) {
                fail(ECANCELED);
                return -1;
            }
            continue;
        }
        if (errno != EINTR) {
            fail(errno);
            return -1;
        }
    }
}

qint64 SystemFile::writeData(const char *data, qint64 maxSize)
{
    qint64 done = 0;
    while (done < maxSize) {
        const ssize_t n = ::write(m_fd, data + done, std::size_t(maxSize - done));
        if (n > 0) {
            done += n;
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            // Report the bytes that made it first; the caller's next write
            // meets the error again and reports it.
            if (done > 0)
                break;
            fail(n < 0 ? errno : EIO);
            return -1;
        }
    }
    return done;
}

void SystemFile::fail(int errnum)
{
    m_errno = errnum;
    setErrorString(fileErrorText(errnum));
}
