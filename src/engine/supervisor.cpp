#include "engine/supervisor.h"

#include <QTimer>

#include <algorithm>
#include <limits>

namespace engine
{

namespace
{

// The pause before each round of attempts after the first: 1, 2, 4, 8 s, then 15 s.
qint64 roundDelayMs(qint32 round)
{
    if (round <= 0)
        return 0;
    if (round >= 5)
        return 15000;
    return 1000LL << (round - 1);
}

} // namespace

QString durationText(qint64 ms)
{
    const qint64 seconds = ms / 1000;
    if (seconds < 60)
        return QString::number(seconds) + QStringLiteral(" s");
    if (seconds < 3600)
        return QString::number(seconds / 60) + QStringLiteral(" min ") + QString::number(seconds % 60) +
               QStringLiteral(" s");
    return QString::number(seconds / 3600) + QStringLiteral(" h ") + QString::number(seconds / 60 % 60) +
           QStringLiteral(" min");
}

Supervisor::Supervisor(platform::Clock &clock, bool showsTime, QObject *parent)
    : QObject(parent)
    , m_time(clock)
    , m_showsTime(showsTime)
    , m_timer(new QTimer(this))
{
    // Never early: a pass due at a second's start shows that second.
    m_timer->setSingleShot(true);
    m_timer->setTimerType(Qt::PreciseTimer);
    connect(m_timer, &QTimer::timeout, this, &Supervisor::passDue);
}

void Supervisor::setActive(bool on)
{
    m_active = on;
    resumeOrStop(on);
}

void Supervisor::setAutomatic(bool on)
{
    m_automatic = on;
    resumeOrStop(on);
}

void Supervisor::resumeOrStop(bool resume)
{
    if (resume)
        soon();
    else
        passAt(-1);
}

void Supervisor::soon()
{
    if (m_active)
        passAt(m_time.monotonicMs());
}

void Supervisor::passDone(const Situation &situation)
{
    const qint64 now = m_time.monotonicMs();
    m_lastPass = now;
    if (!m_active || !situation.recording) {
        passAt(-1);
        return;
    }
    if (situation.serverChangePending) {
        passAt(now);
        return;
    }
    qint64 due = std::numeric_limits<qint64>::max();
    const auto consider = [&due, now](qint64 at) {
        if (at > now)
            due = std::min(due, at);
    };
    const bool clockRuns = !situation.paused && (m_inOutage || !situation.connecting);
    if (clockRuns && m_showsTime)
        consider(m_recordStart + ((now - m_recordStart) / 1000 + 1) * 1000);
    if (clockRuns && m_limits.timeLimited && m_limits.timeLimitMinutes != 0)
        consider(m_recordStart + static_cast<qint64>(m_limits.timeLimitMinutes) * 60000 + 1000);
    if (!situation.connecting && !situation.paused && (!m_inOutage || m_outageCall == 0)) {
        if (!m_inOutage)
            consider(m_lastDataTick + kAwaitingDataMs + 1);
        consider(m_lastDataTick + kDataTimeoutMs + 1);
    }
    passAt(due == std::numeric_limits<qint64>::max() ? -1 : due);
}

void Supervisor::passAt(qint64 due)
{
    if (due < 0 || !m_automatic) {
        m_timer->stop();
        return;
    }
    if (m_timer->isActive() && m_due == due)
        return;
    m_due = due;
    const qint64 delay = std::clamp<qint64>(due - m_time.monotonicMs(), 0, std::numeric_limits<int>::max());
    m_timer->start(static_cast<int>(delay));
}

void Supervisor::begin(const Limits &limits)
{
    m_limits = limits;
    m_recordStart = m_time.monotonicMs();
    m_closeRetries = 0;
    endOutage();
    m_lastDataTick = m_recordStart;
    m_retryCount = 0;
}

RecordingClock Supervisor::clockAt(qint64 now) const
{
    const qint64 elapsed = now - m_recordStart;
    RecordingClock clock = elapsedClock(elapsed);
    if (m_limits.timeLimited)
        addTimeLeft(clock, elapsed, m_limits.timeLimitMinutes);
    return clock;
}

bool Supervisor::timeIsUp(const RecordingClock &clock) const
{
    return m_limits.timeLimited && m_limits.timeLimitMinutes != 0 && clock.rawLeft < 0;
}

void Supervisor::requestSent()
{
    m_lastDataTick = m_time.monotonicMs();
    m_requestTick = m_lastDataTick;
}

void Supervisor::dataArrived()
{
    m_retryCount = 0;
    m_lastDataTick = m_time.monotonicMs();
}

void Supervisor::dataPromisedWithin(qint64 ms)
{
    m_retryCount = 0;
    m_lastDataTick = std::max(m_lastDataTick, m_time.monotonicMs() + ms);
}

Supervisor::Silence Supervisor::silence() const
{
    const qint64 silent = m_time.monotonicMs() - m_lastDataTick;
    if (silent <= kAwaitingDataMs)
        return Silence::Flowing;
    return silent > kDataTimeoutMs ? Silence::TimedOut : Silence::Awaiting;
}

Supervisor::Retry Supervisor::countTimeout(bool closedByPeer)
{
    if (closedByPeer) {
        // The data of a stream that ended before a time-out could have does not clear the count.
        m_retryCount = m_time.monotonicMs() - m_requestTick < kDataTimeoutMs ? m_closeRetries : 0;
    } else {
        m_closeRetries = 0;
    }
    ++m_retryCount;
    if (closedByPeer)
        m_closeRetries = m_retryCount;
    return m_retryCount > kMaxRetries ? Retry::GiveUp : Retry::SameServer;
}

bool Supervisor::streamLost(qint32 serverNumber, qint32 serverCount)
{
    m_retryCount = 0;
    qint64 delay = 0;
    const bool begins = !m_inOutage;
    if (begins) {
        m_inOutage = true;
        m_outageStartTick = m_time.monotonicMs();
        m_outageSince = m_time.now();
        m_outageFirstServer = std::clamp(serverNumber, 1, std::max(serverCount, 1));
        m_outageTried = 0;
        m_outageRound = 0;
    } else if (m_outageTried >= serverCount) {
        m_outageTried = 0;
        delay = roundDelayMs(++m_outageRound);
    }
    const qint64 left = m_limits.reconnectPeriodMs - outageLastedMs();
    delay = std::clamp<qint64>(delay, 0, std::max<qint64>(left, 0));
    if (m_outageCall != 0)
        m_time.cancelCall(m_outageCall);
    m_outageCall = m_time.callAfter(static_cast<int>(delay), this, [this] {
        m_outageCall = 0;
        Q_EMIT outageAttemptDue();
    });
    return begins;
}

qint32 Supervisor::takeOutageServer(qint32 serverCount)
{
    const qint32 server = (m_outageFirstServer - 1 + m_outageTried) % std::max(serverCount, 1) + 1;
    ++m_outageTried;
    return server;
}

bool Supervisor::outagePeriodOver() const
{
    return outageLastedMs() >= m_limits.reconnectPeriodMs;
}

QString Supervisor::outageSinceText() const
{
    const bool today = m_outageSince.date() == m_time.now().date();
    return m_outageSince.toString(today ? QStringLiteral("HH:mm:ss") : QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

void Supervisor::endOutage()
{
    m_inOutage = false;
    m_outageTried = 0;
    m_outageRound = 0;
    if (m_outageCall != 0) {
        m_time.cancelCall(m_outageCall);
        m_outageCall = 0;
    }
}

} // namespace engine
