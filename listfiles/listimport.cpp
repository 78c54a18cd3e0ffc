#include "listfiles/listimport.h"

#include "base/errors.h"
#include "listfiles/systemfile.h"

#include <QFileInfo>
#include <QStringDecoder>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

// No byte sequence of UTF-8 or GB18030 gives fewer than one UTF-16 unit per
// three bytes (a CR LF gives one per two), so a file longer than this many bytes
// per unit of capacity cannot fit and need not be read to the end.
constexpr qsizetype MaxBytesPerUnit = 3;
constexpr qsizetype BomSize = 3;
constexpr qint64 ReadChunk = 1024 * 1024;

QString exceedsCapacity()
{
    return QStringLiteral("Text exceeds memo capacity");
}

void normaliseBreaks(QString &text)
{
    if (text.contains(QLatin1Char('\r'))) {
        text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
        text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    }
}

// Appends one line that is not valid UTF-8, read as GB18030; withBreak holds
// the line and the byte that ends it, if any. Returns false when some of its
// bytes are not GB18030 either.
bool appendGb18030Line(QString &out, QStringDecoder &gb, QByteArrayView withBreak, bool hasBreak)
{
    // The decoder drops a character left unfinished at the end of its input;
    // a line break after it makes that a replacement character instead. A
    // break byte is never part of a GB18030 character.
    QByteArray terminated;
    if (!hasBreak) {
        terminated.reserve(withBreak.size() + 1);
        terminated.append(withBreak);
        terminated.append('\n');
        withBreak = terminated;
    }
    gb.resetState();
    QString decoded = gb.decode(withBreak);
    decoded.chop(1);
    out += decoded;
    return !gb.hasError();
}

} // namespace

ListText listFileContents(QByteArray bytes)
{
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes.remove(0, BomSize);
    ListText result;
    // Nearly every list is UTF-8 throughout: decoded in one go.
    if (QByteArrayView(bytes).isValidUtf8()) {
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
        result.text = utf8.decode(bytes);
        bytes.clear();
        normaliseBreaks(result.text);
        return result;
    }
    QString &out = result.text;
    out.reserve(bytes.size());
    // Only the file's first line may begin with a byte-order mark; on any
    // other line U+FEFF is a character and stays.
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    QStringDecoder firstGb("GB18030", QStringDecoder::Flag::Stateless);
    QStringDecoder laterGb("GB18030", QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    const char *const begin = bytes.constData();
    const char *const end = begin + bytes.size();
    const char *p = begin;
    while (p < end) {
        const char *lineEnd = p;
        while (lineEnd < end && *lineEnd != '\n' && *lineEnd != '\r')
            ++lineEnd;
        const QByteArrayView line(p, lineEnd - p);
        const bool hasBreak = lineEnd < end;
        QStringDecoder &gb = p == begin ? firstGb : laterGb;
        if (line.isValidUtf8())
            out += utf8.decode(line);
        else if (!gb.isValid())
            out += QString::fromLatin1(line);
        else if (!appendGb18030Line(out, gb, QByteArrayView(p, lineEnd - p + (hasBreak ? 1 : 0)), hasBreak))
            ++result.undecodableLines;
        if (lineEnd == end)
            break;
        out += QLatin1Char('\n');
        p = lineEnd + 1;
        if (*lineEnd == '\r' && p < end && *p == '\n')
            ++p;
    }
    return result;
}

ImportCancelled::ImportCancelled()
    : AppError(QStringLiteral("导入已取消"))
{
}

ListText readListFile(const QString &path, qsizetype capacity, const std::atomic<bool> *cancel)
{
    SystemFile file;
    file.setCancelFlag(cancel);
    const bool standardInput = path == QLatin1String("-");
    if (!(standardInput ? file.openStandardInput() : file.openPath(path, QIODevice::ReadOnly))) {
        const QString shown = standardInput ? path : QFileInfo(path).absoluteFilePath();
        throw AppError(QStringLiteral("Cannot open file \"%1\". %2").arg(shown, qt_error_string(file.systemError())));
    }
    const qsizetype byteLimit = capacity * MaxBytesPerUnit + BomSize;
    QByteArray bytes;
    bytes.reserve(qsizetype(std::clamp<qint64>(file.regularFileSize(), 0, byteLimit) + 1));
    for (;;) {
        const qsizetype before = bytes.size();
        const qint64 want = std::min<qint64>(ReadChunk, byteLimit + 1 - before);
        bytes.resize(before + want);
        const qint64 n = file.read(bytes.data() + before, want);
        if (n < 0 && file.systemError() == ECANCELED)
            throw ImportCancelled();
        if (n < 0)
            throw AppError(file.errorString());
        bytes.resize(before + n);
        if (n == 0)
            break;
        if (bytes.size() > byteLimit)
            throw AppError(exceedsCapacity());
    }
    ListText contents = listFileContents(std::move(bytes));
    if (contents.text.size() > capacity)
        throw AppError(exceedsCapacity());
    return contents;
}

QString undecodableLinesNote(qsizetype lines)
{
    return QStringLiteral("提示：%1 行含有无法解码的字节，已显示为 \uFFFD").arg(lines);
}
