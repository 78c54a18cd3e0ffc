// The CSV and JSON Lines exports, read back by readers that did not write them:
// Python's csv module and QJsonDocument.
#include "listfiles/listexport.h"
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
    // PR from a ranks file: listed, and not listed.
    list.setRankFigures(0, RankFigures {12, 345, QStringLiteral("cc-main-2024-feb-apr-may")});
    list.setRankFigures(1, RankFigures {0, 0, QStringLiteral("cc-main-2024-feb-apr-may")});
    list.setVerdict(0, VerdictClass::Alive);
    list.setVerdict(1, VerdictClass::Dead);
    // A bot wall: "?" with the word of its class in 状态.
    list.addRow(ResultRow {QStringLiteral("3"), {QStringLiteral("批量"), QStringLiteral("--"), QStringLiteral("d.cn"), QStringLiteral("?"), QStringLiteral("--")}});
    FetchResult wall;
    wall.hops = {403};
    wall.finalUrl = QStringLiteral("http://d.cn/");
    wall.reason = FetchFailure::HttpStatus;
    wall.challenged = true;
    list.setCheck(3, wall);
    list.setVerdict(3, VerdictClass::Blocked);
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
    EXPECT_EQ(bytes.count("\r\n"), 1 /* header */ + 4 /* rows */ + 1 /* inside the tricky cell */);

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
        {"序号", "站内?", "链接词", "网址", "访问", "PR", "状态", "最终网址", "耗时(ms)", "原因", "rank_pos", "harmonic_pos", "release", "class"},
        {"0", "内", "---", "www.站点.cn/", "√", "3", "301→200", "https://www.站点.cn/首页", "42", "", "12", "345", "cc-main-2024-feb-apr-may", "alive"},
        {"1", "外", Tricky, "b.cn/a,\"b\"", "×", "--", "超时", "http://b.cn/a,\"b\"", "10000", "请求超时", "", "", "cc-main-2024-feb-apr-may", "dead"},
        {"2", "批量", "--", "c.cn", "查询中...", "查询中...", "", "", "", "", "", "", "", "unchecked"},
        {"3", "批量", "--", "d.cn", "?", "--", "403 人机验证", "http://d.cn/", "0", "服务器返回错误状态 403", "", "", "", "blocked"},
    };
    ASSERT_EQ(records.size(), expected.size());
    for (qsizetype r = 0; r < expected.size(); ++r) {
        QStringList got;
        for (const QJsonValue &v : records.at(r).toArray())
            got << v.toString();
        EXPECT_EQ(got, expected.at(r)) << "record " << r;
    }
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
    ASSERT_EQ(lines.size(), 4);

    QList<QJsonObject> rows;
    for (const QByteArray &line : lines) {
        QJsonParseError error {};
        const QJsonDocument doc = QJsonDocument::fromJson(line, &error);
        ASSERT_EQ(error.error, QJsonParseError::NoError) << line.toStdString();
        ASSERT_TRUE(doc.isObject());
        rows << doc.object();
    }
    const QStringList keys = {"access", "caption", "class", "elapsed_ms", "final_url", "harmonic_pos", "hops", "kind", "pr", "rank_pos", "reason", "release",
        "row", "status", "text", "url"};
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
