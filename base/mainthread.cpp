#include "base/mainthread.h"

#include <QCoreApplication>
#include <QThread>

void assertMainThread()
{
    Q_ASSERT_X(!QCoreApplication::instance() || QThread::currentThread() == QCoreApplication::instance()->thread(), "assertMainThread",
        "called off the application's thread");
}
