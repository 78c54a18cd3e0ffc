#include "query/scripthost.h"

#include <QJSEngine>
#include <QJSValue>
#include <QStringList>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace {

// Interrupts the engine from a thread of its own once the limit has passed.
// Must be destroyed before the engine it watches.
class Watchdog final
{
public:
    Watchdog(QJSEngine &engine, std::chrono::milliseconds limit)
        : m_thread([this, &engine, limit] {
              std::unique_lock<std::mutex> lock(m_mutex);
              if (!m_cv.wait_for(lock, limit, [this] { return m_stopped; }))
                  engine.setInterrupted(true);
          })
    {
    }
    ~Watchdog() { stop(); }
    Watchdog(const Watchdog &) = delete;
    Watchdog &operator=(const Watchdog &) = delete;

    // After this returns the engine is interrupted or will never be.
    void stop()
    {
        if (!m_thread.joinable())
            return;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_stopped = true;
        }
        m_cv.notify_one();
        m_thread.join();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_stopped = false;
    std::thread m_thread; // last: it reads the members above
};

// evaluate() returns a thrown value that is not an Error object as if it were
// a result; only the stack trace tells the two apart.
bool runs(QJSEngine &engine, const QString &program, QJSValue *value)
{
    QStringList trace;
    QJSValue result = engine.evaluate(program, QString(), 1, &trace);
    if (result.isError() || !trace.isEmpty())
        return false;
    if (value)
        *value = result;
    return true;
}

QString astext(const QJSValue &value)
{
    if (value.isUndefined() || value.isNull())
        return QString();
    return value.toString();
}

// One fresh engine, the script run in it, then step for the value; the engine
// goes with the call.
QString withScript(const QString &script, std::chrono::milliseconds limit,
                   const std::function<bool(QJSEngine &, QJSValue *)> &step)
{
    try {
        QJSEngine engine;
        Watchdog watchdog(engine, limit);
        QJSValue value;
        if (!runs(engine, script, nullptr) || !step(engine, &value))
            return QString();
        const QString text = astext(value); // may run script code (toString)
        watchdog.stop();
        if (engine.isInterrupted())
            return QString();
        return text;
    } catch (...) {
        return QString();
    }
}

// Calls f(a) inside a try block, because QJSValue::call cannot tell a thrown
// non-Error value from a returned one. null means it threw.
const char kTrampoline[] =
    "(function (f, a) { try { return { value: f(a) }; } catch (e) { return null; } })";

} // namespace

QString evaljs(const QString &script, const QString &expression, std::chrono::milliseconds limit)
{
    return withScript(script, limit, [&expression](QJSEngine &engine, QJSValue *value) {
        return runs(engine, expression, value);
    });
}

QString calljs(const QString &script, const QString &function, const QString &argument,
               std::chrono::milliseconds limit)
{
    return withScript(script, limit, [&](QJSEngine &engine, QJSValue *value) {
        const QJSValue target = engine.globalObject().property(function);
        QJSValue trampoline;
        if (!target.isCallable() || !runs(engine, QString::fromLatin1(kTrampoline), &trampoline))
            return false;
        const QJSValue boxed = trampoline.call({target, QJSValue(argument)});
        if (boxed.isError() || !boxed.isObject())
            return false;
        *value = boxed.property(QStringLiteral("value"));
        return true;
    });
}
