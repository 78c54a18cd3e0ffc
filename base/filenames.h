#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// File names as the system gives them are bytes, not always UTF-8. Qt decodes
// them lossily (every stray byte becomes U+FFFD), so a name that is not UTF-8
// could never be opened again. These two keep every byte: each byte that is
// not part of valid UTF-8 becomes the lone surrogate U+DC80 to U+DCFF, which
// no valid UTF-8 text decodes to, and goes back to that byte.

QString decodeFileName(QByteArrayView bytes);
QByteArray encodeFileName(QStringView name);
