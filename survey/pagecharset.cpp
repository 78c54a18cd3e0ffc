#include "survey/pagecharset.h"

#include <QByteArrayList>
#include <QStringDecoder>

#include <algorithm>
#include <optional>

namespace {

// How far into a page a <meta> declaring its charset is looked for.
constexpr qsizetype kPrescanBytes = 4096;

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r';
}

char lower(char c)
{
    return c >= 'A' && c <= 'Z' ? char(c + 32) : c;
}

bool startsNoCase(QByteArrayView text, qsizetype at, QByteArrayView prefix)
{
    if (text.size() - at < prefix.size())
        return false;
    for (qsizetype i = 0; i < prefix.size(); ++i) {
        if (lower(text[at + i]) != prefix[i])
            return false;
    }
    return true;
}

QByteArray trimmedLabel(QByteArray label)
{
    label = label.trimmed().toLower();
    if (label.size() >= 2 && (label.front() == '"' || label.front() == '\'') && label.back() == label.front())
        label = label.mid(1, label.size() - 2).trimmed();
    return label;
}

// The decoder name for a charset label, as browsers map the labels that
// pages use.
QByteArray decoderName(const QByteArray &label)
{
    static const char *const gbk[] = {"gbk", "gb2312", "x-gbk", "cp936", "ms936", "windows-936", "gb_2312-80", "gb_2312", "chinese", "csgb2312", "iso-ir-58", "csiso58gb231280", "euc-cn"};
    static const char *const latin1[] = {"iso-8859-1", "iso8859-1", "latin1", "l1", "us-ascii", "ascii", "ansi_x3.4-1968", "cp1252", "cp819", "ibm819", "iso_8859-1", "windows-1252", "x-cp1252"};
    if (std::find(std::begin(gbk), std::end(gbk), label) != std::end(gbk))
        return "GB18030";
    if (std::find(std::begin(latin1), std::end(latin1), label) != std::end(latin1))
        return "windows-1252";
    return label;
}

// The charset parameter of a Content-Type value.
QByteArray headerCharset(QStringView contentType)
{
    const QByteArray value = contentType.toLatin1();
    for (const QByteArray &param : value.split(';')) {
        const qsizetype eq = param.indexOf('=');
        if (eq > 0 && param.left(eq).trimmed().toLower() == "charset")
            return trimmedLabel(param.mid(eq + 1));
    }
    return QByteArray();
}

// The charset named in the content of a <meta http-equiv>: "text/html;
// charset=gbk".
QByteArray charsetInContent(const QByteArray &content)
{
    const QByteArray lowered = content.toLower();
    for (qsizetype at = lowered.indexOf("charset"); at >= 0; at = lowered.indexOf("charset", at + 7)) {
        qsizetype i = at + 7;
        while (i < content.size() && isSpace(content[i]))
            ++i;
        if (i >= content.size() || content[i] != '=')
            continue;
        ++i;
        while (i < content.size() && isSpace(content[i]))
            ++i;
        if (i >= content.size())
            return QByteArray();
        if (content[i] == '"' || content[i] == '\'') {
            const qsizetype close = content.indexOf(content[i], i + 1);
            return close < 0 ? QByteArray() : trimmedLabel(content.mid(i + 1, close - i - 1));
        }
        qsizetype end = i;
        while (end < content.size() && !isSpace(content[end]) && content[end] != ';')
            ++end;
        return trimmedLabel(content.mid(i, end - i));
    }
    return QByteArray();
}

// Reads the attributes of the tag at at; returns where the tag ends.
template<typename Each>
qsizetype readAttributes(QByteArrayView page, qsizetype at, Each &&each)
{
    const qsizetype n = page.size();
    for (;;) {
        while (at < n && (isSpace(page[at]) || page[at] == '/'))
            ++at;
        if (at >= n || page[at] == '>')
            return at + 1;
        QByteArray name;
        do
            name += lower(page[at++]);
        while (at < n && !isSpace(page[at]) && page[at] != '/' && page[at] != '>' && page[at] != '=');
        while (at < n && isSpace(page[at]))
            ++at;
        QByteArray value;
        if (at < n && page[at] == '=') {
            ++at;
            while (at < n && isSpace(page[at]))
                ++at;
            if (at < n && (page[at] == '"' || page[at] == '\'')) {
                const char quote = page[at++];
                while (at < n && page[at] != quote)
                    value += page[at++];
                ++at;
            } else {
                while (at < n && !isSpace(page[at]) && page[at] != '>')
                    value += page[at++];
            }
        }
        each(name, value);
    }
}

// The charsets declared by the <meta> tags near the top of the page, in
// order, as the HTML prescan finds them (comments and other tags skipped).
QList<QByteArray> metaCharsets(const QByteArray &body)
{
    const QByteArrayView page = QByteArrayView(body).first(std::min(body.size(), kPrescanBytes));
    QList<QByteArray> found;
    const qsizetype n = page.size();
    for (qsizetype at = 0; at < n;) {
        if (page[at] != '<') {
            ++at;
            continue;
        }
        if (page.sliced(at).startsWith("<!--")) {
            const qsizetype end = page.indexOf("-->", at + 2);
            at = end < 0 ? n : end + 3;
        } else if (startsNoCase(page, at, "<meta") && at + 5 < n && (isSpace(page[at + 5]) || page[at + 5] == '/')) {
            bool pragma = false;
            std::optional<bool> needPragma;
            QByteArray charset;
            QList<QByteArray> seen;
            at = readAttributes(page, at + 5, [&](const QByteArray &name, const QByteArray &value) {
                if (seen.contains(name))
                    return;
                seen << name;
                if (name == "http-equiv" && trimmedLabel(value) == "content-type") {
                    pragma = true;
                } else if (name == "content" && charset.isEmpty()) {
                    charset = charsetInContent(value);
                    if (!charset.isEmpty())
                        needPragma = true;
                } else if (name == "charset") {
                    charset = trimmedLabel(value);
                    needPragma = false;
                }
            });
            if (needPragma && (!*needPragma || pragma) && !charset.isEmpty())
                found << charset;
        } else if (at + 1 < n && (page[at + 1] == '!' || page[at + 1] == '?' || page[at + 1] == '/')) {
            const qsizetype end = page.indexOf('>', at + 1);
            at = end < 0 ? n : end + 1;
        } else if (at + 1 < n && ((page[at + 1] >= 'a' && page[at + 1] <= 'z') || (page[at + 1] >= 'A' && page[at + 1] <= 'Z'))) {
            ++at;
            while (at < n && !isSpace(page[at]) && page[at] != '>')
                ++at;
            at = readAttributes(page, at, [](const QByteArray &, const QByteArray &) {});
        } else {
            ++at;
        }
    }
    return found;
}

// Valid multi-byte UTF-8 sequences against bytes that begin none.
bool mostlyUtf8(const QByteArray &body)
{
    const auto *p = reinterpret_cast<const unsigned char *>(body.constData());
    const qsizetype n = body.size();
    qsizetype valid = 0;
    qsizetype invalid = 0;
    for (qsizetype i = 0; i < n;) {
        const unsigned char c = p[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        const qsizetype length = c >= 0xC2 && c <= 0xDF ? 2 : c >= 0xE0 && c <= 0xEF ? 3
            : c >= 0xF0 && c <= 0xF4                                                 ? 4
                                                                                     : 0;
        const QByteArrayView sequence = length && i + length <= n ? QByteArrayView(body).sliced(i, length) : QByteArrayView();
        if (length && !sequence.isEmpty() && sequence.isValidUtf8()) {
            ++valid;
            i += length;
        } else {
            ++invalid;
            ++i;
        }
    }
    // A legacy page gives valid-looking pairs by chance about one time in
    // ten; a UTF-8 page with a stray byte gives almost nothing but valid ones.
    return invalid == 0 || valid >= 4 * invalid;
}

std::optional<PageText> decodedAs(const QByteArray &body, const QByteArray &label)
{
    QStringDecoder decoder(decoderName(label).constData());
    if (!decoder.isValid())
        return std::nullopt;
    PageText page;
    page.text = decoder.decode(body);
    page.charset = QString::fromLatin1(decoder.name());
    return page;
}

} // namespace

PageText decodePage(const QByteArray &body, QStringView contentType)
{
    if (body.startsWith("\xEF\xBB\xBF"))
        return *decodedAs(body, "utf-8");
    if (body.startsWith("\xFE\xFF"))
        return *decodedAs(body, "utf-16be");
    if (body.startsWith("\xFF\xFE"))
        return *decodedAs(body, "utf-16le");

    QString unknown;
    const QByteArray declared = headerCharset(contentType);
    if (!declared.isEmpty()) {
        if (auto page = decodedAs(body, declared))
            return *page;
        unknown = QString::fromLatin1(declared);
    }
    for (QByteArray label : metaCharsets(body)) {
        // A page that could hold this markup in ASCII is not UTF-16.
        if (label.startsWith("utf-16") || label.startsWith("utf16"))
            label = "utf-8";
        if (auto page = decodedAs(body, label)) {
            if (!unknown.isEmpty())
                page->note = QStringLiteral("网页声明的字符集 %1 无法识别，按 %2 解码").arg(unknown, page->charset);
            return *page;
        }
        if (unknown.isEmpty())
            unknown = QString::fromLatin1(label);
    }
    PageText page = *decodedAs(body, mostlyUtf8(body) ? QByteArray("utf-8") : QByteArray("GB18030"));
    if (!unknown.isEmpty())
        page.note = QStringLiteral("网页声明的字符集 %1 无法识别，按 %2 解码").arg(unknown, page.charset);
    return page;
}
