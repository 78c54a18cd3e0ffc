// The one rule from how a fetch ended to its outcome and reason, case by
// case, without a socket.
#include "fetch/replyhead.h"
#include "fetch/verdict.h"

#include <curl/curl.h>

#include <gtest/gtest.h>

#include <cerrno>

namespace {

TransferEnd ended(CURLcode result, qint64 received = 0, int finalStatus = 0)
{
    TransferEnd end;
    end.curlResult = result;
    end.received = received;
    end.finalStatus = finalStatus;
    return end;
}

template<typename Change>
TransferEnd with(TransferEnd end, Change change)
{
    change(end);
    return end;
}

TEST(DecideVerdict, Table)
{
    struct Case
    {
        const char *what;
        TransferEnd end;
        bool success;
        FetchFailure reason;
    };
    const auto refused = [](long error) { return with(ended(CURLE_COULDNT_CONNECT), [error](TransferEnd &e) { e.osErrno = error; }); };
    const Case cases[] = {
        {"a body", ended(CURLE_OK, 10, 200), true, FetchFailure::None},
        {"an error page", ended(CURLE_OK, 10, 404), true, FetchFailure::HttpStatus},
        {"a body cut by a read error", ended(CURLE_RECV_ERROR, 10, 200), true, FetchFailure::None},
        {"a body cut at the cap", with(ended(CURLE_WRITE_ERROR, 10, 200), [](TransferEnd &e) { e.bodyCut = true; }), true, FetchFailure::None},
        {"no body at all", ended(CURLE_OK, 0, 200), false, FetchFailure::EmptyBody},
        {"an empty error page", ended(CURLE_OK, 0, 500), false, FetchFailure::HttpStatus},
        {"nothing came", ended(CURLE_GOT_NOTHING), false, FetchFailure::EmptyBody},
        {"a cap of nothing", with(ended(CURLE_WRITE_ERROR, 0, 200), [](TransferEnd &e) { e.bodyCut = true; }), false, FetchFailure::SizeLimit},
        {"a length too large", ended(CURLE_FILESIZE_EXCEEDED), false, FetchFailure::SizeLimit},
        {"stopped with a body", with(ended(CURLE_OK, 10, 200), [](TransferEnd &e) { e.stopped = true; }), false, FetchFailure::Cancelled},
        {"a failure here beats a body", with(ended(CURLE_OK, 10, 200), [](TransferEnd &e) {
             e.failed = true;
             e.failure = FetchFailure::Other;
         }),
            false, FetchFailure::Other},
        {"the request limit beats a body", ended(CURLE_OPERATION_TIMEDOUT, 10, 200), false, FetchFailure::TimedOut},
        {"a redirect loop", ended(CURLE_TOO_MANY_REDIRECTS, 0, 302), false, FetchFailure::TooManyRedirects},
        {"idle after the head", with(ended(CURLE_OK, 0, 200), [](TransferEnd &e) { e.idle = true; }), false, FetchFailure::TimedOut},
        {"idle after some body", with(ended(CURLE_OK, 3, 200), [](TransferEnd &e) { e.idle = true; }), true, FetchFailure::None},
        {"no such name", ended(CURLE_COULDNT_RESOLVE_HOST), false, FetchFailure::NameNotResolved},
        {"no resolver thread", with(ended(CURLE_COULDNT_RESOLVE_HOST), [](TransferEnd &e) {
             e.errorText = QStringLiteral("getaddrinfo() thread failed to start");
         }),
            false, FetchFailure::Resources},
        {"no memory for an address written as numbers", with(ended(CURLE_COULDNT_RESOLVE_HOST), [](TransferEnd &e) {
             e.addressKnown = true;
         }),
            false, FetchFailure::Resources},
        {"refused", refused(ECONNREFUSED), false, FetchFailure::ConnectionRefused},
        {"refused, no errno", refused(0), false, FetchFailure::ConnectionRefused},
        {"connect timed out", refused(ETIMEDOUT), false, FetchFailure::TimedOut},
        {"no descriptor", refused(EMFILE), false, FetchFailure::Resources},
        {"no descriptor in the system", refused(ENFILE), false, FetchFailure::Resources},
        {"no buffer", refused(ENOBUFS), false, FetchFailure::Resources},
        {"unreachable", refused(ENETUNREACH), false, FetchFailure::Other},
        {"a certificate", ended(CURLE_PEER_FAILED_VERIFICATION), false, FetchFailure::Tls},
        {"a handshake", ended(CURLE_SSL_CONNECT_ERROR), false, FetchFailure::Tls},
        {"a bad address", ended(CURLE_URL_MALFORMAT), false, FetchFailure::InvalidAddress},
        {"an invalid address found here", with(TransferEnd {}, [](TransferEnd &e) {
             e.failed = true;
             e.failure = FetchFailure::InvalidAddress;
         }),
            false, FetchFailure::InvalidAddress},
        // libcurl's "out of memory" while a head is read, with memory to
        // spare, is a head over its limit: the server's doing, not this
        // machine's, and never tried again.
        {"a head line too long", with(ended(CURLE_OUT_OF_MEMORY, 0, 200), [](TransferEnd &e) { e.inHead = true; }), false, FetchFailure::HeaderTooLarge},
        {"a head too long in all", with(ended(CURLE_RECV_ERROR), [](TransferEnd &e) {
             e.errorText = QStringLiteral("Too large response headers: 307957 > 307200");
         }),
            false, FetchFailure::HeaderTooLarge},
        {"out of memory while reading a head", with(ended(CURLE_OUT_OF_MEMORY), [](TransferEnd &e) {
             e.inHead = true;
             e.memoryAtHand = false;
         }),
            false, FetchFailure::Resources},
        {"out of memory elsewhere", ended(CURLE_OUT_OF_MEMORY, 0, 200), false, FetchFailure::Resources},
        {"aborted", ended(CURLE_ABORTED_BY_CALLBACK), false, FetchFailure::Cancelled},
        {"anything else", ended(CURLE_SEND_ERROR), false, FetchFailure::Other},
    };
    for (const Case &c : cases) {
        const FetchVerdict verdict = decideVerdict(c.end);
        EXPECT_EQ(verdict.success, c.success) << c.what;
        EXPECT_EQ(verdict.reason, c.reason) << c.what;
    }
}

TEST(DecideVerdict, DetailCarriesTheLibrarysWords)
{
    TransferEnd end = ended(CURLE_SEND_ERROR);
    end.errorText = QStringLiteral(" Send failure: Broken pipe\n");
    EXPECT_EQ(decideVerdict(end).detail, QStringLiteral("Send failure: Broken pipe"));
    end.failed = true;
    end.failureDetail = QStringLiteral("端口无效");
    EXPECT_EQ(decideVerdict(end).detail, QStringLiteral("端口无效"));
    // An empty body needs no words.
    TransferEnd empty = ended(CURLE_OK, 0, 204);
    empty.errorText = QStringLiteral("whatever");
    EXPECT_TRUE(decideVerdict(empty).detail.isEmpty());
}

TEST(ReplyHeads, EachReplyStartsOver)
{
    TReplyHeads heads;
    EXPECT_TRUE(heads.InHead());
    for (const char *line : {"HTTP/1.1 100 Continue\r\n", "\r\n", "HTTP/1.1 301 Moved\r\n", "Content-Length: 5\r\n",
             "Retry-After: 7\r\n", "\r\n", "HTTP/1.1 503 Busy\r\n", "content-length: 12\r\n", "Content-Length: 99\r\n"})
        heads.Take(QByteArray(line));
    EXPECT_EQ(heads.Hops(), QList<int>({301, 503}));
    EXPECT_TRUE(heads.HasLength());
    EXPECT_EQ(heads.LengthText(), "12"); // the first of this reply
    EXPECT_TRUE(heads.RetryAfter().isEmpty()); // the redirect's is not this reply's
    EXPECT_TRUE(heads.InHead());
    heads.Take("\r\n");
    EXPECT_FALSE(heads.InHead());
}

TEST(ReplyHeads, RetryAfterAndLengths)
{
    EXPECT_EQ(retryAfterSeconds(" 120 "), 120);
    EXPECT_EQ(retryAfterSeconds("99999999999999999999"), INT_MAX);
    EXPECT_EQ(retryAfterSeconds("Thu, 01 Jan 1970 00:00:00 GMT"), 0);
    EXPECT_EQ(retryAfterSeconds("soon"), -1);
    EXPECT_EQ(retryAfterSeconds(""), -1);
    qint32 value = 0;
    EXPECT_TRUE(parseInt32("2147483647", &value));
    EXPECT_EQ(value, 2147483647);
    EXPECT_FALSE(parseInt32("2147483648", &value));
    EXPECT_FALSE(parseInt32("0x10", &value));
    EXPECT_FALSE(parseInt32(" 1", &value));
    EXPECT_EQ(statusOfLine("HTTP/1.1 404 Not Found\r\n"), 404);
    EXPECT_EQ(statusOfLine("HTTP/2 200\r\n"), 200);
    EXPECT_EQ(statusOfLine("HTTP/1.1 2000 Huge\r\n"), 0);
}

} // namespace
