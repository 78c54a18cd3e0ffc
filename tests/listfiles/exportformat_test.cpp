// The CSV and JSON Lines exports, read back by readers that did not write them:
// Python's csv module and QJsonDocument.
#include "listfiles/listexport.h"
#include "shell/celltexts.h"
#include "shell/options.h"
#include "shell/resultlist.h"

#include <QBuffer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

// Cells that a naive writer breaks: a tab, quotes, both kinds of line break,
// a comma and Chinese.
const QString Tricky = QStringLiteral("新闻\t\"头条\", 第1页\r\n第二行\n末");

// Where rows were found, as a table: row 0 typed, row 1 found twice at
// depth 2, row 2 a batch row, the last named only by the sitemap.
class TableSources final : public RowSources
{
public:
    struct Row
    {
        int depth;
        bool orphan;
        QList<QPair<QString, QString>> sources;
    };
    explicit TableSources(QList<Row> rows)
        : m_rows(std::move(rows))
    {
    }
    int depth(int row) const override { return m_rows.value(row, Row {-1, false, {}}).depth; }
    int count(int row) const override { return int(m_rows.value(row).sources.size()); }
    bool orphan(int row) const override { return m_rows.value(row).orphan; }
    void visit(int row, const Visit &visit, int limit) const override
    {
        if (orphan(row) && limit != 0)
            visit(sitemapPage(), QString());
        for (const auto &[page, text] : m_rows.value(row).sources) {
            if (limit-- == 0)
                return;
            visit(page, text);
        }
    }
    void visitLinks(const VisitLink &visit) const override
    {
        // In the order found: the second source of row 1 was found last.
        visit(m_rows[1].sources[0].first, m_rows[1].sources[0].second, 1);
        visit(QStringLiteral("http://gone.cn/"), QStringLiteral("no row"), 9);
        visit(m_rows[1].sources[1].first, m_rows[1].sources[1].second, 1);
        visit(QStringLiteral("http://www.站点.cn/"), QStringLiteral("to the batch row"), 2);
    }

private:
    QList<Row> m_rows;
};

void fillTrickyList(ResultListModel &list)
{
    list.addRow(ResultRow {QStringLiteral("0"), {QStringLiteral("内"), QStringLiteral("---"), QStringLiteral("www.站点.cn/"), QStringLiteral("√"), QStringLiteral("3")}});
    list.addRow(ResultRow {QStringLiteral("1"), {QStringLiteral("外"), Tricky, QStringLiteral("b.cn/a,\"b\""), QStringLiteral("×"), QStringLiteral("--")}});
    list.addRow(ResultRow {QStringLiteral("2"), {QStringLiteral("批量"), QStringLiteral("--"), QStringLiteral("c.cn"), QStringLiteral("查询中..."), QStringLiteral("查询中...")}});
    FetchResult moved;
    moved.hops = {301, 200};
    moved.finalUrl = QStringLiteral("https://www.站点.cn/首页");
    moved.elapsedMs = 42;
    list.setCheck(0, moved);
    FetchResult slow;
    slow.finalUrl = QStringLiteral("http://b.cn/a,\"b\"");
    slow.elapsedMs = 10000;
    slow.reason = FetchFailure::TimedOut;
    slow.detail = QStringLiteral("Operation timed out after 10000 milliseconds"); // the library's words stay out
    list.setCheck(1, slow);
    // PR from a ranks file: listed, and not listed.
    list.setRankFigures(0, RankFigures {12, 345, QStringLiteral("cc-main-2024-feb-apr-may")});
    list.setRankFigures(1, RankFigures {0, 0, QStringLiteral("cc-main-2024-feb-apr-may")});
    list.setVerdict(0, VerdictClass::Alive);
    list.setVerdict(1, VerdictClass::Dead);
    // Compared with the result store: a first check, and a link dead since
    // 2024-05-01 10:00 Beijing time.
    list.setChange(0, RowChange::New, 0);
    list.setChange(1, RowChange::StillDead, 1714528800000);
    // A bot wall: "?" with the word of its class in 状态.
    list.addRow(ResultRow {QStringLiteral("3"), {QStringLiteral("批量"), QStringLiteral("--"), QStringLiteral("d.cn"), QStringLiteral("?"), QStringLiteral("--")}});
    FetchResult wall;
    wall.hops = {403};
    wall.finalUrl = QStringLiteral("http://d.cn/");
    wall.reason = FetchFailure::HttpStatus;
    wall.challenged = true;
    list.setCheck(3, wall);
    list.setVerdict(3, VerdictClass::Blocked);
    // A row the run ended before: "--" and the reason in 状态.
    list.addRow(ResultRow {QStringLiteral("4"), {QStringLiteral("批量"), QStringLiteral("--"), QStringLiteral("e.cn"), QStringLiteral("--"), QStringLiteral("--")}});
    list.setNote(4, celltext::Unsent);
}

// Makes the list a site list: rows 0 and 1 found on pages, the others not
// (a batch row among them), and a new last row, an orphan that robots.txt
// forbids. Returns that row.
int addSources(ResultListModel &list)
{
    const int orphan = list.count();
    list.addRow(ResultRow {QString::number(orphan), {QStringLiteral("内"), QString(), QStringLiteral("www.站点.cn/孤立.html"), QStringLiteral("--"), QStringLiteral("--")}});
    list.setCheck(orphan, FetchResult {});
    list.setVerdict(orphan, VerdictClass::Robots);
    QList<TableSources::Row> rows {
        {0, false, {}},
        {2, false, {{QStringLiteral("http://www.站点.cn/"), QStringLiteral("首页")}, {QStringLiteral("http://www.站点.cn/a,b"), Tricky}}},
    };
    while (rows.size() < orphan)
        rows.append({-1, false, {}});
    rows.append({1, true, {}});
    list.setSources(std::make_shared<TableSources>(rows));
    return orphan;
}

QByteArray written(const ResultListModel &list, ExportFormat format)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    writeListAs(list, format, true, buffer);
    return buffer.data();
}

TEST(ExportFormats, FormatFromExtensionAndName)
{
    const struct
    {
        const char *path;
        ExportFormat format;
    } cases[] = {
        {"out.csv", ExportFormat::Csv},
        {"OUT.CSV", ExportFormat::Csv},
        {"a/b.jsonl", ExportFormat::Jsonl},
        {"b.Json", ExportFormat::Jsonl},
        {"out.txt", ExportFormat::Tsv},
        {"out", ExportFormat::Tsv},
        {"out.tsv", ExportFormat::Tsv},
        {"csv", ExportFormat::Tsv},
        {"dir.csv/out", ExportFormat::Tsv},
    };
    for (const auto &c : cases)
        EXPECT_EQ(exportFormatForPath(QString::fromUtf8(c.path)), c.format) << c.path;
    EXPECT_EQ(exportFormatNamed(QStringLiteral("csv")), ExportFormat::Csv);
    EXPECT_EQ(exportFormatNamed(QStringLiteral("jsonl")), ExportFormat::Jsonl);
    EXPECT_EQ(exportFormatNamed(QStringLiteral("tsv")), ExportFormat::Tsv);
    EXPECT_EQ(exportFormatNamed(QStringLiteral("json")), std::nullopt);
    EXPECT_EQ(exportFormatNamed(QStringLiteral("CSV")), std::nullopt);
}

TEST(ExportFormats, TsvIsTheListExportInBothForms)
{
    ResultListModel list;
    fillTrickyList(list);
    for (const bool shortForm : {true, false}) {
        QBuffer a, b;
        a.open(QIODevice::WriteOnly);
        b.open(QIODevice::WriteOnly);
        writeList(list, shortForm, a);
        writeListAs(list, ExportFormat::Tsv, shortForm, b);
        EXPECT_EQ(b.data(), a.data());
    }
}

// The records of a CSV file as Python's csv module reads them.
QList<QStringList> readCsvWithPython(const QString &path)
{
    QProcess python;
    python.start(QStringLiteral("python3"),
        {QStringLiteral("-c"), QStringLiteral("import csv, json, sys\n"
                                              "with open(sys.argv[1], encoding='utf-8-sig', newline='') as f:\n"
                                              "    print(json.dumps(list(csv.reader(f, strict=True))))\n"),
            path});
    python.waitForFinished(30000);
    EXPECT_EQ(python.exitCode(), 0) << python.readAllStandardError().toStdString();
    QList<QStringList> records;
    for (const QJsonValue &record : QJsonDocument::fromJson(python.readAllStandardOutput()).array()) {
        QStringList fields;
        for (const QJsonValue &v : record.toArray())
            fields << v.toString();
        records << fields;
    }
    return records;
}

TEST(ExportFormats, CsvReadBackByPythonsCsvModule)
{
    ResultListModel list;
    fillTrickyList(list);
    const QByteArray bytes = written(list, ExportFormat::Csv);
    ASSERT_TRUE(bytes.startsWith("\xEF\xBB\xBF"));
    // Every record ends in CR LF; the only bare LF is inside a quoted cell.
    EXPECT_TRUE(bytes.endsWith("\r\n"));
    EXPECT_EQ(bytes.count("\r\n"), 1 /* header */ + 5 /* rows */ + 1 /* inside the tricky cell */);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("out.csv"));
    exportListAs(list, ExportFormat::Csv, true, path);
    const QList<QStringList> expected = {
        {"序号", "站内?", "链接词", "网址", "访问", "PR", "状态", "最终网址", "耗时(ms)", "原因", "rank_pos", "harmonic_pos", "release", "class", "变化", "深度", "来源数",
            "来源页", "孤立"},
        {"0", "内", "---", "www.站点.cn/", "√", "3", "301→200", "https://www.站点.cn/首页", "42", "", "12", "345", "cc-main-2024-feb-apr-may", "alive", "新链接", "", "",
            "", ""},
        {"1", "外", Tricky, "b.cn/a,\"b\"", "×", "--", "超时", "http://b.cn/a,\"b\"", "10000", "请求超时", "", "", "cc-main-2024-feb-apr-may", "dead", "持续死链", "", "",
            "", ""},
        {"2", "批量", "--", "c.cn", "查询中...", "查询中...", "", "", "", "", "", "", "", "unchecked", "", "", "", "", ""},
        {"3", "批量", "--", "d.cn", "?", "--", "403 人机验证", "http://d.cn/", "0", "服务器返回错误状态 403", "", "", "", "blocked", "", "", "", "", ""},
        {"4", "批量", "--", "e.cn", "--", "--", "未查询", "", "", "", "", "", "", "unchecked", "", "", "", "", ""},
    };
    EXPECT_EQ(readCsvWithPython(path), expected);

    // A site list says where each row was found.
    const int orphan = addSources(list);
    exportListAs(list, ExportFormat::Csv, true, path);
    const QList<QStringList> site = readCsvWithPython(path);
    ASSERT_EQ(site.size(), orphan + 2);
    const qsizetype depth = site[0].indexOf(QStringLiteral("深度"));
    ASSERT_EQ(site[0].mid(depth), (QStringList {"深度", "来源数", "来源页", "孤立"}));
    EXPECT_EQ(site[1].mid(depth), (QStringList {"0", "0", "", ""}));
    EXPECT_EQ(site[2].mid(depth), (QStringList {"2", "2", "http://www.站点.cn/", ""}));
    EXPECT_EQ(site[3].mid(depth), (QStringList {"", "", "", ""}));
    EXPECT_EQ(site[orphan + 1].mid(0, 7), (QStringList {QString::number(orphan), "内", "", "www.站点.cn/孤立.html", "--", "--", "robots禁止"}));
    EXPECT_EQ(site[orphan + 1].mid(depth), (QStringList {"1", "0", "sitemap", "是"}));
}

TEST(ExportFormats, InlinksOneRecordPerLinkFound)
{
    ResultListModel list;
    fillTrickyList(list);
    addSources(list);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("inlinks.csv"));
    exportInlinks(list, path);
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    EXPECT_TRUE(bytes.startsWith("\xEF\xBB\xBF"));
    EXPECT_TRUE(bytes.endsWith("\r\n"));
    const QList<QStringList> expected = {
        {"来源页", "链接词", "网址", "访问", "状态"},
        {"http://www.站点.cn/", "首页", "b.cn/a,\"b\"", "×", "超时"},
        {"http://www.站点.cn/a,b", Tricky, "b.cn/a,\"b\"", "×", "超时"},
        {"http://www.站点.cn/", "to the batch row", "c.cn", "查询中...", ""},
    };
    EXPECT_EQ(readCsvWithPython(path), expected);

    // A batch list has no links: the header alone.
    f.close();
    ResultListModel batch;
    exportInlinks(batch, path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), "\xEF\xBB\xBF" + QStringLiteral("来源页,链接词,网址,访问,状态\r\n").toUtf8());
}

// Cells a spreadsheet would run as formulas: an anchor text, a remote
// reply. The CSV guards them, CsvRaw and the other forms keep the bytes.
TEST(ExportFormats, FormulaCells)
{
    const struct
    {
        const char *cell;
        const char *guarded; // the cell as the guarded CSV holds it, quoting aside
    } cases[] = {
        {"=HYPERLINK(\"http://x\")", "'=HYPERLINK(\"http://x\")"},
        {"+1", "'+1"},
        {"-1+2", "'-1+2"},
        {"@SUM(A1)", "'@SUM(A1)"},
        {"\tx", "'\tx"},
        {"\rx", "'\rx"},
        {"--", "--"},
        {"---", "---"},
        {"-", "-"},
        {"a=b", "a=b"},
        {"新闻", "新闻"},
        {"", ""},
    };
    for (const auto &c : cases) {
        const QString cell = QString::fromUtf8(c.cell);
        SCOPED_TRACE(c.cell);
        ResultListModel list;
        list.addRow(ResultRow {QStringLiteral("1"), {QStringLiteral("外"), cell, QStringLiteral("a.cn"), QStringLiteral("√"), cell}});
        const auto csvCells = [&](ExportFormat format) {
            const QList<QByteArray> lines = written(list, format).split('\n');
            return lines.value(1); // the record after the header
        };
        QString expected = QString::fromUtf8(c.guarded);
        const auto field = [](const QString &f) {
            return f.contains(u',') || f.contains(u'"') || f.contains(u'\r') || f.contains(u'\n')
                ? QLatin1Char('"') + QString(f).replace(QLatin1String("\""), QLatin1String("\"\"")) + QLatin1Char('"')
                : f;
        };
        // The columns after PR are empty for this row; only the cells count.
        EXPECT_TRUE(csvCells(ExportFormat::Csv).startsWith((QStringLiteral("1,外,") + field(expected) + QStringLiteral(",a.cn,√,") + field(expected) + QStringLiteral(",,")).toUtf8()))
            << csvCells(ExportFormat::Csv).toStdString();
        EXPECT_TRUE(csvCells(ExportFormat::CsvRaw).startsWith((QStringLiteral("1,外,") + field(cell) + QStringLiteral(",a.cn,√,") + field(cell) + QStringLiteral(",,")).toUtf8()))
            << csvCells(ExportFormat::CsvRaw).toStdString();
        // The tab-separated export writes the bytes as they stand.
        EXPECT_EQ(written(list, ExportFormat::Tsv), (QStringLiteral("a.cn\t") + cell + QStringLiteral("\r\r\n")).toUtf8());
        const QJsonObject o = QJsonDocument::fromJson(written(list, ExportFormat::Jsonl)).object();
        EXPECT_EQ(o.value(QStringLiteral("text")).toString(), cell);
        EXPECT_EQ(o.value(QStringLiteral("pr")).toString(), cell);
    }
}

TEST(ExportFormats, FormatOfACommandLineRun)
{
    const struct
    {
        const char *out;
        const char *format;
        bool raw;
        ExportFormat expected;
    } cases[] = {
        {"o.csv", "", false, ExportFormat::Csv},
        {"o.csv", "", true, ExportFormat::CsvRaw},
        {"-", "csv", true, ExportFormat::CsvRaw},
        {"o.txt", "csv", false, ExportFormat::Csv},
        {"o.csv", "tsv", false, ExportFormat::Tsv},
        {"-", "", false, ExportFormat::Tsv},
        {"o.jsonl", "", false, ExportFormat::Jsonl},
    };
    for (const auto &c : cases) {
        Options o;
        o.outFile = QString::fromUtf8(c.out);
        o.format = QString::fromUtf8(c.format);
        o.csvRaw = c.raw;
        EXPECT_EQ(exportFormatFor(o), c.expected) << c.out << " " << c.format;
    }
}

TEST(ExportFormats, JsonLinesReadBackByQJsonDocument)
{
    ResultListModel list;
    fillTrickyList(list);
    const QByteArray bytes = written(list, ExportFormat::Jsonl);
    QList<QByteArray> lines = bytes.split('\n');
    ASSERT_EQ(lines.takeLast(), QByteArray()); // every object ends its line
    ASSERT_EQ(lines.size(), 5);

    QList<QJsonObject> rows;
    for (const QByteArray &line : lines) {
        QJsonParseError error {};
        const QJsonDocument doc = QJsonDocument::fromJson(line, &error);
        ASSERT_EQ(error.error, QJsonParseError::NoError) << line.toStdString();
        ASSERT_TRUE(doc.isObject());
        rows << doc.object();
    }
    const QStringList keys = {"access", "caption", "change", "class", "dead_since", "depth", "elapsed_ms", "final_url", "harmonic_pos", "hops", "kind",
        "orphan", "pr", "rank_pos", "reason", "release", "row", "sources", "status", "text", "url"};
    for (const QJsonObject &o : rows)
        EXPECT_EQ(o.keys(), keys);
    // A batch list: no depth, no sources.
    EXPECT_TRUE(rows[0].value("depth").isNull());
    EXPECT_EQ(rows[0].value("sources").toArray(), QJsonArray());
    EXPECT_EQ(rows[0].value("orphan"), QJsonValue(false));

    EXPECT_EQ(rows[0].value("row").toInt(), 1);
    EXPECT_EQ(rows[0].value("caption").toString(), QStringLiteral("0"));
    EXPECT_EQ(rows[0].value("kind").toString(), QStringLiteral("内"));
    EXPECT_EQ(rows[0].value("status").toString(), QStringLiteral("301→200"));
    EXPECT_EQ(rows[0].value("hops").toArray(), (QJsonArray {301, 200}));
    EXPECT_EQ(rows[0].value("final_url").toString(), QStringLiteral("https://www.站点.cn/首页"));
    EXPECT_EQ(rows[0].value("elapsed_ms").toInteger(), 42);
    EXPECT_TRUE(rows[0].value("reason").isNull());
    EXPECT_EQ(rows[0].value("rank_pos").toInteger(), 12);
    EXPECT_EQ(rows[0].value("harmonic_pos").toInteger(), 345);
    EXPECT_EQ(rows[0].value("release").toString(), QStringLiteral("cc-main-2024-feb-apr-may"));

    EXPECT_EQ(rows[1].value("row").toInt(), 2);
    EXPECT_EQ(rows[1].value("text").toString(), Tricky);
    EXPECT_EQ(rows[1].value("url").toString(), QStringLiteral("b.cn/a,\"b\""));
    EXPECT_EQ(rows[1].value("access").toString(), QStringLiteral("×"));
    EXPECT_EQ(rows[1].value("pr").toString(), QStringLiteral("--"));
    EXPECT_EQ(rows[1].value("status").toString(), QStringLiteral("超时"));
    EXPECT_EQ(rows[1].value("hops").toArray(), QJsonArray());
    EXPECT_EQ(rows[1].value("reason").toString(), QStringLiteral("timeout"));
    // Not in the ranks file: no positions, but the release that says so.
    EXPECT_TRUE(rows[1].value("rank_pos").isNull());
    EXPECT_TRUE(rows[1].value("harmonic_pos").isNull());
    EXPECT_EQ(rows[1].value("release").toString(), QStringLiteral("cc-main-2024-feb-apr-may"));
    EXPECT_EQ(rows[0].value("change").toString(), QStringLiteral("新链接"));
    EXPECT_TRUE(rows[0].value("dead_since").isNull());
    EXPECT_EQ(rows[1].value("change").toString(), QStringLiteral("持续死链"));
    EXPECT_EQ(rows[1].value("dead_since").toString(), QStringLiteral("2024-05-01T02:00:00Z"));
    EXPECT_EQ(rows[2].value("change").toString(), QString());

    // Never checked: the check's keys are there, and null.
    for (const char *key : {"status", "hops", "final_url", "elapsed_ms", "reason", "rank_pos", "harmonic_pos", "release"})
        EXPECT_TRUE(rows[2].value(QLatin1String(key)).isNull()) << key;
    EXPECT_EQ(rows[2].value("access").toString(), QStringLiteral("查询中..."));
    EXPECT_EQ(rows[2].value("class").toString(), QStringLiteral("unchecked"));

    EXPECT_EQ(rows[0].value("class").toString(), QStringLiteral("alive"));
    EXPECT_EQ(rows[1].value("class").toString(), QStringLiteral("dead"));
    EXPECT_EQ(rows[3].value("access").toString(), QStringLiteral("?"));
    EXPECT_EQ(rows[3].value("class").toString(), QStringLiteral("blocked"));
    EXPECT_EQ(rows[3].value("status").toString(), QStringLiteral("403 人机验证"));

    // A site list: every source in the order found; an orphan's is the sitemap.
    const int orphanRow = addSources(list);
    QList<QByteArray> site = written(list, ExportFormat::Jsonl).split('\n');
    ASSERT_EQ(site.size(), orphanRow + 2);
    const QJsonObject found = QJsonDocument::fromJson(site[1]).object();
    EXPECT_EQ(found.value("depth").toInt(), 2);
    EXPECT_EQ(found.value("sources").toArray(),
        (QJsonArray {QJsonObject {{"page", "http://www.站点.cn/"}, {"text", "首页"}}, QJsonObject {{"page", "http://www.站点.cn/a,b"}, {"text", Tricky}}}));
    EXPECT_EQ(found.value("orphan"), QJsonValue(false));
    const QJsonObject orphan = QJsonDocument::fromJson(site[orphanRow]).object();
    EXPECT_EQ(orphan.value("depth").toInt(), 1);
    EXPECT_EQ(orphan.value("orphan"), QJsonValue(true));
    EXPECT_EQ(orphan.value("sources").toArray(), (QJsonArray {QJsonObject {{"page", "sitemap"}, {"text", ""}}}));
    EXPECT_EQ(orphan.value("status").toString(), QStringLiteral("robots禁止"));
    EXPECT_TRUE(QJsonDocument::fromJson(site[2]).object().value("depth").isNull());
    // A row that says why it was never checked says so in status alone.
    EXPECT_EQ(rows[4].value("status").toString(), QStringLiteral("未查询"));
    for (const char *key : {"hops", "final_url", "elapsed_ms", "reason"})
        EXPECT_TRUE(rows[4].value(QLatin1String(key)).isNull()) << key;
}

TEST(ExportFormats, AnAnswerFromTheCacheSaysSoInItsStatus)
{
    ResultListModel list;
    list.addRow(ResultRow {QStringLiteral("1"), {QStringLiteral("批量"), QStringLiteral("--"), QStringLiteral("a.cn"), QStringLiteral("√"), QStringLiteral("--")}});
    FetchResult fine;
    fine.hops = {200};
    list.setCheck(0, fine, true);
    EXPECT_EQ(list.data(list.index(0, ColumnStatus)).toString(), QStringLiteral("缓存 200"));
    EXPECT_TRUE(written(list, ExportFormat::Csv).contains(QStringLiteral(",缓存 200,").toUtf8()));
    EXPECT_TRUE(written(list, ExportFormat::Jsonl).contains(QStringLiteral("\"status\":\"缓存 200\"").toUtf8()));
    // TSV keeps its two or six fields.
    EXPECT_EQ(written(list, ExportFormat::Tsv), QByteArray("a.cn\t--\r\r\n"));
}

TEST(ExportFormats, EmptyListGivesHeaderOnlyOrNothing)
{
    ResultListModel list;
    EXPECT_EQ(written(list, ExportFormat::Jsonl), QByteArray());
    EXPECT_EQ(written(list, ExportFormat::Tsv), QByteArray());
    const QByteArray csv = written(list, ExportFormat::Csv);
    EXPECT_TRUE(csv.startsWith("\xEF\xBB\xBF\xE5\xBA\x8F\xE5\x8F\xB7,")); // BOM, 序号
    EXPECT_EQ(csv.count("\r\n"), 1);
}

} // namespace
