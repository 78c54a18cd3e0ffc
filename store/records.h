#pragma once

#include "fetch/fetchresult.h"
#include "shell/rowchange.h"
#include "shell/verdictclass.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <atomic>
#include <memory>
#include <optional>

// The plain values that go into the result store and come out of it. Times
// are milliseconds since 1970-01-01 UTC.

// A run of this process in the store. Its row id is known once the store's
// writer has inserted it (0 until then); records are handed over with the
// handle and find their run through it.
struct StoreRun
{
    std::atomic<qint64> id {0};
};
using RunHandle = std::shared_ptr<StoreRun>;

// How a run was started, as its first record.
struct RunStart
{
    qint64 startedAt = 0;
    QString program; // "window" or "cli"
    QString kind; // "batch", "site" or "crawl"
    QString input; // what the person gave: a list file, a site address, "窗口"
    QString inputKey; // equal for the same input (inputKey())
    QString options; // the run's choices, as a JSON object
};

// How a run ended, and its counts then.
struct RunEnd
{
    qint64 endedAt = 0;
    QString ending; // runEndingKey(): "completed", "timeout", ...
    int rows = 0;
    int alive = 0;
    int dead = 0;
    int prFound = 0;
    int newDead = 0;
    int fixed = 0;
    // False when the list was gone by then (another was shown in its
    // place): the counts are taken from the checks kept.
    bool counted = true;
};

// One row of a run's list, as it was built.
struct StoredRow
{
    QString caption;
    QString kind; // 站内?
    QString text; // 链接词
    QString url; // 网址, exactly as the list holds it
    QString access; // 访问 and PR as the list was built, before any answer
    QString pr;
};

// One check of a row's address.
struct CheckRecord
{
    int row = 0;
    QString url;
    qint64 checkedAt = 0; // for an answer taken from the cache: when it was fetched
    VerdictClass verdict = VerdictClass::Unchecked;
    QString access; // the 访问 cell as written
    FetchResult fetch;
    std::optional<qint64> deadSince; // a dead answer: the first check of its dead streak
    RowChange change = RowChange::Same; // against the address's check before
    bool cached = false; // taken from the store, no request made
};

// One PR answer of a row.
struct RankRecord
{
    int row = 0;
    QString source; // "toolbar", "opr", ...
    QString key; // what the source ranks: the address, or its registrable domain
    QString pr; // the PR cell as written
    QString note; // why the cell holds no rank, when there is more to say
    qint64 askedAt = 0; // for an answer taken from the cache: when it was asked
    bool cached = false;
};

// The last check of an address before the run that asks.
struct PriorCheck
{
    qint64 checkedAt = 0;
    VerdictClass verdict = VerdictClass::Unchecked;
    QString access;
    FetchResult fetch;
    std::optional<qint64> deadSince;
    RowChange change = RowChange::Same; // as it was found then
    qint64 runId = 0; // the run it was made in
};

// What the comparison of a new check needs of the last one.
struct PriorState
{
    qint64 checkId = 0;
    qint64 checkedAt = 0;
    VerdictClass verdict = VerdictClass::Unchecked;
    std::optional<qint64> deadSince;
    qint64 runId = 0;
};

// A PR answer the store holds.
struct StoredRank
{
    QString pr;
    qint64 askedAt = 0;
    QString note;
};

// A run as the list of runs shows it.
struct RunSummary
{
    qint64 id = 0;
    qint64 startedAt = 0;
    std::optional<qint64> endedAt;
    QString program;
    QString kind;
    QString input;
    QString inputKey;
    QString options;
    int rows = 0;
    int answered = 0; // rows with a check recorded
    int dead = 0;
    QString ending; // empty: under way, or cut off without a word (a crash, kill -9, a power cut)
    int resumed = 0;
    bool rowsStored = false;

    // The run stopped before its list was answered, and its rows are there
    // to go on with.
    bool resumable() const;
};

// A stored run, to be shown again or continued: its rows, and per row the
// last check and PR answer it got.
struct StoredRun
{
    RunSummary summary;
    QList<StoredRow> rows;
    QList<std::optional<PriorCheck>> checks; // by row
    QList<QString> ranks; // by row; null: no PR answer recorded
    QList<QString> rankNotes; // by row: the note of that answer
};

// One entry of an address's history.
struct AddressCheck
{
    qint64 checkedAt = 0;
    VerdictClass verdict = VerdictClass::Unchecked;
    QString status; // the 状态 text
    bool cached = false;
    qint64 runId = 0;
};

// A point of the dead-link line of one input: a run, and its dead links.
struct RunPoint
{
    qint64 runId = 0;
    qint64 startedAt = 0;
    int dead = 0;
    int rows = 0;
};

// The crawl's records: pages read, links found on them, addresses queued,
// the robots.txt of each origin, the pages the sitemap named.
struct LinkFound
{
    QString source; // the page the link is on
    QString target; // where it points, resolved
    QString anchorText;
    // A crawl's reading of the link: 内 by the site-domain rule, and a link
    // as written that no rule makes an address. Unknown for a survey's.
    std::optional<bool> internal;
    bool unaddressable = false;
};

struct PageRead
{
    QString url;
    int depth = 0;
    int status = 0; // final status; 0 when no reply came
    QString outcome; // reasonKey() of a failed read; empty when it was read
    qint64 readAt = 0;
    bool readable = false; // its links were read: those below, in the order found
    QList<LinkFound> links;
};

struct RobotsRead
{
    QString origin; // scheme://host[:port]
    int status = 0; // final status; 0 when no reply came
    QString outcome; // reasonKey() of the fetch; empty when nothing was wrong
    bool fetched = false; // a body came (whatever its status)
    QByteArray body;
};

struct SitemapRead
{
    QStringList pages; // in the order the files named them
    bool full = false; // more were named than a crawl may read
};

struct FrontierEntry
{
    QString url;
    int depth = 0;
};

// The key of a verdict in the store; the reverse of verdictClassKey().
VerdictClass verdictFromKey(const QString &key);
// The hop codes as the store keeps them ("301,200"), and back.
QString hopsText(const QList<int> &hops);
QList<int> hopsFromText(const QString &text);
// The reason of a fetch from reasonKey() and back.
FetchFailure reasonFromKey(const QString &key);
