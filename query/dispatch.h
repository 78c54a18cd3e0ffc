#pragma once

#include "shell/resultlist.h"
#include "shell/verdictclass.h"

#include <QByteArray>
#include <QString>

#include <memory>
#include <optional>

class FormState;
struct FetchResult;

class Tmyhttpget;
class THTTPGet;

namespace dispatch {
inline const QString ModeRank = QStringLiteral("getpr");
inline const QString ModeReach = QStringLiteral("gethttp");
inline const QString ModeSite = QStringLiteral("myurl");
// A soft-404 probe: its answer goes to the prober, never to a row.
inline const QString ModeProbe = QStringLiteral("soft404probe");

inline const QString AgentSite = QStringLiteral("Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1; SV1)");
inline const QString AgentQuery = QStringLiteral("Mozilla/4.0 (compatible; GoogleToolbar 2.0.114-big; Windows XP 5.1)");

// A reachability check reads only the status and whether a body arrives.
constexpr qint64 ReachBodyLimit = 64 * 1024;
} // namespace dispatch

// A request of the given mode for the row, set up as gotourl sends it and
// routed through getstr and geterror, not yet started. Whoever starts it
// hands it over to its completion handler, which releases it.
std::unique_ptr<Tmyhttpget> newRequest(FormState &form, const QString &url, qint32 rowindex, const QString &mode);

// Starts one request and returns at once; its outcome arrives through getstr
// or geterror. Never raises: a request that cannot be started is dropped.
void gotourl(FormState &form, const QString &url, qint32 rowindex, const QString &mode);

// The completion handlers. Each routes the answer by the request's mode and
// then releases the request.
void getstr(FormState &form, THTTPGet *Sender, const QByteArray &Result);
void geterror(FormState &form, THTTPGet *Sender);

// A check's answer for row, from a request or from whatever answered it
// without one: the record goes to 状态, mark to 访问, and it counts as a
// check's reply does. The caller has made sure that row belongs to the list.
// fromCache: the answer was taken from the result store's cache, not asked.
void checkAnswered(FormState &form, qint32 row, const FetchResult &record, const QString &mark, VerdictClass verdict, bool repaintFirst,
    bool fromCache = false);

// A ranking answer for row, from whichever source: counted, written into the
// PR cell, then the completion check (which repaints the list first when
// repaintFirst). The caller has made sure that row belongs to the list.
void rankAnswered(FormState &form, qint32 row, const QString &prText, bool repaintFirst);
// The same, with the figures behind the answer; an answer without them
// clears those of an earlier one.
struct RankAnswer
{
    QString text; // the PR cell
    QString note; // why there is no rank, when there is more to say than "--"
    std::optional<RankFigures> figures; // the raw figures of a ranks file
};
void rankAnswered(FormState &form, qint32 row, const RankAnswer &answer, bool repaintFirst);

// Follows a counted answer, once its cell has been written: shows the
// finish text when the gauge is full and no more rows are coming.
void completionCheck(FormState &form, bool repaintFirst);

// Number of requests started by gotourl that have not completed yet.
int requestsInFlight(const FormState &form);

// Asks every request of mode still in flight to stop; each then completes
// through geterror as a cancelled fetch.
void cancelRequests(FormState &form, const QString &mode);
