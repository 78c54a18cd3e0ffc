#include "store/schema.h"

#include "store/sqlite.h"

#include <iterator>

namespace storeschema {

namespace {

// Step n takes a store from version n - 1 to version n. A released step is
// never changed: a later change is a new step.
const char *const kSteps[] = {
    // 1
    R"sql(
CREATE TABLE runs (
    id INTEGER PRIMARY KEY,
    started_at INTEGER NOT NULL,
    ended_at INTEGER,
    program TEXT NOT NULL,
    kind TEXT NOT NULL,
    input TEXT NOT NULL,
    input_key TEXT NOT NULL,
    options TEXT NOT NULL,
    rows INTEGER NOT NULL DEFAULT 0,
    answered INTEGER NOT NULL DEFAULT 0,
    alive INTEGER NOT NULL DEFAULT 0,
    dead INTEGER NOT NULL DEFAULT 0,
    pr_found INTEGER NOT NULL DEFAULT 0,
    new_dead INTEGER NOT NULL DEFAULT 0,
    fixed INTEGER NOT NULL DEFAULT 0,
    ending TEXT,
    resumed INTEGER NOT NULL DEFAULT 0,
    rows_stored INTEGER NOT NULL DEFAULT 0
);
CREATE INDEX runs_by_input ON runs(input_key, id);

CREATE TABLE run_rows (
    run_id INTEGER NOT NULL,
    row INTEGER NOT NULL,
    caption TEXT NOT NULL,
    kind TEXT NOT NULL,
    text TEXT NOT NULL,
    url TEXT NOT NULL,
    access TEXT NOT NULL,
    pr TEXT NOT NULL,
    PRIMARY KEY (run_id, row)
) WITHOUT ROWID;

CREATE TABLE urls (
    id INTEGER PRIMARY KEY,
    url TEXT NOT NULL UNIQUE
);

CREATE TABLE checks (
    id INTEGER PRIMARY KEY,
    run_id INTEGER NOT NULL,
    row INTEGER NOT NULL,
    url_id INTEGER NOT NULL,
    checked_at INTEGER NOT NULL,
    verdict TEXT NOT NULL,
    access TEXT NOT NULL,
    hops TEXT NOT NULL,
    final_url TEXT NOT NULL,
    elapsed_ms INTEGER NOT NULL,
    reason TEXT,
    detail TEXT,
    retry_after INTEGER,
    dead_since INTEGER,
    change TEXT,
    cached INTEGER NOT NULL DEFAULT 0
);
CREATE INDEX checks_by_url ON checks(url_id, checked_at);
CREATE INDEX checks_by_run ON checks(run_id, row);

CREATE TABLE ranks (
    id INTEGER PRIMARY KEY,
    run_id INTEGER NOT NULL,
    row INTEGER NOT NULL,
    source TEXT NOT NULL,
    key TEXT NOT NULL,
    pr TEXT NOT NULL,
    asked_at INTEGER NOT NULL,
    cached INTEGER NOT NULL DEFAULT 0
);
CREATE INDEX ranks_by_key ON ranks(source, key, asked_at);
CREATE INDEX ranks_by_run ON ranks(run_id, row);
)sql",
    // 2
    R"sql(
CREATE TABLE pages (
    run_id INTEGER NOT NULL,
    url TEXT NOT NULL,
    depth INTEGER NOT NULL,
    status INTEGER NOT NULL,
    outcome TEXT,
    read_at INTEGER NOT NULL,
    PRIMARY KEY (run_id, url)
) WITHOUT ROWID;

CREATE TABLE links (
    id INTEGER PRIMARY KEY,
    run_id INTEGER NOT NULL,
    source TEXT NOT NULL,
    target TEXT NOT NULL,
    anchor_text TEXT NOT NULL
);
CREATE INDEX links_by_target ON links(run_id, target);
CREATE INDEX links_by_source ON links(run_id, source);

CREATE TABLE frontier (
    run_id INTEGER NOT NULL,
    seq INTEGER NOT NULL,
    url TEXT NOT NULL,
    depth INTEGER NOT NULL,
    PRIMARY KEY (run_id, seq)
) WITHOUT ROWID;
CREATE UNIQUE INDEX frontier_by_url ON frontier(run_id, url);
)sql",
    // 3
    R"sql(
ALTER TABLE ranks ADD COLUMN note TEXT;
ALTER TABLE pages ADD COLUMN readable INTEGER NOT NULL DEFAULT 0;
ALTER TABLE links ADD COLUMN flags INTEGER;

CREATE TABLE crawl_robots (
    run_id INTEGER NOT NULL,
    origin TEXT NOT NULL,
    status INTEGER NOT NULL,
    reason TEXT,
    fetched INTEGER NOT NULL,
    body BLOB NOT NULL,
    PRIMARY KEY (run_id, origin)
) WITHOUT ROWID;

CREATE TABLE crawl_sitemaps (
    run_id INTEGER PRIMARY KEY,
    pages TEXT NOT NULL,
    full INTEGER NOT NULL
);
)sql",
};
static_assert(std::size(kSteps) == std::size_t(CurrentVersion));

} // namespace

int versionOf(sql::Database &db)
{
    return int(db.scalar("PRAGMA user_version"));
}

Verdict prepare(sql::Database &db, int upTo)
{
    // Reading the header first: a file that is not SQLite fails here,
    // before anything is written to it.
    const int version = versionOf(db);
    const qint64 appId = db.scalar("PRAGMA application_id");
    if (version > CurrentVersion)
        return {QStringLiteral("格式版本 %1 比本程序 (版本 %2) 新").arg(version).arg(CurrentVersion)};
    const bool empty = db.scalar("SELECT count(*) FROM sqlite_master") == 0;
    if (appId != ApplicationId && !(appId == 0 && version == 0 && empty))
        return {QStringLiteral("不是本程序的结果库")};
    if (version >= upTo)
        return {};

    // Upgraded by one writer only: the others wait here, then find the work
    // done.
    db.exec("BEGIN IMMEDIATE");
    try {
        const int now = versionOf(db);
        for (int step = now + 1; step <= upTo; ++step)
            db.exec(kSteps[step - 1]);
        if (now < upTo) {
            db.exec(QStringLiteral("PRAGMA application_id = %1").arg(ApplicationId).toUtf8().constData());
            db.exec(QStringLiteral("PRAGMA user_version = %1").arg(upTo).toUtf8().constData());
        }
        db.exec("COMMIT");
    } catch (...) {
        try {
            db.exec("ROLLBACK");
        } catch (...) {
        }
        throw;
    }
    return {};
}

} // namespace storeschema
