// frmMP3, recording supervisor: the 100 ms tick, stopping, pausing and the
// exit rule.
//
// The recording engine needs the server change of the tick (refusals and
// redirects), stopping, pausing and the exit rule; they are complete here. The
// other duties of the tick (silence and reconnection, the clock, captions and
// tips while recording, the time limit, volume and the Listen caption) and the
// clean-up of old archive recordings are filled in with the supervisor, in the
// methods marked below.
#include "engine/frmmp3.h"

#include "config/clsconfiguration.h"
#include "engine/programcontext.h"
#include "engine/startup.h"
#include "platform/clock.h"
#include "platform/eventpump.h"
#include "platform/frontend.h"
#include "sources/ctllive365titlereader.h"
#include "sources/ctlmp3server.h"

qint64 frmMP3::GetTickCountWrapCompensation(qint32 current, qint32 reference)
{
    if (current < 0 && reference > 0)
        return static_cast<qint64>(current) + 4294967296LL;
    return current;
}

void frmMP3::ApplyExitRule()
{
    const clsConfiguration &cr = program().configuration();
    if (cr.bExitTimedRecording && !cr.bCalledFromGUI)
        endProgramAfterRecording();
}

void frmMP3::endProgramAfterRecording()
{
    // Unloading the main window removes the tray icon; then the process ends.
    Form_Unload();
    platform::frontEnd().exitProcess(kExitNormal);
}

void frmMP3::Timer1_Timer()
{
    // A tick never starts while an earlier one waits inside a connection attempt.
    if (m_inTick || m_connecting)
        return;
    m_inTick = true;
    const qint64 now = GetTickCountWrapCompensation(platform::clock().tickCount(), lRecordStart);
    if (blnDisconnect)
        changeServer();
    supervise(now);
    m_inTick = false;
}

void frmMP3::changeServer()
{
    blnDisconnect = false;
    CloseRecording();
    lngMetaDataLength = 0;
    lngMetaDataCounter = 0;
    platform::letPendingEventsRun();
    ++lServerNumber;
    blnRecording = true;
    if (lServerNumber > static_cast<qint32>(sServerHosts.size()) - 1) {
        platform::frontEnd().showMessage(QStringLiteral("All servers are full!"));
        const clsConfiguration &cr = program().configuration();
        if (cr.bExitTimedRecording && !cr.bCalledFromGUI) {
            endProgramAfterRecording();
            return;
        }
        StopRecording();
        return;
    }
    ConnectToServer({}, 0, 0, lServerNumber, false);
    platform::letPendingEventsRun();
}

// Supervisor: the tick after the server change (stopped and paused states,
// silence and reconnection, clock, captions, time limit, volume, Listen caption).
void frmMP3::supervise(qint64 now)
{
    Q_UNUSED(now);
    if (!blnRecording) {
        lngHoursPassed = lngMinutesPassed = lngSecondsPassed = 0;
        lngHoursLeft = lngMinutesLeft = lngSecondsLeft = 0;
    }
}

// Supervisor: what a new recording resets before it connects.
void frmMP3::resetDataWatch()
{
    lLastDataTick = platform::clock().tickCount();
    lRetryCount = 0;
}

// Supervisor: deletes dated archive recordings older than the days to keep.
void frmMP3::MP3Cleanup() {}

void frmMP3::StopRecording()
{
    if (blnRecording) {
        CloseRecording();
        blnRecording = false;
    }
    setTrayMenuRecording(false);
    lngHoursPassed = lngMinutesPassed = lngSecondsPassed = 0;
    lngHoursLeft = lngMinutesLeft = lngSecondsLeft = 0;
    ctlMP3Server->StopPreviewing();
    blnLive365 = false;
    ctlLive365->setStationName({});
    lngBitRate = 0;
    strICYHeader.clear();
    blnPaused = false;
    blnPausedFileName.clear();
    strSongName.clear();
    setTrayTip(QStringLiteral("Vorlane"));
}

void frmMP3::TogglePause()
{
    if (!blnPaused) {
        blnPaused = true;
        blnPausedFileName = strSongName;
        lPauseStart = platform::clock().tickCount();
        setTrayMenuEntry(m_tray.pauseRecording, QStringLiteral("Unpause Recording"), m_tray.pauseRecording.enabled);
        return;
    }
    blnPaused = false;
    const qint64 pause = GetTickCountWrapCompensation(platform::clock().tickCount(), lPauseStart) - lPauseStart;
    lRecordStart = static_cast<qint32>(static_cast<quint32>(lRecordStart) + static_cast<quint32>(pause));
    if (!sPendingFileName.isEmpty()) {
        const QByteArray pending = sPendingFileName;
        sPendingFileName.clear();
        OpenMP3File(pending, false);
    } else if (!blnPausedFileName.isEmpty() && strSongName != blnPausedFileName) {
        OpenMP3File(strSongName, false);
    }
    blnPausedFileName.clear();
    setTrayMenuEntry(m_tray.pauseRecording, QStringLiteral("Pause Recording"), m_tray.pauseRecording.enabled);
}

void frmMP3::setTrayMenuRecording(bool recording)
{
    m_tray.exit.caption = recording ? QStringLiteral("Stop Recording and Exit") : QStringLiteral("Exit");
    m_tray.startRecording.enabled = !recording;
    m_tray.stopRecording.enabled = recording;
    m_tray.pauseRecording.enabled = recording;
    m_tray.listen.enabled = recording;
    m_tray.toggleDisplay.enabled = true;
    pushTray();
}

void frmMP3::setTrayMenuEntry(platform::TrayMenuEntry &entry, const QString &caption, bool enabled)
{
    entry.caption = caption;
    entry.enabled = enabled;
    pushTray();
}
