#pragma once

#include <QtGlobal>

class THTTPGet;

// The one rule for releasing a request: the completion handler that
// consumes it holds it in a FinishedRequest from its first statement, and the
// request is released when that scope ends, however it ends. A handler that
// passes the request on to another handler passes it whole and holds none.
// Releasing never reports an error.
class FinishedRequest final
{
public:
    explicit FinishedRequest(THTTPGet *request) noexcept
        : m_request(request)
    {
    }
    ~FinishedRequest();
    Q_DISABLE_COPY_MOVE(FinishedRequest)

private:
    THTTPGet *m_request;
};
