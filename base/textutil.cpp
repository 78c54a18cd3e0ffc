#include "base/textutil.h"

#include <QStringDecoder>

QStringList splitstr(const QString &text, const QString &delim)
{
    QStringList pieces;
    if (text.isEmpty())
        return pieces;
    if (delim.isEmpty()) {
        pieces.append(text);
        return pieces;
    }
    qsizetype from = 0;
    for (;;) {
        const qsizetype at = text.indexOf(delim, from, Qt::CaseSensitive);
        if (at < 0)
            break;
        pieces.append(text.mid(from, at - from));
        from = at + delim.size();
    }
    pieces.append(text.mid(from));
    return pieces;
}

QString trimctl(const QString &text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text.at(begin).unicode() <= 32)
        ++begin;
    while (end > begin && text.at(end - 1).unicode() <= 32)
        --end;
    if (begin == 0 && end == text.size())
        return text;
    return text.mid(begin, end - begin);
}

QString asciilower(const QString &text)
{
    QString out = text;
    QChar *data = nullptr;
    for (qsizetype i = 0; i < out.size(); ++i) {
        const char16_t c = out.at(i).unicode();
        const char32_t lower = asciilower(char32_t(c));
        if (lower != c) {
            if (!data)
                data = out.data();
            data[i] = QChar(char16_t(lower));
        }
    }
    return out;
}

bool startsWithAsciiNoCase(QStringView text, QStringView prefix)
{
    if (text.size() < prefix.size())
        return false;
    for (qsizetype i = 0; i < prefix.size(); ++i) {
        if (asciilower(char32_t(text.at(i).unicode())) != prefix.at(i).unicode())
            return false;
    }
    return true;
}

bool isValidUtf8(const QByteArray &bytes)
{
    return QByteArrayView(bytes).isValidUtf8();
}

QString decodeText(const QByteArray &bytes)
{
    // Checked before decoding, so that a large body is decoded once and never
    // held twice.
    if (QByteArrayView(bytes).isValidUtf8())
        return QString::fromUtf8(bytes);
    QStringDecoder gb("GB18030", QStringDecoder::Flag::Stateless);
    if (gb.isValid())
        return gb.decode(bytes);
    return QString::fromLatin1(bytes);
}
