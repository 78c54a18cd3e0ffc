#include "store/sqlite.h"

#include <QFile>

#include <sqlite3.h>

namespace sql {

Error::Error(int code, QString message)
    : m_code(code)
    , m_message(std::move(message))
    , m_utf8(m_message.toUtf8())
{
}

QString errorText(int code)
{
    return QString::fromUtf8(sqlite3_errstr(code));
}

namespace {

[[noreturn]] void fail(sqlite3 *db, int code)
{
    // The connection's message names what went wrong in more detail than
    // the code's words, when it is about this code.
    const QString detail = db && sqlite3_errcode(db) == code ? QString::fromUtf8(sqlite3_errmsg(db)) : errorText(code);
    throw Error(code, detail);
}

} // namespace

Database::Database(const QString &path, bool readOnly)
{
    const int flags = (readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE) | SQLITE_OPEN_NOMUTEX;
    const int rc = sqlite3_open_v2(QFile::encodeName(path).constData(), &m_db, flags, nullptr);
    if (rc != SQLITE_OK) {
        const QString detail = m_db ? QString::fromUtf8(sqlite3_errmsg(m_db)) : errorText(rc);
        sqlite3_close(m_db);
        m_db = nullptr;
        throw Error(rc, detail);
    }
    sqlite3_extended_result_codes(m_db, 1);
}

Database::~Database()
{
    // Statements are released by their owners first; close_v2 would wait
    // for any that were not.
    sqlite3_close_v2(m_db);
}

void Database::exec(const char *sql)
{
    const int rc = sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        fail(m_db, rc);
}

qint64 Database::scalar(const char *sql)
{
    Statement s(*this, sql);
    return s.next() ? s.integer(0) : 0;
}

qint64 Database::lastInsertId() const
{
    return sqlite3_last_insert_rowid(m_db);
}

bool Database::readOnly() const
{
    return sqlite3_db_readonly(m_db, "main") == 1;
}

void Database::setBusyTimeout(int ms)
{
    sqlite3_busy_timeout(m_db, ms);
}

Statement::Statement(Database &db, const char *sql)
    : m_db(db)
{
    const int rc = sqlite3_prepare_v3(db.handle(), sql, -1, SQLITE_PREPARE_PERSISTENT, &m_stmt, nullptr);
    if (rc != SQLITE_OK)
        fail(db.handle(), rc);
}

Statement::~Statement()
{
    sqlite3_finalize(m_stmt);
}

Statement &Statement::bind(int at, qint64 value)
{
    const int rc = sqlite3_bind_int64(m_stmt, at, value);
    if (rc != SQLITE_OK)
        fail(m_db.handle(), rc);
    return *this;
}

Statement &Statement::bind(int at, const QString &text)
{
    if (text.isNull())
        return bindNull(at);
    // UTF-8, as the file keeps its text: every character, the whole of a
    // query string included, comes back as it went in.
    const QByteArray utf8 = text.toUtf8();
    const int rc = sqlite3_bind_text(m_stmt, at, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
    if (rc != SQLITE_OK)
        fail(m_db.handle(), rc);
    return *this;
}

Statement &Statement::bind(int at, const std::optional<qint64> &value)
{
    return value ? bind(at, *value) : bindNull(at);
}

Statement &Statement::bindNull(int at)
{
    const int rc = sqlite3_bind_null(m_stmt, at);
    if (rc != SQLITE_OK)
        fail(m_db.handle(), rc);
    return *this;
}

bool Statement::next()
{
    const int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE)
        return false;
    // The statement must be usable again after a busy store has been waited for.
    sqlite3_reset(m_stmt);
    fail(m_db.handle(), rc);
}

void Statement::run()
{
    while (next()) {
    }
    reset();
}

void Statement::reset()
{
    sqlite3_reset(m_stmt);
    sqlite3_clear_bindings(m_stmt);
}

qint64 Statement::integer(int column) const
{
    return sqlite3_column_int64(m_stmt, column);
}

Statement &Statement::bindBytes(int at, const QByteArray &bytes)
{
    const int rc = sqlite3_bind_blob(m_stmt, at, bytes.constData(), int(bytes.size()), SQLITE_TRANSIENT);
    if (rc != SQLITE_OK)
        fail(m_db.handle(), rc);
    return *this;
}

QByteArray Statement::bytes(int column) const
{
    const auto *data = static_cast<const char *>(sqlite3_column_blob(m_stmt, column));
    return data ? QByteArray(data, sqlite3_column_bytes(m_stmt, column)) : QByteArray("");
}

QString Statement::text(int column) const
{
    const auto *chars = reinterpret_cast<const char *>(sqlite3_column_text(m_stmt, column));
    if (!chars)
        return sqlite3_column_type(m_stmt, column) == SQLITE_NULL ? QString() : QStringLiteral("");
    return QString::fromUtf8(chars, sqlite3_column_bytes(m_stmt, column));
}

bool Statement::isNull(int column) const
{
    return sqlite3_column_type(m_stmt, column) == SQLITE_NULL;
}

} // namespace sql
