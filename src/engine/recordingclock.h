#pragma once

#include <QString>
#include <QtGlobal>

// The clock of a running recording as the supervisor publishes it: elapsed
// time, the time left of a timed recording, and the tray tip built from them.
namespace engine
{

struct RecordingClock
{
    // Elapsed time; minutes are 0-59 only when hours are counted.
    qint32 hoursPassed = 0;
    qint32 minutesPassed = 0;
    qint32 secondsPassed = 0; // 0 to 60: rounded to the nearest second
    // Time left of a timed recording.
    qint32 hoursLeft = 0;
    qint32 minutesLeft = 0;
    qint32 secondsLeft = 0;
    qint32 rawLeft = 0; // whole minutes left before the hour split; negative once the time is up
};

// Splits an elapsed time (ms) into hours, minutes and seconds. The seconds are
// rounded to the nearest whole number, halves to the even one, so 59.6 s reads 0:60.
RecordingClock elapsedClock(qint64 elapsedMs);

// Adds the time left of a recording limited to limitMinutes, from the whole
// elapsed minutes and the rounded seconds: at the start of a 60-minute
// recording 1:00:00 is left, and rawLeft turns negative only once the
// rounded elapsed seconds pass the limit.
void addTimeLeft(RecordingClock &clock, qint64 elapsedMs, qint32 limitMinutes);

// "RECORDING name... (m:ss)" or, from one hour on, "(h:mm:ss)"; a timed
// recording adds " (-m:ss left)" with both times in the long form when either
// has hours.
QString recordingTip(const QString &name, const RecordingClock &clock, bool timed);

} // namespace engine
