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

} // namespace

bool Recorder::survivesOutage() const
{
    return m_recording && m_audioSeen && m_supervisor->limits().reconnectPeriodMs > 0 && !m_servers.isEmpty();
}

// The stream is gone (closed, silent, refused, unreachable): the next attempt
// of the outage is made, at once within a round and after a pause between rounds.
void Recorder::streamFailed()
{
    settleFreshAudio(true);
    dropConnection();
    m_changeServerPending = false;
    if (m_supervisor->streamLost(m_serverNumber, static_cast<qint32>(m_servers.size())))
        qCInfo(lcRecorder).noquote() << "Station lost at" << m_supervisor->outageSinceText() << "- reconnecting";
    setOutageCaption();
    publishStatus();
}

void Recorder::outageStep()
{
    if (!m_recording || m_unloaded || !m_supervisor->inOutage())
        return;
    // A timed recording whose time is up ends here as it would at a tick.
    superviseClock(m_time.monotonicMs());
    if (!m_recording || m_unloaded)
        return;
    if (m_supervisor->outagePeriodOver()) {
        outageExpired();
        return;
    }
    connectToServer(m_supervisor->takeOutageServer(static_cast<qint32>(m_servers.size())), true);
    publishStatus();
}

void Recorder::outageExpired()
{
    failRecording(QStringLiteral("The station has been unreachable since ") + m_supervisor->outageSinceText() +
                  QStringLiteral(" (") + engine::durationText(m_supervisor->outageLastedMs()) +
                  QStringLiteral("), longer than the reconnect period. The recording has ended."));
}

void Recorder::endOutage()
{
    const qint64 lasted = m_supervisor->outageLastedMs();
    cancelOutage();
    ++m_reconnects;
    qCInfo(lcRecorder).noquote() << "Station back after" << engine::durationText(lasted) << "on server"
                                 << m_serverNumber;
}

void Recorder::cancelOutage()
{
    m_supervisor->endOutage();
}

void Recorder::setOutageCaption()
{
    const QString since = m_supervisor->outageSinceText();
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
    if (m_supervisor->inOutage())
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
