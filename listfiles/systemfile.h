#pragma once

#include <QIODevice>
#include <QString>

#include <atomic>

// The text the user sees for a failed file operation, from the system's error
// number: "File access denied", "Disk full", otherwise "I/O error <number>".
QString fileErrorText(int errnum);

// A file driven straight through the system calls, so that every failure keeps
// the system's error number (QFile keeps only its own error categories). Writes
// are unbuffered: what write() accepted has reached the system when it returns.
// On failure errorString() is the user's text for the error (fileErrorText).
class SystemFile final : public QIODevice
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SystemFile)

public:
    explicit SystemFile(QObject *parent = nullptr);
    ~SystemFile() override;

    // WriteOnly creates the file or empties an existing one. ReadOnly refuses a
    // folder; opening a FIFO does not wait, but reads wait for its writer, and
    // for data from any slow source, and end only at the end of the source. The path is a name from
    // decodeFileName(), so that any name the system has can be opened.
    // Returns false and sets systemError() on failure.
    bool openPath(const QString &path, OpenMode mode);

    // Reads the process's standard input (through a copy of its descriptor).
    bool openStandardInput();

    // Takes over an open descriptor; the device closes it.
    void adopt(int fd, OpenMode mode);

    // While *flag is false reads wait as usual; once another thread raises
    // it, a read that waits, or the next one, fails with ECANCELED within a
    // tenth of a second. A read never blocks on the source then: it waits
    // for the source to be readable, looking at the flag meanwhile. Null
    // (the default): reads wait as long as the source does.
    void setCancelFlag(const std::atomic<bool> *flag) { m_cancel = flag; }

    // The size of a regular file, -1 for anything else (a pipe, a device).
    qint64 regularFileSize() const;
    int descriptor() const { return m_fd; }

    // Closes and reports what the system said about it; a failed close may be
    // the first sign that earlier writes did not reach the disk.
    bool closeChecked();
    void close() override;

    bool isSequential() const override { return true; }

    // The error number of the last failed call, 0 if none failed.
    int systemError() const { return m_errno; }

protected:
    qint64 readData(char *data, qint64 maxSize) override;
    qint64 writeData(const char *data, qint64 maxSize) override;

private:
    void fail(int errnum);
    // Until the descriptor can be read (data, its end or an error); false
    // when the cancel flag was raised first.
    bool waitReadable() const;

    int m_fd = -1;
    int m_errno = 0;
    bool m_fifo = false;
    const std::atomic<bool> *m_cancel = nullptr;
};
