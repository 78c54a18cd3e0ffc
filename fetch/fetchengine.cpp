#include "fetch/fetchengine.h"

#include "fetch/fetchgate.h"
#include "fetch/httpgetthread.h"
#include "fetch/liveregistry.h"
#include "fetch/mainthreadcall.h"
#include "fetch/sharedengine.h"

#include <QCoreApplication>
#include <QDeadlineTimer>

#include <array>
#include <chrono>
#include <thread>

namespace {

std::array<TFetchEngine *, 2> engines()
{
    return {&threadPerFetchEngine(), &sharedFetchEngine()};
}

int waitingInAnyGate()
{
    int waiting = 0;
    for (TFetchEngine *engine : engines())
        waiting += engine->Gate().Waiting();
    return waiting;
}

} // namespace

TFetchEngine &TFetchEngine::Of(FetchEngine kind)
{
    return kind == FetchEngine::Shared ? sharedFetchEngine() : threadPerFetchEngine();
}

void TFetchEngine::Submit(TFetchNode fetch)
{
    Gate().Submit(std::move(fetch));
}

void TFetchEngine::Cancel(TFetchLink &link)
{
    if (!Gate().Withdraw(&link))
        Wake(link);
}

int TFetchEngine::LiveCount()
{
    return fetchlive::count();
}

bool TFetchEngine::WaitForAll(int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (LiveCount() > 0 || waitingInAnyGate() > 0) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

bool TFetchEngine::StopAll(int timeoutMs)
{
    fetchlive::setStopping(true);
    for (TFetchEngine *engine : engines()) {
        engine->Gate().DropWaiting();
        engine->WakeAll();
    }
    fetchcall::close();
    const QDeadlineTimer deadline(timeoutMs);
    while (LiveCount() > 0 && !deadline.hasExpired())
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    const bool allReleased = LiveCount() == 0;
    if (allReleased)
        fetchlive::setStopping(false);
    return allReleased;
}
