#pragma once

#include <QList>
#include <QString>
#include <QtGlobal>

// Why a fetch gave no usable answer. None: a body arrived and the final
// status, when it is read, is below 400.
enum class FetchFailure {
    None,
    NameNotResolved, // "dns"
    ConnectionRefused, // "refused"
    TimedOut, // "timeout": connect, idle or whole-request limit
    Tls, // "tls": certificate or handshake
    TooManyRedirects, // "redirects"
    EmptyBody, // "empty"
    HttpStatus, // "status": final status 400 or more
    SizeLimit, // "limit"
    Resources, // "resources": no socket, no thread, no memory here
    Cancelled, // "cancelled"
    Other, // "other": the HTTP library's own text is in detail
    InvalidAddress, // "invalid": nothing could be requested for the address
    HeaderTooLarge, // "header": the reply's head was larger than any page sends
};

// What one fetch found out, handed over with its completion: every reply's
// status, where it ended and how long it took. A plain value.
struct FetchResult
{
    QList<int> hops; // status of every reply received: each redirect, then the final one
    QString finalUrl; // the address of the last request made
    qint64 elapsedMs = 0; // from start to completion
    FetchFailure reason = FetchFailure::None;
    QString detail; // the HTTP library's own words, when it gave any
    int retryAfterSeconds = -1; // Retry-After of the final reply in seconds; -1 when absent or unreadable
    bool bodyTruncated = false; // reading stopped at the body cap: the page goes on beyond the body
    bool challenged = false; // some reply carried "cf-mitigated: challenge": a bot wall, not the page
    QString contentType; // Content-Type of the final reply as sent, parameters included; empty when absent

    // The final reply's status; 0 when no reply came.
    int finalStatus() const { return hops.isEmpty() ? 0 : hops.constLast(); }
};

// The text of the 状态 column: the hop codes joined by "→", then, when no
// usable final reply came, the short reason ("超时", "204 空内容", ...).
QString statusText(const FetchResult &result);
// The short reason alone ("超时", "拒绝连接", ...); empty for None and for
// HttpStatus, whose codes say it.
QString shortReason(FetchFailure reason);
// The full reason for a tooltip, the library's own words included.
QString reasonText(const FetchResult &result);
// The stable machine key of a reason: "dns", "refused", "timeout", "tls",
// "redirects", "empty", "status", "limit", "resources", "cancelled",
// "other", "invalid", "header"; empty for None.
QString reasonKey(FetchFailure reason);
