#include "listfiles/listexport.h"
#include "listfiles/listimport.h"
#include "shell/resultlist.h"

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
            rows.push_back(ResultRow{QString::number(i + 1),
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
        benchmark::DoNotOptimize(importListFile(path));
    state.SetBytesProcessed(state.iterations() * QFileInfo(path).size());
}
BENCHMARK(BM_ImportFile)->Unit(benchmark::kMillisecond);

} // namespace
