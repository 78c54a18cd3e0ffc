#pragma once

#include <QString>

namespace sql {
class Database;
}

// The layout of the result store and its upgrades. PRAGMA user_version holds
// the layout's version, PRAGMA application_id marks the file as this
// program's. Each step upgrades a store from the version before it; a store
// is upgraded in place, step by step, in one transaction.
namespace storeschema {

// 1: runs, their rows, checks, PR answers. 2: a crawl's pages, links and
// frontier.
constexpr int CurrentVersion = 3;
constexpr int ApplicationId = 0x50525153; // "PRQS"

// Why a file cannot serve as the store; empty when it can.
struct Verdict
{
    QString refusal;
};

// Makes db a store of version `upTo` (CurrentVersion unless a test asks for
// an older one): creates an empty file's tables, upgrades an older store,
// and refuses a newer store or a database that is not a store (throws
// sql::Error for a file that SQLite cannot read at all).
Verdict prepare(sql::Database &db, int upTo = CurrentVersion);

// The version of db's layout (0: a new, empty file).
int versionOf(sql::Database &db);

} // namespace storeschema
