// The user's status policy, and the words a verdict adds to 状态 and 访问.
#include "fetch/fetchresult.h"
#include "shell/statuspolicy.h"
#include "shell/verdictclass.h"

#include <gtest/gtest.h>

namespace {

TEST(StatusPolicy, CodesBeforeRangesLaterEntriesWin)
{
    QString error;
    const auto policy = StatusPolicy::parse(QStringLiteral(" 403:dead, 999:ALIVE ,4xx:blocked,5xx:dead,503:alive,410:alive,410:dead"), &error);
    ASSERT_TRUE(policy) << error.toStdString();
    EXPECT_EQ(policy->classOf(403), VerdictClass::Dead);
    EXPECT_EQ(policy->classOf(999), VerdictClass::Alive);
    EXPECT_EQ(policy->classOf(404), VerdictClass::Blocked); // by its range
    EXPECT_EQ(policy->classOf(410), VerdictClass::Dead); // the later entry
    EXPECT_EQ(policy->classOf(500), VerdictClass::Dead);
    EXPECT_EQ(policy->classOf(503), VerdictClass::Alive);
    EXPECT_EQ(policy->classOf(200), std::nullopt);
    EXPECT_EQ(policy->classOf(0), std::nullopt);
    ASSERT_TRUE(StatusPolicy::parse(QString()));
    EXPECT_EQ(StatusPolicy::parse(QString())->classOf(403), std::nullopt);
}

TEST(StatusPolicy, RefusesWhatItCannotRead)
{
    for (const char *text : {"403", "403:gone", "403:", ":dead", "40:dead", "4000:dead", "099:dead", "4x:dead", "x4x:dead", "403:dead,,",
             "abc:alive", "403=dead", "soft:soft404", "403:soft404"}) {
        QString error;
        EXPECT_FALSE(StatusPolicy::parse(QString::fromUtf8(text), &error)) << text;
        EXPECT_FALSE(error.isEmpty()) << text;
    }
}

TEST(VerdictWords, MarksAndStatusTexts)
{
    const auto record = [](QList<int> hops, bool challenged = false) {
        FetchResult r;
        r.hops = hops;
        r.challenged = challenged;
        r.reason = !hops.isEmpty() && hops.constLast() >= 400 ? FetchFailure::HttpStatus : FetchFailure::None;
        return r;
    };
    struct Case
    {
        FetchResult record;
        VerdictClass verdict;
        const char *mark;
        const char *status;
    };
    const Case cases[] = {
        {record({200}), VerdictClass::Alive, "√", "200"},
        {record({301, 403}), VerdictClass::Blocked, "?", "301→403 拒绝"},
        {record({401}), VerdictClass::Blocked, "?", "401 需登录"},
        {record({407}), VerdictClass::Blocked, "?", "407 需登录"},
        {record({999}), VerdictClass::Blocked, "?", "999 拒绝"},
        {record({403}, true), VerdictClass::Blocked, "?", "403 人机验证"},
        {record({429}), VerdictClass::Blocked, "?", "429 限流"},
        {record({404}), VerdictClass::Blocked, "?", "404 存疑"}, // moved there by a policy
        {record({403}), VerdictClass::Dead, "×", "403"}, // moved there by a policy
        {record({302, 200}), VerdictClass::Soft404, "×", "302→200 软404"},
        {FetchResult {}, VerdictClass::Invalid, "×", "无效网址"},
        {record({}), VerdictClass::Robots, "--", "robots禁止"},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(verdictMark(c.verdict), QString::fromUtf8(c.mark)) << c.status;
        EXPECT_EQ(verdictStatusText(c.record, c.verdict), QString::fromUtf8(c.status)) << c.status;
    }
    FetchResult timedOut;
    timedOut.reason = FetchFailure::TimedOut;
    EXPECT_EQ(verdictStatusText(timedOut, VerdictClass::Dead), QStringLiteral("超时"));
    EXPECT_EQ(verdictMark(VerdictClass::Unchecked), QStringLiteral("--"));
}

} // namespace
