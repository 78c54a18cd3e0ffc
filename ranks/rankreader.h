#pragma once

#include <QString>
#include <QtGlobal>

#include <optional>
#include <string_view>
#include <vector>

// What tells one state of a ranks file from another: its size and the time it
// was last written. An index records the stamp of the file it was made from.
struct SourceStamp
{
    qint64 size = 0;
    qint64 mtimeNs = 0;

    bool operator==(const SourceStamp &o) const { return size == o.size && mtimeNs == o.mtimeNs; }
    bool operator!=(const SourceStamp &o) const { return !(*this == o); }
};

// The stamp of the file at path now; nothing when it cannot be read.
std::optional<SourceStamp> stampOf(const QString &path);

// Reads a ranks file line by line, gzip or plain (zlib tells them apart), a
// buffer at a time: the file is never held whole. Damaged or cut-off gzip
// data is an error, never a silent end.
class RankFileReader final
{
public:
    // Throws AppError when the file cannot be opened.
    explicit RankFileReader(const QString &path);
    ~RankFileReader();
    Q_DISABLE_COPY_MOVE(RankFileReader)

    // The next line, without its line end; false after the last. The view
    // stays valid until the next call. Throws AppError, naming the line, when
    // the data cannot be read or a line is longer than any ranks line.
    bool next(std::string_view &line);
    // The number of the line next() gave last, from 1.
    qint64 lineNumber() const { return m_line; }
    // Bytes of the file read so far, out of stamp().size.
    qint64 position() const;
    const SourceStamp &stamp() const { return m_stamp; }
    // Whether the file at the path is no longer the one opened: written to,
    // cut, replaced.
    bool changed() const;
    const QString &path() const { return m_path; }

private:
    void fill();

    QString m_path;
    int m_fd = -1;
    void *m_gz = nullptr; // gzFile
    SourceStamp m_stamp;
    std::vector<char> m_buffer;
    std::size_t m_begin = 0; // the unread part of the buffer
    std::size_t m_end = 0;
    bool m_eof = false;
    qint64 m_line = 0;
};
