#pragma once

#include <QString>
#include <QStringView>

#include <optional>

// The checksum carried by a ranking request: "6" followed by the decimal
// digits of a two-pass lookup2 hash of "info:" + URL. The stored script
// (memo3) computes it; a native computation gives the same text and serves
// to check the script.
//
// The URL is read as the body of a double-quoted script string literal, as it
// always has been: backslash escapes are decoded before hashing. A URL that
// is not one plain literal gives the empty checksum, and none of it ever runs
// as code.

// Decodes the body of a double-quoted string literal the way the script
// engine does in a non-strict script. No value when the body is not one plain
// literal: an unescaped double quote or line break (LF, CR, U+2028, U+2029),
// a trailing lone backslash, a malformed \x or \u escape, a \u{...} above
// U+10FFFF, or a legacy octal escape (\1 to \9, \0 followed by a digit),
// which the engine rejects as well.
std::optional<QString> decodeJsString(QStringView body);

// lookup2 over UTF-16 code units under the checksum seed; units above 255
// spill into the next byte position of their word.
quint32 lookup2(QStringView units);

// The second pass: the 80-byte buffer built from the first hash, hashed.
quint32 secondStage(quint32 h1);

// Native checksum of an already decoded text (without "info:").
QString checksumOfText(QStringView text);

// Native checksum of a URL as the row holds it; empty when the URL is not a
// plain literal.
QString nativeChecksum(QStringView url);

// The checksum of a URL computed by script (the text of memo3) in a fresh
// engine; empty on any failure.
QString scriptChecksum(const QString &script, const QString &url);
