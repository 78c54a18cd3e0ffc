#include "query/checkverdict.h"

#include "fetch/fetchresult.h"
#include "shell/statuspolicy.h"

namespace {

// The fetch ended on a reply, and no failure of the transfer overrides it.
bool endedOnReply(const FetchResult &record)
{
    if (record.hops.isEmpty())
        return false;
    switch (record.reason) {
    case FetchFailure::None:
    case FetchFailure::HttpStatus:
    case FetchFailure::EmptyBody:
        return true;
    default:
        return false;
    }
}

bool refusesRobots(int code)
{
    return code == 401 || code == 403 || code == 407 || code == 429 || code == 999;
}

VerdictClass byReply(const FetchResult &record, bool bodyArrived, const StatusPolicy &policy)
{
    if (!endedOnReply(record))
        return VerdictClass::Dead;
    const int code = record.finalStatus();
    if (const auto moved = policy.classOf(code))
        return *moved;
    if (record.challenged || refusesRobots(code))
        return VerdictClass::Blocked;
    return code < 400 && bodyArrived ? VerdictClass::Alive : VerdictClass::Dead;
}

} // namespace

VerdictClass checkVerdict(const FetchResult &record, bool bodyArrived, const StatusPolicy &policy, SoftJudgement soft)
{
    const VerdictClass verdict = byReply(record, bodyArrived, policy);
    if (verdict == VerdictClass::Alive && soft == SoftJudgement::NotFoundPage)
        return VerdictClass::Soft404;
    return verdict;
}

bool wantsSoftJudgement(VerdictClass verdict, const FetchResult &record)
{
    const int code = record.finalStatus();
    return verdict == VerdictClass::Alive && code >= 200 && code < 300;
}
