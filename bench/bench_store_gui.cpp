// Opening the window over a big result store (1,000 runs, 5,000,000 checks)
// against opening it without one, and opening 历史 over that store. The
// store is made once and kept in the temporary folder for later runs.
#include "app/Unit1.h"
#include "app/historydialog.h"
#include "app/storepanel.h"
#include "store/schema.h"
#include "store/sqlite.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>

#include <benchmark/benchmark.h>

namespace {

constexpr int Runs = 1000;
constexpr int ChecksPerRun = 5000;

// Made straight with SQL: the writer's path would take as long as the runs.
QString bigStore()
{
    const QString path = QDir::tempPath() + QStringLiteral("/prq-bench-store-%1x%2.sqlite").arg(Runs).arg(ChecksPerRun);
    if (QFile::exists(path)) {
        sql::Database db(path, true);
        if (db.scalar("SELECT count(*) FROM checks") == qint64(Runs) * ChecksPerRun)
            return path;
    }
    QFile::remove(path);
    sql::Database db(path, false);
    storeschema::prepare(db);
    db.exec("PRAGMA journal_mode = WAL; PRAGMA synchronous = OFF; BEGIN");
    sql::Statement url(db, "INSERT INTO urls (id, url) VALUES (?1, ?2)");
    for (int u = 1; u <= ChecksPerRun; ++u)
        url.bind(1, u).bind(2, QStringLiteral("www.site%1.example.com/path/page%2.html?q=%2").arg(u % 97).arg(u)).run();
    sql::Statement run(db, "INSERT INTO runs (id, started_at, ended_at, program, kind, input, input_key, options, rows, answered, alive, dead,"
                           " ending, rows_stored) VALUES (?1, ?2, ?2 + 60000, 'cli', 'batch', 'links.txt', ?3, '{}', ?4, ?4, ?4 - ?5, ?5, ?6, 0)");
    sql::Statement check(db, "INSERT INTO checks (run_id, row, url_id, checked_at, verdict, access, hops, final_url, elapsed_ms)"
                             " VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, '', 20)");
    const qint64 week = 7LL * 24 * 3600 * 1000;
    for (int r = 1; r <= Runs; ++r) {
        const qint64 at = 1600000000000LL + r * week / 7;
        // The last run was cut off: the window looks at it to offer 继续上次.
        run.bind(1, r).bind(2, at).bind(3, QStringLiteral("key%1").arg(r % 10)).bind(4, ChecksPerRun).bind(5, r % 50);
        if (r == Runs)
            run.bindNull(6);
        else
            run.bind(6, QStringLiteral("completed"));
        run.run();
        for (int row = 0; row < ChecksPerRun; ++row) {
            const bool dead = row < r % 50;
            check.bind(1, r).bind(2, row).bind(3, row + 1).bind(4, at + row).bind(5, dead ? QStringLiteral("dead") : QStringLiteral("alive"));
            check.bind(6, dead ? QStringLiteral("×") : QStringLiteral("√")).bind(7, dead ? QStringLiteral("404") : QStringLiteral("200")).run();
        }
    }
    db.exec("COMMIT; PRAGMA wal_checkpoint(TRUNCATE)");
    return path;
}

WindowEndpoints endpoints(const QString &store)
{
    WindowEndpoints e;
    e.servers = {QStringLiteral("127.0.0.1:9")};
    e.storeFile = store;
    return e;
}

// Arg 0: no store; 1: the big store.
void BM_OpenWindow(benchmark::State &state)
{
    const QString store = state.range(0) == 1 ? bigStore() : QString();
    for (auto _ : state) {
        QElapsedTimer clock;
        clock.start();
        TForm1 form(endpoints(store), TForm1::defaultSeams());
        form.show();
        QCoreApplication::processEvents();
        state.SetIterationTime(double(clock.nsecsElapsed()) / 1e9);
        if (store.isEmpty() != (form.storePanel() == nullptr) || (form.storePanel() && !form.storePanel()->store()))
            state.SkipWithError("the store was not opened");
    }
}
BENCHMARK(BM_OpenWindow)->Arg(0)->Arg(1)->Iterations(5)->UseManualTime()->Unit(benchmark::kMillisecond);

// 历史 over the big store: the list of runs and the line of one input.
void BM_OpenHistory(benchmark::State &state)
{
    const QString store = bigStore();
    TForm1 form(endpoints(store), TForm1::defaultSeams());
    for (auto _ : state) {
        HistoryDialog dialog(*form.storePanel()->store(), &form);
        benchmark::DoNotOptimize(dialog.runs().size());
        state.counters["runs"] = double(dialog.runs().size());
        state.counters["points"] = double(dialog.trend().size());
    }
}
BENCHMARK(BM_OpenHistory)->Iterations(5)->Unit(benchmark::kMillisecond);

} // namespace
