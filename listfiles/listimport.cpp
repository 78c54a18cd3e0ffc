#include "listfiles/listimport.h"

#include "listfiles/systemfile.h"
#include "shell/errors.h"
#include "shell/textutil.h"

#include <QFileInfo>

#include <algorithm>

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

} // namespace

QString listFileText(QByteArray bytes)
{
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes.remove(0, BomSize);
    QString text = decodeText(bytes);
    if (text.contains(QLatin1Char('\r'))) {
        text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
        text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    }
    return text;
}

QString importListFile(const QString &path, qsizetype capacity)
{
    SystemFile file;
    if (!file.openPath(path, QIODevice::ReadOnly)) {
        throw AppError(QStringLiteral("Cannot open file \"%1\". %2")
                           .arg(QFileInfo(path).absoluteFilePath(), qt_error_string(file.systemError())));
    }
    const qsizetype byteLimit = capacity * MaxBytesPerUnit + BomSize;
    QByteArray bytes;
    bytes.reserve(qsizetype(std::clamp<qint64>(QFileInfo(path).size(), 0, byteLimit) + 1));
    for (;;) {
        const qsizetype before = bytes.size();
        const qint64 want = std::min<qint64>(ReadChunk, byteLimit + 1 - before);
        bytes.resize(before + want);
        const qint64 n = file.read(bytes.data() + before, want);
        if (n < 0)
            throw AppError(file.errorString());
        bytes.resize(before + n);
        if (n == 0)
            break;
        if (bytes.size() > byteLimit)
            throw AppError(exceedsCapacity());
    }
    QString text = listFileText(std::move(bytes));
    if (text.size() > capacity)
        throw AppError(exceedsCapacity());
    return text;
}
