#include "data/storedtext.h"
#include "query/checksum.h"
#include "query/scripthost.h"

#include <benchmark/benchmark.h>

namespace {

const QString kUrl = QStringLiteral("http://www.example.com/news/2024/中文页面.html?id=12345&from=list");

// What a ranking request pays: the script text compared with the kept
// engine's, and one call in that engine.
void BM_ScriptChecksum(benchmark::State &state)
{
    const QString script = storedtext::checksumScript();
    for (auto _ : state)
        benchmark::DoNotOptimize(scriptChecksum(script, kUrl));
}
BENCHMARK(BM_ScriptChecksum)->Unit(benchmark::kMillisecond)->Repetitions(5)->DisplayAggregatesOnly(true);

// The same through a pasted expression, for comparison with the call path.
void BM_EvaljsExpression(benchmark::State &state)
{
    const QString script = storedtext::checksumScript();
    const QString expression = QStringLiteral("getch(\"") + kUrl + QStringLiteral("\")");
    for (auto _ : state)
        benchmark::DoNotOptimize(evaljs(script, expression));
}
BENCHMARK(BM_EvaljsExpression)->Unit(benchmark::kMillisecond)->Repetitions(5)->DisplayAggregatesOnly(true);

// A text that changes at every request: each builds a new engine and runs
// the whole script, as every request once did.
void BM_ScriptChecksumChangedText(benchmark::State &state)
{
    const QString script = storedtext::checksumScript();
    int n = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(scriptChecksum(script + QStringLiteral("\n//") + QString::number(++n), kUrl));
}
BENCHMARK(BM_ScriptChecksumChangedText)->Unit(benchmark::kMillisecond)->Repetitions(5)->DisplayAggregatesOnly(true);

void BM_NativeChecksum(benchmark::State &state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(nativeChecksum(kUrl));
}
BENCHMARK(BM_NativeChecksum)->Unit(benchmark::kMicrosecond)->Repetitions(5)->DisplayAggregatesOnly(true);

} // namespace
