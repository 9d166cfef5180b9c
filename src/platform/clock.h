#pragma once

#include <QDateTime>
#include <QtGlobal>

namespace platform
{

// Time as the recorder sees it: a signed 32-bit millisecond tick count that wraps
// like the Windows counter, the local date and time, and a blocking sleep.
// Everything that measures or waits goes through clock() so that tests can
// substitute a fake and run an hour of recording in milliseconds.
class Clock
{
public:
    virtual ~Clock() = default;
    virtual qint32 tickCount() const = 0;
    virtual QDateTime now() const = 0;
    virtual void sleep(int milliseconds) = 0;
};

class SystemClock final : public Clock
{
public:
    qint32 tickCount() const override;
    QDateTime now() const override;
    void sleep(int milliseconds) override;
};

// The clock in use; the system clock unless a test installed another.
Clock &clock();
// Installs a clock (nullptr restores the system clock). The caller keeps ownership.
void setClock(Clock *clock);

} // namespace platform
