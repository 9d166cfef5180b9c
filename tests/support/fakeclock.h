#pragma once

#include <QPointer>

#include <memory>
#include <vector>

#include "platform/clock.h"

class QTimer;

// A clock that moves only when told to, or while timed calls wait: then it
// steps forward a few milliseconds per turn of the event loop, so that a 500 ms
// hold or a 10 s connection limit costs a few hundred turns, not real time,
// while real sockets still get turns of the loop in between.
class FakeClock : public platform::Clock
{
public:
    explicit FakeClock(const QDateTime &startTime = QDateTime(QDate(2026, 3, 7), QTime(12, 0, 0)));
    ~FakeClock() override;
    FakeClock(const FakeClock &) = delete;
    FakeClock &operator=(const FakeClock &) = delete;

    qint64 monotonicMs() const override { return m_elapsed + 1000000; }
    QDateTime now() const override { return m_time; }
    CallId callAfter(int milliseconds, QObject *context, std::function<void()> fn) override;
    void cancelCall(CallId id) override;

    // Moves monotonic and wall time forward, making the calls that fall due on the way.
    void advance(qint64 milliseconds);
    void setNow(const QDateTime &time) { m_time = time; }
    // How far the clock moved by itself while timed calls waited.
    qint64 totalSlept() const { return m_slept; }
    bool hasPendingCalls() const { return !m_calls.empty(); }
    // Off: the clock moves only through advance(), for tests of long-lived
    // timers (page reloads) that would otherwise run ahead while the loop
    // spins, or that stop just short of a limit. Calls already due still come
    // from the event loop.
    void setSelfStepping(bool on)
    {
        m_selfStepping = on;
        scheduleStep();
    }

private:
    struct Call
    {
        CallId id;
        qint64 due; // on m_elapsed's scale
        QPointer<QObject> context;
        std::function<void()> fn;
    };
    void moveBy(qint64 milliseconds);
    void step();
    void scheduleStep();

    QDateTime m_time;
    qint64 m_elapsed = 0;
    qint64 m_slept = 0;
    CallId m_lastId = 0;
    std::vector<Call> m_calls;
    bool m_selfStepping = true;
    std::unique_ptr<QTimer> m_stepper;
};
