// The index of a ranks file of the web graph, on files in the published
// format made here: 1, 3 and 10 million domains at domain level, gzip. The
// build runs once for each size (it is what a person waits for once); the
// start-up (mapping and checking the index) and 100,000 lookups repeat.
#include "query/graphrank.h"
#include "ranks/rankbuild.h"
#include "ranks/rankformat.h"
#include "ranks/rankindex.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <charconv>
#include <cmath>
#include <map>
#include <memory>
#include <numeric>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

namespace {

quint64 mix(quint64 x)
{
    // splitmix64: a bijection, so distinct numbers give distinct names.
    x += 0x9e3779b97f4a7c15ULL;
    x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ULL;
    x = (x ^ (x >> 27)) * 0x94d049bb133111ebULL;
    return x ^ (x >> 31);
}

const char *const Suffixes[] = {"com", "com", "com", "org", "net", "de", "uk.co", "cn", "ru", "jp", "fr", "info", "xn--fiqs8s", "com.cn", "io"};

// Domain number i, reversed as the file lists it ("com.k3x9a7"). Numbers at
// and past the file's count name domains that it does not list.
std::string reversedName(quint64 i)
{
    const quint64 m = mix(i);
    std::string name = Suffixes[m % (sizeof Suffixes / sizeof *Suffixes)];
    name += '.';
    char digits[16];
    const auto end = std::to_chars(digits, digits + sizeof digits, m >> 4, 36).ptr;
    name.append(digits, std::size_t(end - digits));
    return name;
}

std::string forwardName(const std::string &reversed)
{
    return reversedDomain(reversed); // reversing is its own inverse
}

// A ranks file of count domains in the published format: the lines in
// harmonic order, the PageRank positions a shuffle of them, the values
// falling with the position as a power law.
QString makeRanksFile(const QString &folder, quint64 count)
{
    const QString path = QStringLiteral("%1/cc-main-bench-%2-domain-ranks.txt.gz").arg(folder).arg(count);
    if (QFileInfo::exists(path))
        return path;
    std::vector<quint32> prPos(count);
    std::iota(prPos.begin(), prPos.end(), 1u);
    for (quint64 i = count - 1; i > 0; --i)
        std::swap(prPos[i], prPos[mix(i ^ 0x5151) % (i + 1)]);
    gzFile out = gzopen(QFile::encodeName(path).constData(), "wb1");
    gzbuffer(out, 1 << 20);
    std::string chunk = "#harmonicc_pos\t#harmonicc_val\t#pr_pos\t#pr_val\t#host_rev\t#n_hosts\n";
    char number[64];
    const auto put = [&](auto value) {
        chunk.append(number, std::size_t(std::to_chars(number, number + sizeof number, value).ptr - number));
    };
    for (quint64 i = 0; i < count; ++i) {
        put(i + 1);
        chunk += '\t';
        put(3.4e7 / std::pow(double(i + 1), 0.3));
        chunk += '\t';
        put(prPos[i]);
        chunk += '\t';
        put(5e-3 / std::pow(double(prPos[i]), 0.9) + 1.5e-9);
        chunk += '\t';
        chunk += reversedName(i);
        chunk += '\t';
        put(1 + mix(i) % 50);
        chunk += '\n';
        if (chunk.size() > (1 << 20)) {
            gzwrite(out, chunk.data(), unsigned(chunk.size()));
            chunk.clear();
        }
    }
    gzwrite(out, chunk.data(), unsigned(chunk.size()));
    gzclose(out);
    return path;
}

struct Workplace
{
    QTemporaryDir dir;
    std::map<quint64, QString> files;
    std::map<quint64, RankBuildSummary> built;
};

Workplace &workplace()
{
    static Workplace w;
    return w;
}

QString fileOf(quint64 count)
{
    Workplace &w = workplace();
    auto &file = w.files[count];
    if (file.isEmpty())
        file = makeRanksFile(w.dir.path(), count);
    return file;
}

QString indexFolder()
{
    return workplace().dir.filePath(QStringLiteral("index"));
}

RankBuildSummary summaryOf(const QString &file)
{
    RankBuildSummary summary;
    summary.stamp = *stampOf(file);
    summary.indexPath = rankIndexPath(indexFolder(), summary.stamp);
    if (const std::unique_ptr<RankIndex> index = RankIndex::open(summary.indexPath, summary.stamp)) {
        summary.level = index->level();
        summary.names = index->names();
    }
    return summary;
}

const RankBuildSummary &builtIndex(quint64 count)
{
    Workplace &w = workplace();
    auto found = w.built.find(count);
    if (found == w.built.end())
        found = w.built.emplace(count, buildRankIndex(fileOf(count), indexFolder())).first;
    return found->second;
}

// Each build runs in a child process of its own, so that its peak resident
// set is its own and nothing that the benchmark holds.
void BM_BuildIndex(benchmark::State &state)
{
    const auto count = quint64(state.range(0));
    const QString file = fileOf(count);
    QDir(indexFolder()).removeRecursively();
    QDir().mkpath(indexFolder());
    long peakKb = 0;
    double cpuSeconds = 0;
    for (auto _ : state) {
        const pid_t child = ::fork();
        if (child == 0) {
            try {
                buildRankIndex(file, indexFolder());
                ::_exit(0);
            } catch (...) {
                ::_exit(1);
            }
        }
        int status = 0;
        rusage usage {};
        if (child < 0 || ::wait4(child, &status, 0, &usage) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
            state.SkipWithError("the build failed");
        peakKb = usage.ru_maxrss;
        cpuSeconds = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    }
    const RankBuildSummary summary = summaryOf(file);
    workplace().built[count] = summary;
    state.counters["domains"] = double(summary.names);
    state.counters["file_MB"] = double(QFileInfo(file).size()) / 1e6;
    state.counters["peak_RSS_MB"] = double(peakKb) * 1024 / 1e6;
    // The machine is shared: the build's own processor time, beside the
    // time it took.
    state.counters["build_cpu_s"] = cpuSeconds;
    state.counters["index_bytes_per_domain"] = double(QFileInfo(summary.indexPath).size()) / double(summary.names);
}
// PRQ_BENCH_RANKS_MORE=30000000 adds a larger file, to see how the build
// grows (it takes a minute or two, and 1.2 GB of the temporary folder).
void buildSizes(benchmark::internal::Benchmark *b)
{
    for (const long long n : {1000000LL, 3000000LL, 10000000LL})
        b->Arg(n);
    if (const long long more = qEnvironmentVariable("PRQ_BENCH_RANKS_MORE").toLongLong(); more > 0)
        b->Arg(more);
}
BENCHMARK(BM_BuildIndex)->Apply(buildSizes)->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);

// Start-up of a run on a file whose index exists: map it and check it whole.
void BM_OpenIndex(benchmark::State &state)
{
    const RankBuildSummary &built = builtIndex(quint64(state.range(0)));
    for (auto _ : state) {
        std::unique_ptr<RankIndex> index = RankIndex::open(built.indexPath, built.stamp);
        if (!index)
            state.SkipWithError("the index did not open");
        benchmark::DoNotOptimize(index);
    }
}
BENCHMARK(BM_OpenIndex)->Arg(10000000)->UseRealTime()->Unit(benchmark::kMillisecond);

constexpr int Lookups = 100000;

// 100,000 names, half of them in the file, in no order.
void BM_Lookups(benchmark::State &state)
{
    const auto count = quint64(state.range(0));
    const RankBuildSummary &built = builtIndex(count);
    const std::unique_ptr<RankIndex> index = RankIndex::open(built.indexPath, built.stamp);
    std::vector<std::string> names;
    for (int i = 0; i < Lookups; ++i)
        names.push_back(reversedName(i % 2 == 0 ? mix(quint64(i)) % count : count + quint64(i)));
    int found = 0;
    for (auto _ : state) {
        found = 0;
        for (const std::string &name : names)
            found += index->find(name).kind == RankLookup::Kind::Found ? 1 : 0;
    }
    if (found < Lookups / 2)
        state.SkipWithError("a name of the file was not found");
    state.counters["found"] = found;
    state.SetItemsProcessed(state.iterations() * Lookups);
}
BENCHMARK(BM_Lookups)->Arg(10000000)->Unit(benchmark::kMillisecond);

// The same through the rows: address, host, registrable domain (the Public
// Suffix List), lookup, cell and figures.
void BM_RowAnswers(benchmark::State &state)
{
    const auto count = quint64(state.range(0));
    const RankBuildSummary &built = builtIndex(count);
    const std::unique_ptr<RankIndex> index = RankIndex::open(built.indexPath, built.stamp);
    QStringList urls;
    for (int i = 0; i < Lookups; ++i) {
        const std::string name = reversedName(i % 2 == 0 ? mix(quint64(i)) % count : count + quint64(i));
        urls << QStringLiteral("https://www.%1/page/%2.html").arg(QString::fromStdString(forwardName(name))).arg(i);
    }
    const QString release = rankRelease(built.indexPath);
    int scored = 0;
    for (auto _ : state) {
        scored = 0;
        for (const QString &url : urls) {
            const GraphAnswer a = graphAnswer(*index, url, release);
            scored += a.figures && a.figures->rankPos > 0 ? 1 : 0;
        }
    }
    state.counters["found"] = scored;
    state.SetItemsProcessed(state.iterations() * Lookups);
}
BENCHMARK(BM_RowAnswers)->Arg(10000000)->Unit(benchmark::kMillisecond);

} // namespace
