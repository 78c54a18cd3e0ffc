#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <optional>

struct sqlite3;
struct sqlite3_stmt;

// A thin hold on the SQLite C library: a connection and its prepared
// statements, released by their owners, errors raised as SqlError with
// SQLite's own code and words. Each object is used by one thread at a time.
namespace sql {

class Error final : public std::exception
{
public:
    Error(int code, QString message);
    int code() const noexcept { return m_code; }
    // The primary result code (SQLITE_BUSY, SQLITE_CORRUPT, ...).
    int primary() const noexcept { return m_code & 0xff; }
    const QString &message() const noexcept { return m_message; }
    const char *what() const noexcept override { return m_utf8.constData(); }

private:
    int m_code;
    QString m_message;
    QByteArray m_utf8;
};

class Statement;

class Database final
{
public:
    // Opens path (a file name as the system gives it). readOnly opens it
    // for reading only; otherwise it is created when missing.
    Database(const QString &path, bool readOnly);
    ~Database();
    Q_DISABLE_COPY_MOVE(Database)

    sqlite3 *handle() const { return m_db; }
    // Runs statements that take no parameters and give no rows.
    void exec(const char *sql);
    // The first column of the first row of a query without parameters.
    qint64 scalar(const char *sql);
    qint64 lastInsertId() const;
    // The file could only be opened for reading (a read-only file or folder).
    bool readOnly() const;
    void setBusyTimeout(int ms);

private:
    sqlite3 *m_db = nullptr;
};

class Statement final
{
public:
    Statement(Database &db, const char *sql);
    ~Statement();
    Q_DISABLE_COPY_MOVE(Statement)

    // Binders, by 1-based position. A null QString binds SQL NULL.
    Statement &bind(int at, qint64 value);
    Statement &bind(int at, int value) { return bind(at, qint64(value)); }
    Statement &bind(int at, const QString &text);
    Statement &bind(int at, const std::optional<qint64> &value);
    // Bytes as they are (a BLOB); a null array binds an empty one.
    Statement &bindBytes(int at, const QByteArray &bytes);
    Statement &bindNull(int at);

    // Steps once: true while a row is there.
    bool next();
    // Steps a statement that gives no rows to its end, and resets it.
    void run();
    void reset();

    qint64 integer(int column) const;
    QString text(int column) const;
    QByteArray bytes(int column) const;
    bool isNull(int column) const;

private:
    Database &m_db;
    sqlite3_stmt *m_stmt = nullptr;
};

// SQLite's words for a code.
QString errorText(int code);

} // namespace sql
