#pragma once

#include "fetch/httpget.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QString>

#include <functional>

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

// A component for url whose events are recorded in raised.
struct Watched
{
    explicit Watched(const QString &url);
    Raised raised;
    THTTPGet get {nullptr};
};

// Fetches url with a new component, set up by setup, and waits for its
// completion and for its worker to be released.
Raised fetchOnce(const QString &url, const std::function<void(THTTPGet &)> &setup = {});

// Every test talks to loopback only and leaves no worker behind.
class FetchTest : public ::testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;
};
