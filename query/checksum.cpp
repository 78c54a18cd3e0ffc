#include "query/checksum.h"

#include "base/textutil.h"
#include "query/scripthost.h"

#include <array>

namespace {

constexpr quint32 kGolden = 0x9E3779B9u;
constexpr quint32 kSeed = 0x3C91D25Bu;

bool isLineBreak(char16_t c)
{
    return c == u'\n' || c == u'\r' || c == 0x2028 || c == 0x2029;
}

// Reads exactly count hex digits at body[at]; -1 when they are not there.
long fixedHex(QStringView body, qsizetype at, int count)
{
    if (at + count > body.size())
        return -1;
    long value = 0;
    for (int i = 0; i < count; ++i) {
        const int digit = hexDigitValue(body[at + i].unicode());
        if (digit < 0)
            return -1;
        value = value * 16 + digit;
    }
    return value;
}

void appendCodePoint(QString &out, char32_t cp)
{
    if (cp > 0xFFFF) {
        out.append(QChar::highSurrogate(cp));
        out.append(QChar::lowSurrogate(cp));
    } else {
        // A lone surrogate stays a lone unit, as in the engine.
        out.append(QChar(char16_t(cp)));
    }
}

void mix(quint32 &a, quint32 &b, quint32 &c)
{
    a -= b;
    a -= c;
    a ^= (c >> 13);
    b -= c;
    b -= a;
    b ^= (a << 8);
    c -= a;
    c -= b;
    c ^= (b >> 13);
    a -= b;
    a -= c;
    a ^= (c >> 12);
    b -= c;
    b -= a;
    b ^= (a << 16);
    c -= a;
    c -= b;
    c ^= (b >> 5);
    a -= b;
    a -= c;
    a ^= (c >> 3);
    b -= c;
    b -= a;
    b ^= (a << 10);
    c -= a;
    c -= b;
    c ^= (b >> 15);
}

// Elements are shifted whole, not masked to a byte: that is what the script
// does, and why units above 255 spill over.
template<typename Element>
quint32 lookup2Of(const Element *e, qsizetype n)
{
    quint32 a = kGolden;
    quint32 b = kGolden;
    quint32 c = kSeed;
    const auto word = [e](qsizetype q) {
        return quint32(e[q]) + (quint32(e[q + 1]) << 8) + (quint32(e[q + 2]) << 16)
            + (quint32(e[q + 3]) << 24);
    };
    qsizetype p = 0;
    qsizetype r = n;
    while (r >= 12) {
        a += word(p);
        b += word(p + 4);
        c += word(p + 8);
        mix(a, b, c);
        p += 12;
        r -= 12;
    }
    c += quint32(n);
    switch (r) {
    case 11:
        c += quint32(e[p + 10]) << 24;
        [[fallthrough]];
    case 10:
        c += quint32(e[p + 9]) << 16;
        [[fallthrough]];
    case 9:
        c += quint32(e[p + 8]) << 8;
        [[fallthrough]];
    case 8:
        b += quint32(e[p + 7]) << 24;
        [[fallthrough]];
    case 7:
        b += quint32(e[p + 6]) << 16;
        [[fallthrough]];
    case 6:
        b += quint32(e[p + 5]) << 8;
        [[fallthrough]];
    case 5:
        b += quint32(e[p + 4]);
        [[fallthrough]];
    case 4:
        a += quint32(e[p + 3]) << 24;
        [[fallthrough]];
    case 3:
        a += quint32(e[p + 2]) << 16;
        [[fallthrough]];
    case 2:
        a += quint32(e[p + 1]) << 8;
        [[fallthrough]];
    case 1:
        a += quint32(e[p]);
        break;
    default:
        break;
    }
    mix(a, b, c);
    return c;
}

} // namespace

std::optional<QString> decodeJsString(QStringView body)
{
    QString out;
    out.reserve(body.size());
    const qsizetype n = body.size();
    qsizetype i = 0;
    // \xHH and \uHHHH: exactly count hex digits after the escape letter at i.
    const auto appendFixedHex = [&](int count) {
        const long v = fixedHex(body, i + 1, count);
        if (v < 0)
            return false;
        out.append(QChar(char16_t(v)));
        i += count;
        return true;
    };
    for (; i < n; ++i) {
        const char16_t c = body[i].unicode();
        if (c == u'"' || isLineBreak(c))
            return std::nullopt;
        if (c != u'\\') {
            out.append(QChar(c));
            continue;
        }
        if (++i == n)
            return std::nullopt;
        const char16_t e = body[i].unicode();
        switch (e) {
        case u'b':
            out.append(QChar(u'\b'));
            break;
        case u't':
            out.append(QChar(u'\t'));
            break;
        case u'n':
            out.append(QChar(u'\n'));
            break;
        case u'v':
            out.append(QChar(u'\v'));
            break;
        case u'f':
            out.append(QChar(u'\f'));
            break;
        case u'r':
            out.append(QChar(u'\r'));
            break;
        case u'\r': // line continuation; CR LF counts as one break
            if (i + 1 < n && body[i + 1] == u'\n')
                ++i;
            break;
        case u'\n':
        case 0x2028:
        case 0x2029:
            break;
        case u'0':
            if (i + 1 < n && body[i + 1].unicode() >= u'0' && body[i + 1].unicode() <= u'9')
                return std::nullopt;
            out.append(QChar(u'\0'));
            break;
        case u'1':
        case u'2':
        case u'3':
        case u'4':
        case u'5':
        case u'6':
        case u'7':
        case u'8':
        case u'9':
            return std::nullopt; // legacy octal and \8 \9: the engine rejects them
        case u'x':
            if (!appendFixedHex(2))
                return std::nullopt;
            break;
        case u'u': {
            if (i + 1 < n && body[i + 1] == u'{') {
                qsizetype j = i + 2;
                char32_t cp = 0;
                for (; j < n && hexDigitValue(body[j].unicode()) >= 0; ++j) {
                    cp = cp * 16 + char32_t(hexDigitValue(body[j].unicode()));
                    if (cp > 0x10FFFF)
                        return std::nullopt;
                }
                if (j == i + 2 || j == n || body[j] != u'}')
                    return std::nullopt;
                appendCodePoint(out, cp);
                i = j;
            } else if (!appendFixedHex(4)) {
                return std::nullopt;
            }
            break;
        }
        default: // any other character stands for itself
            out.append(QChar(e));
            break;
        }
    }
    return out;
}

quint32 lookup2(QStringView units)
{
    return lookup2Of(units.utf16(), units.size());
}

quint32 secondStage(quint32 h1)
{
    const quint32 x = ((h1 / 7) << 2) | ((h1 % 13) & 7);
    std::array<quint8, 80> bytes {};
    for (quint32 i = 0; i < 20; ++i) {
        const quint32 w = x - 9 * i;
        for (quint32 k = 0; k < 4; ++k)
            bytes[4 * i + k] = quint8(w >> (8 * k));
    }
    return lookup2Of(bytes.data(), qsizetype(bytes.size()));
}

QString checksumOfText(QStringView text)
{
    QString t;
    t.reserve(5 + text.size());
    t.append(QLatin1String("info:"));
    t.append(text);
    return QLatin1Char('6') + QString::number(secondStage(lookup2(t)));
}

QString nativeChecksum(QStringView url)
{
    const std::optional<QString> text = decodeJsString(url);
    return text ? checksumOfText(*text) : QString();
}

QString scriptChecksum(const QString &script, const QString &url)
{
    const std::optional<QString> text = decodeJsString(url);
    if (!text)
        return QString();
    return calljs(script, QStringLiteral("getch"), *text);
}
