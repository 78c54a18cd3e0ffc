#pragma once

#include "fetch/fetchrequest.h"
#include "fetch/replyhead.h"
#include "fetch/verdict.h"

#include <QByteArray>
#include <QtGlobal>

#include <curl/curl.h>

#include <chrono>
#include <functional>
#include <memory>

// One fetch carried out over one libcurl easy handle: the request prepared
// from the settings, the handle set up, the reply read through libcurl's
// callbacks, and the verdict at the end. Which thread runs it and which multi
// handle drives the handle is the engine's business, not the transfer's.
//
// Nothing may be thrown through libcurl: a failure in a callback ends the
// transfer and fails the fetch.
class TTransfer final
{
public:
    using Clock = std::chrono::steady_clock;

    explicit TTransfer(TFetchNode fetch);
    ~TTransfer();
    Q_DISABLE_COPY_MOVE(TTransfer)

    const THTTPGetSettings &Settings() const { return m_fetch.front().settings; }
    TFetchLink &Link() const { return *m_fetch.front().link; }
    // The stop of this fetch, or of every fetch, has been requested.
    bool StopRequested() const;

    // Prepares the request: the address checked and cut, the header lines,
    // the address of the name. False when the fetch has ended here, before
    // anything was sent: the verdict says why.
    bool Prepare();
    // Sets easy up for the prepared request. blockSize: the size of every
    // read from the connection (0: libcurl's own). False when libcurl ran
    // short of memory.
    bool Configure(CURL *easy, long blockSize);
    // libcurl has ended the transfer on easy with result (a CURLcode), or the
    // engine has ended it: idle, for receiving nothing for the idle limit.
    void Finish(CURL *easy, CURLcode result, bool idle);
    // The fetch failed on this side, outside libcurl.
    void Fail(FetchFailure reason, const QString &detail = {}) noexcept;
    // Decides the outcome (once, at the end) and completes the record.
    bool Decide() noexcept;

    // Called on the engine's thread after every block of body taken; when
    // set, the body is taken block by block.
    std::function<void()> OnBlock;

    // Whether the request is under way, and when it falls idle if nothing
    // more arrives.
    bool Requesting() const { return m_requesting; }
    Clock::time_point IdleDeadline() const;
    bool IdleTooLong(Clock::time_point now) const;

    const FetchResult &Record() const { return m_record; }
    qint32 TotalSize() const { return m_totalSize; }
    qint32 Received() const { return m_received; }
    // The fetch itself, for the gate when it is to be tried anew; the
    // transfer is done with once it has been taken.
    TFetchNode &Node() { return m_fetch; }
    // Hands the outcome over, leaving the body and the record empty.
    TFetchCompletion TakeCompletion(bool success) noexcept;

private:
    static size_t onHeader(char *data, size_t size, size_t count, void *self);
    static size_t onBody(char *data, size_t size, size_t count, void *self);
    static int onRequest(void *self, char *, char *, int, int);
    static curl_socket_t onOpenSocket(void *self, curlsocktype purpose, curl_sockaddr *address);

    bool header(const QByteArray &line);
    // True when the request about to go (the first, or one a redirect
    // leads to) is for the host of the address.
    bool asksOwnHost() const;
    bool body(const char *data, size_t n);
    bool checkLength();
    bool fail(FetchFailure reason, const QString &detail = {}) noexcept;

    struct Prepared;

    TFetchNode m_fetch;
    std::unique_ptr<Prepared> m_prepared;
    TransferEnd m_end;
    FetchResult m_record;
    TReplyHeads m_heads;
    QByteArray m_body;
    qint32 m_totalSize = 0;
    qint32 m_received = 0;
    bool m_lengthChecked = false;
    // The handle libcurl drives, while it does.
    CURL *m_easy = nullptr;
    // Why the last socket could not be made; libcurl does not say.
    int m_socketErrno = 0;
    // The idle clock runs from the moment a request is about to go.
    bool m_requesting = false;
    Clock::time_point m_lastActivity;
};
