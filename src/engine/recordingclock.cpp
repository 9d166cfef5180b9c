#include "engine/recordingclock.h"

#include <QStringBuilder>

#include <algorithm>

namespace engine
{

namespace
{

constexpr qint64 kMinuteMs = 60000;

// Whole number rounded down (towards minus infinity).
qint32 floorDiv(qint64 value, qint64 divisor)
{
    qint64 quotient = value / divisor;
    if (value % divisor != 0 && (value < 0) != (divisor < 0))
        --quotient;
    return static_cast<qint32>(quotient);
}

// Milliseconds to whole seconds, halves to the even number.
qint32 roundedSeconds(qint64 ms)
{
    qint64 seconds = ms / 1000;
    const qint64 rest = ms % 1000;
    if (rest > 500 || (rest == 500 && seconds % 2 != 0))
        ++seconds;
    return static_cast<qint32>(seconds);
}

QString twoDigits(qint32 value)
{
    if (value < 0)
        return QLatin1Char('-') + twoDigits(-value);
    return QString::number(value).rightJustified(2, QLatin1Char('0'));
}

QString shortTime(qint32 minutes, qint32 seconds)
{
    return QString::number(minutes) + QLatin1Char(':') + twoDigits(seconds);
}

QString longTime(qint32 hours, qint32 minutes, qint32 seconds)
{
    return QString::number(hours) + QLatin1Char(':') + twoDigits(minutes) + QLatin1Char(':') + twoDigits(seconds);
}

} // namespace

RecordingClock elapsedClock(qint64 elapsedMs)
{
    RecordingClock clock;
    const qint64 elapsed = std::max<qint64>(elapsedMs, 0);
    const qint32 wholeMinutes = floorDiv(elapsed, kMinuteMs);
    clock.minutesPassed = wholeMinutes;
    clock.secondsPassed = roundedSeconds(elapsed - wholeMinutes * kMinuteMs);
    clock.hoursPassed = floorDiv(wholeMinutes, 60);
    if (clock.hoursPassed >= 1)
        clock.minutesPassed -= 60 * clock.hoursPassed;
    return clock;
}

void addTimeLeft(RecordingClock &clock, qint64 elapsedMs, qint32 limitMinutes)
{
    const qint32 wholeMinutes = floorDiv(std::max<qint64>(elapsedMs, 0), kMinuteMs);
    clock.minutesLeft = limitMinutes - wholeMinutes - 1;
    clock.secondsLeft = 60 - clock.secondsPassed;
    if (clock.secondsLeft == 60) {
        clock.secondsLeft = 0;
        ++clock.minutesLeft;
    }
    clock.rawLeft = clock.minutesLeft;
    clock.hoursLeft = floorDiv(clock.minutesLeft, 60);
    if (clock.hoursLeft >= 1)
        clock.minutesLeft -= 60 * clock.hoursLeft;
}

QString recordingTip(const QString &name, const RecordingClock &clock, bool timed)
{
    const QString prefix = QStringLiteral("RECORDING ") + name + QStringLiteral("... (");
    if (!timed) {
        const QString passed = clock.hoursPassed < 1
                                   ? shortTime(clock.minutesPassed, clock.secondsPassed)
                                   : longTime(clock.hoursPassed, clock.minutesPassed, clock.secondsPassed);
        return prefix + passed + QLatin1Char(')');
    }
    QString passed;
    QString left;
    if (clock.hoursPassed < 1 && clock.hoursLeft < 1) {
        passed = shortTime(clock.minutesPassed, clock.secondsPassed);
        left = shortTime(clock.minutesLeft, clock.secondsLeft);
    } else {
        passed = longTime(clock.hoursPassed, clock.minutesPassed, clock.secondsPassed);
        left = longTime(clock.hoursLeft, clock.minutesLeft, clock.secondsLeft);
    }
    return prefix + passed + QStringLiteral(") (-") + left + QStringLiteral(" left)");
}

} // namespace engine
