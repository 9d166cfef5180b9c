#include "platform/clock.h"

#include <QElapsedTimer>
#include <QThread>

namespace platform
{

namespace
{
Clock *g_clock = nullptr;
} // namespace

qint32 SystemClock::tickCount() const
{
    // Milliseconds of the monotonic clock, truncated to 32 bits: it wraps from
    // 2^31-1 to -2^31 exactly like the counter the recorder was designed around.
    QElapsedTimer timer;
    timer.start();
    const auto ms = static_cast<quint64>(timer.msecsSinceReference());
    return static_cast<qint32>(static_cast<quint32>(ms));
}

QDateTime SystemClock::now() const
{
    return QDateTime::currentDateTime();
}

void SystemClock::sleep(int milliseconds)
{
    if (milliseconds > 0)
        QThread::msleep(static_cast<unsigned long>(milliseconds));
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
