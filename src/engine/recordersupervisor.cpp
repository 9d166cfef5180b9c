// Recorder, recording supervisor: the passes that run when the supervisor says
// something is due (server changes, silence and reconnection, clock, captions
// and tray tips, time limit, listening volume), stopping, pausing, the exit
// rule and the clean-up of old archive recordings.
#include "engine/recorder.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <limits>

#include "config/preset.h"
#include "engine/recordingclock.h"
#include "engine/recordingnames.h"
#include "engine/startup.h"
#include "engine/streamtitle.h"
#include "platform/clock.h"
#include "platform/paths.h"
#include "sources/hlsstation.h"
#include "sources/live365reader.h"
#include "sources/playlistreader.h"
#include "sources/previewrelay.h"

namespace
{

QString songText(const QByteArray &name)
{
    return decodeTitle(name);
}

} // namespace

void Recorder::applyExitRule(bool failed)
{
    if (m_startedFromSetupWindow)
        return;
    // A run without windows has nothing left to do after a failure, whatever
    // the preset says, and its status tells a script what happened.
    if (m_preset.exitAfterRecording || (failed && !m_options.showsWindows))
        endProgramAfterRecording(failed ? kExitRecordingFailed : kExitNormal);
}

void Recorder::endProgramAfterRecording(int status)
{
    // The application unloads the windows (which removes the tray icon) and
    // ends the process.
    requestExit(status);
}

void Recorder::superviseTick()
{
    // A tick never starts while an earlier one, or a connection attempt, waits.
    if (m_inTick || m_unloaded)
        return;
    m_inTick = true;
    const qint64 now = m_time.monotonicMs();
    if (m_changeServerPending)
        changeServer();
    checkRecordingFile();
    if (!m_unloaded)
        supervise(now);
    m_inTick = false;
    m_supervisor->passDone({m_recording && !m_unloaded, m_connecting, m_paused, m_changeServerPending});
    publishStatus();
}

void Recorder::requestServerChange()
{
    m_changeServerPending = true;
    m_stream->discardData();
    superviseSoon();
}

void Recorder::superviseSoon()
{
    m_supervisor->soon();
}

void Recorder::changeServer()
{
    m_changeServerPending = false;
    // A redirect or a full server met while reconnecting: the open file goes on.
    if (survivesOutage()) {
        const qint32 next = m_serverNumber + 1;
        if (next > static_cast<qint32>(m_servers.size())) {
            streamFailed();
            return;
        }
        m_stream->close();
        connectToServer(next, true);
        return;
    }
    closeRecording();
    m_stream->resetParser();
    // Stopped meanwhile (by the user or a failure): a stop is never undone by
    // the change of server it overtook.
    if (!m_recording)
        return;
    const qint32 next = m_serverNumber + 1;
    if (next > static_cast<qint32>(m_servers.size())) {
        m_serverNumber = next;
        failRecording(QStringLiteral("All servers are full!"));
        return;
    }
    connectToServer(next, false);
}

void Recorder::supervise(qint64 now)
{
    if (!m_recording) {
        clearClock();
    } else if (m_supervisor->inOutage()) {
        // The clock runs on (a time limit ends the recording as usual), and a
        // server that answered but sends nothing counts as one more attempt.
        superviseClock(now);
        if (m_recording && !m_connecting && !m_supervisor->attemptWaiting() &&
            m_supervisor->silence() == engine::Supervisor::Silence::TimedOut && !m_stream->takeWaitingData())
            streamFailed();
    } else if (m_connecting) {
        // The connection wait shows its own caption; silence is not measured yet.
    } else if (m_paused) {
        setSupervisorCaption(QStringLiteral("PAUSED...") + songText(m_songName));
        setSupervisorTip(QStringLiteral("Vorlane -- PAUSED"));
    } else if (m_supervisor->silence() != engine::Supervisor::Silence::Flowing && !m_stream->takeWaitingData()) {
        superviseSilence();
    } else {
        superviseClock(now);
    }
    if (m_unloaded)
        return;

    // Listening follows the volume the display asks for, and the menu follows the toggle.
    if (m_relay->appliedVolume != m_volume)
        m_relay->setVolume(m_volume);
    if (m_tray.listen.on != m_listening)
        setTrayEntryOn(m_tray.listen, m_listening);
}

void Recorder::superviseSilence()
{
    const QString name = m_preset.stationTitle;
    setSupervisorCaption(QStringLiteral("[ERR] NETWORK: Awaiting data..."));
    setSupervisorTip(name + QStringLiteral(" -- NETWORK: Awaiting data..."));
    if (m_supervisor->lastDataTick() == 0 || m_supervisor->silence() != engine::Supervisor::Silence::TimedOut)
        return;
    reconnectAfterTimeout();
}

// A stream lost to silence or closed by the server: the same server again,
// the open file going on, up to the retry limit.
void Recorder::reconnectAfterTimeout(bool closedByPeer)
{
    if (survivesOutage()) {
        streamFailed();
        return;
    }
    const QString name = m_preset.stationTitle;
    // A server that hangs up before any audio is refused for this round: the
    // next one is tried, and only the last one is retried.
    if (closedByPeer && !m_connectionAudio && m_serverNumber >= 1 &&
        m_serverNumber < static_cast<qint32>(m_servers.size())) {
        const QString n = QString::number(m_serverNumber + 1);
        setTrayTip(name + QStringLiteral(" -- Closed before any audio... trying server ") + n);
        setCaption(QStringLiteral("[ERR]: The server closed the connection, trying server ") + n +
                   QStringLiteral("..."));
        requestServerChange();
        return;
    }
    const engine::Supervisor::Retry retry = m_supervisor->countTimeout(closedByPeer);
    setSupervisorTip(name + QStringLiteral(" -- TIMEOUT! Reconnecting..."));
    setSupervisorCaption(QStringLiteral("[ERR] TIMEOUT! Reconnecting..."));
    m_stream->close();
    if (retry == engine::Supervisor::Retry::GiveUp) {
        Q_EMIT messageRequested(QStringLiteral("Network errors have interrupted successful recording of ") + name +
                                QStringLiteral("!"));
        // A stream that ended after it was recorded ended as streams do.
        const bool failed = !m_audioSeen;
        stopRecording();
        applyExitRule(failed);
    } else {
        // The same server again; the open file goes on.
        connectToServer(m_serverNumber, true);
    }
    if (!m_unloaded)
        m_supervisor->silenceFromNow();
}

void Recorder::superviseClock(qint64 now)
{
    const Preset &config = m_preset;
    const QString name = config.stationTitle;
    const engine::RecordingClock clock = m_supervisor->clockAt(now);

    m_clock.hoursPassed = clock.hoursPassed;
    m_clock.minutesPassed = clock.minutesPassed;
    m_clock.secondsPassed = clock.secondsPassed;
    if (config.timeLimited) {
        m_clock.hoursLeft = clock.hoursLeft;
        m_clock.minutesLeft = clock.minutesLeft;
        m_clock.secondsLeft = clock.secondsLeft;
        m_clock.rawLeft = clock.rawLeft;
    }
    if (m_supervisor->timeIsUp(clock)) {
        // Time is up: the tip goes straight to "Vorlane" without showing a
        // negative time left first.
        stopRecording();
        // A finished timed recording ends the program when asked, however it
        // was started; a run without windows has nothing else to do.
        if (config.exitAfterRecording || !m_options.showsWindows)
            endProgramAfterRecording(kExitNormal);
        return; // a stopped recording keeps its last caption
    }
    if (m_supervisor->inOutage()) {
        setOutageCaption();
        return;
    }
    setSupervisorTip(engine::recordingTip(name, clock, config.timeLimited));

    setSupervisorCaption(QStringLiteral("Now Recording: ") +
                         (captureMode() == SetupSettings::CaptureStreamTitles ? songText(m_songName) : name) +
                         hlsLostText());
}

// The tick repeats its caption and tip ten times a second; the front end hears
// only of changes.
void Recorder::setSupervisorCaption(const QString &caption)
{
    if (m_caption != caption)
        setCaption(caption);
}

void Recorder::setSupervisorTip(const QString &tip)
{
    if (m_tray.tip != tip.left(64))
        setTrayTip(tip);
}

void Recorder::stopRecording()
{
    const bool wasRecording = m_recording;
    // What a reconnected stream brought is written before the file closes.
    settleFreshAudio(true);
    cancelOutage();
    if (m_recording) {
        closeRecording();
        m_recording = false;
    }
    // A playlist still being read, or a connection attempt still waiting,
    // belongs to this recording too: a stop must not be followed by a start.
    m_playlistReader->cancel();
    if (m_hls)
        m_hls->stop();
    m_stream->close();
    m_connecting = false;
    // A server change or paused start still pending belongs to this recording.
    m_changeServerPending = false;
    m_pendingFileName.clear();
    setTrayMenuRecording(false);
    clearClock();
    m_relay->stopListening();
    m_live365Station = false;
    m_live365->setStationName({});
    m_bitRate = 0;
    m_responseHeader.clear();
    m_paused = false;
    m_songAtPause.clear();
    m_songName.clear();
    m_tray.pauseRecording.on = false;
    setTrayTip(QStringLiteral("Vorlane"));
    if (wasRecording)
        Q_EMIT recordingStopped();
    publishStatus();
}

void Recorder::clearClock()
{
    const qint32 rawLeft = m_clock.rawLeft;
    m_clock = engine::RecordingClock();
    // The last minutes left stay readable after a recording ends.
    m_clock.rawLeft = rawLeft;
}

void Recorder::togglePause()
{
    if (!m_paused) {
        m_paused = true;
        m_songAtPause = m_songName;
        m_supervisor->pause();
        setTrayEntryOn(m_tray.pauseRecording, true);
        superviseSoon();
        publishStatus();
        return;
    }
    m_paused = false;
    m_supervisor->resume();
    if (!m_pendingFileName.isEmpty()) {
        // A paused start: its first file opens now.
        const QByteArray pending = m_pendingFileName;
        m_pendingFileName.clear();
        openSongFile(pending, false);
    } else if (!m_songAtPause.isEmpty() && m_songName != m_songAtPause) {
        // The title changed during the pause: the file of the last title opens.
        // The file open before the pause gets its tag first, since m_songName
        // already names the new title.
        finishFile(m_titleMode);
        openSongFile(m_songName, false);
    }
    m_songAtPause.clear();
    setTrayEntryOn(m_tray.pauseRecording, false);
    superviseSoon();
    publishStatus();
}

void Recorder::setTrayMenuRecording(bool recording)
{
    m_tray.exit.on = recording;
    m_tray.beforeFirstRecording = false;
    m_tray.startRecording.enabled = !recording;
    m_tray.stopRecording.enabled = recording;
    m_tray.pauseRecording.enabled = recording;
    m_tray.listen.enabled = recording;
    m_tray.toggleDisplay.enabled = true;
    pushTray();
}

void Recorder::setTrayEntryOn(platform::TrayMenuEntry &entry, bool on)
{
    entry.on = on;
    pushTray();
}
