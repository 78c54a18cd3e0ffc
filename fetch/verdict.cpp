#include "fetch/verdict.h"

#include <curl/curl.h>

#include <cerrno>

namespace {

// errno values that say this machine, not the peer, ran short.
bool isResourceErrno(long error)
{
    return error == EMFILE || error == ENFILE || error == ENOBUFS || error == ENOMEM;
}

// libcurl refuses a reply head over its limits (100 KB a line, 300 KB in
// all): as "out of memory" without a word, or as a receive error that says so.
bool headTooLarge(const TransferEnd &end)
{
    const auto result = static_cast<CURLcode>(end.curlResult);
    if (result == CURLE_OUT_OF_MEMORY)
        return end.inHead && end.memoryAtHand;
    return result == CURLE_RECV_ERROR && end.errorText.contains(QLatin1String("large response header"), Qt::CaseInsensitive);
}

// The reason of a transfer that libcurl ended with its result.
FetchFailure failureOf(const TransferEnd &end)
{
    switch (static_cast<CURLcode>(end.curlResult)) {
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
        // The threaded resolver fails this way when it cannot start, and
        // libcurl when it has no memory for an address it needs not look up.
        if (end.addressKnown || end.errorText.contains(QLatin1String("thread failed to start")))
            return FetchFailure::Resources;
        return FetchFailure::NameNotResolved;
    case CURLE_COULDNT_CONNECT:
        if (isResourceErrno(end.osErrno))
            return FetchFailure::Resources;
        if (end.osErrno == ETIMEDOUT)
            return FetchFailure::TimedOut;
        return end.osErrno == 0 || end.osErrno == ECONNREFUSED ? FetchFailure::ConnectionRefused : FetchFailure::Other;
    case CURLE_OPERATION_TIMEDOUT:
        return FetchFailure::TimedOut;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS:
    case CURLE_SSL_CRL_BADFILE:
    case CURLE_SSL_ENGINE_NOTFOUND:
    case CURLE_SSL_ENGINE_SETFAILED:
    case CURLE_SSL_ENGINE_INITFAILED:
    case CURLE_SSL_SHUTDOWN_FAILED:
    case CURLE_SSL_CLIENTCERT:
    case CURLE_USE_SSL_FAILED:
        return FetchFailure::Tls;
    case CURLE_TOO_MANY_REDIRECTS:
        return FetchFailure::TooManyRedirects;
    case CURLE_GOT_NOTHING:
    case CURLE_OK:
        return FetchFailure::EmptyBody;
    case CURLE_FILESIZE_EXCEEDED:
        return FetchFailure::SizeLimit;
    case CURLE_OUT_OF_MEMORY:
        return FetchFailure::Resources;
    case CURLE_ABORTED_BY_CALLBACK:
        return FetchFailure::Cancelled;
    case CURLE_URL_MALFORMAT:
        return FetchFailure::InvalidAddress;
    default:
        return FetchFailure::Other;
    }
}

FetchVerdict failed(FetchFailure reason, const QString &detail = {})
{
    return FetchVerdict {false, reason, detail};
}

} // namespace

// A read error after the first byte ends the body as a close would; only a
// stop, a failure on this side, a redirect loop and the whole-request limit
// fail a fetch that has body bytes. A body that arrived with a status of 400
// or more is still handed over (its callers read error pages), with the
// status as its reason.
FetchVerdict decideVerdict(const TransferEnd &end)
{
    const auto result = static_cast<CURLcode>(end.curlResult);
    const QString detail = end.errorText.trimmed();
    if (end.stopped)
        return failed(FetchFailure::Cancelled);
    if (end.failed)
        return failed(end.failure, end.failureDetail.isEmpty() ? detail : end.failureDetail);
    if (result == CURLE_TOO_MANY_REDIRECTS)
        return failed(FetchFailure::TooManyRedirects, detail);
    // The whole-request limit (or the connect limit, before any body) fails
    // the fetch whatever arrived.
    if (result == CURLE_OPERATION_TIMEDOUT)
        return failed(FetchFailure::TimedOut, detail);
    if (headTooLarge(end))
        return failed(FetchFailure::HeaderTooLarge, detail);
    if (end.received > 0)
        return FetchVerdict {true, end.finalStatus >= 400 ? FetchFailure::HttpStatus : FetchFailure::None, {}};
    if (end.finalStatus >= 400)
        return failed(FetchFailure::HttpStatus);
    if (end.idle)
        return failed(FetchFailure::TimedOut);
    if (end.bodyCut)
        return failed(FetchFailure::SizeLimit);
    const FetchFailure reason = failureOf(end);
    return failed(reason, reason == FetchFailure::EmptyBody ? QString() : detail);
}
