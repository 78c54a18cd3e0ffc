#pragma once

// Readable QString values in GoogleTest failure messages. Included into
// every test through the compiler's -include.
#include <QByteArray>
#include <QString>
#include <QStringList>

#include <ostream>

inline void PrintTo(const QString &text, std::ostream *os)
{
    *os << '"' << text.toUtf8().toStdString() << '"';
}

inline void PrintTo(const QStringList &list, std::ostream *os)
{
    *os << '{';
    for (qsizetype i = 0; i < list.size(); ++i)
        *os << (i ? ", \"" : "\"") << list.at(i).toUtf8().toStdString() << '"';
    *os << '}';
}

inline void PrintTo(const QByteArray &bytes, std::ostream *os)
{
    *os << '"' << bytes.toPercentEncoding(" !\"#$&'()*+,-./:;<=>?@[\\]^_`{|}~").toStdString() << '"';
}
