// The CSV and JSON Lines exports, read back by readers that did not write them:
// Python's csv module and QJsonDocument.
#include "listfiles/listexport.h"
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
// depth 2, row 2 a batch row, row 3 named only by the sitemap.
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
    list.setCheck(1, slow);
}

void addSources(ResultListModel &list)
{
    list.addRow(ResultRow {QStringLiteral("3"), {QStringLiteral("内"), QString(), QStringLiteral("www.站点.cn/孤立.html"), QStringLiteral("--"), QStringLiteral("--")}});
    list.setCheck(3, FetchResult {});
    list.setVerdict(3, VerdictClass::Robots);
    list.setSources(std::make_shared<TableSources>(QList<TableSources::Row> {
        {0, false, {}},
        {2, false, {{QStringLiteral("http://www.站点.cn/"), QStringLiteral("首页")}, {QStringLiteral("http://www.站点.cn/a,b"), Tricky}}},
        {-1, false, {}},
        {1, true, {}},
    }));
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
    EXPECT_EQ(bytes.count("\r\n"), 1 /* header */ + 3 /* rows */ + 1 /* inside the tricky cell */);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("out.csv"));
    exportListAs(list, ExportFormat::Csv, true, path);
    const QList<QStringList> expected = {
        {"序号", "站内?", "链接词", "网址", "访问", "PR", "状态", "最终网址", "耗时(ms)", "原因", "深度", "来源数", "来源页", "孤立"},
        {"0", "内", "---", "www.站点.cn/", "√", "3", "301→200", "https://www.站点.cn/首页", "42", "", "", "", "", ""},
        {"1", "外", Tricky, "b.cn/a,\"b\"", "×", "--", "超时", "http://b.cn/a,\"b\"", "10000", "请求超时", "", "", "", ""},
        {"2", "批量", "--", "c.cn", "查询中...", "查询中...", "", "", "", "", "", "", "", ""},
    };
    EXPECT_EQ(readCsvWithPython(path), expected);

    // A site list says where each row was found.
    addSources(list);
    exportListAs(list, ExportFormat::Csv, true, path);
    const QList<QStringList> site = readCsvWithPython(path);
    ASSERT_EQ(site.size(), 5);
    EXPECT_EQ(site[1].mid(10), (QStringList {"0", "0", "", ""}));
    EXPECT_EQ(site[2].mid(10), (QStringList {"2", "2", "http://www.站点.cn/", ""}));
    EXPECT_EQ(site[3].mid(10), (QStringList {"", "", "", ""}));
    EXPECT_EQ(site[4], (QStringList {"3", "内", "", "www.站点.cn/孤立.html", "--", "--", "robots禁止", "", "0", "", "1", "0", "sitemap", "是"}));
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

TEST(ExportFormats, JsonLinesReadBackByQJsonDocument)
{
    ResultListModel list;
    fillTrickyList(list);
    const QByteArray bytes = written(list, ExportFormat::Jsonl);
    QList<QByteArray> lines = bytes.split('\n');
    ASSERT_EQ(lines.takeLast(), QByteArray()); // every object ends its line
    ASSERT_EQ(lines.size(), 3);

    QList<QJsonObject> rows;
    for (const QByteArray &line : lines) {
        QJsonParseError error {};
        const QJsonDocument doc = QJsonDocument::fromJson(line, &error);
        ASSERT_EQ(error.error, QJsonParseError::NoError) << line.toStdString();
        ASSERT_TRUE(doc.isObject());
        rows << doc.object();
    }
    const QStringList keys = {"access", "caption", "depth", "elapsed_ms", "final_url", "hops", "kind", "orphan", "pr", "reason", "row", "sources", "status",
        "text", "url"};
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

    EXPECT_EQ(rows[1].value("row").toInt(), 2);
    EXPECT_EQ(rows[1].value("text").toString(), Tricky);
    EXPECT_EQ(rows[1].value("url").toString(), QStringLiteral("b.cn/a,\"b\""));
    EXPECT_EQ(rows[1].value("access").toString(), QStringLiteral("×"));
    EXPECT_EQ(rows[1].value("pr").toString(), QStringLiteral("--"));
    EXPECT_EQ(rows[1].value("status").toString(), QStringLiteral("超时"));
    EXPECT_EQ(rows[1].value("hops").toArray(), QJsonArray());
    EXPECT_EQ(rows[1].value("reason").toString(), QStringLiteral("timeout"));

    // Never checked: the check's keys are there, and null.
    for (const char *key : {"status", "hops", "final_url", "elapsed_ms", "reason"})
        EXPECT_TRUE(rows[2].value(QLatin1String(key)).isNull()) << key;
    EXPECT_EQ(rows[2].value("access").toString(), QStringLiteral("查询中..."));

    // A site list: every source in the order found; an orphan's is the sitemap.
    addSources(list);
    QList<QByteArray> site = written(list, ExportFormat::Jsonl).split('\n');
    ASSERT_EQ(site.size(), 5);
    const QJsonObject found = QJsonDocument::fromJson(site[1]).object();
    EXPECT_EQ(found.value("depth").toInt(), 2);
    EXPECT_EQ(found.value("sources").toArray(),
        (QJsonArray {QJsonObject {{"page", "http://www.站点.cn/"}, {"text", "首页"}}, QJsonObject {{"page", "http://www.站点.cn/a,b"}, {"text", Tricky}}}));
    EXPECT_EQ(found.value("orphan"), QJsonValue(false));
    const QJsonObject orphan = QJsonDocument::fromJson(site[3]).object();
    EXPECT_EQ(orphan.value("depth").toInt(), 1);
    EXPECT_EQ(orphan.value("orphan"), QJsonValue(true));
    EXPECT_EQ(orphan.value("sources").toArray(), (QJsonArray {QJsonObject {{"page", "sitemap"}, {"text", ""}}}));
    EXPECT_EQ(orphan.value("status").toString(), QStringLiteral("robots禁止"));
    EXPECT_TRUE(QJsonDocument::fromJson(site[2]).object().value("depth").isNull());
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
