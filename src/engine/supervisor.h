#pragma once

#include <QDateTime>
#include <QObject>

#include "engine/recordingclock.h"
#include "platform/clock.h"

class QTimer;

namespace engine
{

// The deadlines of a running recording, on the recorder's clock: when the
// next supervision pass falls due, how long the stream has been silent, how
// many time-outs came in a row, how long the recording has run and whether
// its time is up, and the rounds of reconnect attempts during an outage. It
// decides and keeps time; the recorder acts on what it says.
class Supervisor final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Supervisor)

public:
    // Silence after which the caption says so, and after which the stream is reconnected.
    static constexpr qint64 kAwaitingDataMs = 2000;
    static constexpr qint64 kDataTimeoutMs = 10000;
    // Time-outs in a row (without data between them) that are still retried.
    static constexpr qint32 kMaxRetries = 3;

    enum class Silence
    {
        Flowing,  // data came within the last two seconds
        Awaiting, // the caption says so
        TimedOut, // the stream is given up and called again
    };
    enum class Retry
    {
        SameServer,
        GiveUp,
    };

    // What the recorder is doing, for the due time of the next pass.
    struct Situation
    {
        bool recording = false;
        bool connecting = false;
        bool paused = false;
        bool serverChangePending = false;
    };
    // The limits of one recording, copied when it starts.
    struct Limits
    {
        bool timeLimited = false;
        qint32 timeLimitMinutes = 0;
        qint64 reconnectPeriodMs = 0; // 0: a lost station is not called again
    };

    // showsTime: something shows the elapsed time, so a pass falls due at
    // every second's start.
    Supervisor(platform::Clock &clock, bool showsTime, QObject *parent = nullptr);

    // Passes: one pending at a time, emitted as passDue.
    // Inactive (before the first request, after an unload or an exit) no pass comes.
    void setActive(bool on);
    bool isActive() const { return m_active; }
    // Off: passes come only when the owner runs them (tests drive them).
    void setAutomatic(bool on);
    // A pass is wanted now.
    void soon();
    // A pass ran: the next falls due when the first thing does that a pass
    // would act on; what it cannot act on yet (a connection under way, a
    // pause) is taken up by the event that ends it.
    void passDone(const Situation &situation);
    qint64 sinceLastPassMs() const { return m_time.monotonicMs() - m_lastPass; }

    // Recording time.
    // A recording starts now: its clock, its data watch and its outage state are new.
    void begin(const Limits &limits);
    const Limits &limits() const { return m_limits; }
    // The elapsed clock starts again (a new file of a recording without a time limit).
    void restartClock() { m_recordStart = m_time.monotonicMs(); }
    void pause() { m_pauseStart = m_time.monotonicMs(); }
    // The elapsed time leaves the pause out.
    void resume() { m_recordStart += m_time.monotonicMs() - m_pauseStart; }
    RecordingClock clockAt(qint64 now) const;
    // Time is up once the time left went below zero, a second after the limit.
    bool timeIsUp(const RecordingClock &clock) const;
    qint64 recordStart() const { return m_recordStart; }

    // Data watch.
    // A request was sent: its silence counts from now, and a close soon after counts as a hang-up.
    void requestSent();
    // Data came: the silence ends, the time-outs in a row are over.
    void dataArrived();
    // A wait that was not silence ended (a hold, a reconnect attempt).
    void silenceFromNow() { m_lastDataTick = m_time.monotonicMs(); }
    // The source answered and promises data within this many milliseconds.
    void dataPromisedWithin(qint64 ms);
    void clearRetries() { m_retryCount = 0; }
    Silence silence() const;
    // A stream lost to silence or closed by the server (closedByPeer) is
    // called again up to the retry limit. Only closes in a row carry their
    // count: a stream that ran until it went silent was no hang-up, and a
    // server that answers and hangs up at once is not called forever.
    Retry countTimeout(bool closedByPeer);
    qint64 lastDataTick() const { return m_lastDataTick; }
    qint32 retryCount() const { return m_retryCount; }

    // Outages: a station that delivered audio and was lost is called again,
    // server after server, with growing pauses between rounds, until it
    // answers or the reconnect period is over.
    bool inOutage() const { return m_inOutage; }
    // The stream is gone: the next attempt falls due at once within a round
    // and after a pause between rounds (outageAttemptDue). True when this
    // begins the outage.
    bool streamLost(qint32 serverNumber, qint32 serverCount);
    // The server of the attempt now due.
    qint32 takeOutageServer(qint32 serverCount);
    bool outagePeriodOver() const;
    qint64 outageLastedMs() const { return m_time.monotonicMs() - m_outageStartTick; }
    bool attemptWaiting() const { return m_outageCall != 0; }
    const QDateTime &outageSince() const { return m_outageSince; }
    // The time of day the station was lost (with its date on another day).
    QString outageSinceText() const;
    void endOutage();

Q_SIGNALS:
    void passDue();
    void outageAttemptDue();

private:
    // -1 cancels the pending pass. The wait runs on a timer of its own while
    // the deadlines are on the clock: every pass checks them again, so a pass
    // that comes early or late only reschedules.
    void passAt(qint64 due);
    // Switched on: a pass is due now; off: none is pending.
    void resumeOrStop(bool resume);

    platform::Clock &m_time;
    const bool m_showsTime;
    QTimer *m_timer;
    qint64 m_due = 0;
    qint64 m_lastPass = 0;
    bool m_active = false;
    bool m_automatic = true;

    Limits m_limits;
    qint64 m_recordStart = 0;
    qint64 m_pauseStart = 0;

    qint64 m_lastDataTick = 0;
    qint64 m_requestTick = 0;
    qint32 m_retryCount = 0;
    qint32 m_closeRetries = 0;

    bool m_inOutage = false;
    qint64 m_outageStartTick = 0;
    QDateTime m_outageSince;
    qint32 m_outageFirstServer = 0; // where each round of attempts starts
    qint32 m_outageTried = 0;       // servers tried in the current round
    qint32 m_outageRound = 0;
    platform::Clock::CallId m_outageCall = 0;
};

// The length of an outage as the caption and the log say it: "42 s", "3 min 5 s", "2 h 10 min".
QString durationText(qint64 ms);

} // namespace engine
