#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// Cuts text at every occurrence of delim, left to right, without overlap.
// An empty text gives no pieces; n occurrences give n + 1 pieces, empty ones
// included. An empty delimiter never matches.
QStringList splitstr(const QString &text, const QString &delim);

// Removes every character whose code is 32 or less from both ends.
QString trimctl(const QString &text);

// Lower-cases the ASCII letters A to Z only.
QString asciilower(const QString &text);
constexpr char32_t asciilower(char32_t c)
{
    return c >= U'A' && c <= U'Z' ? c + 32 : c;
}

// The value of a hexadecimal digit, or -1.
constexpr int hexDigitValue(char32_t c)
{
    return c >= U'0' && c <= U'9' ? int(c - U'0')
        : c >= U'a' && c <= U'f'  ? int(c - U'a' + 10)
        : c >= U'A' && c <= U'F'  ? int(c - U'A' + 10)
                                  : -1;
}

// True when the first prefix.size() characters of text equal prefix with the
// ASCII letters folded; prefix must be lower case.
bool startsWithAsciiNoCase(QStringView text, QStringView prefix);

// Bytes from a file or an HTTP body: UTF-8 when they are valid UTF-8,
// otherwise GB18030, so that no character is lost or replaced.
QString decodeText(const QByteArray &bytes);
bool isValidUtf8(const QByteArray &bytes);
