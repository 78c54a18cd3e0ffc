#pragma once

#include <QString>

#include <exception>

// An error that ends the operation it was raised in. The guard of the entry
// point that started the operation shows its message in the standard error box.
class AppError : public std::exception
{
public:
    explicit AppError(QString message);
    const QString &message() const noexcept { return m_message; }
    const char *what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_message;
    QByteArray m_utf8;
};
