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
    // Compared with the result store: a first check, and a link dead since
    // 2024-05-01 10:00 Beijing time.
    list.setChange(0, RowChange::New, 0);
    list.setChange(1, RowChange::StillDead, 1714528800000);
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
    QProcess python;
    python.start(QStringLiteral("python3"),
        {QStringLiteral("-c"), QStringLiteral("import csv, json, sys\n"
                                              "with open(sys.argv[1], encoding='utf-8-sig', newline='') as f:\n"
                                              "    print(json.dumps(list(csv.reader(f, strict=True))))\n"),
            path});
    ASSERT_TRUE(python.waitForFinished(30000));
    ASSERT_EQ(python.exitCode(), 0) << python.readAllStandardError().toStdString();
    const QJsonArray records = QJsonDocument::fromJson(python.readAllStandardOutput()).array();

    const QList<QStringList> expected = {
        {"序号", "站内?", "链接词", "网址", "访问", "PR", "状态", "最终网址", "耗时(ms)", "原因", "变化"},
        {"0", "内", "---", "www.站点.cn/", "√", "3", "301→200", "https://www.站点.cn/首页", "42", "", "新链接"},
        {"1", "外", Tricky, "b.cn/a,\"b\"", "×", "--", "超时", "http://b.cn/a,\"b\"", "10000", "请求超时", "持续死链"},
        {"2", "批量", "--", "c.cn", "查询中...", "查询中...", "", "", "", "", ""},
    };
    ASSERT_EQ(records.size(), expected.size());
    for (qsizetype r = 0; r < expected.size(); ++r) {
        QStringList got;
        for (const QJsonValue &v : records.at(r).toArray())
            got << v.toString();
        EXPECT_EQ(got, expected.at(r)) << "record " << r;
    }
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
    const QStringList keys = {"access", "caption", "change", "dead_since", "elapsed_ms", "final_url", "hops", "kind", "pr", "reason", "row", "status",
        "text", "url"};
    for (const QJsonObject &o : rows)
        EXPECT_EQ(o.keys(), keys);

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
    EXPECT_EQ(rows[0].value("change").toString(), QStringLiteral("新链接"));
    EXPECT_TRUE(rows[0].value("dead_since").isNull());
    EXPECT_EQ(rows[1].value("change").toString(), QStringLiteral("持续死链"));
    EXPECT_EQ(rows[1].value("dead_since").toString(), QStringLiteral("2024-05-01T02:00:00Z"));
    EXPECT_EQ(rows[2].value("change").toString(), QString());

    // Never checked: the check's keys are there, and null.
    for (const char *key : {"status", "hops", "final_url", "elapsed_ms", "reason"})
        EXPECT_TRUE(rows[2].value(QLatin1String(key)).isNull()) << key;
    EXPECT_EQ(rows[2].value("access").toString(), QStringLiteral("查询中..."));
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
