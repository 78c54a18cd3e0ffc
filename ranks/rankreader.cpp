#include "ranks/rankreader.h"

#include "base/errors.h"
#include "base/filenames.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

namespace {

// Longer than any line of a ranks file by far: a file without line breaks is
// not read whole into memory.
constexpr std::size_t BufferSize = 1 << 20;

SourceStamp stampOfStat(const struct stat &st)
{
    return {qint64(st.st_size), qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

gzFile gz(void *handle)
{
    return static_cast<gzFile>(handle);
}

} // namespace

std::optional<SourceStamp> stampOf(const QString &path)
{
    struct stat st
    {
    };
    if (::stat(encodeFileName(path).constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    return stampOfStat(st);
}

RankFileReader::RankFileReader(const QString &path)
    : m_path(path)
    , m_buffer(BufferSize)
{
    m_fd = ::open(encodeFileName(path).constData(), O_RDONLY | O_CLOEXEC);
    struct stat st
    {
    };
    if (m_fd < 0 || ::fstat(m_fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const int error = m_fd < 0 ? errno : EISDIR;
        if (m_fd >= 0)
            ::close(m_fd);
        throw AppError(QStringLiteral("无法打开排名文件 \"%1\": %2").arg(path, QString::fromLocal8Bit(std::strerror(error))));
    }
    m_stamp = stampOfStat(st);
    // gzclose closes the descriptor, so zlib gets its own.
    const int own = ::dup(m_fd);
    m_gz = own >= 0 ? gzdopen(own, "rb") : nullptr;
    if (!m_gz) {
        if (own >= 0)
            ::close(own);
        ::close(m_fd);
        throw AppError(QStringLiteral("无法打开排名文件 \"%1\"").arg(path));
    }
    gzbuffer(gz(m_gz), 1 << 18);
}

RankFileReader::~RankFileReader()
{
    gzclose(gz(m_gz));
    ::close(m_fd);
}

qint64 RankFileReader::position() const
{
    return qint64(gzoffset(gz(m_gz)));
}

bool RankFileReader::changed() const
{
    struct stat opened
    {
    };
    struct stat now
    {
    };
    if (::fstat(m_fd, &opened) != 0 || ::stat(encodeFileName(m_path).constData(), &now) != 0)
        return true;
    return opened.st_dev != now.st_dev || opened.st_ino != now.st_ino || stampOfStat(opened) != m_stamp || stampOfStat(now) != m_stamp;
}

void RankFileReader::fill()
{
    // The part of a line already read moves to the front.
    const std::size_t rest = m_end - m_begin;
    if (m_begin > 0 && rest > 0)
        std::memmove(m_buffer.data(), m_buffer.data() + m_begin, rest);
    m_begin = 0;
    m_end = rest;
    if (m_end == m_buffer.size())
        throw AppError(QStringLiteral("排名文件 \"%1\" 第 %2 行过长, 不是排名文件").arg(m_path).arg(m_line + 1));
    const int n = gzread(gz(m_gz), m_buffer.data() + m_end, unsigned(m_buffer.size() - m_end));
    int code = Z_OK;
    const char *why = gzerror(gz(m_gz), &code);
    if (n < 0 || (code != Z_OK && code != Z_BUF_ERROR)) {
        throw AppError(QStringLiteral("排名文件 \"%1\" 第 %2 行之后的压缩数据已损坏: %3").arg(m_path).arg(m_line).arg(QString::fromLocal8Bit(why)));
    }
    if (n == 0) {
        // zlib reports a gzip stream that stops before its end only here.
        if (code == Z_BUF_ERROR)
            throw AppError(QStringLiteral("排名文件 \"%1\" 在第 %2 行之后被截断 (gzip 数据不完整)").arg(m_path).arg(m_line));
        m_eof = true;
    }
    m_end += std::size_t(n);
}

bool RankFileReader::next(std::string_view &line)
{
    for (;;) {
        const char *from = m_buffer.data() + m_begin;
        const auto *newline = static_cast<const char *>(std::memchr(from, '\n', m_end - m_begin));
        if (newline || (m_eof && m_begin < m_end)) {
            const char *to = newline ? newline : m_buffer.data() + m_end;
            m_begin = std::size_t(to - m_buffer.data()) + (newline ? 1 : 0);
            if (to > from && to[-1] == '\r')
                --to;
            line = std::string_view(from, std::size_t(to - from));
            ++m_line;
            return true;
        }
        if (m_eof)
            return false;
        fill();
    }
}
