#pragma once

#include "platform/clock.h"

// A clock that moves only when told to. sleep() advances it without blocking,
// so the recorder's 500 ms waits cost nothing. Installs itself for its lifetime.
class FakeClock final : public platform::Clock
{
public:
    explicit FakeClock(qint32 startTick = 1000000,
                       const QDateTime &startTime = QDateTime(QDate(2026, 3, 7), QTime(12, 0, 0)));
    ~FakeClock() override;

    qint32 tickCount() const override { return m_tick; }
    QDateTime now() const override { return m_time; }
    void sleep(int milliseconds) override;

    // Moves tick count and wall time forward; the tick count wraps at 2^31 like the real one.
    void advance(qint64 milliseconds);
    void setTick(qint32 tick) { m_tick = tick; }
    void setNow(const QDateTime &time) { m_time = time; }
    qint64 totalSlept() const { return m_slept; }

private:
    qint32 m_tick;
    QDateTime m_time;
    qint64 m_slept = 0;
};
