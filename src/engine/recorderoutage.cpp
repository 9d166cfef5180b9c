// Recorder, outages: a station that delivered audio and was lost is called
// again, server after server, with growing pauses, until it answers or the
// reconnect period is over; the reconnected stream's start is compared with
// the end of what was written, so that a server's burst is not recorded twice.
#include "engine/recorder.h"

#include <QLoggingCategory>

#include <algorithm>

#include "config/preset.h"
#include "engine/startup.h"
#include "engine/streamoverlap.h"
#include "platform/clock.h"

Q_LOGGING_CATEGORY(lcRecorder, "vorlane.recorder", QtInfoMsg)

namespace
{

// The written audio kept for comparing; a server's burst is far shorter.
constexpr qsizetype kTailBytes = engine::WrittenTail::kKeepBytes;
// A reconnected stream is held back at most this long before it is written
// uncompared.
constexpr qsizetype kFreshLimit = kTailBytes + 16 * 1024;

// The pause before each round of attempts after the first: 1, 2, 4, 8 s, then 15 s.
qint64 roundDelayMs(qint32 round)
{
    if (round <= 0)
        return 0;
    if (round >= 5)
        return 15000;
    return 1000LL << (round - 1);
}

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

} // namespace

bool Recorder::survivesOutage() const
{
    return m_recording && m_audioSeen && m_reconnectPeriodMs > 0 && !m_servers.isEmpty();
}

// The stream is gone (closed, silent, refused, unreachable): the next attempt
// of the outage is made, at once within a round and after a pause between rounds.
void Recorder::streamFailed()
{
    settleFreshAudio(true);
    dropConnection();
    m_changeServerPending = false;
    m_retryCount = 0;

    const auto count = static_cast<qint32>(m_servers.size());
    qint64 delay = 0;
    if (!m_inOutage) {
        m_inOutage = true;
        m_outageStartTick = m_time.monotonicMs();
        m_outageSince = m_time.now();
        m_outageFirstServer = std::clamp(m_serverNumber, 1, count);
        m_outageTried = 0;
        m_outageRound = 0;
        qCInfo(lcRecorder).noquote() << "Station lost at" << outageSinceText() << "- reconnecting";
    } else if (m_outageTried >= count) {
        m_outageTried = 0;
        delay = roundDelayMs(++m_outageRound);
    }
    const qint64 left = m_reconnectPeriodMs - (m_time.monotonicMs() - m_outageStartTick);
    delay = std::clamp<qint64>(delay, 0, std::max<qint64>(left, 0));
    setOutageCaption();
    if (m_outageCall != 0)
        m_time.cancelCall(m_outageCall);
    m_outageCall = m_time.callAfter(static_cast<int>(delay), this, [this] { outageStep(); });
    publishStatus();
}

void Recorder::outageStep()
{
    m_outageCall = 0;
    if (!m_recording || m_unloaded || !m_inOutage)
        return;
    // A timed recording whose time is up ends here as it would at a tick.
    superviseClock(m_time.monotonicMs());
    if (!m_recording || m_unloaded)
        return;
    if (m_time.monotonicMs() - m_outageStartTick >= m_reconnectPeriodMs) {
        outageExpired();
        return;
    }
    const auto count = static_cast<qint32>(m_servers.size());
    const qint32 server = (m_outageFirstServer - 1 + m_outageTried) % count + 1;
    ++m_outageTried;
    connectToServer(server, true);
    publishStatus();
}

void Recorder::outageExpired()
{
    const qint64 lasted = m_time.monotonicMs() - m_outageStartTick;
    failRecording(QStringLiteral("The station has been unreachable since ") + outageSinceText() + QStringLiteral(" (") +
                  durationText(lasted) +
                  QStringLiteral("), longer than the reconnect period. The recording has ended."));
}

void Recorder::endOutage()
{
    const qint64 lasted = m_time.monotonicMs() - m_outageStartTick;
    cancelOutage();
    ++m_reconnects;
    qCInfo(lcRecorder).noquote() << "Station back after" << durationText(lasted) << "on server" << m_serverNumber;
}

void Recorder::cancelOutage()
{
    m_inOutage = false;
    m_outageTried = 0;
    m_outageRound = 0;
    if (m_outageCall != 0) {
        m_time.cancelCall(m_outageCall);
        m_outageCall = 0;
    }
}

QString Recorder::outageSinceText() const
{
    const bool today = m_outageSince.date() == m_time.now().date();
    return m_outageSince.toString(today ? QStringLiteral("HH:mm:ss") : QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

void Recorder::setOutageCaption()
{
    const QString since = outageSinceText();
    setSupervisorCaption(QStringLiteral("[ERR] Station unreachable since ") + since +
                         QStringLiteral(", reconnecting..."));
    setSupervisorTip(m_preset.stationTitle + QStringLiteral(" -- Unreachable since ") + since);
}

void Recorder::failRecording(const QString &message)
{
    Q_EMIT messageRequested(message);
    stopRecording();
    applyExitRule(true);
}

// Audio of the stream, on its way to the file: the start of a reconnected
// stream waits until it is known how much of it is already written.
void Recorder::takeAudio(const QByteArray &data)
{
    if (data.isEmpty() || !m_recording)
        return;
    m_connectionAudio = true;
    m_audioSeen = true;
    if (m_inOutage)
        endOutage();
    if (m_comparingFresh) {
        m_freshAudio.append(data);
        settleFreshAudio(m_freshAudio.size() >= kFreshLimit);
        return;
    }
    writeAudio(data);
    rememberWritten(data);
}

void Recorder::settleFreshAudio(bool final)
{
    if (!m_comparingFresh)
        return;
    if (m_freshAudio.isEmpty()) {
        // The connection brought no audio at all: the next one compares.
        m_comparingFresh = !final;
        return;
    }
    const engine::Overlap overlap = engine::findOverlap(m_writtenTail.bytes(), m_freshAudio, final);
    if (overlap.outcome == engine::Overlap::Outcome::Undecided)
        return;
    m_comparingFresh = false;
    const QByteArray rest = m_freshAudio.mid(overlap.skip);
    m_freshAudio.clear();
    m_repeatedSkipped += overlap.skip;
    qCInfo(lcRecorder).noquote() << "Reconnected stream: skipped" << overlap.skip << "bytes that were already recorded";
    if (rest.isEmpty() || !m_recording)
        return;
    writeAudio(rest);
    rememberWritten(rest);
}

void Recorder::rememberWritten(const QByteArray &data)
{
    if (m_paused || !isFileOpen())
        return;
    m_writtenTail.append(data);
}
