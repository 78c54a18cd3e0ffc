#include "listfiles/listexport.h"
#include "listfiles/listimport.h"
#include "shell/resultlist.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

constexpr int Rows = 100000;

const ResultListModel &bigList()
{
    static ResultListModel list;
    static const bool filled = [] {
        std::vector<ResultRow> rows;
        rows.reserve(Rows);
        for (int i = 0; i < Rows; ++i) {
            rows.push_back(ResultRow {QString::number(i + 1),
                {QStringLiteral("内"), QStringLiteral("新闻中心 第%1页").arg(i),
                    QStringLiteral("www.example%1.com.cn/news/2024/item_%2.html").arg(i % 97).arg(i),
                    QStringLiteral("√"), QString::number(i % 10)}});
        }
        list.addRows(std::move(rows));
        return true;
    }();
    Q_UNUSED(filled);
    return list;
}

void BM_ExportToFile(benchmark::State &state)
{
    const bool shortForm = state.range(0) != 0;
    const ResultListModel &list = bigList();
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("export.txt"));
    for (auto _ : state)
        exportList(list, shortForm, path);
    state.SetItemsProcessed(state.iterations() * Rows);
    state.SetBytesProcessed(state.iterations() * QFileInfo(path).size());
}
BENCHMARK(BM_ExportToFile)->ArgName("short")->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

void BM_ImportFile(benchmark::State &state)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("import.txt"));
    exportList(bigList(), false, path);
    for (auto _ : state)
        benchmark::DoNotOptimize(readListFile(path));
    state.SetBytesProcessed(state.iterations() * QFileInfo(path).size());
}
BENCHMARK(BM_ImportFile)->Unit(benchmark::kMillisecond);

// A million addresses (about 30 MB), all UTF-8, or with one GB18030 line in
// the middle, which makes every line be decoded on its own.
void BM_ImportMillionLines(benchmark::State &state)
{
    constexpr int Lines = 1000000;
    QByteArray bytes;
    bytes.reserve(qsizetype(Lines) * 32);
    for (int i = 0; i < Lines; ++i) {
        bytes += "http://www.example" + QByteArray::number(i) + ".com/path/x\n";
        if (state.range(0) != 0 && i == Lines / 2)
            bytes += "www.\xD6\xD0\xCE\xC4.cn\n";
    }
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("million.txt"));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            state.SkipWithError("cannot write the list");
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(readListFile(path));
    state.SetBytesProcessed(state.iterations() * bytes.size());
}
BENCHMARK(BM_ImportMillionLines)->ArgName("gb18030_line")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

} // namespace
