#include "fetch/mainthreadcall.h"

#include "base/guard.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QThread>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>

namespace fetchcall {
namespace {

struct PendingCall
{
    std::function<void()> fn;
    std::condition_variable cv;
    enum class State {
        Queued,
        Running,
        Ran,
        Dropped
    };
    State state = State::Queued;
};

class CallReceiver;

// Posted calls not yet run (or dropped).
std::atomic<int> g_posted {0};

// A call that nobody waits for.
class PostedCall final : public QEvent
{
public:
    explicit PostedCall(std::function<void()> f)
        : QEvent(postedEventType())
        , fn(std::move(f))
    {
        ++g_posted;
    }
    ~PostedCall() override { --g_posted; }
    Q_DISABLE_COPY_MOVE(PostedCall)
    static QEvent::Type postedEventType()
    {
        static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
        return type;
    }
    std::function<void()> fn;
};

// Guards everything below; a waiting worker sleeps on its call's cv with it.
std::mutex g_mutex;
CallReceiver *g_receiver = nullptr;
std::deque<PendingCall *> g_queue;

QEvent::Type callEventType()
{
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

// Lives on the application's thread as a child of the application; one
// posted event per queued call.
class CallReceiver final : public QObject
{
public:
    explicit CallReceiver(QObject *parent)
        : QObject(parent)
    {
    }
    ~CallReceiver() override;
    Q_DISABLE_COPY_MOVE(CallReceiver)

protected:
    bool event(QEvent *e) override;
};

// Releases every waiting worker unserved; with the receiver cleared, no new
// event can be posted. Called with g_mutex held.
void closeLocked()
{
    g_receiver = nullptr;
    for (PendingCall *call : g_queue) {
        call->state = PendingCall::State::Dropped;
        call->cv.notify_one();
    }
    g_queue.clear();
}

CallReceiver::~CallReceiver()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    if (g_receiver == this)
        closeLocked();
}

bool CallReceiver::event(QEvent *e)
{
    PendingCall *call = nullptr;
    std::function<void()> posted;
    {
        // Taken before the event is even looked at: the worker made it under
        // this lock, and the lock is what orders its writes before our reads.
        std::lock_guard<std::mutex> lock(g_mutex);
        if (e->type() == PostedCall::postedEventType()) {
            posted = std::move(static_cast<PostedCall *>(e)->fn);
        } else if (e->type() == callEventType() && !g_queue.empty()) {
            call = g_queue.front();
            g_queue.pop_front();
            call->state = PendingCall::State::Running;
        }
    }
    if (posted) {
        guard::run(posted);
        return true;
    }
    if (!call)
        return e->type() == callEventType() || e->type() == PostedCall::postedEventType() || QObject::event(e);
    // Not under the lock: the call may process events, and so run further
    // calls nested inside it.
    guard::run(call->fn);
    std::lock_guard<std::mutex> lock(g_mutex);
    call->state = PendingCall::State::Ran;
    // Under the lock: the worker cannot leave its wait, and so cannot destroy
    // the call, before the notification is done.
    call->cv.notify_one();
    return true;
}

} // namespace

void prepare()
{
    QCoreApplication *app = QCoreApplication::instance();
    if (!app)
        return;
    Q_ASSERT(QThread::currentThread() == app->thread());
    std::lock_guard<std::mutex> lock(g_mutex);
    if (!g_receiver)
        g_receiver = new CallReceiver(app);
}

void close()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    closeLocked();
}

bool callOnMainThread(std::function<void()> fn)
{
    PendingCall call;
    call.fn = std::move(fn);
    auto event = std::make_unique<QEvent>(callEventType());
    std::unique_lock<std::mutex> lock(g_mutex);
    if (!g_receiver)
        return false;
    g_queue.push_back(&call);
    try {
        QCoreApplication::postEvent(g_receiver, event.release());
    } catch (...) {
        // Out of memory: the call never ran and is no longer queued.
        g_queue.pop_back();
        throw;
    }
    call.cv.wait(lock, [&call] {
        return call.state == PendingCall::State::Ran || call.state == PendingCall::State::Dropped;
    });
    return call.state == PendingCall::State::Ran;
}

bool postToMainThread(std::function<void()> fn)
{
    auto event = std::make_unique<PostedCall>(std::move(fn));
    std::lock_guard<std::mutex> lock(g_mutex);
    if (!g_receiver)
        return false;
    QCoreApplication::postEvent(g_receiver, event.release());
    return true;
}

int pendingCalls()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    return static_cast<int>(g_queue.size()) + g_posted;
}

} // namespace fetchcall
