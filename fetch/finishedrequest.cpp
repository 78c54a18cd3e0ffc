#include "fetch/finishedrequest.h"

#include "fetch/httpget.h"

FinishedRequest::~FinishedRequest()
{
    try {
        delete m_request;
    } catch (...) {
        // A request's destructor cancels a fetch that is still running; it
        // has nothing to report here.
    }
}
