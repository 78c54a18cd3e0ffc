#include "fetchtesting.h"

#include "support/loopserver.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

#include <chrono>
#include <string>
#include <thread>

extern char **environ;

bool waitFor(const std::function<bool()> &cond, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (!cond()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

void recordInto(THTTPGet &get, Raised &raised)
{
    const auto onMain = [&raised] {
        if (QThread::currentThread() != QCoreApplication::instance()->thread())
            raised.offMainThread = true;
    };
    get.OnDoneString = [&raised, onMain](THTTPGet *sender, const QByteArray &result) {
        onMain();
        raised.record = sender->FetchRecord();
        ++raised.done;
        raised.body = result;
    };
    get.OnError = [&raised, onMain](THTTPGet *sender) {
        onMain();
        raised.record = sender->FetchRecord();
        ++raised.errors;
    };
}

Watched::Watched(const QString &url, FetchEngine engine)
{
    get.URL = url;
    get.Engine = engine;
    recordInto(get, raised);
}

Raised fetchOnce(const QString &url, const std::function<void(THTTPGet &)> &setup, FetchEngine engine)
{
    Raised raised;
    {
        Watched w(url, engine);
        if (setup)
            setup(w.get);
        w.get.FetchString();
        EXPECT_TRUE(waitFor([&] { return w.raised.events() > 0; })) << qPrintable(url);
        raised = w.raised;
    }
    EXPECT_TRUE(THTTPGetThread::WaitForAll(5000));
    EXPECT_EQ(raised.events(), 1) << qPrintable(url);
    EXPECT_FALSE(raised.offMainThread);
    return raised;
}

pid_t spawnThisTest(const std::string &test, const std::vector<std::string> &variables, const posix_spawn_file_actions_t *actions)
{
    std::vector<std::string> env;
    for (char **e = environ; *e; ++e)
        env.emplace_back(*e);
    env.insert(env.end(), variables.begin(), variables.end());
    std::vector<char *> envp;
    for (std::string &e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    std::string exe = "/proc/self/exe";
    std::string filter = "--gtest_filter=" + test;
    std::string disabled = "--gtest_also_run_disabled_tests";
    char *argv[] = {exe.data(), filter.data(), disabled.data(), nullptr};
    pid_t pid = -1;
    return posix_spawn(&pid, argv[0], actions, nullptr, argv, envp.data()) == 0 ? pid : -1;
}

void FetchTest::SetUp()
{
    prqtest::keepTrafficOnLoopback();
}

void FetchTest::TearDown()
{
    EXPECT_TRUE(THTTPGetThread::WaitForAll(5000)) << "a worker was never released";
}

std::string engineName(const ::testing::TestParamInfo<FetchEngine> &info)
{
    return info.param == FetchEngine::Shared ? "Shared" : "OwnThread";
}
