#pragma once

#include "fetch/httpget.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QString>

#include <spawn.h>
#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

// What one component raised.
struct Raised
{
    int done = 0;
    int errors = 0;
    QByteArray body;
    FetchResult record; // as the handler saw it
    bool offMainThread = false;

    int events() const { return done + errors; }
};

// Processes the application's events until cond holds or the time is up.
bool waitFor(const std::function<bool()> &cond, int timeoutMs = 10000);

// Points the completion handlers of get at raised.
void recordInto(THTTPGet &get, Raised &raised);

// A component for url on engine whose events are recorded in raised.
struct Watched
{
    explicit Watched(const QString &url, FetchEngine engine = FetchEngine::OwnThread);
    Raised raised;
    THTTPGet get {nullptr};
};

// Fetches url with a new component on engine, set up by setup, and waits for
// its completion and for every fetch to be released.
Raised fetchOnce(const QString &url, const std::function<void(THTTPGet &)> &setup = {}, FetchEngine engine = FetchEngine::OwnThread);

// Starts this test program again, running only the (disabled) test named
// test, with variables ("NAME=value") added to its environment and the
// file actions given (or none); returns its process id, or -1.
pid_t spawnThisTest(const std::string &test, const std::vector<std::string> &variables, const posix_spawn_file_actions_t *actions = nullptr);

// Every test talks to loopback only and leaves no fetch behind.
class FetchTest : public ::testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;
};

// A test that runs once on each engine: both must give the same answers.
class EngineTest : public FetchTest, public ::testing::WithParamInterface<FetchEngine>
{
protected:
    FetchEngine engine() const { return GetParam(); }
    Raised fetch(const QString &url, const std::function<void(THTTPGet &)> &setup = {}) const
    {
        return fetchOnce(url, setup, engine());
    }
};

// "OwnThread" or "Shared", for the names of the tests.
std::string engineName(const ::testing::TestParamInfo<FetchEngine> &info);
#define PRQ_ON_BOTH_ENGINES(suite) \
    INSTANTIATE_TEST_SUITE_P(Engines, suite, ::testing::Values(FetchEngine::OwnThread, FetchEngine::Shared), engineName)
