#include "query/scripthost.h"

#include <QCoreApplication>
#include <QJSEngine>
#include <QJSValue>
#include <QPointer>
#include <QStringList>
#include <QThread>

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace {

// Interrupts an engine once its time limit has passed. One watcher thread per
// calling thread serves every run: starting a thread for each would cost more
// than the run itself.
class Watcher final
{
public:
    Watcher()
        : m_thread([this] { watch(); })
    {
    }
    ~Watcher()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_quit = true;
        }
        m_cv.notify_all();
        m_thread.join();
    }
    Watcher(const Watcher &) = delete;
    Watcher &operator=(const Watcher &) = delete;

    void arm(QJSEngine &engine, std::chrono::milliseconds limit)
    {
        bool wake;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_engine = &engine;
            const auto deadline = std::chrono::steady_clock::now() + limit;
            // A watcher already waiting for an earlier deadline wakes then
            // and waits on for this one; only a sleeping one needs waking.
            wake = m_sleeping || deadline < m_deadline;
            m_deadline = deadline;
        }
        if (wake)
            m_cv.notify_all();
    }

    // After this returns the engine is interrupted or will never be: the
    // interruption happens under the same lock.
    void disarm()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_engine = nullptr;
    }

private:
    void watch()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        while (!m_quit) {
            if (!m_engine) {
                m_sleeping = true;
                m_cv.wait(lock);
                m_sleeping = false;
            } else if (m_cv.wait_until(lock, m_deadline) == std::cv_status::timeout && m_engine
                && std::chrono::steady_clock::now() >= m_deadline) {
                m_engine->setInterrupted(true);
                m_engine = nullptr;
            }
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_cv;
    QJSEngine *m_engine = nullptr;
    std::chrono::steady_clock::time_point m_deadline;
    bool m_quit = false;
    bool m_sleeping = false;
    std::thread m_thread; // last: it reads the members above
};

// Watches one run on the calling thread's watcher. Must end before the
// engine it watches.
class Watchdog final
{
public:
    Watchdog(QJSEngine &engine, std::chrono::milliseconds limit)
        : m_watcher(watcher())
    {
        m_watcher.arm(engine, limit);
    }
    ~Watchdog() { stop(); }
    Watchdog(const Watchdog &) = delete;
    Watchdog &operator=(const Watchdog &) = delete;

    void stop()
    {
        if (m_armed) {
            m_watcher.disarm();
            m_armed = false;
        }
    }

private:
    static Watcher &watcher()
    {
        thread_local Watcher one;
        return one;
    }

    Watcher &m_watcher;
    bool m_armed = true;
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

// Calls f(a) inside a try block, because QJSValue::call cannot tell a thrown
// non-Error value from a returned one. null means it threw.
const char kTrampoline[] = "(function (f, a) { try { return { value: f(a) }; } catch (e) { return null; } })";

// An engine in which a script has run to its end. Building one costs far more
// than a ranking request should (a new engine and the whole script each
// time), so the last one is kept for as long as the same script text comes
// again. Owned by the application object, so that it goes before the engine's
// runtime does.
class ScriptEngine final : public QObject
{
public:
    explicit ScriptEngine(QString script, QObject *parent = nullptr)
        : QObject(parent)
        , m_script(std::move(script))
        , m_engine(new QJSEngine(this))
    {
    }
    ~ScriptEngine() override { m_trampoline = QJSValue(); }
    Q_DISABLE_COPY_MOVE(ScriptEngine)

    const QString &script() const { return m_script; }
    QJSEngine &engine() { return *m_engine; }

    const QJSValue &trampoline()
    {
        if (m_trampoline.isUndefined() && !runs(*m_engine, QString::fromLatin1(kTrampoline), &m_trampoline))
            m_trampoline = QJSValue();
        return m_trampoline;
    }

private:
    QString m_script;
    QJSEngine *m_engine;
    QJSValue m_trampoline;
};

// The kept engine of the calling thread; only the application's thread keeps
// one, as the engine must not outlive the application object.
QPointer<ScriptEngine> &keptEngine()
{
    thread_local QPointer<ScriptEngine> kept;
    return kept;
}

bool mayKeep()
{
    const QCoreApplication *app = QCoreApplication::instance();
    return app && app->thread() == QThread::currentThread();
}

// The engine that has run script: the kept one when the text is the same
// (compared in full at every call, so that an edited script is never
// missed), otherwise a new one that runs it first. Null when the script
// fails or is interrupted.
std::unique_ptr<ScriptEngine> engineFor(const QString &script, std::chrono::milliseconds limit)
{
    QPointer<ScriptEngine> &kept = keptEngine();
    if (kept && kept->script() == script) {
        std::unique_ptr<ScriptEngine> reused(kept.data());
        kept.clear();
        return reused;
    }
    delete kept.data();
    auto fresh = std::make_unique<ScriptEngine>(script);
    Watchdog watchdog(fresh->engine(), limit);
    const bool ran = runs(fresh->engine(), script, nullptr);
    watchdog.stop();
    if (!ran || fresh->engine().isInterrupted())
        return nullptr;
    return fresh;
}

// Hands the engine back for the next call; an engine whose run was cut short
// may hold half-done state and is dropped.
void giveBack(std::unique_ptr<ScriptEngine> engine)
{
    if (!mayKeep() || engine->engine().isInterrupted())
        return;
    engine->setParent(QCoreApplication::instance());
    keptEngine() = engine.release();
}

// The script run in an engine (kept or new), then step for the value.
QString withScript(const QString &script, std::chrono::milliseconds limit,
    const std::function<bool(ScriptEngine &, QJSValue *)> &step)
{
    try {
        std::unique_ptr<ScriptEngine> engine = engineFor(script, limit);
        if (!engine)
            return QString();
        QString text;
        bool ok;
        {
            Watchdog watchdog(engine->engine(), limit);
            QJSValue value;
            ok = step(*engine, &value);
            if (ok)
                text = astext(value); // may run script code (toString)
            watchdog.stop();
        }
        if (engine->engine().isInterrupted())
            return QString();
        giveBack(std::move(engine));
        return ok ? text : QString();
    } catch (...) {
        return QString();
    }
}

} // namespace

QString evaljs(const QString &script, const QString &expression, std::chrono::milliseconds limit)
{
    return withScript(script, limit, [&expression](ScriptEngine &engine, QJSValue *value) {
        return runs(engine.engine(), expression, value);
    });
}

QString calljs(const QString &script, const QString &function, const QString &argument,
    std::chrono::milliseconds limit)
{
    return withScript(script, limit, [&](ScriptEngine &engine, QJSValue *value) {
        const QJSValue target = engine.engine().globalObject().property(function);
        const QJSValue &trampoline = engine.trampoline();
        if (!target.isCallable() || !trampoline.isCallable())
            return false;
        const QJSValue boxed = trampoline.call({target, QJSValue(argument)});
        if (boxed.isError() || !boxed.isObject())
            return false;
        *value = boxed.property(QStringLiteral("value"));
        return true;
    });
}
