// The sorted and filtered view of the result list: a whole sort, and one answer
// landing in a list that is shown sorted by the column it changes.
#include "shell/resultlist.h"
#include "shell/resultproxy.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

void fill(ResultListModel &list, int n)
{
    std::vector<ResultRow> rows;
    rows.reserve(std::size_t(n));
    for (int i = 0; i < n; ++i) {
        const QString pr = i % 7 == 0 ? QStringLiteral("--") : QString::number((i * 7919) % 11);
        const QString access = i % 5 == 0 ? QStringLiteral("×") : QStringLiteral("√");
        rows.push_back(ResultRow {QString::number(i + 1), {QStringLiteral("批量"), QStringLiteral("--"), QStringLiteral("www.site%1.example.com/path/page.html").arg((i * 104729) % n), access, pr}});
    }
    list.addRows(std::move(rows));
}

// Sort by the column (the way back to list order is not timed).
void BM_SortView(benchmark::State &state)
{
    ResultListModel list;
    fill(list, int(state.range(0)));
    ResultListProxy view(list);
    const int column = int(state.range(1));
    for (auto _ : state) {
        view.sort(column, Qt::AscendingOrder);
        state.PauseTiming();
        view.sort(-1);
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_SortView)->ArgsProduct({{10000, 100000, 1000000}, {3, 5}})->Unit(benchmark::kMillisecond)->Iterations(3);

// One PR answer into a view sorted by PR and filtered to the live rows.
void BM_AnswerIntoSortedView(benchmark::State &state)
{
    ResultListModel list;
    const int n = int(state.range(0));
    fill(list, n);
    ResultListProxy view(list);
    view.sort(5, Qt::DescendingOrder);
    view.setViewFilter(ResultListProxy::ShowLive);
    int row = 0;
    int rank = 0;
    for (auto _ : state) {
        row = (row + 7919) % n;
        rank = (rank + 1) % 11;
        list.setCell(row, CellPr, QString::number(rank));
    }
}
BENCHMARK(BM_AnswerIntoSortedView)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);

} // namespace
