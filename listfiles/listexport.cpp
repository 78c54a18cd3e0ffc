#include "listfiles/listexport.h"

#include "base/errors.h"
#include "listfiles/atomicsave.h"
#include "shell/celltexts.h"
#include "shell/options.h"
#include "shell/resultlist.h"

#include <QDateTime>
#include <QFileInfo>
#include <QIODevice>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

namespace {

enum class CsvCells {
    Guarded,
    Raw
};

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

// Gathers the text of records and hands it to the device in large pieces.
class ChunkedWriter final
{
public:
    explicit ChunkedWriter(QIODevice &device)
        : m_device(device)
    {
        m_chunk.reserve(ChunkChars + 4096);
    }
    QString &text() { return m_chunk; }
    void recordEnded()
    {
        if (m_chunk.size() >= ChunkChars)
            flush();
    }
    void flush()
    {
        if (m_chunk.isEmpty())
            return;
        writeAll(m_device, m_chunk.toUtf8());
        m_chunk.resize(0);
    }

private:
    QIODevice &m_device;
    QString m_chunk;
};

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

// One field of a CSV record: quoted, with its quotes doubled, when it holds a
// comma, a quote or a line break.
void appendCsvField(QString &out, const QString &field)
{
    const bool quote = field.contains(QLatin1Char(',')) || field.contains(QLatin1Char('"')) || field.contains(QLatin1Char('\r'))
        || field.contains(QLatin1Char('\n'));
    if (!quote) {
        out += field;
        return;
    }
    out += QLatin1Char('"');
    for (const QChar c : field) {
        if (c == QLatin1Char('"'))
            out += QLatin1Char('"');
        out += c;
    }
    out += QLatin1Char('"');
}

// A spreadsheet reads a cell that begins with one of these as a formula,
// and an anchor text or a remote reply can begin with anything.
bool readsAsFormula(const QString &cell)
{
    if (cell.isEmpty())
        return false;
    const QChar c = cell.front();
    if (c == u'-') // "--" and "---" are the list's own texts
        return !std::all_of(cell.begin(), cell.end(), [](QChar x) { return x == u'-'; });
    return c == u'=' || c == u'+' || c == u'@' || c == u'\t' || c == u'\r';
}

void appendCsvRecord(QString &out, const QStringList &fields, CsvCells cells = CsvCells::Guarded)
{
    static const QString quoteMark = QStringLiteral("'");
    for (qsizetype i = 0; i < fields.size(); ++i) {
        if (i > 0)
            out += QLatin1Char(',');
        const QString &field = fields.at(i);
        appendCsvField(out, cells == CsvCells::Guarded && readsAsFormula(field) ? quoteMark + field : field);
    }
    out += QLatin1String("\r\n");
}

// The first source page of a row: "sitemap" for an orphan, empty for none.
QString firstSource(const RowSources &sources, int row)
{
    QString first;
    sources.visit(
        row, [&first](const QString &page, const QString &) { first = page; }, 1);
    return first;
}

// A position that the ranks file does not give is left empty.
QString positionText(quint32 position)
{
    return position == 0 ? QString() : QString::number(position);
}

void appendRankFields(QStringList &fields, const std::optional<RankFigures> &rank)
{
    if (!rank) {
        fields << QString() << QString() << QString();
        return;
    }
    fields << positionText(rank->rankPos) << positionText(rank->harmonicPos) << rank->release;
}

QJsonValue positionValue(quint32 position)
{
    return position == 0 ? QJsonValue(QJsonValue::Null) : QJsonValue(qint64(position));
}

void insertRankKeys(QJsonObject &o, const std::optional<RankFigures> &rank)
{
    o.insert(QStringLiteral("rank_pos"), rank ? positionValue(rank->rankPos) : QJsonValue(QJsonValue::Null));
    o.insert(QStringLiteral("harmonic_pos"), rank ? positionValue(rank->harmonicPos) : QJsonValue(QJsonValue::Null));
    o.insert(QStringLiteral("release"), rank && !rank->release.isEmpty() ? QJsonValue(rank->release) : QJsonValue(QJsonValue::Null));
}

void writeCsv(const ResultListModel &list, QIODevice &device, CsvCells cells)
{
    ChunkedWriter out(device);
    out.text() += QChar(0xFEFF); // the byte-order mark, by which spreadsheets know UTF-8
    appendCsvRecord(out.text(),
        {QStringLiteral("序号"), QStringLiteral("站内?"), QStringLiteral("链接词"), QStringLiteral("网址"), QStringLiteral("访问"),
            QStringLiteral("PR"), QStringLiteral("状态"), QStringLiteral("最终网址"), QStringLiteral("耗时(ms)"), QStringLiteral("原因"),
            QStringLiteral("rank_pos"), QStringLiteral("harmonic_pos"), QStringLiteral("release"), QStringLiteral("class"), QStringLiteral("变化"),
            QStringLiteral("深度"), QStringLiteral("来源数"), QStringLiteral("来源页"), QStringLiteral("孤立")});
    const RowSources *sources = list.sources();
    for (int i = 0; i < list.count(); ++i) {
        const ResultRow &row = list.row(i);
        QStringList fields {row.caption};
        for (const QString &cell : row.cells)
            fields << cell;
        if (const FetchResult *check = list.check(i)) {
            fields << rowStatusText(row) << check->finalUrl << QString::number(check->elapsedMs)
                   << (check->reason == FetchFailure::None ? QString() : reasonWords(*check));
        } else {
            // A row never checked may still say why ("空行", "未查询").
            fields << rowStatusText(row) << QString() << QString() << QString();
        }
        appendRankFields(fields, row.rank);
        fields << verdictClassKey(row.verdict) << rowChangeText(row.change);
        if (sources && sources->depth(i) >= 0) {
            fields << QString::number(sources->depth(i)) << QString::number(sources->count(i)) << firstSource(*sources, i)
                   << (sources->orphan(i) ? celltext::Orphan : QString());
        } else {
            fields << QString() << QString() << QString() << QString();
        }
        appendCsvRecord(out.text(), fields, cells);
        out.recordEnded();
    }
    out.flush();
}

QJsonObject jsonRecord(const ResultListModel &list, int i)
{
    const ResultRow &row = list.row(i);
    QJsonObject o {
        {QStringLiteral("row"), i + 1},
        {QStringLiteral("caption"), row.caption},
        {QStringLiteral("kind"), row.cells[CellInternal]},
        {QStringLiteral("text"), row.cells[CellLinkText]},
        {QStringLiteral("url"), row.cells[CellUrl]},
        {QStringLiteral("access"), row.cells[CellAccess]},
        {QStringLiteral("pr"), row.cells[CellPr]},
        {QStringLiteral("class"), verdictClassKey(row.verdict)},
    };
    const QJsonValue none(QJsonValue::Null);
    o.insert(QStringLiteral("change"), rowChangeText(row.change));
    o.insert(QStringLiteral("dead_since"),
        row.change == RowChange::StillDead && row.deadSinceMs > 0 ? QJsonValue(QDateTime::fromMSecsSinceEpoch(row.deadSinceMs, Qt::UTC).toString(Qt::ISODate))
                                                                  : none);
    const RowSources *rowSources = list.sources();
    const int depth = rowSources ? rowSources->depth(i) : -1;
    QJsonArray sources;
    if (depth >= 0) {
        rowSources->visit(i, [&sources](const QString &page, const QString &text) {
            sources.append(QJsonObject {{QStringLiteral("page"), page}, {QStringLiteral("text"), text}});
        });
    }
    o.insert(QStringLiteral("depth"), depth >= 0 ? QJsonValue(depth) : none);
    o.insert(QStringLiteral("sources"), sources);
    o.insert(QStringLiteral("orphan"), depth >= 0 && rowSources->orphan(i));
    const FetchResult *check = list.check(i);
    if (!check) {
        // A row never checked may still say why ("空行", "未查询").
        const QString status = rowStatusText(row);
        o.insert(QStringLiteral("status"), status.isEmpty() ? none : QJsonValue(status));
        for (const QString &key : {QStringLiteral("hops"), QStringLiteral("final_url"), QStringLiteral("elapsed_ms"),
                 QStringLiteral("reason")})
            o.insert(key, none);
        insertRankKeys(o, row.rank);
        return o;
    }
    QJsonArray hops;
    for (const int code : check->hops)
        hops.append(code);
    o.insert(QStringLiteral("status"), rowStatusText(row));
    o.insert(QStringLiteral("hops"), hops);
    o.insert(QStringLiteral("final_url"), check->finalUrl);
    o.insert(QStringLiteral("elapsed_ms"), check->elapsedMs);
    o.insert(QStringLiteral("reason"), check->reason == FetchFailure::None ? none : QJsonValue(reasonKey(check->reason)));
    insertRankKeys(o, row.rank);
    return o;
}

void writeJsonl(const ResultListModel &list, QIODevice &device)
{
    QByteArray chunk;
    for (int i = 0; i < list.count(); ++i) {
        chunk += QJsonDocument(jsonRecord(list, i)).toJson(QJsonDocument::Compact);
        chunk += '\n';
        if (chunk.size() >= ChunkChars) {
            writeAll(device, chunk);
            chunk.resize(0);
        }
    }
    if (!chunk.isEmpty())
        writeAll(device, chunk);
}

} // namespace

void writeList(const ResultListModel &list, bool shortForm, QIODevice &device)
{
    ChunkedWriter out(device);
    for (int i = 0; i < list.count(); ++i) {
        appendRecord(out.text(), list.row(i), shortForm);
        out.recordEnded();
    }
    out.flush();
}

void exportList(const ResultListModel &list, bool shortForm, const QString &path)
{
    exportListAs(list, ExportFormat::Tsv, shortForm, path);
}

ExportFormat exportFormatForPath(const QString &path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("csv"))
        return ExportFormat::Csv;
    if (suffix == QLatin1String("jsonl") || suffix == QLatin1String("json"))
        return ExportFormat::Jsonl;
    return ExportFormat::Tsv;
}

ExportFormat exportFormatFor(const Options &o)
{
    ExportFormat format = o.outToStdout() ? ExportFormat::Tsv : exportFormatForPath(o.outFile);
    if (const auto named = exportFormatNamed(o.format))
        format = *named;
    return format == ExportFormat::Csv && o.csvRaw ? ExportFormat::CsvRaw : format;
}

std::optional<ExportFormat> exportFormatNamed(const QString &name)
{
    if (name == QLatin1String("tsv"))
        return ExportFormat::Tsv;
    if (name == QLatin1String("csv"))
        return ExportFormat::Csv;
    if (name == QLatin1String("jsonl"))
        return ExportFormat::Jsonl;
    return std::nullopt;
}

void writeListAs(const ResultListModel &list, ExportFormat format, bool shortForm, QIODevice &device)
{
    switch (format) {
    case ExportFormat::Tsv:
        writeList(list, shortForm, device);
        return;
    case ExportFormat::Csv:
        writeCsv(list, device, CsvCells::Guarded);
        return;
    case ExportFormat::CsvRaw:
        writeCsv(list, device, CsvCells::Raw);
        return;
    case ExportFormat::Jsonl:
        writeJsonl(list, device);
        return;
    }
}

void exportListAs(const ResultListModel &list, ExportFormat format, bool shortForm, const QString &path)
{
    saveAtomically(path, [&](QIODevice &device) { writeListAs(list, format, shortForm, device); });
}

void writeInlinks(const ResultListModel &list, QIODevice &device)
{
    ChunkedWriter out(device);
    out.text() += QChar(0xFEFF);
    appendCsvRecord(out.text(),
        {QStringLiteral("来源页"), QStringLiteral("链接词"), QStringLiteral("网址"), QStringLiteral("访问"), QStringLiteral("状态")});
    if (const RowSources *sources = list.sources()) {
        sources->visitLinks([&](const QString &page, const QString &text, int row) {
            if (!list.hasRow(row))
                return;
            const ResultRow &target = list.row(row);
            appendCsvRecord(out.text(), {page, text, target.cells[CellUrl], target.cells[CellAccess], rowStatusText(target)});
            out.recordEnded();
        });
    }
    out.flush();
}

void exportInlinks(const ResultListModel &list, const QString &path)
{
    saveAtomically(path, [&](QIODevice &device) { writeInlinks(list, device); });
}
