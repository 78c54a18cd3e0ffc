#pragma once

#include "shell/verdictclass.h"

struct FetchResult;
class StatusPolicy;

// What the comparison of a page with its folder's probe found (see
// SoftProber); NotJudged until one has been made, or when none is made.
enum class SoftJudgement {
    NotJudged,
    Genuine, // the page is its own
    NotFoundPage, // the page is the site's answer to any unknown name
};

// The class of a finished check: the one place where it is decided.
//
// bodyArrived: the fetch handed a body over (its own outcome). With no reply
// at all, or a transfer that failed (name, connection, time-out, TLS, a
// redirect loop, ...), Dead. Otherwise by the final reply's code: a code the
// policy names takes the policy's class. Else Blocked when some reply
// carried a bot wall's challenge, or the final code is 401, 403, 407, 999 or
// 429 (a 429 that is left after the retries); Alive for a code below 400
// with a body; Dead for the rest. An Alive check whose page the soft-404
// comparison found to be the site's "not found" page is Soft404.
VerdictClass checkVerdict(const FetchResult &record, bool bodyArrived, const StatusPolicy &policy,
    SoftJudgement soft = SoftJudgement::NotJudged);

// An Alive check whose final reply is a 2xx: its page is worth comparing with
// its folder's probe.
bool wantsSoftJudgement(VerdictClass verdict, const FetchResult &record);
