#pragma once

#include <QDateTime>
#include <QtGlobal>

#include <functional>

class QObject;

namespace platform
{

// Time as the recorder sees it: monotonic milliseconds, the local date and
// time, and timed calls. Nothing here blocks: a wait is a call that comes later from the
// event loop. Everything that measures or waits is given a Clock, so that tests
// can substitute a fake and run an hour of recording in milliseconds.
class Clock
{
public:
    using CallId = quint64;

    virtual ~Clock() = default;
    // Milliseconds of a monotonic clock that never wraps; only differences mean anything.
    virtual qint64 monotonicMs() const = 0;
    virtual QDateTime now() const = 0;
    // Calls fn once from the event loop, milliseconds from now on this clock,
    // unless context is destroyed first or the call is cancelled.
    virtual CallId callAfter(int milliseconds, QObject *context, std::function<void()> fn) = 0;
    // Forgets a call that has not come yet; unknown or finished ids are ignored.
    virtual void cancelCall(CallId id) = 0;
};

class SystemClock final : public Clock
{
public:
    SystemClock();
    ~SystemClock() override;
    SystemClock(const SystemClock &) = delete;
    SystemClock &operator=(const SystemClock &) = delete;

    qint64 monotonicMs() const override;
    QDateTime now() const override;
    CallId callAfter(int milliseconds, QObject *context, std::function<void()> fn) override;
    void cancelCall(CallId id) override;

private:
    struct Calls;
    Calls *m_calls;
};

} // namespace platform
