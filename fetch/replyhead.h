#pragma once

#include <QByteArray>
#include <QList>
#include <QtGlobal>

// The status code of a status line ("HTTP/1.1 404 Not Found"); 0 when the
// line has none.
int statusOfLine(const QByteArray &line);

// Retry-After as delta-seconds or as an HTTP date, in seconds from now;
// -1 when it is neither.
int retryAfterSeconds(const QByteArray &value);

// A whole decimal number that fits in a signed 32 bits, nothing else.
bool parseInt32(const QByteArray &text, qint32 *value);

// What a fetch reads from the heads of the replies of one transfer (each
// redirect's, then the final one's), fed one header line at a time as libcurl
// hands them over.
class TReplyHeads final
{
public:
    // One header line as received, its line end included.
    void Take(const QByteArray &line);

    // The status of every reply with a status of 200 or more: interim replies
    // (100 Continue) are no hops of their own.
    const QList<int> &Hops() const { return m_hops; }
    // The Content-Length and Retry-After of the reply being read.
    bool HasLength() const { return m_haveLength; }
    const QByteArray &LengthText() const { return m_lengthText; }
    const QByteArray &RetryAfter() const { return m_retryAfter; }
    // The Content-Type of the reply being read, parameters included.
    const QByteArray &ContentType() const { return m_contentType; }
    // Some reply of the chain carried "cf-mitigated: challenge": a bot wall
    // in front of a redirect hides the page as much as one in front of it.
    bool Challenged() const { return m_challenged; }
    // The blank line that ends the head of the reply being read has not come
    // yet (nothing at all has come, or a status line without its end).
    bool InHead() const { return !m_headEnded; }

private:
    QList<int> m_hops;
    bool m_haveLength = false;
    QByteArray m_lengthText;
    QByteArray m_retryAfter;
    QByteArray m_contentType;
    bool m_challenged = false;
    bool m_headEnded = false;
};
