#include "platform/clock.h"

#include <QElapsedTimer>
#include <QHash>
#include <QPointer>
#include <QTimer>
#include <algorithm>

namespace platform
{

qint64 SystemClock::monotonicMs() const
{
    QElapsedTimer timer;
    timer.start();
    return timer.msecsSinceReference();
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

} // namespace platform
