#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

struct FetchResult;

// The Open PageRank service as it documents itself: a GET of up to 100
// domains, the key in a header of its own, a JSON reply with one entry a
// domain.
namespace opr {

inline const QString DefaultEndpoint = QStringLiteral("https://openpagerank.com/api/v1.0/getPageRank");
constexpr int MaxDomainsPerRequest = 100;
constexpr int DefaultPauseSeconds = 5; // a 429 without Retry-After
constexpr int MaxPauseSeconds = 60;
// A 429 after this many in a row, or once the pauses of such a run add up
// to the request time-out, ends the asking: a service that never lets the
// source in must not hold the run for ever.
constexpr int MaxPausesInARow = 5;
// The most of a reply that is read: 100 entries take some 15 KB.
constexpr qint32 MaxReplyBytes = 256 * 1024;
// The ranks the service gives.
constexpr int LowestRank = 0;
constexpr int HighestRank = 10;

// endpoint + "?domains[]=a.com&domains[]=b.org" ("&" when the endpoint
// already has a query). The domains are registrable domains: ASCII only.
QString requestUrl(const QString &endpoint, const QStringList &domains);

// A key is sent only when it can stand in a header: visible ASCII, no
// spaces. Surrounding white space is not part of it.
bool usableKey(const QString &key);
QByteArray keyHeader(const QString &key); // "API-OPR: <key>"

// How long a 429 holds the source back, in seconds.
int pauseSeconds(int retryAfterSeconds);

struct Reply
{
    enum class Kind {
        Ranks, // cells holds the PR cell of every domain asked
        KeyRejected, // the service refused the key
        TooManyRequests, // ask again after pauseSeconds
        Failed, // no usable answer: every domain asked gets "--"
        RedirectedElsewhere, // the endpoint sent the request to another host, which was not asked
    };
    Kind kind = Kind::Failed;
    QHash<QString, QString> cells;
    // Why a domain the service answered for got "--" all the same.
    QHash<QString, QString> reasons;
    int pauseSeconds = 0;
    QString otherHost; // RedirectedElsewhere: where to
};

// The notices of a run that ends early, for the status line and standard
// error.
QString redirectedText(const QString &otherHost);
QString tooManyRequestsText();

// Reads the outcome of one request for domains. body is null when the fetch
// ended without one. An entry with status 200 gives page_rank_integer as
// decimal text; an unknown domain, an entry without that field, a rank
// outside 0 to 10 (with its reason) and a domain the reply leaves out give
// "--".
Reply readReply(const QStringList &domains, const FetchResult &record, const QByteArray *body);

} // namespace opr
