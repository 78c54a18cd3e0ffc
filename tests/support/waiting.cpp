#include "support/waiting.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

namespace prqtest {

bool waitUntil(const std::function<bool()> &done, int timeoutMs)
{
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
    return true;
}

} // namespace prqtest
