#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// The ranking request for one row and the reading of its reply.

// The server pool from the text of memo4: one entry per line, in order, each
// line unchanged (no trimming). A final line break adds no empty entry.
QStringList iplistFromText(const QString &text);

// Re-seeds the process's pseudo-random generator from the clock.
void reseedrandom();

// Draws an index uniformly from 0 to n - 1 (n > 0) from that generator.
int drawindex(int n);

// The complete request URL for a row whose URL cell holds url: the checksum
// computed by script (the text of memo3), a server drawn from iplist, and url
// appended verbatim. A failed checksum leaves "ch=" empty; the request is
// still made. Throws AppError when iplist is empty.
QString getprurl(const QString &url, const QString &script, const QStringList &iplist);

// The rank field of a reply: the third of exactly three ":"-separated pieces
// of a reply that contains "Rank_", unchanged; no value otherwise.
std::optional<QString> getrank(const QString &reply);

// The most a ranking reply is read: a rank reply is a line, and the refusal
// page that says "sorry" says it near its top.
constexpr qint32 RankReplyLimit = 64 * 1024;

// The longest rank text the PR cell takes. A rank is "0" to "10"; anything
// much longer, or holding a control character (a tab or a line break would
// forge rows of the tab-separated export), is not one.
constexpr qsizetype MaxRankLength = 16;

// The PR cell's text and, when the reply held a rank field that the cell
// could not take, why it is "--" (for the status line and standard error).
struct RankCell
{
    QString text;
    QString reason;
};

// The text for the PR cell: the rank, "--" without one or with one longer
// than MaxRankLength or holding a control character, "IP被屏蔽" when the
// service refused; trimmed of control characters and spaces.
QString prcell(const QString &reply);
RankCell rankCell(const QString &reply);

// prcell() of a reply body as it came (UTF-8, otherwise GB18030), in memory
// that grows with the rank field, not with the whole reply.
QString prcellOfReply(const QByteArray &body);
RankCell rankCellOfReply(const QByteArray &body);
