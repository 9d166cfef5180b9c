#include "fakeclock.h"

FakeClock::FakeClock(qint32 startTick, const QDateTime &startTime)
    : m_tick(startTick)
    , m_time(startTime)
{
    platform::setClock(this);
}

FakeClock::~FakeClock()
{
    platform::setClock(nullptr);
}

void FakeClock::sleep(int milliseconds)
{
    m_slept += milliseconds;
    advance(milliseconds);
}

void FakeClock::advance(qint64 milliseconds)
{
    const auto wrapped = static_cast<quint32>(static_cast<quint32>(m_tick) + static_cast<quint64>(milliseconds));
    m_tick = static_cast<qint32>(wrapped);
    m_time = m_time.addMSecs(milliseconds);
}
