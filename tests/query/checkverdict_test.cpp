// The one decision of a check's class, from a table of records.
#include "fetch/fetchresult.h"
#include "query/checkverdict.h"
#include "shell/statuspolicy.h"

#include <gtest/gtest.h>

namespace {

FetchResult reply(QList<int> hops, FetchFailure reason = FetchFailure::None, bool challenged = false)
{
    FetchResult r;
    r.hops = hops;
    r.reason = reason;
    r.challenged = challenged;
    return r;
}

TEST(CheckVerdict, ByWhatTheServerAnswered)
{
    const StatusPolicy none;
    const StatusPolicy moved = *StatusPolicy::parse(QStringLiteral("403:dead,999:alive,5xx:blocked,410:blocked"));
    constexpr auto S = FetchFailure::HttpStatus;
    struct Case
    {
        const char *what;
        FetchResult record;
        bool body;
        VerdictClass plain;
        VerdictClass withPolicy;
    };
    const Case cases[] = {
        {"200", reply({200}), true, VerdictClass::Alive, VerdictClass::Alive},
        {"redirect to 200", reply({301, 302, 200}), true, VerdictClass::Alive, VerdictClass::Alive},
        {"304 with a body", reply({304}), true, VerdictClass::Alive, VerdictClass::Alive},
        {"403", reply({403}, S), true, VerdictClass::Blocked, VerdictClass::Dead},
        {"403 without a body", reply({403}, S), false, VerdictClass::Blocked, VerdictClass::Dead},
        {"403 challenge", reply({403}, S, true), true, VerdictClass::Blocked, VerdictClass::Dead},
        {"challenge on a redirect", reply({302, 503}, S, true), true, VerdictClass::Blocked, VerdictClass::Blocked},
        {"challenge, then 200", reply({302, 200}, FetchFailure::None, true), true, VerdictClass::Blocked, VerdictClass::Blocked},
        {"401", reply({401}, S), true, VerdictClass::Blocked, VerdictClass::Blocked},
        {"407", reply({407}, S), true, VerdictClass::Blocked, VerdictClass::Blocked},
        {"999", reply({999}, S), true, VerdictClass::Blocked, VerdictClass::Alive},
        {"429 left after the retries", reply({429}, S), true, VerdictClass::Blocked, VerdictClass::Blocked},
        {"404", reply({404}, S), true, VerdictClass::Dead, VerdictClass::Dead},
        {"410", reply({410}, S), true, VerdictClass::Dead, VerdictClass::Blocked},
        {"other 4xx", reply({418}, S), true, VerdictClass::Dead, VerdictClass::Dead},
        {"500", reply({500}, S), true, VerdictClass::Dead, VerdictClass::Blocked},
        {"redirect to 404", reply({302, 404}, S), true, VerdictClass::Dead, VerdictClass::Dead},
        {"204 empty", reply({204}, FetchFailure::EmptyBody), false, VerdictClass::Dead, VerdictClass::Dead},
        {"name not resolved", reply({}, FetchFailure::NameNotResolved), false, VerdictClass::Dead, VerdictClass::Dead},
        {"refused", reply({}, FetchFailure::ConnectionRefused), false, VerdictClass::Dead, VerdictClass::Dead},
        {"time-out after the headers", reply({200}, FetchFailure::TimedOut), false, VerdictClass::Dead, VerdictClass::Dead},
        {"TLS", reply({}, FetchFailure::Tls), false, VerdictClass::Dead, VerdictClass::Dead},
        {"a loop of 403s", reply({302, 302, 302}, FetchFailure::TooManyRedirects), false, VerdictClass::Dead, VerdictClass::Dead},
        {"cancelled", reply({}, FetchFailure::Cancelled), false, VerdictClass::Dead, VerdictClass::Dead},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(checkVerdict(c.record, c.body, none), c.plain) << c.what;
        EXPECT_EQ(checkVerdict(c.record, c.body, moved), c.withPolicy) << c.what << " with the policy";
    }
}

TEST(CheckVerdict, SoftNotFoundTurnsOnlyALivePageDead)
{
    const StatusPolicy none;
    EXPECT_EQ(checkVerdict(reply({200}), true, none, SoftJudgement::NotFoundPage), VerdictClass::Soft404);
    EXPECT_EQ(checkVerdict(reply({302, 200}), true, none, SoftJudgement::NotFoundPage), VerdictClass::Soft404);
    EXPECT_EQ(checkVerdict(reply({200}), true, none, SoftJudgement::Genuine), VerdictClass::Alive);
    EXPECT_EQ(checkVerdict(reply({404}, FetchFailure::HttpStatus), true, none, SoftJudgement::NotFoundPage), VerdictClass::Dead);
    EXPECT_EQ(checkVerdict(reply({403}, FetchFailure::HttpStatus), true, none, SoftJudgement::NotFoundPage), VerdictClass::Blocked);

    EXPECT_TRUE(wantsSoftJudgement(VerdictClass::Alive, reply({301, 200})));
    EXPECT_TRUE(wantsSoftJudgement(VerdictClass::Alive, reply({206})));
    EXPECT_FALSE(wantsSoftJudgement(VerdictClass::Alive, reply({304})));
    EXPECT_FALSE(wantsSoftJudgement(VerdictClass::Dead, reply({200}, FetchFailure::TimedOut)));
    // A code the policy calls alive is no page to compare.
    EXPECT_FALSE(wantsSoftJudgement(VerdictClass::Alive, reply({999}, FetchFailure::HttpStatus)));
}

} // namespace
