#include "listfiles/listexport.h"

#include "listfiles/atomicsave.h"
#include "shell/errors.h"
#include "shell/resultlist.h"

#include <QIODevice>

namespace {

// Records are gathered up to about this many characters and written in one go.
constexpr qsizetype ChunkChars = 256 * 1024;

void writeAll(QIODevice &device, const QByteArray &bytes)
{
    qint64 done = 0;
    while (done < bytes.size()) {
        const qint64 n = device.write(bytes.constData() + done, bytes.size() - done);
        if (n <= 0)
            throw AppError(device.errorString());
        done += n;
    }
}

void appendRecord(QString &out, const ResultRow &row, bool shortForm)
{
    const QChar tab = QLatin1Char('\t');
    if (shortForm) {
        out += row.cells[CellUrl];
        out += tab;
        out += row.cells[CellPr];
    } else {
        out += row.caption;
        for (const QString &cell : row.cells) {
            out += tab;
            out += cell;
        }
    }
    out += QLatin1String("\r\r\n");
}

} // namespace

void writeList(const ResultListModel &list, bool shortForm, QIODevice &device)
{
    QString chunk;
    chunk.reserve(ChunkChars + 4096);
    for (int i = 0; i < list.count(); ++i) {
        appendRecord(chunk, list.row(i), shortForm);
        if (chunk.size() >= ChunkChars) {
            writeAll(device, chunk.toUtf8());
            chunk.resize(0);
        }
    }
    if (!chunk.isEmpty())
        writeAll(device, chunk.toUtf8());
}

void exportList(const ResultListModel &list, bool shortForm, const QString &path)
{
    saveAtomically(path, [&](QIODevice &device) { writeList(list, shortForm, device); });
}
