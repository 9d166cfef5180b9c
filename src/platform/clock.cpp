#include "platform/clock.h"

#include <QElapsedTimer>
#include <QHash>
#include <QPointer>
#include <QTimer>
#include <algorithm>

namespace platform
{

namespace
{
Clock *g_clock = nullptr;
} // namespace

qint64 SystemClock::monotonicMs() const
{
    QElapsedTimer timer;
    timer.start();
    return timer.msecsSinceReference();
}

qint32 SystemClock::tickCount() const
{
    // Milliseconds of the monotonic clock, truncated to 32 bits: it wraps from
    // 2^31-1 to -2^31, and every time-out on it is measured across the wrap.
    QElapsedTimer timer;
    timer.start();
    const auto ms = static_cast<quint64>(timer.msecsSinceReference());
    return static_cast<qint32>(static_cast<quint32>(ms));
}

QDateTime SystemClock::now() const
{
    return QDateTime::currentDateTime();
}

struct SystemClock::Calls
{
    QHash<CallId, QPointer<QTimer>> timers;
    CallId lastId = 0;
};

SystemClock::SystemClock()
    : m_calls(new Calls)
{}

SystemClock::~SystemClock()
{
    delete m_calls;
}

Clock::CallId SystemClock::callAfter(int milliseconds, QObject *context, std::function<void()> fn)
{
    const CallId id = ++m_calls->lastId;
    if (m_calls->timers.size() > 64)
        m_calls->timers.removeIf([](const auto &entry) { return entry.value().isNull(); });
    // The timer belongs to the context, so a context that goes takes its calls along.
    auto *timer = new QTimer(context);
    timer->setSingleShot(true);
    // Precise: a coarse timer may come up to 5 % early, before a limit has passed.
    timer->setTimerType(Qt::PreciseTimer);
    QObject::connect(timer, &QTimer::timeout, context, [this, id, timer, fn = std::move(fn)] {
        m_calls->timers.remove(id);
        timer->deleteLater();
        fn();
    });
    m_calls->timers.insert(id, timer);
    timer->start(std::max(milliseconds, 0));
    return id;
}

void SystemClock::cancelCall(CallId id)
{
    const QPointer<QTimer> timer = m_calls->timers.take(id);
    if (timer) {
        timer->stop();
        timer->deleteLater();
    }
}

Clock &clock()
{
    static SystemClock systemClock;
    return g_clock ? *g_clock : systemClock;
}

void setClock(Clock *clock)
{
    g_clock = clock;
}

} // namespace platform
