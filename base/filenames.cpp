#include "base/filenames.h"

namespace {

constexpr char16_t EscapeBase = 0xDC00;

// The length of the valid UTF-8 sequence at the start of s, 0 when there is none.
qsizetype utf8SequenceAt(const uchar *s, qsizetype left)
{
    const uchar b = s[0];
    if (b < 0x80)
        return 1;
    qsizetype len;
    uchar lo = 0x80;
    uchar hi = 0xBF;
    if (b >= 0xC2 && b <= 0xDF) {
        len = 2;
    } else if (b >= 0xE0 && b <= 0xEF) {
        len = 3;
        if (b == 0xE0)
            lo = 0xA0; // overlong
        else if (b == 0xED)
            hi = 0x9F; // surrogates
    } else if (b >= 0xF0 && b <= 0xF4) {
        len = 4;
        if (b == 0xF0)
            lo = 0x90;
        else if (b == 0xF4)
            hi = 0x8F; // above U+10FFFF
    } else {
        return 0;
    }
    if (left < len || s[1] < lo || s[1] > hi)
        return 0;
    for (qsizetype i = 2; i < len; ++i) {
        if ((s[i] & 0xC0) != 0x80)
            return 0;
    }
    return len;
}

} // namespace

QString decodeFileName(QByteArrayView bytes)
{
    if (bytes.isValidUtf8())
        return QString::fromUtf8(bytes);
    const auto *s = reinterpret_cast<const uchar *>(bytes.data());
    const qsizetype n = bytes.size();
    QString name;
    name.reserve(n);
    qsizetype i = 0;
    while (i < n) {
        const qsizetype len = utf8SequenceAt(s + i, n - i);
        if (len == 0) {
            name.append(QChar(char16_t(EscapeBase + s[i])));
            ++i;
        } else {
            name.append(QString::fromUtf8(bytes.sliced(i, len)));
            i += len;
        }
    }
    return name;
}

QByteArray encodeFileName(QStringView name)
{
    QByteArray bytes;
    bytes.reserve(name.size() * 3);
    qsizetype start = 0; // first unit not yet written
    const qsizetype n = name.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = name.at(i).unicode();
        if (c < EscapeBase + 0x80 || c > EscapeBase + 0xFF)
            continue;
        // A low surrogate that a high one precedes is half of a real character.
        if (i > 0 && name.at(i - 1).isHighSurrogate())
            continue;
        bytes += name.sliced(start, i - start).toUtf8();
        bytes += char(c - EscapeBase);
        start = i + 1;
    }
    bytes += name.sliced(start).toUtf8();
    return bytes;
}
